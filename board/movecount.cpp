// Legal moves counted as target sets: pieces pinned against their king are
// confined to the segment up to their pinner, a check confines every other
// piece to the checker and the squares between, and the king's steps are
// tested with the king lifted off the board (so that a slider's line through
// it counts). Only the en passant capture, which can uncover a line through
// two squares at once, is made and tested.
#include "board/movecount.h"

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/movegen.h"

namespace {

// The occupancy and its rotations with one square emptied.
struct Occupancy {
    u64 occupied, rot90, rot45, rot315;
};

inline Occupancy occupancy_without(const Position* pos, int sq)
{
    return {pos->occupied & ~bit(sq), pos->occupied_rot90 & ~bit(ROT90_INDEX[sq]),
            pos->occupied_rot45 & ~bit(ROT45_INDEX[sq]),
            pos->occupied_rot315 & ~bit(ROT315_INDEX[sq])};
}

// Whether a piece of colour E attacks sq, sliders seen through `o`.
template <int E>
inline bool attacked_through(const Position* pos, const Occupancy& o, int sq)
{
    const u64* reversed = E == WHITE ? pawn_attacks_black : pawn_attacks_white;
    if ((king_attacks[sq] & bit(pos->king_square[E])) || (knight_attacks[sq] & pos->knights[E]) ||
        (reversed[sq] & pos->pawns[E]))
        return true;
    const u64 straight = pos->rooks[E] | pos->queens[E];
    const u64 diagonal = pos->bishops[E] | pos->queens[E];
    return (straight & straight_attacks(o.occupied, o.rot90, sq)) ||
           (diagonal & diagonal_attacks(o.rot45, o.rot315, sq));
}

// Moves of the pawns in `pawns` onto `allowed`, each promotion four moves;
// en passant aside.
template <int C>
inline int pawn_move_count(const Position* pos, u64 pawns, u64 allowed)
{
    const u64 empty = ~pos->occupied;
    const u64 enemy = pos->pieces[C ^ 1] & allowed;
    u64 one, two, left, right;
    if constexpr (C == WHITE) {
        one = (pawns << 8) & empty;
        two = ((one & RANK_3) << 8) & empty & allowed;
        left = ((pawns & ~FILE_A) << 7) & enemy;
        right = ((pawns & ~FILE_H) << 9) & enemy;
    } else {
        one = (pawns >> 8) & empty;
        two = ((one & RANK_6) >> 8) & empty & allowed;
        left = ((pawns & ~FILE_A) >> 9) & enemy;
        right = ((pawns & ~FILE_H) >> 7) & enemy;
    }
    one &= allowed;
    constexpr u64 last = C == WHITE ? RANK_8 : RANK_1;
    const int plain = count_bits(one) + count_bits(two) + count_bits(left) + count_bits(right);
    const u64 promoting = (one | left | right) & last;
    if (!promoting)
        return plain;
    return plain +
           3 * (count_bits(one & last) + count_bits(left & last) + count_bits(right & last));
}

// Moves of the non-king piece on sq onto `allowed`, en passant aside.
template <int C>
inline int piece_move_count(const Position* pos, int sq, u64 allowed)
{
    switch (pos->board[sq] & 7) {
        case PAWN: return pawn_move_count<C>(pos, bit(sq), allowed);
        case KNIGHT: return count_bits(knight_attacks[sq] & allowed);
        case BISHOP: return count_bits(diagonal_attacks_from(pos, sq) & allowed);
        case ROOK: return count_bits(straight_attacks_from(pos, sq) & allowed);
        default:
            return count_bits((diagonal_attacks_from(pos, sq) | straight_attacks_from(pos, sq)) &
                              allowed);
    }
}

// Pieces of C pinned against the king on ks; when `moves` is given, the moves
// they keep along their pin lines are added to it.
template <int C>
inline u64 pinned_with_moves(const Position* pos, int ks, int* moves)
{
    u64 snipers = pin_candidates(pos, C, ks);
    u64 pinned = 0;
    while (snipers) {
        const int sniper = pop_lowest(snipers);
        const u64 between = get_squares_between(sniper, ks);
        const u64 blockers = between & pos->occupied;
        if (!blockers || (blockers & (blockers - 1)) || !(blockers & pos->pieces[C]))
            continue;
        pinned |= blockers;
        if (moves)
            *moves += piece_move_count<C>(pos, lowest_square(blockers), between | bit(sniper));
    }
    return pinned;
}

// King steps, castling included.
template <int C>
inline int king_move_count(const Position* pos, int ks, bool in_check)
{
    constexpr int E = C ^ 1;
    const Occupancy lifted = occupancy_without(pos, ks);
    int n = 0;
    u64 steps = king_attacks[ks] & ~pos->pieces[C];
    while (steps)
        n += !attacked_through<E>(pos, lifted, pop_lowest(steps));
    if (in_check)
        return n;
    const int rights = *pos->castle_top;
    constexpr int short_right = C == WHITE ? CASTLE_WHITE_SHORT : CASTLE_BLACK_SHORT;
    constexpr int long_right = C == WHITE ? CASTLE_WHITE_LONG : CASTLE_BLACK_LONG;
    const u64 short_path = C == WHITE ? castle_path_white_short : castle_path_black_short;
    const u64 long_path = C == WHITE ? castle_path_white_long : castle_path_black_long;
    const int base = C == WHITE ? SQ_A1 : SQ_A8;
    // The king crosses the square next to it and lands on the one beyond.
    if ((rights & short_right) && !(pos->occupied & short_path) &&
        !attacked_through<E>(pos, lifted, base + 5) && !attacked_through<E>(pos, lifted, base + 6))
        n++;
    if ((rights & long_right) && !(pos->occupied & long_path) &&
        !attacked_through<E>(pos, lifted, base + 3) && !attacked_through<E>(pos, lifted, base + 2))
        n++;
    return n;
}

// En passant captures, each made and tested.
template <int C>
inline int en_passant_count(Position* pos)
{
    const int ep = *pos->ep_top;
    if (!ep)
        return 0;
    const u64* reversed = C == WHITE ? pawn_attacks_black : pawn_attacks_white;
    u64 capturers = pos->pawns[C] & reversed[ep];
    int n = 0;
    while (capturers) {
        const Move move = make_move_code(pop_lowest(capturers), ep, make_piece(C, PAWN),
                                         make_piece(C ^ 1, PAWN), 0);
        make_move(pos, move);
        n += !king_in_check(pos, C);
        unmake_move(pos, move);
    }
    return n;
}

template <int C>
int count_moves(Position* pos)
{
    constexpr int E = C ^ 1;
    const int ks = pos->king_square[C];
    const u64 checkers = get_attackers(pos, ks, E);
    int n = king_move_count<C>(pos, ks, checkers != 0) + en_passant_count<C>(pos);
    if (checkers & (checkers - 1))
        return n;
    const u64 allowed =
        checkers ? get_squares_between(lowest_square(checkers), ks) | checkers : ~pos->pieces[C];
    const u64 free = ~pinned_with_moves<C>(pos, ks, checkers ? nullptr : &n);
    n += pawn_move_count<C>(pos, pos->pawns[C] & free, allowed);
    for (u64 set = pos->knights[C] & free; set;)
        n += count_bits(knight_attacks[pop_lowest(set)] & allowed);
    for (u64 set = (pos->bishops[C] | pos->queens[C]) & free; set;)
        n += count_bits(diagonal_attacks_from(pos, pop_lowest(set)) & allowed);
    for (u64 set = (pos->rooks[C] | pos->queens[C]) & free; set;)
        n += count_bits(straight_attacks_from(pos, pop_lowest(set)) & allowed);
    return n;
}

template <int C>
inline u64 kings_of(const Position* pos)
{
    return pos->pieces[C] &
           ~(pos->pawns[C] | pos->knights[C] | pos->bishops[C] | pos->rooks[C] | pos->queens[C]);
}

} // namespace

int count_legal_moves_bulk(Position* pos)
{
    const bool modelled = kings_of<WHITE>(pos) == bit(pos->king_square[WHITE]) &&
                          kings_of<BLACK>(pos) == bit(pos->king_square[BLACK]) &&
                          !((pos->pawns[WHITE] | pos->pawns[BLACK]) & (RANK_1 | RANK_8));
    if (!modelled)
        return count_legal_moves(pos);
    return pos->side_to_move == WHITE ? count_moves<WHITE>(pos) : count_moves<BLACK>(pos);
}
