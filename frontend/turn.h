// The engine's turn (mate and draw tests, book, ponder-move reuse, search,
// resignation) and the ponder search on the opponent's time.
#pragma once

#include "board/position.h"

// Centiseconds a ponder or analysis search is given: it ends only on input.
constexpr int ENDLESS_TIME_TARGET = 10000000;

// Leaves the move in pv[0][0]; clears game_active when the game ended.
void play_engine_move(Position* pos);
// Searches on the position after the expected reply until input arrives.
void start_pondering_or_end_game(Position* pos);
// "move <from><to>[=<piece>]" for the xboard interface.
void send_move(Move move);

// Makes pv[0][0] a legal move of the side to move: a search that was stopped
// before it completed a root move, or that left a line from another position,
// is replaced by the first legal move. Returns 1 when it had to replace it.
int ensure_legal_best_move(Position* pos);
