// Pawn structure, pawn race and king safety, called from evaluate.
#pragma once

#include <cstdint>

struct Position;

// Packed: the table is addressed at 30 bytes per entry.
struct __attribute__((packed)) PawnHashEntry {
    uint32_t key_low;
    uint32_t key_high;
    uint64_t white_passers;
    uint64_t black_passers;
    uint8_t white_byte; // files holding a weak (isolated or backward) white pawn
    uint8_t black_byte;
    uint8_t white_files; // files holding a white pawn
    uint8_t black_files;
    int16_t score; // white minus black, centipawns
};
static_assert(sizeof(PawnHashEntry) == 30, "PawnHashEntry must stay 30 bytes");

// The pawn hash: allocated and sized by search/hashmem.cpp, keyed by the pawn
// key and one of pawn_phase_key per game phase.
extern PawnHashEntry* pawn_hash_table;
extern int pawn_hash_count;
extern uint64_t pawn_phase_key[4];
extern int pawn_hash_probes;
extern int pawn_hash_hits;

struct KingDangers {
    int8_t white_king_danger;
    int8_t black_king_danger;
};

int eval_pawns_white(Position* pos, int phase, PawnHashEntry* entry);
int eval_pawns_black(Position* pos, int phase, PawnHashEntry* entry);
int eval_pawn_race(Position* pos, PawnHashEntry* entry);
int eval_king_safety(Position* pos, KingDangers* dangers);

// Pawn-hash look-up for `evaluate`: the entry for the position's pawns in this
// phase, filled by the pawn evaluators on a miss. 0 when there are no pawns.
// `scratch` receives the result when no table is allocated.
PawnHashEntry* lookup_pawn_hash(Position* pos, int phase, PawnHashEntry* scratch);
