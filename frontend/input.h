// Standard input for the whole program: one buffered reader of file
// descriptor 0 shared by the main loop's blocking read, the position editor
// and the polls the search makes while it thinks, plus the handling of the
// lines that arrive during a search.
//
// Nothing else may read standard input (no fgets/getchar/std::cin on stdin):
// bytes taken by the C library's buffer would be invisible to the polls.
//
// Lines are handed out without their '\n'; any '\r' or other trailing
// control characters are left for the caller's trimming. A line longer than
// LINE_BUFFER_SIZE - 1 bytes is read whole and dropped with a message, never
// split into two commands. A last line without '\n' before the end of input
// still counts as a line.
#pragma once

struct Position;

// Size of poll_line, terminator included: the longest command line.
constexpr int POLL_LINE_SIZE = 1 << 17;

// Line read by the last poll; pending_line may point into it.
extern char poll_line[POLL_LINE_SIZE];

// Ignores SIGPIPE so that a closed interface pipe shows up as end of input
// rather than killing the process. Idempotent; the other input functions call
// it on first use as well, but start-up should call it early.
void input_init();

// Whether a write to standard output has failed: the interface reading it has
// gone, which ends the program as the end of input does.
int output_lost();

// Set when an overlong line that began with "position" was dropped: the
// interface's position is not known until the next "position" command.
extern int position_line_dropped;

// Installs handle_interrupt for SIGINT (the "xboard" command). The handler
// stays installed after it fires; interrupted reads are retried.
void input_install_interrupt();

// Blocking read of one line into buffer (at most size - 1 bytes plus the
// terminator). Returns the line's length, or -1 at end of input (or an
// unrecoverable read error). Overlong lines are skipped with a message and
// the next line is returned instead. For the main loop and the editor.
int input_read_line(char* buffer, int size);

// Takes the input from the size bytes at bytes instead of descriptor 0, from
// a fresh start, until they are used up (end of input); the block must stay
// valid until then. For tests and fuzzing; the program never calls it.
void input_use_memory(const char* bytes, int size);

// Non-blocking: 1 when a whole line (or end of input) is waiting, else 0.
// Costs at most one poll() and one read() when no line is buffered.
int input_line_waiting();

// 1 once end of input has been seen and every buffered line handed out.
int input_at_end();

// Poll made by the search every 8000 nodes and by the main loop before it
// blocks. Returns 1 when the search must stop because a line is now pending.
// Reads nothing while stop_search is set. End of input stops the search
// (stop_search = 1) without a pending line; the main loop's blocking read
// then meets the end and the program ends in order.
int poll_input(Position* pos);

// Serves "draw", "ponderhit", "ping" (while pondering), "accepted", "post",
// "nopost", "." and "isready" at once; any other line becomes pending_line
// and sets stop_search (result 1). The line is trimmed in place.
int handle_input_while_thinking(Position* pos, char* line);

// SIGINT handler: makes the search poll at its next node.
void handle_interrupt(int signal_number);

// Answer to the xboard status request ".".
void print_stat01(Position* pos);
