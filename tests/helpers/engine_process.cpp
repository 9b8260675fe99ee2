#include "tests/helpers/engine_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef QUARVEL_BUILD_DIR
#define QUARVEL_BUILD_DIR "."
#endif

namespace {

long long now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

void close_fd(int* fd)
{
    if (*fd >= 0) {
        close(*fd);
        *fd = -1;
    }
}

void split_lines(EngineProcess* proc)
{
    size_t pos;
    while ((pos = proc->partial.find('\n')) != std::string::npos) {
        std::string line = proc->partial.substr(0, pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        proc->lines.push_back(line);
        proc->partial.erase(0, pos + 1);
    }
}

// Reads what is available, waiting at most until the deadline for something
// to arrive. Returns false when nothing can arrive any more or the deadline
// has passed without data.
bool pump(EngineProcess* proc, long long deadline)
{
    if (proc->out_closed)
        return false;
    pollfd fds[2];
    int count = 0;
    fds[count++] = {proc->from_child, POLLIN, 0};
    if (proc->err_from_child >= 0)
        fds[count++] = {proc->err_from_child, POLLIN, 0};
    long long left = deadline - now_ms();
    if (left < 0)
        left = 0;
    int ready = poll(fds, count, static_cast<int>(left));
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return false;
    char buffer[4096];
    if (count > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = read(proc->err_from_child, buffer, sizeof buffer);
        if (n > 0)
            proc->err_text.append(buffer, static_cast<size_t>(n));
        else
            close_fd(&proc->err_from_child);
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        ssize_t n = read(proc->from_child, buffer, sizeof buffer);
        if (n > 0) {
            proc->partial.append(buffer, static_cast<size_t>(n));
            split_lines(proc);
        } else if (n == 0 || errno != EINTR) {
            proc->out_closed = true;
            if (!proc->partial.empty()) {
                proc->lines.push_back(proc->partial);
                proc->partial.clear();
            }
        }
    }
    return true;
}

enum MatchKind { MATCH_EXACT, MATCH_PREFIX, MATCH_SUBSTRING };

bool line_matches(const std::string& line, const std::string& text, MatchKind kind)
{
    switch (kind) {
    case MATCH_EXACT: return line == text;
    case MATCH_PREFIX: return line.compare(0, text.size(), text) == 0;
    case MATCH_SUBSTRING: return line.find(text) != std::string::npos;
    }
    return false;
}

bool expect(EngineProcess* proc, const std::string& text, MatchKind kind, int timeout_ms,
            std::string* matched)
{
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        while (proc->cursor < proc->lines.size()) {
            const std::string& line = proc->lines[proc->cursor++];
            if (line_matches(line, text, kind)) {
                if (matched)
                    *matched = line;
                return true;
            }
        }
        if (!pump(proc, deadline) && (proc->out_closed || now_ms() >= deadline))
            return false;
    }
}

} // namespace

EngineProcess::~EngineProcess()
{
    process_kill(this);
}

std::string quarvel_path()
{
    return std::string(QUARVEL_BUILD_DIR) + "/quarvel";
}

bool start_quarvel(EngineProcess* proc, const std::vector<std::string>& args)
{
    std::vector<std::string> full = {"-c", "/nonexistent-quarvel-dir/quarvel.cfg", "-o"};
    full.insert(full.end(), args.begin(), args.end());
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp != nullptr && tmp[0] != '\0') ? tmp : "/tmp";
    return process_start(proc, quarvel_path(), full, dir);
}

int scaled_timeout(int ms)
{
    const char* sanitized = std::getenv("QUARVEL_SANITIZED");
    if (sanitized != nullptr && sanitized[0] != '\0' && sanitized[0] != '0')
        return ms * 5;
    return ms;
}

