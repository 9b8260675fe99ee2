// Incremental make and unmake of a move.
#pragma once

#include "board/position.h"

void make_move(Position* pos, Move move);
void unmake_move(Position* pos, Move move);
