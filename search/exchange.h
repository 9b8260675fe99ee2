// Static exchange evaluation: what a capture wins when both sides keep
// recapturing on its square with their least valuable attacker.
#pragma once

#include "board/position.h"

// Material gain of the capture on `to` by the piece on `from` when both sides
// keep recapturing with their least valuable attacker. The position itself
// is left untouched: the exchange works on a copy of the occupancy.
int eval_static_exchange(Position* pos, int from, int to);
// Square of the least valuable piece of that colour attacking square, or 64.
int find_least_attacker_white(Position* pos, int square);
int find_least_attacker_black(Position* pos, int square);
