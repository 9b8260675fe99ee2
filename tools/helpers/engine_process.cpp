#include "tools/helpers/engine_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
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
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

// Reads what arrives before the deadline. False when nothing can arrive any
// more or nothing came in time.
bool pump(EngineProcess* proc, long long deadline)
{
    if (proc->out_closed)
        return false;
    pollfd fds[2] = {{proc->from_child, POLLIN, 0}, {proc->err_from_child, POLLIN, 0}};
    int count = proc->err_from_child >= 0 ? 2 : 1;
    int ready = poll(fds, count, static_cast<int>(std::max(0LL, deadline - now_ms())));
    if (ready <= 0)
        return ready < 0 && errno == EINTR;
    char buffer[4096];
    const short any = POLLIN | POLLHUP | POLLERR;
    if (count > 1 && (fds[1].revents & any)) {
        ssize_t n = read(proc->err_from_child, buffer, sizeof buffer);
        if (n > 0)
            proc->err_text.append(buffer, static_cast<size_t>(n));
        else
            close_fd(&proc->err_from_child);
    }
    if (fds[0].revents & any) {
        ssize_t n = read(proc->from_child, buffer, sizeof buffer);
        if (n > 0) {
            proc->partial.append(buffer, static_cast<size_t>(n));
            for (size_t pos; (pos = proc->partial.find('\n')) != std::string::npos;) {
                std::string line = proc->partial.substr(0, pos);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                proc->lines.push_back(line);
                proc->partial.erase(0, pos + 1);
            }
        } else if (n == 0 || errno != EINTR) {
            proc->out_closed = true;
            if (!proc->partial.empty())
                proc->lines.push_back(proc->partial);
            proc->partial.clear();
        }
    }
    return true;
}

bool expect(EngineProcess* proc, const std::function<bool(const std::string&)>& match,
            int timeout_ms, std::string* matched)
{
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        while (proc->cursor < proc->lines.size()) {
            const std::string& line = proc->lines[proc->cursor++];
            if (match(line)) {
                if (matched)
                    *matched = line;
                return true;
            }
        }
        if (!pump(proc, deadline) && (proc->out_closed || now_ms() >= deadline))
            return false;
    }
}

bool starts(const std::string& line, const std::string& prefix)
{
    return line.rfind(prefix, 0) == 0;
}

} // namespace

EngineProcess::~EngineProcess()
{
    process_kill(this);
}

std::string quarvel_path()
{
    // QUARVEL_ENGINE names another build to drive, such as an older one
    // that a new dialogue is meant to fail on.
    const char* other = std::getenv("QUARVEL_ENGINE");
    if (other != nullptr && other[0] != '\0')
        return other;
    return std::string(QUARVEL_BUILD_DIR) + "/quarvel";
}

bool start_quarvel(EngineProcess* proc, const std::vector<std::string>& args)
{
    std::vector<std::string> full = {"-c", "/nonexistent-quarvel-dir/quarvel.cfg", "-o"};
    full.insert(full.end(), args.begin(), args.end());
    const char* tmp = std::getenv("TMPDIR");
    return process_start(proc, quarvel_path(), full, tmp != nullptr && *tmp ? tmp : "/tmp");
}

bool sanitized_build()
{
    const char* value = std::getenv("QUARVEL_SANITIZED");
    return value != nullptr && value[0] != '\0' && value[0] != '0';
}

int scaled_timeout(int ms)
{
    return sanitized_build() ? ms * 5 : ms;
}

std::string game_lag_allowance()
{
    return sanitized_build() ? "3600000" : "100";
}

