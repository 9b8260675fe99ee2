// Killer moves and the history table: what quiet cut-off moves teach the
// move order of later nodes.
#pragma once

#include "board/position.h"

// History scores by side and the move's from * 64 + to.
extern int history[2][4096];

// A quiet cut-off move becomes the newest killer and earns depth^2 history.
void update_killers_history(Position* pos, Move move, int ply, int depth);
