// Arbitrary sequences of lines through the real main loop and command
// handler, in the console, xboard or UCI mode (picked by the first byte).
// The input comes from the fuzzer's bytes through the input reader's memory
// source, never from standard input. Searches stay small: the search polls
// input every few hundred nodes, and every poll takes a line or meets the end
// of the input, which stops the search.
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

void reset_front_end(int mode)
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
    node_countdown_reload = 256;
    node_countdown = 0;
    setup_new_game(pos);
}

// The first word of the line being handled, lower case.
bool handling(const char* word)
{
    if (pending_line == nullptr)
        return false;
    const char* p = pending_line;
    while (*p == ' ' || *p == '\t')
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

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    pos = fuzz_engine_start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (asks_for_big_hash(text))
        return -1;
    reset_front_end(data[0] % 3);
    input_use_memory(text.data(), int(text.size()));
    const int code = fuzz_run_allowing_exit([] { run_main_loop(pos); });
    if (!exit_is_outcome(code)) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "exit code %d", code);
        fuzz_fail("the engine exited", detail);
    }
    // After a fatal exit (code 1) the program would be gone: a position it
    // left half edited is never used.
    if (code != 1)
        fuzz_check_position(pos, "after the dialogue");
    return 0;
}
