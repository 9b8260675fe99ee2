// Standard input: one buffered reader of file descriptor 0 for the whole
// program, the poll the search makes every few thousand nodes, and the
// serving of the commands that may not wait for the search to end.
//
// The reader works on raw read() calls into its own buffer. A poll() with a
// zero timeout tells whether new bytes are there; they are taken with one
// read() and the buffer is then searched for a line end, so a poll never
// blocks on half a line, whether the other end is a pipe or a terminal.
#include "frontend/input.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "frontend/frontend.h"
#include "frontend/testsuite.h"
#include "search/root.h"
#include "search/search.h"

char poll_line[POLL_LINE_SIZE];
int position_line_dropped = 0;

namespace {

// Longest line handed out; longer ones are dropped whole.
constexpr int LINE_LIMIT = POLL_LINE_SIZE - 1;
// Room for one line of the longest length with its line end, and more.
constexpr int READ_BUFFER_SIZE = 2 * POLL_LINE_SIZE;

char read_buffer[READ_BUFFER_SIZE];
int buffer_start = 0;           // first unread byte
int buffer_end = 0;             // one past the last byte read
bool end_of_input = false;      // read() gave 0 or failed for good
bool discarding = false;        // inside an overlong line that is being dropped
bool dropping_position = false; // the line being dropped is a "position" command
bool initialised = false;

// Bytes handed out in place of descriptor 0 (input_use_memory), or nullptr.
const char* memory_next = nullptr;
const char* memory_end = nullptr;

// The first two words of a served line, split off a copy so that the line
// itself stays intact for pending_line.
char token_buffer[POLL_LINE_SIZE];

// Whether the line starting at `start` (of which `length` bytes are at hand)
// is a "position" command.
bool starts_position(const char* start, int length)
{
    int i = 0;
    while (i < length && (start[i] == ' ' || start[i] == '\t'))
        i++;
    return length - i > 8 && std::strncmp(start + i, "position", 8) == 0 &&
           (start[i + 8] == ' ' || start[i + 8] == '\t');
}

// A UCI interface hears of the dropped line, and a dropped "position" leaves
// the interface's position unknown: it is not searched until the next one.
void report_long_line()
{
    emit_text("Input line longer than %d characters ignored\n", LINE_LIMIT);
    if (protocol_mode == PROTOCOL_UCI) {
        std::printf("info string Input line longer than %d characters ignored\n", LINE_LIMIT);
        std::fflush(stdout);
    }
    if (dropping_position)
        position_line_dropped = 1;
    dropping_position = false;
}

// Drops the line of `length` bytes at the buffer's start.
void drop_whole_line(int length, int consumed)
{
    dropping_position = starts_position(read_buffer + buffer_start, length);
    buffer_start += consumed;
    report_long_line();
}

// Starts dropping an overlong line whose end has not arrived yet.
void start_dropping(int available)
{
    dropping_position = starts_position(read_buffer + buffer_start, available);
    discarding = true;
}

// Drops the bytes of an overlong line that are in the buffer. Returns true
// when the line has ended (its line end consumed, or end of input reached).
bool drop_long_line()
{
    char* start = read_buffer + buffer_start;
    char* newline = static_cast<char*>(std::memchr(start, '\n', size_t(buffer_end - buffer_start)));
    if (newline == nullptr) {
        buffer_start = buffer_end = 0;
        if (!end_of_input)
            return false;
    } else {
        buffer_start = int(newline - read_buffer) + 1;
    }
    discarding = false;
    report_long_line();
    return true;
}

enum : int { LINE_NONE = -2, LINE_END_OF_INPUT = -1 };

// Takes the next whole line out of the buffer into out (cut to size - 1
// bytes), without its '\n'. Returns its length, LINE_NONE when no whole line
// is buffered yet, or LINE_END_OF_INPUT when input has ended and nothing is left.
int take_line(char* out, int size)
{
    for (;;) {
        if (discarding && !drop_long_line())
            return LINE_NONE;
        const int available = buffer_end - buffer_start;
        char* start = read_buffer + buffer_start;
        char* newline = static_cast<char*>(std::memchr(start, '\n', size_t(available)));
        int length;
        if (newline != nullptr) {
            length = int(newline - start);
        } else if (available > LINE_LIMIT) {
            // Too long already: drop it, and the rest of it as it arrives.
            start_dropping(available);
            continue;
        } else if (end_of_input && available > 0) {
            length = available; // a last line without a line end
        } else {
            return end_of_input ? LINE_END_OF_INPUT : LINE_NONE;
        }
        const int consumed = length + (newline != nullptr ? 1 : 0);
        if (length > LINE_LIMIT) {
            drop_whole_line(length, consumed);
            continue;
        }
        const int kept = length < size - 1 ? length : size - 1;
        std::memcpy(out, start, size_t(kept));
        out[kept] = '\0';
        buffer_start += consumed;
        return kept;
    }
}

// The memory source's counterpart of one read(): the next bytes that fit,
// or the end of input once the block is used up.
void read_memory()
{
    const size_t room = size_t(READ_BUFFER_SIZE - buffer_end);
    const size_t left = size_t(memory_end - memory_next);
    const size_t n = left < room ? left : room;
    if (n == 0) {
        end_of_input = true;
        return;
    }
    std::memcpy(read_buffer + buffer_end, memory_next, n);
    memory_next += n;
    buffer_end += int(n);
}

// One read() into the free end of the buffer. A blocking caller retries
// interrupted reads; a polling caller treats them as "nothing yet".
void fill_buffer(bool blocking)
{
    if (end_of_input)
        return;
    if (buffer_start > 0) {
        std::memmove(read_buffer, read_buffer + buffer_start, size_t(buffer_end - buffer_start));
        buffer_end -= buffer_start;
        buffer_start = 0;
    }
    if (buffer_end == READ_BUFFER_SIZE)
        return; // cannot happen: a full buffer always holds a line end or is being dropped
    if (memory_next != nullptr) {
        read_memory();
        return;
    }
    for (;;) {
        const ssize_t n = read(0, read_buffer + buffer_end, size_t(READ_BUFFER_SIZE - buffer_end));
        if (n > 0) {
            buffer_end += int(n);
            return;
        }
        if (n == 0) {
            end_of_input = true;
            return;
        }
        if (errno == EINTR) {
            if (blocking)
                continue;
            return;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // Someone made descriptor 0 non-blocking: wait for it when asked to.
            if (!blocking)
                return;
            pollfd fd = {0, POLLIN, 0};
            poll(&fd, 1, -1);
            continue;
        }
        end_of_input = true; // a read error ends input like a closed pipe
        return;
    }
}

// Whether take_line would now hand out a line or the end of input. Overlong
// lines at the front are dropped first, so that a true answer never leaves a
// reader blocked behind a line it is going to throw away.
bool whole_line_buffered()
{
    for (;;) {
        if (discarding && !drop_long_line())
            return false;
        const int available = buffer_end - buffer_start;
        char* start = read_buffer + buffer_start;
        char* newline = static_cast<char*>(std::memchr(start, '\n', size_t(available)));
        if (newline != nullptr) {
            if (newline - start <= LINE_LIMIT)
                return true;
            drop_whole_line(int(newline - start), int(newline - start) + 1);
            continue;
        }
        if (available > LINE_LIMIT) {
            start_dropping(available);
            continue;
        }
        return end_of_input;
    }
}

// Printable in the sense of the command reader: letters, digits,
// punctuation and the blank.
bool is_printable(unsigned char c)
{
    return c >= 0x20 && c < 0x7f;
}

void trim_line(char* line)
{
    size_t length = std::strlen(line);
    while (length > 0 && !is_printable(static_cast<unsigned char>(line[length - 1])))
        line[--length] = '\0';
}

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Splits the first two words off a copy of line; missing words are "".
void first_two_tokens(const char* line, const char** first, const char** second)
{
    const size_t length = std::min(std::strlen(line), sizeof token_buffer - 1);
    std::memcpy(token_buffer, line, length);
    token_buffer[length] = '\0';
    const char* words[2] = {"", ""};
    char* p = token_buffer;
    for (int i = 0; i < 2; ++i) {
        while (*p != '\0' && is_space(*p))
            ++p;
        if (*p == '\0')
            break;
        words[i] = p;
        while (*p != '\0' && !is_space(*p))
            ++p;
        if (*p != '\0')
            *p++ = '\0';
    }
    *first = words[0];
    *second = words[1];
}

} // namespace

