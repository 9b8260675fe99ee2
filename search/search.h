// Principal-variation alpha-beta search below the root and the capture-only
// quiescence search at its leaves.
#pragma once

#include <cstdint>

#include "search/searchstate.h"

struct Position;

// How the move made at a ply was extended (ext_flags[ply + 1]).
constexpr int EXT_THREAT = 1;
constexpr int EXT_CHECK = 4;
constexpr int EXT_SINGLE_REPLY = 8;
constexpr int EXT_RECAPTURE = 0x10;
constexpr int EXT_PAWN_SEVENTH = 0x20;

extern int draw_score[2];       // score of a drawn position, by side to move
extern int tb_probe_depth;      // endgame tables only above this depth
extern int tb_probe_plies;      // 4
extern int qsearch_depth_limit; // quiescence nesting limit of this iteration

int search(Position* pos, int depth, int ply, int alpha, int beta, int allow_null);
int quiesce(Position* pos, int ply, int alpha, int beta);
// The search of a child node: the full search with a null move allowed
// while a ply of depth is left, else the quiescence search.
int child_search(Position* pos, int depth, int ply, int alpha, int beta);
// Whether the endgame tables may be asked about the position: tables are
// registered and hold its number of men (at most four with a bare king).
bool tablebase_probe_allowed(const Position* pos);

// A table score (a distance from the probed position) as a score from the
// root for a position probed at `ply`.
int tablebase_score_from_root(int score, int ply);
