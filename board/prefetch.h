// Early loads for the search's tables. The search registers where its
// transposition table and pawn hash lie; make_move then starts loading the
// entries the child position will be probed at as soon as the child's keys
// are known, so the probes find them in cache. The board reads only these
// addresses and masks, so it links without the search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/position.h"
#include "board/zobrist.h"

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

// The loads for the position a move leads to, issued before the move is
// made so that more work stands between them and the probes. The keys are
// guessed from the moving and the taken piece alone (castling's rook, rights
// and en passant squares are left out): a wrong guess wastes one load.
inline void prefetch_child_pawn(const Position* pos, Move move)
{
    const int piece = move_piece(move), captured = move_captured(move);
    const int from = move_from(move), to = move_to(move);
    uint64_t key = *pos->pawn_key_top;
    if ((piece & 7) == PAWN)
        key ^= zobrist_piece[piece][from] ^ zobrist_piece[piece][to];
    else if ((captured & 7) != PAWN)
        return;
    if ((captured & 7) == PAWN)
        key ^= zobrist_piece[captured][to];
    prefetch_pawn(pos, key);
}

inline void prefetch_child(const Position* pos, Move move)
{
    const int from = move_from(move), to = move_to(move);
    const int piece = move_piece(move), captured = move_captured(move);
    prefetch_tt(*pos->key_top ^ zobrist_side ^ zobrist_piece[piece][from] ^
                zobrist_piece[piece][to] ^ zobrist_piece[captured][to]);
    prefetch_child_pawn(pos, move);
}

// The same for the position after a null move.
inline void prefetch_null_child(const Position* pos)
{
    const int ep = *pos->ep_top;
    prefetch_tt(*pos->key_top ^ zobrist_side ^ (ep ? zobrist_ep[ep] : 0));
}
