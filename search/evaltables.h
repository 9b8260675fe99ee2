// The evaluation's tables and the routine that fills the colour-oriented
// ones. Defined in search/evaltables.cpp.
#pragma once

#include <cstdlib>

#include "board/bitboard.h"
#include "board/position.h"

// By piece code (17..22, 33..38); fixed.
extern int piece_value_by_code[40];

// Source tables, white's view, rank 8 first (index = (7 - rank) * 8 + file).
extern const int PST_PAWN[4][64];
extern const int PST_KNIGHT[4][64];
extern const int PST_BISHOP[4][64];
extern const int PST_ROOK[4][64];
extern const int PST_QUEEN[4][64];
extern const int PST_KING[4][64]; // phases 0-2; row 3 unused
extern const int KING_END_KINGSIDE[64];
extern const int KING_END_QUEENSIDE[64];
extern const int KING_END_CENTRE[64];
extern const int KING_DANGER[64];
extern const int OUTPOST[64];
extern const int MIRROR[64];

extern const int KNIGHT_TROPISM[8];
extern const int BISHOP_TROPISM[8];
extern const int ROOK_FILE_TROPISM[8];
extern const int QUEEN_TROPISM[8];
extern const int QUEEN_KING_DISTANCE[8];
extern const int KING_ATTACK_SCALE[64];
extern const int BISHOP_PAIR_BONUS[20];
extern const int PAWN_PATTERN_WEIGHT[4];
extern const int PASSER_BLOCKED[8];
extern const int PASSER_UNCATCHABLE[8];
extern const int PASSER_KING_SUPPORT[8];

// Square-indexed copies built by init_eval_tables: [colour][...][square].
// Kinds: 0 pawn, 1 knight, 2 bishop, 3 rook, 4 queen, 5 king.
enum : int {
    PST_KIND_PAWN,
    PST_KIND_KNIGHT,
    PST_KIND_BISHOP,
    PST_KIND_ROOK,
    PST_KIND_QUEEN,
    PST_KIND_KING
};
enum : int {
    SINGLE_KING_END_KINGSIDE,
    SINGLE_KING_END_QUEENSIDE,
    SINGLE_KING_END_CENTRE,
    SINGLE_KING_DANGER,
    SINGLE_OUTPOST
};
extern int pst_by_square[2][6][4][64];
extern int single_by_square[2][5][64];

void init_eval_tables();
// Square of a side's king, or its home square when the board has none, so that
// every table look-up stays in range. Inline: each evaluation asks twice.
inline int eval_king_square(const Position* pos, int side)
{
    int sq = pos->king_square[side];
    if (sq >= 0 && sq < 64 && pos->board[sq] == make_piece(side, KING))
        return sq;
    return side == WHITE ? SQ_E1 : SQ_E8;
}

// Square helpers the evaluation and the pawn code share, colour-relative
// where a term for white holds for black with the board turned round.
inline int file_distance(int a, int b)
{
    return std::abs((a & 7) - (b & 7));
}
template <int C>
inline int rel_rank(int sq)
{
    return C == WHITE ? (sq >> 3) : 7 - (sq >> 3);
}
template <int C>
inline u64 ray_ahead(int sq)
{
    return C == WHITE ? ray_north[sq] : ray_south[sq];
}
