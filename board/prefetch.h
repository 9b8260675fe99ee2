// Early loads for the search's tables. The search registers where its
// transposition table and pawn hash lie; make_move then starts loading the
// entries the child position will be probed at as soon as the child's keys
// are known, so the probes find them in cache. The board reads only these
// addresses and masks, so it links without the search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/position.h"

struct PrefetchTables {
    const char* tt;     // transposition buckets (never null: a dummy when none)
    uint32_t tt_mask;   // bucket count minus one
    uint32_t tt_stride; // bytes per bucket
    const char* pawn;   // pawn-hash entries (never null: a dummy when none)
    uint32_t pawn_mask; // entry count minus one
    uint32_t pawn_stride;
    uint64_t pawn_phase_key[4];
};

extern PrefetchTables prefetch_tables;

// Registration by the tables' owner; a null base or a count below one
// points the prefetches at a dummy line.
void prefetch_register_tt(const void* base, int64_t bucket_count, size_t stride);
void prefetch_register_pawn(const void* base, int64_t entry_count, size_t stride,
                            const uint64_t phase_key[4]);

// The evaluation's game phase (0 opening to 3 endgame) from the material on
// the board; it selects the pawn-hash entry, so the prefetch needs it too.
inline int game_phase_of(const Position* pos)
{
    if (pos->phase[WHITE] + pos->phase[BLACK] <= 22)
        return 3;
    if (pos->material[WHITE] <= 2100 || pos->material[BLACK] <= 2100)
        return 2;
    if (pos->material[WHITE] <= 2700 || pos->material[BLACK] <= 2700)
        return 1;
    return 0;
}

inline void prefetch_tt(uint64_t key)
{
    const PrefetchTables& t = prefetch_tables;
    __builtin_prefetch(t.tt + size_t(uint32_t(key) & t.tt_mask) * t.tt_stride);
}

// A 30-byte entry may straddle two lines: both ends are loaded.
inline void prefetch_pawn(const Position* pos, uint64_t pawn_key)
{
    const PrefetchTables& t = prefetch_tables;
    const uint64_t k = pawn_key ^ t.pawn_phase_key[game_phase_of(pos)];
    const char* entry = t.pawn + size_t(uint32_t(k) & t.pawn_mask) * t.pawn_stride;
    __builtin_prefetch(entry);
    __builtin_prefetch(entry + t.pawn_stride - 1);
}