std::string read_text_file(const std::string& name)
{
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

// Forks the program argv[0] (looked up in PATH when it holds no '/') with
// pipes on its standard input and output, and on its standard error when
// err_from_child is given. A failed exec travels back through a close-on-exec
// pipe, so that a program that cannot be started is reported as such.
bool fork_child(std::vector<std::string> storage, const std::string& cwd,
                const std::vector<std::string>& extra_env, pid_t* pid, int* to_child,
                int* from_child, int* err_from_child)
{
    int in_pipe[2], out_pipe[2], err_pipe[2] = {-1, -1}, status_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 ||
        (err_from_child != nullptr && pipe(err_pipe) != 0) || pipe2(status_pipe, O_CLOEXEC) != 0)
        return false;
    std::vector<char*> argv;
    for (std::string& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        if (err_from_child != nullptr)
            dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1],
                       status_pipe[0]})
            if (fd >= 0)
                close(fd);
        for (const std::string& entry : extra_env) {
            size_t eq = entry.find('=');
            if (eq != std::string::npos)
                setenv(entry.substr(0, eq).c_str(), entry.c_str() + eq + 1, 1);
        }
        // The parent ignores SIGPIPE; the child gets its own default back.
        signal(SIGPIPE, SIG_DFL);
        if (cwd.empty() || chdir(cwd.c_str()) == 0)
            execvp(argv[0], argv.data());
        int err = errno;
        ssize_t ignored = write(status_pipe[1], &err, sizeof err);
        (void)ignored;
        _exit(127);
    }
    for (int fd : {status_pipe[1], in_pipe[0], out_pipe[1], err_pipe[1]})
        if (fd >= 0)
            close(fd);
    int err = 0;
    ssize_t n = read(status_pipe[0], &err, sizeof err);
    close(status_pipe[0]);
    *pid = child;
    *to_child = in_pipe[1];
    *from_child = out_pipe[0];
    if (err_from_child != nullptr)
        *err_from_child = err_pipe[0];
    if (n > 0) { // the exec failed: the child has ended
        int status;
        waitpid(child, &status, 0);
        for (int fd : {in_pipe[1], out_pipe[0], err_pipe[0]})
            if (fd >= 0)
                close(fd);
        *pid = -1;
        *to_child = *from_child = -1;
        if (err_from_child != nullptr)
            *err_from_child = -1;
    }
    return n <= 0;
}

} // namespace

bool process_start(EngineProcess* proc, const std::string& program,
                   const std::vector<std::string>& args, const std::string& cwd,
                   const std::vector<std::string>& extra_env)
{
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> storage = {program};
    storage.insert(storage.end(), args.begin(), args.end());
    return fork_child(storage, cwd, extra_env, &proc->pid, &proc->to_child, &proc->from_child,
                      &proc->err_from_child);
}

std::vector<std::string> split_blanks(const std::string& text)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            i++;
        size_t j = i;
        while (j < text.size() && text[j] != ' ')
            j++;
        if (j > i)
            words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

bool spawn_engine(const std::string& command, pid_t* pid, int* to_child, int* from_child)
{
    const std::vector<std::string> words = split_blanks(command);
    if (words.empty())
        return false;
    if (!fork_child(words, "", {}, pid, to_child, from_child, nullptr)) {
        std::fprintf(stderr, "%s: cannot be started\n", words[0].c_str());
        return false;
    }
    return true;
}

