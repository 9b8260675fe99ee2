// Pawn structure, pawn race and king safety, called from evaluate.
#pragma once

#include <cstdint>

struct Position;
struct PawnHashEntry;

struct KingDangers {
    int8_t white_king_danger;
    int8_t black_king_danger;
};

extern const int PASSED_PAWN[4][8];
extern const int CONNECTED_PASSER[8];
extern const int ISOLATED_FILE[8];
extern const int ISOLATED_COUNT[9];

int eval_pawns_white(Position* pos, int phase, PawnHashEntry* entry);
int eval_pawns_black(Position* pos, int phase, PawnHashEntry* entry);
int eval_pawn_race(Position* pos, PawnHashEntry* entry);
int eval_king_safety(Position* pos, KingDangers* dangers);
