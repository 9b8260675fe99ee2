// State of the running search that the root, the tree below it, the clock
// and the reports share, and the units its depths and scores are counted in.
// Defined in search/searchstate.cpp.
#pragma once

#include <cstdint>

// Depth is counted in twelfths of a ply so that fractional extensions add up.
constexpr int ONE_PLY = 12;
constexpr int SCORE_INFINITE = 32767;
constexpr int MATE_THRESHOLD = 30000;
constexpr int MAX_SEARCH_PLY = 64;    // slots of every per-ply array
constexpr int DEPTH_UNLIMITED = 768;  // 64 plies: no depth limit
constexpr int ASPIRATION_WINDOW = 35; // half-width of a root window
// The null move is reduced by two plies, by three above six plies; the hash
// table's "null move fails" hint follows the same rule.
constexpr int NULL_MOVE_DEEP = 6 * ONE_PLY;
constexpr int null_move_reduction(int depth)
{
    return depth <= NULL_MOVE_DEEP ? 2 * ONE_PLY : 3 * ONE_PLY;
}

// Keeps a window bound inside plus or minus infinity so that it never wraps.
constexpr int clamp_score(int score)
{
    return score > SCORE_INFINITE    ? SCORE_INFINITE
           : score < -SCORE_INFINITE ? -SCORE_INFINITE
                                     : score;
}

extern int iteration_depth; // twelfths of a ply of the running iteration
extern int max_depth;       // depth limit in twelfths; DEPTH_UNLIMITED = none
// The limit of the playing level or the command line, which a new game
// brings back after a depth limit of the protocol ("sd", "depth").
extern int level_max_depth;
extern int root_alpha; // window of the running root search
extern int root_beta;
extern int extend_time;            // non-zero lets the clock run up to the maximum
extern int stop_search;            // raised by the clock, the input poll, the rules of think
extern int search_side;            // side to move when the search started
extern char current_move_text[32]; // SAN of the root move being searched

extern int64_t node_count;        // nodes of the running search
extern int node_countdown;        // nodes left until the next clock/input poll
extern int node_countdown_reload; // 8000
extern int sel_depth;             // deepest ply reached in this search

void reset_node_counters();
