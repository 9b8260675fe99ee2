// Static evaluation.
#pragma once

#include <cstdint>

#include "board/position.h" // piece_value
#include "search/evaltables.h"

extern int lazy_margin;
extern int eval_calls;
extern int eval_lazy_exits;

int evaluate(Position* pos, int alpha, int beta);
// 0 opening to 3 endgame; the rule lives beside the pawn-hash prefetch.
int get_game_phase(Position* pos);
void reset_eval_counters();
