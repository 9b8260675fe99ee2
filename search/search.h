// Principal-variation alpha-beta search below the root and the capture-only
// quiescence search at its leaves.
#pragma once

#include <cstdint>

struct Position;

// Depth is counted in twelfths of a ply so that fractional extensions add up.
constexpr int ONE_PLY = 12;
constexpr int SCORE_INFINITE = 32767;
constexpr int MATE_THRESHOLD = 30000;
constexpr int MAX_SEARCH_PLY = 64;    // slots of every per-ply array
constexpr int DEPTH_UNLIMITED = 768;  // 64 plies: no depth limit
constexpr int ASPIRATION_WINDOW = 35; // half-width of a root window

// Keeps a window bound inside plus or minus infinity so that it never wraps.
constexpr int clamp_score(int score)
{
    return score > SCORE_INFINITE    ? SCORE_INFINITE
           : score < -SCORE_INFINITE ? -SCORE_INFINITE
                                     : score;
}

// How the move made at a ply was extended (ext_flags[ply + 1]).
constexpr int EXT_THREAT = 1;
constexpr int EXT_CHECK = 4;
constexpr int EXT_SINGLE_REPLY = 8;
constexpr int EXT_RECAPTURE = 0x10;
constexpr int EXT_PAWN_SEVENTH = 0x20;

extern int64_t node_count;        // nodes of the running search
extern int node_countdown;        // nodes left until the next clock/input poll
extern int node_countdown_reload; // 8000
extern int sel_depth;             // deepest ply reached in this search
extern int draw_score[2];         // score of a drawn position, by side to move
extern int tb_probe_depth;        // endgame tables only above this depth
extern int tb_probe_plies;        // 4
extern int qsearch_depth_limit;   // quiescence nesting limit of this iteration

int search(Position* pos, int depth, int ply, int alpha, int beta, int allow_null);
int quiesce(Position* pos, int ply, int alpha, int beta);

// A table score (a distance from the probed position) as a score from the
// root for a position probed at `ply`.
int tablebase_score_from_root(int score, int ply);
