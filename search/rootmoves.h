// The root move list of a search.
#pragma once

#include "board/position.h"

// Fills root_moves in picker order with the legal moves (restricted to the
// searchmoves list when it is not empty); the hash move comes first.
void build_root_moves(Position* pos);