bool process_start(EngineProcess* proc, const std::string& program,
                   const std::vector<std::string>& args, const std::string& cwd,
                   const std::vector<std::string>& extra_env,
                   const std::vector<std::string>& unset_env)
{
    std::signal(SIGPIPE, SIG_IGN);
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) != 0)
        return false;
    if (pipe(out_pipe) != 0) {
        close(in_pipe[0]);
        close(in_pipe[1]);
        return false;
    }
    if (pipe(err_pipe) != 0) {
        close(in_pipe[0]);
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(out_pipe[1]);
        return false;
    }
    // The exec status travels back through a close-on-exec pipe, so that a
    // program that cannot be started is reported as such.
    int status_pipe[2];
    if (pipe2(status_pipe, O_CLOEXEC) != 0)
        return false;

    std::vector<std::string> storage;
    storage.push_back(program);
    for (const std::string& a : args)
        storage.push_back(a);
    std::vector<char*> argv;
    for (std::string& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(in_pipe[0]);
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[0]);
        close(err_pipe[1]);
        close(status_pipe[0]);
        for (const std::string& name : unset_env)
            unsetenv(name.c_str());
        for (const std::string& entry : extra_env) {
            size_t eq = entry.find('=');
            if (eq != std::string::npos)
                setenv(entry.substr(0, eq).c_str(), entry.c_str() + eq + 1, 1);
        }
        signal(SIGPIPE, SIG_DFL);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(127);
        execv(program.c_str(), argv.data());
        int err = errno;
        ssize_t ignored = write(status_pipe[1], &err, sizeof err);
        (void)ignored;
        _exit(127);
    }
    close(status_pipe[1]);
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    int err = 0;
    ssize_t n = read(status_pipe[0], &err, sizeof err);
    close(status_pipe[0]);
    proc->pid = pid;
    proc->to_child = in_pipe[1];
    proc->from_child = out_pipe[0];
    proc->err_from_child = err_pipe[0];
    if (n > 0) {
        process_kill(proc);
        return false;
    }
    return true;
}

bool process_send(EngineProcess* proc, const std::string& line)
{
    if (proc->to_child < 0)
        return false;
    std::string text = line + "\n";
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(proc->to_child, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

void process_close_input(EngineProcess* proc)
{
    close_fd(&proc->to_child);
}

bool process_expect_line(EngineProcess* proc, const std::string& text, int timeout_ms,
                         std::string* matched)
{
    return expect(proc, text, MATCH_EXACT, timeout_ms, matched);
}

bool process_expect_prefix(EngineProcess* proc, const std::string& prefix, int timeout_ms,
                           std::string* matched)
{
    return expect(proc, prefix, MATCH_PREFIX, timeout_ms, matched);
}

bool process_expect_substring(EngineProcess* proc, const std::string& text, int timeout_ms,
                              std::string* matched)
{
    return expect(proc, text, MATCH_SUBSTRING, timeout_ms, matched);
}

bool process_next_line(EngineProcess* proc, int timeout_ms, std::string* line)
{
    long long deadline = now_ms() + timeout_ms;
    while (proc->cursor >= proc->lines.size()) {
        if (!pump(proc, deadline) && (proc->out_closed || now_ms() >= deadline))
            return false;
    }
    *line = proc->lines[proc->cursor++];
    return true;
}

bool process_read_to_end(EngineProcess* proc, int timeout_ms)
{
    long long deadline = now_ms() + timeout_ms;
    while (!proc->out_closed) {
        if (!pump(proc, deadline) && now_ms() >= deadline)
            return false;
    }
    // Drain what is left on stderr without waiting for more.
    while (proc->err_from_child >= 0) {
        char buffer[4096];
        pollfd fd = {proc->err_from_child, POLLIN, 0};
        if (poll(&fd, 1, 0) <= 0)
            break;
        ssize_t n = read(proc->err_from_child, buffer, sizeof buffer);
        if (n <= 0)
            close_fd(&proc->err_from_child);
        else
            proc->err_text.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

int process_wait_exit(EngineProcess* proc, int timeout_ms)
{
    if (proc->exited)
        return proc->exit_code;
    if (proc->pid < 0)
        return -1;
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(proc->pid, &status, WNOHANG);
        if (r == proc->pid) {
            proc->exited = true;
            proc->exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            proc->pid = -1;
            return proc->exit_code;
        }
        if (r < 0 && errno != EINTR)
            return -1;
        if (now_ms() >= deadline) {
            process_kill(proc);
            return -1;
        }
        // Keep the pipes drained so that the child cannot block on a full
        // pipe; poll() also paces this loop.
        if (!proc->out_closed)
            pump(proc, now_ms() + 20);
        else {
            pollfd none = {-1, 0, 0};
            poll(&none, 1, 10);
        }
    }
}

void process_kill(EngineProcess* proc)
{
    if (proc->pid > 0) {
        kill(proc->pid, SIGKILL);
        int status;
        waitpid(proc->pid, &status, 0);
        proc->pid = -1;
    }
    close_fd(&proc->to_child);
    close_fd(&proc->from_child);
    close_fd(&proc->err_from_child);
}

std::string process_transcript(const EngineProcess* proc, size_t from)
{
    std::string text;
    for (size_t i = from; i < proc->lines.size(); i++) {
        text += proc->lines[i];
        text += '\n';
    }
    if (!proc->partial.empty())
        text += proc->partial + " (no line break)\n";
    return text;
}
