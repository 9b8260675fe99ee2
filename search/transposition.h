// Transposition table: two-slot buckets keyed by the position's Zobrist key.
#pragma once

#include <cstdint>

struct Position;

struct HashEntry {
    uint32_t key_low;
    uint32_t key_high;
    uint32_t move;
    uint16_t info; // bit 0 threat, bits 1-2 bound, bits 3-12 depth, bits 13-15 age
    int16_t score;
};
static_assert(sizeof(HashEntry) == 16, "HashEntry must stay 16 bytes");

struct HashBucket {
    HashEntry slot[2];
};
static_assert(sizeof(HashBucket) == 32, "HashBucket must stay 32 bytes");

enum : int {
    HASH_EXACT = 1,
    HASH_LOWER = 2,
    HASH_UPPER = 3,
};

// probe_hash results
enum : int {
    HASH_CUTOFF = 0,
    HASH_NO_CUTOFF = 1,
    HASH_NULL_FAILS = 2, // no cut-off, and a null-move search would fail low
};

constexpr int HASH_MAX_DEPTH = 1023;

// The fields packed into HashEntry::info, and their packing (depth at most
// HASH_MAX_DEPTH).
inline int entry_threat(const HashEntry& e)
{
    return e.info & 1;
}
inline int entry_bound(const HashEntry& e)
{
    return (e.info >> 1) & 3;
}
inline int entry_depth(const HashEntry& e)
{
    return (e.info >> 3) & 1023;
}
inline int entry_age(const HashEntry& e)
{
    return (e.info >> 13) & 7;
}
inline uint16_t entry_info(int threat, int bound, int depth, int age)
{
    return uint16_t(threat | ((bound & 3) << 1) | (depth << 3) | ((age & 7) << 13));
}

extern HashBucket* hash_table;
extern int hash_entry_count;
extern int hash_bucket_count;
extern int hash_age;
extern int hash_age_count[8];
extern int hash_probes;
extern int hash_hits;
extern int show_hash_usage;

int get_hash_entry_size();
void clear_hash_stats();
void clear_hash();
void resize_hash(int entry_count);
// The table at the size the hash split chose (set_hash_sizes); none when
// that size is 0. Start-up calls it once the hash keys are drawn.
void alloc_hash_table();
void free_hash();
// Points make_move's prefetch at the table as it is now allocated.
void register_tt_prefetch();
int get_hash_fill_permille();
void store_hash(Position* pos, int move, int depth, int ply, int score, int bound);
int probe_hash(Position* pos, int depth, int ply, int* alpha, int* beta);
void extend_pv_from_hash(Position* pos);
void store_pv_in_hash(Position* pos);
void print_hash_usage();
