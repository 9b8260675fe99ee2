// Shared set-up for the search, ordering, time and level tests: one engine
// initialisation per process, a cleared state before each search, an idle
// standard input for the polls the search makes, output and log capture.
#pragma once

#include <gtest/gtest.h>

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
#include "frontend/hooks.h"
#include "frontend/testsuite.h"
#include "search/evaluate.h"
#include "search/exchange.h"
#include "search/hashmem.h"
#include "search/history.h"
#include "search/legality.h"
#include "search/levels.h"
#include "search/movepicker.h"
#include "search/movesort.h"
#include "search/multipv.h"
#include "search/pvtable.h"
#include "search/root.h"
#include "search/rootmoves.h"
#include "search/search.h"
#include "search/searchinfo.h"
#include "search/think.h"
#include "search/timecontrol.h"
#include "search/transposition.h"
#include "tablebases/tbprobe.h"
#include "tests/helpers/engine_state.h"
#include "tools/epd_fens.h"

namespace search_support {

inline bool sanitized()
{
    const char* flag = std::getenv("QUARVEL_SANITIZED");
    return flag != nullptr && flag[0] == '1';
}

inline void init_engine_once()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // The search polls standard input; a pipe whose writing end stays open
    // reads as "no line waiting" whatever the test runner gives us.
    int fds[2];
    if (pipe(fds) == 0) {
        dup2(fds[0], 0);
        close(fds[0]);
    }
    init_bitboard_tables();
    init_eval_tables();
    set_hash_sizes(8 * 1048576);
    restart_random_sequence();
    init_hash_keys();
    alloc_hash_table();
    alloc_pawn_and_eval_cache();
    install_search_hooks();
}

// A position on an initialised engine, nothing else touched.
inline OwnedPosition board_position(const char* fen)
{
    init_engine_once();
    OwnedPosition pos = create_position();
    setup_new_game(pos);
    if (fen != nullptr && set_board(pos, fen) != 1)
        ADD_FAILURE() << "bad FEN " << fen;
    return pos;
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

// A fresh engine's settings with a clock that never runs out.
inline OwnedPosition new_position(const char* fen)
{
    OwnedPosition pos = board_position(fen);
    protocol_mode = PROTOCOL_CONSOLE;
    output_enabled = 1;
    post_enabled = analyze_mode = ponder_search = show_move_numbers = test_mode = 0;
    multipv_lines = 1;
    max_depth = level_max_depth = DEPTH_UNLIMITED;
    root_noise = previous_score = fixed_move_time = tb_max_men = 0;
    time_target = time_maximum = 1 << 30;
    pos->game->contempt = 0;
    pos->search_moves[0] = 0;
    clear_search_memory(pos);
    return pos;
}

// The FENs (four fields) of the perft suite.
inline std::vector<std::string> perft_fens()
{
    return read_epd_fens(std::string(QUARVEL_DATA_DIR) + "/perft/perft.epd");
}

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Captures standard output and the log while it exists.
class OutputCapture {
  public:
    OutputCapture() : log_path_("/tmp/quarvel_search_" + std::to_string(getpid()) + ".log")
    {
        std::remove(log_path_.c_str());
        testing::internal::CaptureStdout();
        open_log_file(log_path_.c_str());
    }
    ~OutputCapture() { finish(); }
    void finish()
    {
        if (done_)
            return;
        done_ = true;
        close_log_file();
        out_ = testing::internal::GetCapturedStdout();
        log_ = read_file(log_path_);
        std::remove(log_path_.c_str());
    }
    const std::string& stdout_text()
    {
        finish();
        return out_;
    }
    const std::string& log_text()
    {
        finish();
        return log_;
    }

  private:
    bool done_ = false;
    std::string log_path_, out_, log_;
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
