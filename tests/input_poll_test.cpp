// Input during a search through real pipes (and a terminal): every scenario
// runs in a fresh process (this program started again for the one test)
// whose standard input is a pipe or a pseudo terminal, so the reader's
// one-way state (end of input, buffered bytes) never leaks in from other
// tests of this program, whatever their order. The child checks itself and
// reports through its exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "board/board.h"
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "search/root.h"
#include "search/search.h"

namespace {

#define CHILD_CHECK(cond)                                                                          \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: child check failed: %s\n", __FILE__, __LINE__, #cond);    \
            _exit(1);                                                                              \
        }                                                                                          \
    } while (0)

#define CHILD_LINE(expected)                                                                       \
    CHILD_CHECK(pending_line != nullptr && std::strcmp(pending_line, expected) == 0)

int stdout_read_end = -1; // the child's own standard output, read back

// Everything written to standard output since the last call.
std::string take_output()
{
    std::fflush(stdout);
    std::string out;
    char chunk[4096];
    ssize_t n;
    while ((n = read(stdout_read_end, chunk, sizeof chunk)) > 0)
        out.append(chunk, size_t(n));
    return out;
}

void write_all(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

void reset_flags(int mode)
{
    stop_search = ponder_search = draw_offered = post_enabled = protocol_version = 0;
    pending_line = nullptr;
    protocol_mode = mode;
}

// In the child: standard output into a pipe it reads itself, a start
// position, cleared flags.
Position* child_setup(int mode)
{
    int fds[2];
    CHILD_CHECK(pipe(fds) == 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    std::fflush(stdout);
    dup2(fds[1], 1);
    close(fds[1]);
    stdout_read_end = fds[0];
    init_bitboard_tables();
    Position* pos = create_position();
    setup_new_game(pos);
    reset_flags(mode);
    return pos;
}

void pause_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Polls like a search until a line is pending; gives up after 20 s so that
// a broken reader fails instead of hanging.
int poll_until_pending(Position* pos)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < give_up && !stop_search) {
        if (poll_input(pos))
            return 1;
        pause_ms(1);
    }
    return 0;
}

// Set in the started child: "fed" when the parent feeds its input, "own"
// when the child writes its input itself.
constexpr const char* CHILD_ROLE = "QUARVEL_INPUT_POLL_CHILD";
// The child's status after its whole body ran (a run of no test ends with 0).
constexpr int CHILD_DONE = 77;

// Starts this program again for the current test only; run_child there runs
// the body.
[[noreturn]] void exec_fresh_child(const char* role)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    setenv(CHILD_ROLE, role, 1);
    unsetenv("GTEST_OUTPUT"); // the parent's report file stays the parent's
    execl("/proc/self/exe", "input_poll_child", filter.c_str(), "--gtest_brief=1",
          static_cast<char*>(nullptr));
    std::perror("exec of the child");
    _exit(127);
}

// In the child: a new pipe on standard input; returns its write end. The
// child writes its input ahead of reading it (300000 bytes at most), so the
// pipe must hold that much.
int own_input_pipe()
{
    int fds[2];
    CHILD_CHECK(pipe(fds) == 0);
    CHILD_CHECK(fcntl(fds[1], F_SETPIPE_SZ, 1 << 20) >= (1 << 20));
    CHILD_CHECK(dup2(fds[0], 0) == 0);
    close(fds[0]);
    return fds[1];
}

// Runs body in a fresh child. With a feeder, its standard input is a pipe
// the parent feeds. Without one, the child makes the pipe itself and gets
// its write end: no other process holds a copy, so closing it ends the input
// at once (a copy left in the parent kept it open for as long as the parent
// took to close it).
void run_child(const std::function<void(int input_writer)>& body,
               const std::function<void(int writer, pid_t child)>& feeder = nullptr)
{
    if (const char* role = std::getenv(CHILD_ROLE)) {
        body(std::strcmp(role, "own") == 0 ? own_input_pipe() : -1);
        std::fflush(stdout);
        _exit(CHILD_DONE);
    }
    int fds[2] = {-1, -1};
    if (feeder) {
        ASSERT_EQ(pipe(fds), 0);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (feeder) {
            dup2(fds[0], 0);
            close(fds[0]);
            close(fds[1]);
        }
        exec_fresh_child(feeder ? "fed" : "own");
    }
    if (feeder) {
        close(fds[0]);
        feeder(fds[1], child);
        close(fds[1]);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status))
        << "child killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), CHILD_DONE) << "see the child's message above";
}

