// Attack detection through the precomputed tables. The attacked-by tests stop
// at the first hit and try the cheapest tests first.
#include "board/attacks.h"

#include "board/bitboard.h"

u64 get_attackers(const Position* pos, int square, int colour)
{
    u64 diagonal = pos->bishops[colour] | pos->queens[colour];
    u64 straight = pos->rooks[colour] | pos->queens[colour];
    u64 set = (diagonal_attacks_from(pos, square) & diagonal) |
              (straight_attacks_from(pos, square) & straight);
    set |= king_attacks[square] & square_mask[pos->king_square[colour]];
    set |= knight_attacks[square] & pos->knights[colour];
    if (colour == WHITE)
        set |= pos->pawns[WHITE] & pawn_attacks_black[square];
    else
        set |= pos->pawns[BLACK] & pawn_attacks_white[square];
    return set;
}

namespace {

template <int C>
inline int is_pinned(int king_square, int square, const Position* pos)
{
    constexpr int E = C ^ 1;
    int d = direction_table[square][king_square];
    if (d < 0)
        d = -d;
    u64 line, pinners;
    switch (d) {
        case 1:
            line = rank_attacks_from(pos, square);
            pinners = pos->rooks[E] | pos->queens[E];
            break;
        case 8:
            line = file_attacks_from(pos, square);
            pinners = pos->rooks[E] | pos->queens[E];
            break;
        case 9:
            line = diag_a1h8_attacks_from(pos, square);
            pinners = pos->bishops[E] | pos->queens[E];
            break;
        case 7:
            line = diag_h1a8_attacks_from(pos, square);
            pinners = pos->bishops[E] | pos->queens[E];
            break;
        default: return 0;
    }
    return (line & square_mask[king_square]) && (line & pinners) ? 1 : 0;
}

} // namespace

int is_attacked_by_black(const Position* pos, int square)
{
    return square_attacked_by<BLACK>(pos, square);
}
int is_attacked_by_white(const Position* pos, int square)
{
    return square_attacked_by<WHITE>(pos, square);
}

int is_in_check(const Position* pos, int colour)
{
    return colour == WHITE ? square_attacked_by<BLACK>(pos, pos->king_square[WHITE])
                           : square_attacked_by<WHITE>(pos, pos->king_square[BLACK]);
}

u64 get_squares_between(int a, int b)
{
    switch (direction_table[b][a]) {
        case 8: return ray_north[b] & ray_south[a];
        case -8: return ray_south[b] & ray_north[a];
        case 1: return ray_east[b] & ray_west[a];
        case -1: return ray_west[b] & ray_east[a];
        case 9: return ray_north_east[b] & ray_south_west[a];
        case -9: return ray_south_west[b] & ray_north_east[a];
        case 7: return ray_north_west[b] & ray_south_east[a];
        case -7: return ray_south_east[b] & ray_north_west[a];
        default: return 0;
    }
}

int is_pinned_white(int king_square, int square, const Position* pos)
{
    return is_pinned<WHITE>(king_square, square, pos);
}
int is_pinned_black(int king_square, int square, const Position* pos)
{
    return is_pinned<BLACK>(king_square, square, pos);
}
