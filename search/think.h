// The engine's thinking on one position, the search's entry point.
#pragma once

struct Position;

// Searches pos until a stop rule, the clock, the depth limit or the input
// ends it; the answer is pos->pv[0][0] (0 only without a legal move).
void think(Position* pos);
