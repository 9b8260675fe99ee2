// The root move search: every root move searched in turn with its own
// extension, and the root list kept in order.
#pragma once

#include <cstdint>

#include "search/searchstate.h"

struct Position;
struct RootMove;

// Every iteration searches a quarter ply beyond its nominal depth.
constexpr int ITERATION_DEPTH_BONUS = ONE_PLY / 4;
// Quiescence may nest one step deeper for every four plies of iteration.
constexpr int QSEARCH_BASE_LIMIT = 5;
constexpr int QSEARCH_LIMIT_STEP = 4 * ONE_PLY;

inline int qsearch_limit_for_iteration(int depth)
{
    return depth / QSEARCH_LIMIT_STEP + QSEARCH_BASE_LIMIT;
}

void init_search(Position* pos);
int search_root(Position* pos, int depth, int ply, int alpha, int beta);
int get_root_extension(Position* pos, int move);
void sort_root_moves(Position* pos);
void move_root_entry_to_front(int index, RootMove* list);
