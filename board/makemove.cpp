// Incremental make and unmake. Only the squares, sets, counters and keys a
// move touches are changed; what cannot be recomputed from the move code
// (rights, keys, fifty-move counter, en-passant square) lives on the state
// stacks, so unmake restores it by popping.
#include "board/makemove.h"

#include "board/assert.h"
#include "board/bitboard.h"
#include "board/invariants.h"
#include "board/prefetch.h"
#include "board/zobrist.h"

namespace {

// The three rotated bits of each square, so that a square enters or leaves
// all rotated occupancies with three loads from one cache line.
struct RotatedBits {
    u64 r90, r45, r315;
};

constexpr auto make_rotated_bits()
{
    struct Table {
        RotatedBits bits[64];
    } table{};
    for (int sq = 0; sq < 64; sq++)
        table.bits[sq] = {u64(1) << ROT90_INDEX[sq], u64(1) << ROT45_INDEX[sq],
                          u64(1) << ROT315_INDEX[sq]};
    return table;
}
constexpr auto ROTATED_BITS = make_rotated_bits();

// Updates of the rotated occupancies, written straight into the record
// (holding them in registers across make_move only causes spills).
inline void rotated_set(Position* pos, int sq)
{
    const RotatedBits& b = ROTATED_BITS.bits[sq];
    pos->occupied_rot90 |= b.r90;
    pos->occupied_rot45 |= b.r45;
    pos->occupied_rot315 |= b.r315;
}

inline void rotated_clear(Position* pos, int sq)
{
    const RotatedBits& b = ROTATED_BITS.bits[sq];
    pos->occupied_rot90 &= ~b.r90;
    pos->occupied_rot45 &= ~b.r45;
    pos->occupied_rot315 &= ~b.r315;
}

inline void rotated_toggle(Position* pos, int sq)
{
    const RotatedBits& b = ROTATED_BITS.bits[sq];
    pos->occupied_rot90 ^= b.r90;
    pos->occupied_rot45 ^= b.r45;
    pos->occupied_rot315 ^= b.r315;
}

// Moves a piece's bit from one square to another in all three.
inline void rotated_move(Position* pos, int from, int to)
{
    const RotatedBits& f = ROTATED_BITS.bits[from];
    const RotatedBits& t = ROTATED_BITS.bits[to];
    pos->occupied_rot90 = (pos->occupied_rot90 | t.r90) & ~f.r90;
    pos->occupied_rot45 = (pos->occupied_rot45 | t.r45) & ~f.r45;
    pos->occupied_rot315 = (pos->occupied_rot315 | t.r315) & ~f.r315;
}

// Piece set of a kind (pawn to queen) for one side, picked from a table of
// the record's members: one address computation, no branch.
constexpr u64 (Position::*KIND_SETS[6])[2] = {
    nullptr,          &Position::pawns, &Position::knights, &Position::bishops,
    &Position::rooks, &Position::queens};

inline u64& kind_set(Position* pos, int kind, int colour)
{
    return (pos->*KIND_SETS[kind])[colour];
}

// Phase units of a kind.
constexpr int PHASE_OF_KIND[8] = {0, 0, 3, 3, 5, 10, 0, 0};

// Count and phase of a kind (knight to queen) change by `sign`.
inline void adjust_counts(Position* pos, int kind, int colour, int sign)
{
    switch (kind) {
        case KNIGHT: pos->knight_count[colour] += sign; break;
        case BISHOP: pos->bishop_count[colour] += sign; break;
        case ROOK: pos->major_count[colour] += sign; break;
        case QUEEN: pos->major_count[colour] += 2 * sign; break;
    }
    pos->phase[colour] += sign * PHASE_OF_KIND[kind];
}

// Right cleared when a rook leaves or is taken on a corner square.
inline int corner_right(int sq)
{
    switch (sq) {
        case SQ_A1: return CASTLE_WHITE_LONG;
        case SQ_H1: return CASTLE_WHITE_SHORT;
        case SQ_A8: return CASTLE_BLACK_LONG;
        case SQ_H8: return CASTLE_BLACK_SHORT;
        default: return 0;
    }
}

// Rook squares of a castling move, from the king's target square.
inline void castling_rook(int king_to, int& rook_from, int& rook_to)
{
    switch (king_to) {
        case SQ_G1:
            rook_from = SQ_H1;
            rook_to = SQ_F1;
            break;
        case SQ_C1:
            rook_from = SQ_A1;
            rook_to = SQ_D1;
            break;
        case SQ_G8:
            rook_from = SQ_H8;
            rook_to = SQ_F8;
            break;
        default:
            rook_from = SQ_A8;
            rook_to = SQ_D8;
            break;
    }
}

} // namespace

