// The root move search: every root move searched in turn with its own
// extension, and the root list kept in order.
#pragma once

#include <cstdint>

#include "search/searchstate.h"

struct Position;
struct RootMove;

void init_search(Position* pos);
int search_root(Position* pos, int depth, int ply, int alpha, int beta);
int get_root_extension(Position* pos, int move);
void sort_root_moves(Position* pos);
void move_root_entry_to_front(int index, RootMove* list);
