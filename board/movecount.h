// The number of legal moves of the side to move, counted from target sets
// without writing a move list: the last ply of a perft.
#pragma once

#include "board/position.h"

// Equal to count_legal_moves on every position; positions it does not model
// (a side without exactly one king, pawns on the first or last rank) are
// handed to the generator and legality filter.
int count_legal_moves_bulk(Position* pos);