// Whether a /proc/PID/status text shows a process that catches SIGINT, has
// none pending and sleeps: blocked again, any earlier signal handled. The
// state is the letter after "State:", never any S on that line (the one of
// "State:" itself matches a running process too).
bool status_asleep_with_handler(const std::string& status)
{
    const auto has_sigint = [](const char* mask) {
        return (std::strtoull(mask, nullptr, 16) >> (SIGINT - 1)) & 1;
    };
    bool caught = false, sleeping = false, pending = false;
    for (size_t start = 0; start < status.size();) {
        size_t end = status.find('\n', start);
        if (end == std::string::npos)
            end = status.size();
        const std::string line = status.substr(start, end - start);
        start = end + 1;
        if (line.rfind("SigCgt:", 0) == 0)
            caught = has_sigint(line.c_str() + 7);
        if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0)
            pending = pending || has_sigint(line.c_str() + 7);
        if (line.rfind("State:", 0) == 0) {
            const size_t letter = line.find_first_not_of(" \t", 6);
            sleeping = letter != std::string::npos && line[letter] == 'S';
        }
    }
    return caught && sleeping && !pending;
}

// Waits (at most 20 s) until the child's status shows it asleep with its
// SIGINT handler installed and no SIGINT pending.
bool wait_for_child_asleep_with_handler(pid_t child)
{
    const std::string path = "/proc/" + std::to_string(child) + "/status";
    for (int tries = 0; tries < 20000; ++tries, pause_ms(1)) {
        FILE* file = std::fopen(path.c_str(), "r");
        if (file == nullptr)
            return false;
        std::string status;
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            status.append(chunk, n);
        std::fclose(file);
        if (status_asleep_with_handler(status))
            return true;
    }
    return false;
}

// Waits (at most 20 s) until the reader has taken everything written into
// the pipe, so that the next write arrives as a separate piece.
bool wait_for_pipe_drained(int writer)
{
    for (int tries = 0; tries < 20000; ++tries, pause_ms(1)) {
        int unread = 0;
        if (ioctl(writer, FIONREAD, &unread) != 0)
            return false;
        if (unread == 0)
            return true;
    }
    return false;
}

// Reads the terminal's echo until `text` has come back (at most 20 s): the
// line discipline has then taken every character before it.
bool wait_for_echo(int master, const std::string& text)
{
    std::string echoed;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (echoed.find(text) == std::string::npos && std::chrono::steady_clock::now() < give_up) {
        pollfd fd = {master, POLLIN, 0};
        if (poll(&fd, 1, 100) <= 0)
            continue;
        char chunk[256];
        const ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        echoed.append(chunk, size_t(n));
    }
    return echoed.find(text) != std::string::npos;
}

