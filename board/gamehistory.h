// The game record's moves and the draw tests over the key stack.
#pragma once

#include "board/position.h"

// Returns 1 when the move was played, 0 when the record is full (message printed).
int push_game_move(Position* pos, Move move);
Move pop_game_move(Position* pos);
Move redo_game_move(Position* pos);
int is_draw(Position* pos);
// Earlier occurrences of the position on the board since the last capture or
// pawn move; the game is drawn at three.
int repetition_count(Position* pos);
int is_drawn_by_repetition(Position* pos);
