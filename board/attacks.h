// Attack detection: attackers of a square, check, squares between two
// squares, pins against the own king. Read-only table lookups.
#pragma once

#include "board/bitboard.h"
#include "board/position.h"

u64 get_attackers(const Position* pos, int square, int colour);
int is_attacked_by_black(const Position* pos, int square);
int is_attacked_by_white(const Position* pos, int square);
int is_in_check(const Position* pos, int colour);
u64 get_squares_between(int a, int b);
int is_pinned_white(int king_square, int square, const Position* pos);
int is_pinned_black(int king_square, int square, const Position* pos);

// Inline form of the attacked-by tests for the generators' inner loops:
// whether a piece of colour C attacks the square; cheapest tests first.
template <int C>
inline int square_attacked_by(const Position* pos, int square)
{
    const int king = pos->king_square[C];
    const int dr = (king >> 3) - (square >> 3), df = (king & 7) - (square & 7);
    if (dr >= -1 && dr <= 1 && df >= -1 && df <= 1)
        return 1;
    if (knight_attacks[square] & pos->knights[C])
        return 1;
    const u64* reversed = C == WHITE ? pawn_attacks_black : pawn_attacks_white;
    if (reversed[square] & pos->pawns[C])
        return 1;
    const u64 straight = pos->rooks[C] | pos->queens[C];
    if (straight) {
        if (rank_attacks_from(pos, square) & straight)
            return 1;
        if (file_attacks_from(pos, square) & straight)
            return 1;
    }
    const u64 diagonal = pos->bishops[C] | pos->queens[C];
    if (diagonal) {
        if (diag_a1h8_attacks_from(pos, square) & diagonal)
            return 1;
        if (diag_h1a8_attacks_from(pos, square) & diagonal)
            return 1;
    }
    return 0;
}

inline int side_to_move_in_check(const Position* pos)
{
    return is_in_check(pos, pos->side_to_move);
}
// Sliders of the side that is not `colour` standing on a line through ks that
// would reach ks on an empty board: the pieces that may pin against a king
// on ks.
inline u64 pin_candidates(const Position* pos, int colour, int ks)
{
    const int enemy = colour ^ 1;
    const u64 straight = pos->rooks[enemy] | pos->queens[enemy];
    const u64 diagonal = pos->bishops[enemy] | pos->queens[enemy];
    return ((ray_north[ks] | ray_south[ks] | ray_east[ks] | ray_west[ks]) & straight) |
           ((ray_north_east[ks] | ray_north_west[ks] | ray_south_east[ks] | ray_south_west[ks]) &
            diagonal);
}

// Inline form of is_in_check.
inline int king_in_check(const Position* pos, int colour)
{
    return colour == WHITE ? square_attacked_by<BLACK>(pos, pos->king_square[WHITE])
                           : square_attacked_by<WHITE>(pos, pos->king_square[BLACK]);
}