TEST(InputPoll, ServedCommandsAndPendingLines)
{
    run_child([](int writer) {
        Position* pos = child_setup(PROTOCOL_CONSOLE);
        const struct {
            const char* line;
            int pondering, protocol;
            int result;          // poll_input's result
            const char* pending; // expected pending_line, or nullptr for none
            const char* output;  // expected standard output, exactly
        } rows[] = {
            {"draw", 0, PROTOCOL_CONSOLE, 0, nullptr, "{draw}\n"},
            {"draw", 0, PROTOCOL_XBOARD, 0, nullptr, ""},
            {"ponderhit", 1, PROTOCOL_UCI, 0, nullptr, ""},
            {"ping 7", 1, PROTOCOL_XBOARD, 0, nullptr, "pong 7\n"},
            {"ping", 1, PROTOCOL_XBOARD, 0, nullptr, ""},
            {"accepted draw", 0, PROTOCOL_XBOARD, 0, nullptr, ""},
            {"post", 0, PROTOCOL_XBOARD, 0, nullptr, ""},
            {"nopost", 0, PROTOCOL_XBOARD, 0, nullptr, ""},
            {"isready", 0, PROTOCOL_UCI, 0, nullptr, "readyok\n"},
            {"", 0, PROTOCOL_XBOARD, 0, nullptr, ""},
            {"\r", 0, PROTOCOL_XBOARD, 0, nullptr, ""},
            {"ping 7", 0, PROTOCOL_XBOARD, 1, "ping 7", ""},
            {"usermove e2e4\r", 1, PROTOCOL_XBOARD, 1, "usermove e2e4", ""},
            {"e7e5", 1, PROTOCOL_CONSOLE, 1, "e7e5", "{e7e5}\n"},
            {"stop", 0, PROTOCOL_UCI, 1, "stop", ""},
            {"quit", 0, PROTOCOL_UCI, 1, "quit", ""},
            {"   ", 0, PROTOCOL_XBOARD, 1, "   ", ""},
            {"drawish", 0, PROTOCOL_XBOARD, 1, "drawish", ""},
            {"Draw", 0, PROTOCOL_XBOARD, 1, "Draw", ""},
            {"  post  ", 0, PROTOCOL_XBOARD, 0, nullptr, ""},
        };
        for (const auto& row : rows) {
            const std::string line = row.line;
            reset_flags(row.protocol);
            ponder_search = row.pondering;
            post_enabled = line == "nopost";
            write_all(writer, line + "\n");
            const int result = poll_input(pos);
            const std::string out = take_output();
            if (result != row.result || out != row.output || stop_search != row.result)
                std::fprintf(stderr, "line \"%s\": result %d, output \"%s\"\n", row.line, result,
                             out.c_str());
            CHILD_CHECK(result == row.result && out == row.output && stop_search == row.result);
            CHILD_CHECK(row.pending ? pending_line && std::strcmp(pending_line, row.pending) == 0
                                    : !pending_line);
            CHILD_CHECK(draw_offered == (line == "draw"));
            CHILD_CHECK(ponder_search == (line == "ponderhit" ? 0 : row.pondering));
            CHILD_CHECK(post_enabled == (line == "post" || line == "  post  "));
        }
        // "." answers with one stat01 line; the move name only from protover 2.
        reset_flags(PROTOCOL_XBOARD);
        pos->root_count = 20;
        pos->root_index = 4;
        iteration_depth = 60;
        node_count = 12345;
        std::snprintf(current_move_text, sizeof current_move_text, "Nf3");
        pos->search_start = int(get_time_cs());
        for (int version : {0, 2}) {
            protocol_version = version;
            write_all(writer, ".\n");
            CHILD_CHECK(poll_input(pos) == 0 && stop_search == 0);
            const std::string out = take_output();
            CHILD_CHECK(out.rfind("stat01: ", 0) == 0);
            CHILD_CHECK(out.find(version ? " 12345 5 15 20 Nf3\n" : " 12345 5 15 20\n") !=
                        std::string::npos);
        }
    });
}

TEST(InputPoll, HalfLinesWaitAndStoppedSearchReadsNothing)
{
    run_child([](int writer) {
        Position* pos = child_setup(PROTOCOL_XBOARD);
        CHILD_CHECK(input_line_waiting() == 0 && poll_input(pos) == 0);
        write_all(writer, "dra");
        CHILD_CHECK(input_line_waiting() == 0 && poll_input(pos) == 0 && draw_offered == 0);
        write_all(writer, "w\nusermove e2");
        CHILD_CHECK(poll_input(pos) == 0 && draw_offered == 1);
        CHILD_CHECK(poll_input(pos) == 0); // half a move only
        write_all(writer, "e4\npost\n");
        CHILD_CHECK(poll_input(pos) == 1);
        CHILD_LINE("usermove e2e4");
        // Stopped: the next line waits for the main loop's blocking read.
        CHILD_CHECK(poll_input(pos) == 0 && post_enabled == 0);
        char line[POLL_LINE_SIZE];
        CHILD_CHECK(input_read_line(line, sizeof line) == 4 && std::strcmp(line, "post") == 0);
        // A small buffer gets the start of the line; the rest of it is gone.
        write_all(writer, "0123456789\nnext\n");
        char small[5];
        CHILD_CHECK(input_read_line(small, sizeof small) == 4 && std::strcmp(small, "0123") == 0);
        CHILD_CHECK(input_read_line(line, sizeof line) == 4 && std::strcmp(line, "next") == 0);
    });
}

