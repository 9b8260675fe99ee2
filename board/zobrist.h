// Zobrist keys and the process-wide random sequence they are drawn from.
// The sequence and its draw order are part of the book file format.
#pragma once

#include "board/position.h"

extern const u32 RANDOM_SEED_TABLE[55];
extern u64 zobrist_piece[39][64]; // rows 17-22 and 33-38 used
extern u64 zobrist_spare[64];
extern u64 zobrist_ep[64];
extern u64 zobrist_side;

u32 draw_random32();
// Starts the sequence again from its seed, as at process start: the next
// draw is the first one again.
void restart_random_sequence();
u64 draw_random64();
// Draws the keys only (what the book builder needs).
void init_zobrist_keys();
// The same draw: the name the tests and tools start with. The main
// transposition table is the search's (alloc_hash_table).
void init_hash_keys();
u64 compute_hash_key(const Position* pos);
u64 compute_pawn_key(const Position* pos);
