// The engine's start-up after options and configuration are read: tables,
// keys and caches in the order their random draws require, then a new game.
// The program and the search benchmark both start through it, so the
// benchmark's signature measures the engine as users run it.
#pragma once

struct Position;

// Hash sizes come from hash_total_bytes (the HASH setting). Without
// search_tables only the keys are drawn (the same draws), no table allocated.
void start_engine(Position* pos, bool search_tables);