bool process_send(EngineProcess* proc, const std::string& line)
{
    std::string text = line + "\n";
    for (size_t done = 0; done < text.size();) {
        if (proc->to_child < 0)
            return false;
        ssize_t n = write(proc->to_child, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR)
            return false;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
}

void process_close_input(EngineProcess* proc)
{
    close_fd(&proc->to_child);
}

bool process_expect_line(EngineProcess* proc, const std::string& text, int ms, std::string* got)
{
    return expect(
        proc, [&](const std::string& l) { return l == text; }, ms, got);
}

bool process_expect_prefix(EngineProcess* proc, const std::string& text, int ms, std::string* got)
{
    return expect(
        proc, [&](const std::string& l) { return starts(l, text); }, ms, got);
}

bool process_expect_substring(EngineProcess* proc, const std::string& text, int ms,
                              std::string* got)
{
    return expect(
        proc, [&](const std::string& l) { return l.find(text) != std::string::npos; }, ms, got);
}

bool process_next_line(EngineProcess* proc, int ms, std::string* line)
{
    return expect(
        proc, [](const std::string&) { return true; }, ms, line);
}

bool process_expect_prompt(EngineProcess* proc, const std::string& text, int timeout_ms)
{
    const long long deadline = now_ms() + timeout_ms;
    while (proc->partial != text)
        if (!pump(proc, deadline) && (proc->out_closed || now_ms() >= deadline))
            return false;
    return true;
}

bool process_read_to_end(EngineProcess* proc, int timeout_ms)
{
    long long deadline = now_ms() + timeout_ms;
    while (!proc->out_closed)
        if (!pump(proc, deadline) && now_ms() >= deadline)
            return false;
    // Drain what is left on stderr without waiting for more.
    char buffer[4096];
    for (pollfd fd = {proc->err_from_child, POLLIN, 0};
         proc->err_from_child >= 0 && poll(&fd, 1, 0) > 0;) {
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
    if (proc->exited || proc->pid < 0)
        return proc->exited ? proc->exit_code : -1;
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
        else
            poll(nullptr, 0, 10);
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
    for (size_t i = from; i < proc->lines.size(); i++)
        text += proc->lines[i] + '\n';
    if (!proc->partial.empty())
        text += proc->partial + " (no line break)\n";
    return text;
}

std::vector<std::string> steps_of(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const std::vector<std::string>& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::string process_step(EngineProcess* proc, const std::string& step, int timeout_ms, size_t* mark)
{
    const char kind = step.empty() ? '?' : step[0];
    const std::string arg = step.size() > 2 ? step.substr(2) : "";
    std::string got;
    switch (kind) {
        case '>': return process_send(proc, arg) ? "" : "input closed";
        case '=': return process_expect_line(proc, arg, timeout_ms) ? "" : "missing";
        case '^': return process_expect_prefix(proc, arg, timeout_ms) ? "" : "missing";
        case '~': return process_expect_substring(proc, arg, timeout_ms) ? "" : "missing";
        case '-':
            if (!process_next_line(proc, timeout_ms, &got))
                return "missing";
            return got == arg ? "" : "got \"" + got + "\"";
        case '@': {
            size_t colon = arg.find(": ");
            std::string head =
                arg.substr(0, colon != std::string::npos ? colon + 2 : arg.find(' ') + 1);
            if (!process_expect_prefix(proc, head, timeout_ms, &got))
                return "missing";
            return got == arg ? "" : "got \"" + got + "\"";
        }
        case '|': *mark = proc->lines.size(); return "";
        case 'x':
            for (size_t i = *mark; i < proc->lines.size(); i++)
                if (starts(proc->lines[i], arg))
                    return "unexpected \"" + proc->lines[i] + "\"";
            return "";
        case '!': return kill(proc->pid, SIGINT) == 0 ? "" : "kill failed";
        case '?': return process_expect_prompt(proc, arg, timeout_ms) ? "" : "no prompt";
        case '$':
            process_close_input(proc);
            if (!process_read_to_end(proc, timeout_ms))
                return "output not closed";
            return proc->cursor == proc->lines.size() ? "" : "more output";
    }
    return "unknown step";
}

std::string run_dialogue(const Dialogue& d, int timeout_ms, const StepHook& hook)
{
    EngineProcess proc;
    if (!start_quarvel(&proc, d.args))
        return "cannot start " + quarvel_path();
    size_t mark = 0;
    std::string error;
    for (const std::string& step : d.steps) {
        if (!(hook && hook(&proc, step, &error)))
            error = process_step(&proc, step, timeout_ms, &mark);
        if (!error.empty())
            return "step \"" + step + "\": " + error + "\n" + process_transcript(&proc);
    }
    process_close_input(&proc);
    int code = process_wait_exit(&proc, timeout_ms);
    process_read_to_end(&proc, 1000);
    if (code != d.exit_code)
        error = "exit code " + std::to_string(code);
    else if (proc.err_text.find(d.err) == std::string::npos)
        error = "stderr lacks \"" + d.err + "\"";
    return error.empty() ? "" : error + "\n" + process_transcript(&proc) + proc.err_text;
}