TEST(InputPoll, OverlongLinesAreDroppedWholeNeverSplit)
{
    run_child([](int writer) {
        Position* pos = child_setup(PROTOCOL_CONSOLE);
        const size_t limit = POLL_LINE_SIZE - 1;
        // The longest line that fits is handed out whole.
        write_all(writer, std::string(limit, 'a') + "\n");
        CHILD_CHECK(poll_input(pos) == 1 && std::strlen(pending_line) == limit);
        take_output();
        // One more character and it is dropped with a message.
        reset_flags(PROTOCOL_CONSOLE);
        write_all(writer, std::string(limit + 1, 'b') + "\nping 3\n");
        CHILD_CHECK(poll_input(pos) == 1);
        CHILD_LINE("ping 3");
        std::string out = take_output();
        CHILD_CHECK(out.find("Input line longer than " + std::to_string(limit) +
                             " characters ignored\n") != std::string::npos);
        CHILD_CHECK(out.find("bbbb") == std::string::npos);
        // Alone, an overlong line leaves nothing to read: the poll must not block.
        reset_flags(PROTOCOL_CONSOLE);
        write_all(writer, std::string(limit + 5, 'e') + "\n");
        CHILD_CHECK(input_line_waiting() == 0 && poll_input(pos) == 0);
        write_all(writer, std::string(3 * limit, 'f') + "\n");
        CHILD_CHECK(poll_input(pos) == 0 && poll_input(pos) == 0 && stop_search == 0);
        write_all(writer, "post\n");
        CHILD_CHECK(poll_input(pos) == 0 && post_enabled == 1);
        // Far longer than the reader's buffer, through the blocking read.
        write_all(writer, std::string(3 * limit, 'c') + "\nquit\n");
        char line[POLL_LINE_SIZE];
        CHILD_CHECK(input_read_line(line, sizeof line) == 4 && std::strcmp(line, "quit") == 0);
        // An overlong last line cut off by the end of input.
        write_all(writer, std::string(limit + 1000, 'd'));
        close(writer);
        CHILD_CHECK(input_read_line(line, sizeof line) == -1);
        CHILD_CHECK(take_output().find("Input line longer than") != std::string::npos);
    });
}

TEST(InputPoll, EndOfInputStopsTheSearchAndIsReportedToTheReader)
{
    run_child([](int writer) {
        Position* pos = child_setup(PROTOCOL_XBOARD);
        write_all(writer, "post\nquit"); // the last line has no line end
        close(writer);
        CHILD_CHECK(poll_input(pos) == 0 && post_enabled == 1);
        CHILD_CHECK(poll_input(pos) == 1);
        CHILD_LINE("quit");
        reset_flags(PROTOCOL_XBOARD);
        CHILD_CHECK(input_at_end() == 1 && input_line_waiting() == 1); // the end itself is news
        CHILD_CHECK(poll_input(pos) == 0 && stop_search == 1 && pending_line == nullptr);
        char line[16];
        CHILD_CHECK(input_read_line(line, sizeof line) == -1 &&
                    input_read_line(line, sizeof line) == -1);
    });
}