void input_init()
{
    if (initialised)
        return;
    initialised = true;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

void input_install_interrupt()
{
    input_init();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handle_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // no SA_RESETHAND: it stays installed
    sigaction(SIGINT, &action, nullptr);
}

int input_read_line(char* buffer, int size)
{
    input_init();
    if (buffer == nullptr || size < 1)
        return -1;
    for (;;) {
        const int length = take_line(buffer, size);
        if (length >= 0)
            return length;
        if (length == LINE_END_OF_INPUT) {
            buffer[0] = '\0';
            return -1;
        }
        fill_buffer(true);
    }
}

int input_line_waiting()
{
    input_init();
    if (whole_line_buffered())
        return 1;
    if (memory_next != nullptr) {
        fill_buffer(false);
        return whole_line_buffered() ? 1 : 0;
    }
    pollfd fd = {0, POLLIN, 0};
    const int ready = poll(&fd, 1, 0);
    if (ready <= 0)
        return 0; // nothing, or interrupted: the next poll will see it
    if (fd.revents & POLLNVAL) {
        end_of_input = true; // descriptor 0 is closed
        return 1;
    }
    fill_buffer(false);
    return whole_line_buffered() ? 1 : 0;
}

void input_use_memory(const char* bytes, int size)
{
    memory_next = bytes;
    memory_end = bytes + size;
    buffer_start = buffer_end = 0;
    end_of_input = discarding = false;
}

int input_at_end()
{
    return end_of_input && !discarding && buffer_start == buffer_end ? 1 : 0;
}

int output_lost()
{
    return std::ferror(stdout) ? 1 : 0;
}

int poll_input(Position* pos)
{
    if (stop_search)
        return 0;
    // Nobody reads the output any more: finish as at the end of input (a
    // test-suite run goes on, as it does without input).
    if (output_lost() && !test_mode) {
        stop_search = 1;
        return 0;
    }
    if (!input_line_waiting())
        return 0;
    const int length = take_line(poll_line, POLL_LINE_SIZE);
    if (length == LINE_NONE)
        return 0; // never block inside a search
    if (length == LINE_END_OF_INPUT) {
        // A test-suite run has no interface to lose: it runs every position
        // to its time even from a script with nothing on standard input.
        if (test_mode)
            return 0;
        // The interface has gone: finish this search now; the main loop's
        // read then meets the end of input and the program ends in order.
        stop_search = 1;
        return 0;
    }
    return handle_input_while_thinking(pos, poll_line);
}

int handle_input_while_thinking(Position* pos, char* line)
{
    trim_line(line);
    if (line[0] == '\0')
        return 0;
    if (std::strcmp(line, ".") == 0) {
        print_stat01(pos);
        return 0;
    }
    emit_text("{%s}\n", line);

    const char* command;
    const char* argument;
    first_two_tokens(line, &command, &argument);

    if (std::strcmp(command, "draw") == 0) {
        draw_offered = 1;
        return 0;
    }
    if (std::strcmp(command, "ponderhit") == 0) {
        ponder_search = 0;
        return 0;
    }
    // While pondering or analysing no move is due: the answer comes at once
    // and the search goes on.
    if (std::strcmp(command, "ping") == 0 && (ponder_search || analyze_mode)) {
        // Without a number there is nothing to echo; the ponder search goes on.
        if (argument[0] != '\0') {
            std::printf("pong %s\n", argument);
            std::fflush(stdout);
        }
        return 0;
    }
    if (std::strcmp(command, "accepted") == 0)
        return 0;
    if (std::strcmp(command, "post") == 0) {
        post_enabled = 1;
        return 0;
    }
    if (std::strcmp(command, "nopost") == 0) {
        post_enabled = 0;
        return 0;
    }
    if (std::strcmp(command, "isready") == 0) {
        // UCI wants the answer at once and the search to go on.
        std::printf("readyok\n");
        std::fflush(stdout);
        return 0;
    }
    pending_line = line;
    stop_search = 1;
    return 1;
}

void handle_interrupt(int)
{
    node_countdown = 0;
}

void print_stat01(Position* pos)
{
    if (!output_enabled)
        return;
    int moves_left = pos->root_count - pos->root_index - 1;
    if (moves_left < 0)
        moves_left = 0;
    std::printf("stat01: %d %ld %d %d %d", int(get_elapsed_cs(pos)), long(node_count),
                iteration_depth / ONE_PLY, moves_left, pos->root_count);
    if (protocol_version >= 2)
        std::printf(" %s", current_move_text);
    std::printf("\n");
    std::fflush(stdout);
}