// The five stack tops are pushed and popped as separate 8-byte stores; a
// vectorised 16-byte reload of two of them right after the other function
// stored them cannot be store-forwarded and stalls the make/unmake pair, so
// the straight-line vectoriser stays off here.
#if defined(__GNUC__) && !defined(__clang__)
#define NO_SLP_VECTORIZE __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define NO_SLP_VECTORIZE
#endif

namespace {

// One rank up or down the board, and a pawn's double step.
constexpr int RANK_STEP = 8;
constexpr int DOUBLE_STEP = 2 * RANK_STEP;

// The steps of make_side inline into it (each has one caller) and share its
// vectoriser setting. Plain pointers on purpose: restrict-qualified ones here
// cost make_side a register and about one per cent of its instructions.
#define MAKE_STEP NO_SLP_VECTORIZE inline

// Takes the captured piece (an en-passant pawn from behind the target) off
// the board, the counts and the keys; a rook taken in its corner ends that
// castling right.
template <int O>
MAKE_STEP void remove_captured(Position* pos, int captured, int to, u64 to_mask, int old_ep,
                               u64& key, u64* pawn_key, int* castle)
{
    const int kind = captured & 7;
    if (kind == PAWN) {
        pos->material[O] -= piece_value[0];
        pos->pawn_count[O]--;
        int sq = to;
        if (old_ep && to == old_ep) {
            sq = captured == W_PAWN ? to + RANK_STEP : to - RANK_STEP;
            pos->board[sq] = 0;
            rotated_clear(pos, sq);
        }
        pos->pawns[O] ^= bit(sq);
        pos->pieces[O] ^= bit(sq);
        key ^= zobrist_piece[captured][sq];
        *pawn_key ^= zobrist_piece[captured][sq];
    } else if (kind >= KNIGHT && kind <= QUEEN) {
        pos->material[O] -= piece_value[kind - 1];
        adjust_counts(pos, kind, O, -1);
        kind_set(pos, kind, O) ^= to_mask;
        pos->pieces[O] ^= to_mask;
        key ^= zobrist_piece[captured][to];
        if (kind == ROOK)
            *castle &= ~corner_right(to);
    }
}

// Replaces the pawn by the promoted piece; returns the piece placed on `to`.
template <int C>
MAKE_STEP int promote_pawn(Position* pos, int from, int to, u64 from_mask, u64 to_mask, int promo,
                           u64& key, u64* pawn_key)
{
    pos->pieces[C] ^= from_mask | to_mask;
    pos->pawns[C] ^= from_mask;
    const int pawn_code = make_piece(C, PAWN);
    key ^= zobrist_piece[pawn_code][from];
    *pawn_key ^= zobrist_piece[pawn_code][from];
    pos->pawn_count[C]--;
    const int kind = promo + 1;
    const int placed = make_piece(C, kind);
    adjust_counts(pos, kind, C, +1);
    pos->material[C] += piece_value[kind - 1] - piece_value[0];
    key ^= zobrist_piece[placed][to];
    kind_set(pos, kind, C) |= to_mask;
    return placed;
}

// A pawn step; a double step next to an enemy pawn opens en passant.
template <int C>
MAKE_STEP void move_pawn(Position* pos, int piece, int from, int to, u64 both, u64& key,
                         u64* pawn_key, int* fifty, int* ep)
{
    pos->pawns[C] ^= both;
    *pawn_key ^= zobrist_piece[piece][from] ^ zobrist_piece[piece][to];
    *fifty = 0;
    if (C == WHITE) {
        if (to - from == DOUBLE_STEP && (pawn_attacks_white[to - RANK_STEP] & pos->pawns[BLACK])) {
            *ep = to - RANK_STEP;
            key ^= zobrist_ep[to - RANK_STEP];
        }
    } else if (from - to == DOUBLE_STEP &&
               (pawn_attacks_black[to + RANK_STEP] & pos->pawns[WHITE])) {
        *ep = to + RANK_STEP;
        key ^= zobrist_ep[to + RANK_STEP];
    }
}

// A king move ends both castling rights; castling also moves the rook.
template <int C>
MAKE_STEP void move_king(Position* pos, Move move, int to, u64& key, int* castle)
{
    pos->king_square[C] = to;
    *castle &= C == WHITE ? ~(CASTLE_WHITE_SHORT | CASTLE_WHITE_LONG)
                          : ~(CASTLE_BLACK_SHORT | CASTLE_BLACK_LONG);
    if (is_castling_move(move)) {
        int rook_from, rook_to;
        castling_rook(to, rook_from, rook_to);
        const int rook = make_piece(C, ROOK);
        key ^= zobrist_piece[rook][rook_from] ^ zobrist_piece[rook][rook_to];
        rotated_toggle(pos, rook_from);
        rotated_toggle(pos, rook_to);
        const u64 rook_both = bit(rook_from) | bit(rook_to);
        pos->pieces[C] ^= rook_both;
        pos->rooks[C] ^= rook_both;
        pos->board[rook_to] = rook;
        pos->board[rook_from] = 0;
    }
}

// Both operations are compiled once per side so that every colour index is a
// constant offset into the record.
template <int C>
NO_SLP_VECTORIZE inline void make_side(Position* __restrict pos, Move move)
{
    const int to = move_to(move), from = move_from(move), promo = move_promo(move);
    const int captured = move_captured(move), piece = move_piece(move);
    constexpr int c = C, o = C ^ 1;
    const u64 from_mask = bit(from), to_mask = bit(to);

    // Push the state stacks first; the rare changes below write into the
    // new entries, while the key, which nearly every step changes, stays in
    // a register until the end.
    int* __restrict castle = ++pos->castle_top;
    *castle = castle[-1];
    u64* __restrict pawn_key = ++pos->pawn_key_top;
    *pawn_key = pawn_key[-1];
    int* __restrict fifty = ++pos->fifty_top;
    *fifty = fifty[-1] + 1;
    const int old_ep = *pos->ep_top;
    int* __restrict ep = ++pos->ep_top;
    *ep = 0;
    u64* __restrict key_slot = ++pos->key_top;
    u64 key = key_slot[-1];

    rotated_move(pos, from, to);

    if (captured) {
        *fifty = 0;
        remove_captured<o>(pos, captured, to, to_mask, old_ep, key, pawn_key, castle);
    }

    int placed = piece;
    if (promo) {
        *fifty = 0;
        placed = promote_pawn<c>(pos, from, to, from_mask, to_mask, promo, key, pawn_key);
    }

    if (old_ep)
        key ^= zobrist_ep[old_ep];

    if (!promo && piece >= W_PAWN && piece <= B_KING) {
        const u64 both = from_mask | to_mask;
        const int kind = piece & 7;
        pos->pieces[c] ^= both;
        key ^= zobrist_piece[piece][from] ^ zobrist_piece[piece][to];
        // Conditional branches on the kind predict better in the search's
        // runs of moves than one indirect jump.
        if (kind == PAWN) {
            move_pawn<c>(pos, piece, from, to, both, key, pawn_key, fifty, ep);
        } else if (kind == KING) {
            move_king<c>(pos, move, to, key, castle);
        } else if (kind >= KNIGHT && kind <= QUEEN) {
            kind_set(pos, kind, c) ^= both;
            if (kind == ROOK)
                *castle &= ~corner_right(from);
        }
    }

    key ^= zobrist_side;
    prefetch_tt(key);
    // The pawn-hash entry moves with the pawn key, and with the game phase
    // on the rarer captures that cross a phase boundary (left to the probe).
    if ((piece & 7) == PAWN || (captured & 7) == PAWN)
        prefetch_pawn(pos, *pawn_key);

    pos->side_to_move = o;
    pos->occupied = pos->pieces[0] | pos->pieces[1];
    pos->board[to] = placed;
    pos->board[from] = 0;
    *key_slot = key;
}

template <int C>
NO_SLP_VECTORIZE inline void unmake_side(Position* __restrict pos, Move move)
{
    const int to = move_to(move), from = move_from(move), promo = move_promo(move);
    const int captured = move_captured(move), piece = move_piece(move);
    constexpr int c = C, o = C ^ 1;
    const u64 from_mask = bit(from), to_mask = bit(to);

    pos->ep_top--;
    pos->castle_top--;
    pos->fifty_top--;
    pos->key_top--;
    pos->pawn_key_top--;

    if (captured) {
        rotated_set(pos, from);
        pos->board[to] = captured;
        const int kind = captured & 7;
        if (kind == PAWN) {
            pos->material[o] += piece_value[0];
            pos->pawn_count[o]++;
            int sq = to;
            if (*pos->ep_top && *pos->ep_top == to) {
                sq = captured == W_PAWN ? to + RANK_STEP : to - RANK_STEP;
                pos->board[sq] = captured;
                rotated_set(pos, sq);
                pos->board[to] = 0;
                rotated_clear(pos, to);
            }
            pos->pawns[o] |= bit(sq);
            pos->pieces[o] |= bit(sq);
        } else if (kind >= KNIGHT && kind <= QUEEN) {
            pos->material[o] += piece_value[kind - 1];
            adjust_counts(pos, kind, o, +1);
            kind_set(pos, kind, o) |= to_mask;
            pos->pieces[o] |= to_mask;
        }
    } else {
        rotated_move(pos, to, from);
        pos->board[to] = 0;
    }

    pos->board[from] = piece;
    pos->pieces[c] ^= from_mask | to_mask;
    if (promo) {
        pos->pawns[c] |= from_mask;
        pos->pawn_count[c]++;
        const int kind = promo + 1;
        kind_set(pos, kind, c) &= ~to_mask;
        adjust_counts(pos, kind, c, -1);
        pos->material[c] += piece_value[0] - piece_value[kind - 1];
    } else {
        const int kind = piece & 7;
        if (kind >= PAWN && kind <= QUEEN) {
            kind_set(pos, kind, c) ^= from_mask | to_mask;
        } else if (kind == KING) {
            pos->king_square[c] = from;
            if (is_castling_move(move)) {
                int rook_from, rook_to;
                castling_rook(to, rook_from, rook_to);
                rotated_toggle(pos, rook_from);
                rotated_toggle(pos, rook_to);
                const u64 rook_both = bit(rook_from) | bit(rook_to);
                pos->pieces[c] ^= rook_both;
                pos->rooks[c] ^= rook_both;
                pos->board[rook_from] = make_piece(c, ROOK);
                pos->board[rook_to] = 0;
            }
        }
    }

    pos->side_to_move = c;
    pos->occupied = pos->pieces[0] | pos->pieces[1];
}

} // namespace

void make_move(Position* pos, Move move)
{
    ASSERT(move_is_sane(pos, move));
    ASSERT(state_stack_has_room(pos));
    if (pos->side_to_move == WHITE)
        make_side<WHITE>(pos, move);
    else
        make_side<BLACK>(pos, move);
    ASSERT(position_is_ok(pos));
}

void unmake_move(Position* pos, Move move)
{
    // The mover is the side not to move now.
    if (pos->side_to_move == BLACK)
        unmake_side<WHITE>(pos, move);
    else
        unmake_side<BLACK>(pos, move);
    ASSERT(position_is_ok(pos));
}
