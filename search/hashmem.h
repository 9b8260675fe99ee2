// One hash budget split among the transposition table, the pawn hash and the
// evaluation cache, and the allocation of the last two.
#pragma once

#include <cstdint>

#include "search/pawns.h" // the pawn hash it sizes

// Sized and allocated with the pawn hash; nothing reads or writes it yet.
struct EvalCacheEntry {
    uint32_t key_low;
    uint32_t key_high;
    int32_t score;
};
static_assert(sizeof(EvalCacheEntry) == 12, "EvalCacheEntry must stay 12 bytes");

// Budgets are clamped into this range so that every table gets entries.
// 106 bytes is the smallest budget from which on every split leaves the main
// table a bucket (two entries) and the pawn hash and evaluation cache an
// entry each; some smaller budgets do too (74 bytes), but not all of them
// (88 to 105 leave the evaluation cache none).
constexpr int64_t HASH_MIN_BYTES = 106;
constexpr int64_t HASH_MAX_BYTES = 2047LL * 1048576;

extern EvalCacheEntry* eval_cache_table;
extern int eval_cache_count;

// Takes 64 bits so that callers can pass n * 1048576 without overflow; an int
// argument converts as before.
void set_hash_sizes(int64_t total_bytes);
// Entry counts of the three tables for a budget within the limits: the
// arithmetic of set_hash_sizes alone, which sets nothing.
struct HashSplit {
    int main_count;
    int pawn_count;
    int eval_count;
};
HashSplit hash_split(int64_t total_bytes);
void alloc_pawn_and_eval_cache();
void clear_pawn_and_eval_cache();
void free_pawn_and_eval_cache();
int get_pawn_entry_size();
int get_eval_entry_size();

// Points make_move's prefetches at the transposition table and pawn hash as
// they are now allocated.
void register_table_prefetch();
