// Arbitrary sequences of lines through the real main loop and command
// handler, in the console, xboard or UCI mode (picked by the first byte).
// The input comes from the fuzzer's bytes through the input reader's memory
// source, never from standard input. A poll of the input always finds the
// next line waiting, so a search ends at its first poll: the first byte also
// picks how many nodes come before it (mostly one, for speed; up to 256,
// which reaches the code the shortest searches do not: longer ones found no
// more at equal time and halved the inputs a second). After the lines, the
// engine must still answer a client: "isready" with "readyok" (UCI), "ping N"
// with "pong N" (xboard and console), with a position that passes its own
// check.
#include <cctype>
#include <cstring>

#include "book/book.h"
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "frontend/mainloop.h"
#include "frontend/testsuite.h"
#include "frontend/uci.h"
#include "fuzz/fuzz_support.h"
#include "search/multipv.h"
#include "search/root.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "tablebases/tbprobe.h"

namespace {

Position* pos;

// The nodes between the search's input polls, by the first byte's choice.
constexpr int POLL_INTERVALS[] = {1, 1, 1, 1, 1, 1, 16, 256};

void reset_front_end(int mode, int poll_interval)
{
    protocol_mode = mode;
    protocol_version = 0;
    pending_line = nullptr;
    search_requested = force_mode = ponder_search = analyze_mode = 0;
    idle_flag = 1;
    ponder_enabled = 1;
    post_enabled = draw_offered = reply_predicted = expected_reply = 0;
    previous_score = ponder_score = ponder_time = ponder_reply = opponent_clock = 0;
    show_diagram = show_move_numbers = 0;
    max_depth = DEPTH_UNLIMITED;
    multipv_lines = 1;
    fixed_move_time = 0;
    moves_to_go = 0;
    own_clock = 30000;
    stop_search = 0;
    test_mode = 0;
    tb_enabled = 0;
    book_enabled = 0;
    uci_start_moves = 0;
    node_countdown_reload = poll_interval;
    node_countdown = 0;
    setup_new_game(pos);
}

// Whether the line being handled starts with the word, after the white
// space (carriage returns included) that the command reader skips too.
bool handling(const char* word)
{
    if (pending_line == nullptr)
        return false;
    const char* p = pending_line;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return std::strncmp(p, word, std::strlen(word)) == 0;
}

// Exits the engine is meant to take: end of input and "quit" (code 0), an
// illegal move in a UCI "position" command and a square off the board in
// the editor (code 1).
bool exit_is_outcome(int code)
{
    if (code == 0)
        return true;
    return code == 1 && (handling("position") || handling("edit"));
}

// A Hash option of hundreds of megabytes is honoured, but clearing it takes
// longer than an input may: such inputs are left out.
bool asks_for_big_hash(const std::string& text)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        for (char& c : line)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (line.find("setoption") != std::string::npos && line.find("hash") != std::string::npos &&
            line.find("clear") == std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

// Runs the main loop over the lines with standard output kept; returns the
// exit code, and what was printed in *printed.
int run_capturing(const char* lines, std::string* printed)
{
    std::fflush(stdout);
    fuzz_output.clear();
    fuzz_output_kept = true;
    input_use_memory(lines, int(std::strlen(lines)));
    pending_line = nullptr; // the loop had nothing left when the input ended
    const int code = fuzz_run_allowing_exit([] { run_main_loop(pos); });
    std::fflush(stdout);
    fuzz_output_kept = false;
    printed->swap(fuzz_output);
    return code;
}

// The client's next questions after the lines: whatever state they left,
// the engine answers them and ends in order at the end of its input.
void check_engine_answers()
{
    std::string printed;
    const int code = run_capturing("isready\nping 4711\n", &printed);
    if (code != 0)
        fuzz_fail("the engine exited while answering isready and ping");
    if (protocol_mode == PROTOCOL_UCI ? printed.find("readyok\n") == std::string::npos
                                      : printed.find("pong 4711\n") == std::string::npos)
        fuzz_fail("no answer to isready or ping after the dialogue", printed.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The smallest hash a user can set (HASH 1M, or the UCI Hash option at
    // 1): cleared by every new game, a larger one would cost each input more.
    pos = fuzz_engine_start(1 << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (asks_for_big_hash(text))
        return -1;
    reset_front_end(data[0] % 3, POLL_INTERVALS[(data[0] / 3) % 8]);
    input_use_memory(text.data(), int(text.size()));
    const int code = fuzz_run_allowing_exit([] { run_main_loop(pos); });
    if (!exit_is_outcome(code)) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "exit code %d", code);
        fuzz_fail("the engine exited", detail);
    }
    // After a fatal exit (code 1) or "quit" the program would be gone: a
    // position it left half edited is never used, and no client asks more.
    if (code == 1 || handling("quit"))
        return 0;
    check_engine_answers();
    fuzz_check_position(pos, "after the dialogue");
    return 0;
}
