// The principal-variation table: the best line found below each ply.
#pragma once

#include "board/position.h"

// pv[ply] = move followed by the line of ply + 1.
void update_pv(int ply, Move move, Position* pos);