TEST(InputPoll, FeederWithDelaysDuringAPonderSearch)
{
    run_child(
        [](int) {
            Position* pos = child_setup(PROTOCOL_XBOARD);
            ponder_search = 1;
            CHILD_CHECK(poll_until_pending(pos) == 1);
            CHILD_LINE("usermove g1f3");
            CHILD_CHECK(draw_offered == 1 && post_enabled == 1 && ponder_search == 1);
            CHILD_CHECK(take_output() == "pong 9\npong 10\n");
            // The line after the stopping one is left for the blocking read.
            char line[64];
            CHILD_CHECK(input_read_line(line, sizeof line) == 6 &&
                        std::strcmp(line, "time 5") == 0);
            CHILD_CHECK(input_read_line(line, sizeof line) == -1);
        },
        [](int writer, pid_t) {
            for (const char* piece :
                 {"dr", "aw\n", "post\npi", "ng 9\n", "ping 10\n", "usermove g1f3\ntime 5\n"}) {
                EXPECT_TRUE(wait_for_pipe_drained(writer)) << piece;
                write_all(writer, piece);
            }
        });
}

TEST(InputPoll, ChildStatusIsAsleepOnlyWhenTheStateLetterSaysSo)
{
    const std::string handler = "SigCgt:\t0000000000000002\n";
    const std::string none = "SigPnd:\t0000000000000000\nShdPnd:\t0000000000000000\n";
    const struct {
        std::string status;
        bool asleep;
    } rows[] = {
        {"State:\tS (sleeping)\n" + none + handler, true},
        {"State:\tR (running)\n" + none + handler, false},
        {"State:\tD (disk sleep)\n" + none + handler, false},
        {"State:\tT (stopped)\n" + none + handler, false},
        {"State:\tS (sleeping)\n" + none + "SigCgt:\t0000000000000400\n", false},
        {"State:\tS (sleeping)\nSigPnd:\t0000000000000002\nShdPnd:\t0\n" + handler, false},
        {"State:\tS (sleeping)\nSigPnd:\t0\nShdPnd:\t0000000000000002\n" + handler, false},
        {none + handler, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(status_asleep_with_handler(row.status), row.asleep) << row.status;
}

TEST(InputPoll, InterruptSetsTheCountdownStaysInstalledAndReadsResume)
{
    run_child(
        [](int) {
            input_install_interrupt();
            for (int i = 0; i < 2; i++) { // a second signal would kill were the handler reset
                node_countdown = 5000;
                raise(SIGINT);
                CHILD_CHECK(node_countdown == 0);
            }
            node_countdown = 5000;
            // Blocked in a read while the signal arrives: the line still comes.
            char line[64];
            CHILD_CHECK(input_read_line(line, sizeof line) == 5 && std::strcmp(line, "hello") == 0);
            CHILD_CHECK(node_countdown == 0);
            // SIGPIPE is ignored: writing into a closed pipe fails, nothing dies.
            int fds[2];
            CHILD_CHECK(pipe(fds) == 0);
            close(fds[0]);
            CHILD_CHECK(write(fds[1], "x", 1) == -1 && errno == EPIPE);
        },
        [](int writer, pid_t child) {
            for (int i = 0; i < 2; i++) {
                EXPECT_TRUE(wait_for_child_asleep_with_handler(child));
                kill(child, SIGINT);
            }
            EXPECT_TRUE(wait_for_child_asleep_with_handler(child));
            write_all(writer, "hello\n");
        });
}

TEST(InputPoll, TerminalInLineModeCountsOnlyWholeLines)
{
    run_child([](int) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        CHILD_CHECK(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        CHILD_CHECK(slave >= 0);
        termios modes;
        CHILD_CHECK(tcgetattr(slave, &modes) == 0);
        modes.c_lflag |= ICANON | ECHO;
        CHILD_CHECK(tcsetattr(slave, TCSANOW, &modes) == 0);
        dup2(slave, 0);
        CHILD_CHECK(isatty(0));
        Position* pos = child_setup(PROTOCOL_CONSOLE);
        write_all(master, "dra");
        CHILD_CHECK(wait_for_echo(master, "dra")); // the half line has reached the terminal
        CHILD_CHECK(poll_input(pos) == 0 && draw_offered == 0);
        write_all(master, "w\nusermove d2d4\n");
        CHILD_CHECK(poll_until_pending(pos) == 1 && draw_offered == 1);
        CHILD_LINE("usermove d2d4");
    });
}

} // namespace
