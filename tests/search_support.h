// Shared set-up for the search tests: one engine initialisation per process,
// a cleared state before each search, an idle standard input for the polls
// the search makes, and capture of standard output and of the log.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "frontend/frontend.h"
#include "frontend/testsuite.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/levels.h"
#include "search/multipv.h"
#include "search/ordering.h"
#include "search/root.h"
#include "search/search.h"
#include "search/searchinfo.h"
#include "search/timecontrol.h"
#include "search/transposition.h"
#include "tablebases/tbprobe.h"

namespace search_support {

inline bool sanitized()
{
    const char* flag = std::getenv("QUARVEL_SANITIZED");
    return flag != nullptr && flag[0] == '1';
}

// The search polls standard input every 8000 nodes; under a test runner it
// may be closed or at its end, which would stop every search. A pipe whose
// writing end stays open reads as "no line waiting".
inline void make_stdin_idle()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    int fds[2];
    if (pipe(fds) == 0) {
        dup2(fds[0], 0);
        close(fds[0]);
        // fds[1] stays open for the life of the process.
    }
}

inline void init_engine_once()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    make_stdin_idle();
    init_bitboard_tables();
    init_eval_tables();
    set_hash_sizes(8 * 1048576);
    init_hash_keys();
    alloc_pawn_and_eval_cache();
}

// Default settings of a fresh engine with a clock that never runs out.
inline void reset_settings()
{
    protocol_mode = PROTOCOL_CONSOLE;
    output_enabled = 1;
    post_enabled = 0;
    analyze_mode = 0;
    ponder_search = 0;
    show_move_numbers = 0;
    test_mode = 0;
    multipv_lines = 1;
    max_depth = DEPTH_UNLIMITED;
    root_noise = 0;
    previous_score = 0;
    fixed_move_time = 0;
    time_target = 1 << 30;
    time_maximum = 1 << 30;
    tb_max_men = 0;
}

// Everything a search remembers from earlier ones is wiped, so that node
// counts do not depend on the order the tests run in.
inline void clear_search_memory(Position* pos)
{
    clear_hash();
    clear_pawn_and_eval_cache();
    std::memset(history, 0, sizeof history);
    std::memset(pos->killers, 0, sizeof pos->killers);
    hash_age = 1;
    node_countdown = 0;
}

inline Position* new_position(const char* fen)
{
    init_engine_once();
    reset_settings();
    Position* pos = create_position();
    setup_new_game(pos);
    if (fen != nullptr)
        set_board(pos, fen);
    pos->game->contempt = 0;
    pos->search_moves[0] = 0;
    clear_search_memory(pos);
    return pos;
}

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Captures standard output (the protocol lines) and the log (every line the
// output channel writes) while it exists.
class OutputCapture {
public:
    OutputCapture()
    {
        static int serial = 0;
        const std::string base =
            "/tmp/quarvel_search_" + std::to_string(getpid()) + "_" + std::to_string(serial++);
        stdout_path_ = base + ".out";
        log_path_ = base + ".log";
        std::remove(log_path_.c_str());
        std::fflush(stdout);
        saved_stdout_ = dup(1);
        const int fd = open(stdout_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        close(fd);
        open_log_file(log_path_.c_str());
    }
    ~OutputCapture() { finish(); }

    void finish()
    {
        if (saved_stdout_ < 0)
            return;
        close_log_file();
        std::fflush(stdout);
        dup2(saved_stdout_, 1);
        close(saved_stdout_);
        saved_stdout_ = -1;
        stdout_text_ = read_file(stdout_path_);
        log_text_ = read_file(log_path_);
        std::remove(stdout_path_.c_str());
        std::remove(log_path_.c_str());
    }
    const std::string& stdout_text()
    {
        finish();
        return stdout_text_;
    }
    const std::string& log_text()
    {
        finish();
        return log_text_;
    }

private:
    int saved_stdout_ = -1;
    std::string stdout_path_, log_path_, stdout_text_, log_text_;
};

inline std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// Legal moves of the side to move, generated from scratch.
inline std::vector<Move> legal_moves(Position* pos)
{
    Move list[MAX_MOVES];
    const int count = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
    return std::vector<Move>(list, list + count);
}

inline bool is_legal(Position* pos, Move move)
{
    for (Move m : legal_moves(pos))
        if (m == move)
            return true;
    return false;
}

} // namespace search_support
