// From-scratch checks of a position and of a move against it. The debug
// build runs them after every change to a position (see board/assert.h);
// tests and fuzzers call them directly.
#pragma once

#include "board/position.h"

// Name of the first kept value that disagrees with the one recomputed from
// the board array ("key", "material", "occupied", ...), or nullptr.
const char* position_fault(const Position* pos);
bool position_is_ok(const Position* pos);

// Whether the move code is well formed and fits the position: the mover of
// the side to move on its from square, the captured piece on its target (or
// behind it, en passant), promotion only by a pawn onto the last rank,
// castling only with the right, the rook home and the path clear. Asserted
// by make_move in debug builds and run by the fuzzers; the search never
// calls it.
bool move_is_sane(const Position* pos, Move move);
