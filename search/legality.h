// Whether a move is legal in the position, found by the move picker.
#pragma once

#include "board/position.h"

// 1 when move is a legal move of the side to move: walks the picker of ply 0
// (so it resets that ply's search state) until it hands out the move, then
// makes it and looks at the own king. Called by the front end for the
// opponent's moves, the ponder move and the move it is about to play.
int is_legal_move(Position* pos, Move move);
