// The game record's moves and the draw tests over the key stack.
#pragma once

#include "board/position.h"

// Plays a move of the game into the record (making room first when full).
// Returns 1: the move is always played.
int push_game_move(Position* pos, Move move);
// When the state stacks have no room for another game move and a search
// above it, forgets the oldest plies: the stretch since the last capture or
// pawn move stays (the draw tests need no more), and so do the record's moves
// above it; undo and book learning then reach back only that far. Never call
// it during a search.
void make_room_for_game_move(Position* pos);
Move pop_game_move(Position* pos);
Move redo_game_move(Position* pos);
int is_draw(Position* pos);
// Earlier occurrences of the position on the board since the last capture or
// pawn move; the game is drawn at three.
int repetition_count(Position* pos);
int is_drawn_by_repetition(Position* pos);
