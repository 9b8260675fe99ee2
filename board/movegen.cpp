// Pseudo-legal move generation. The order in which moves are appended is
// fixed (move ordering starts from it and node counts depend on it): white
// generators mostly walk squares upwards, black ones downwards, with the
// exceptions noted at each generator.
#include "board/movegen.h"

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/makemove.h"

namespace {

template <bool ASC>
inline int next_square(u64& set)
{
    return ASC ? pop_lowest(set) : pop_highest(set);
}

inline Move code(int from, int to, int piece, int captured, int promo = 0)
{
    return make_move_code(from, to, piece, captured, promo);
}

// Four promotions, queen first.
inline Move* add_promotions(Move* out, int from, int to, int piece, int captured)
{
    for (int promo = PROMO_QUEEN; promo >= PROMO_KNIGHT; promo--)
        *out++ = code(from, to, piece, captured, promo);
    return out;
}

template <int C>
inline int attacked_by_enemy(const Position* pos, int sq)
{
    return square_attacked_by<C ^ 1>(pos, sq);
}

template <int C>
inline int pinned(const Position* pos, int sq)
{
    return C == WHITE ? is_pinned_white(pos->king_square[WHITE], sq, pos)
                      : is_pinned_black(pos->king_square[BLACK], sq, pos);
}

// A king of this side really stands on its recorded square (a set-up without
// a king keeps a stale king_square, which must not produce king moves).
template <int C>
inline bool has_king(const Position* pos)
{
    return pos->board[pos->king_square[C]] == make_piece(C, KING);
}

// Attack set of a knight, bishop, rook or queen standing on `from`.
template <int KIND>
inline u64 piece_targets(const Position* pos, int from)
{
    if constexpr (KIND == KNIGHT)
        return knight_attacks[from];
    else if constexpr (KIND == BISHOP)
        return diagonal_attacks_from(pos, from);
    else if constexpr (KIND == ROOK)
        return straight_attacks_from(pos, from);
    else
        return diagonal_attacks_from(pos, from) | straight_attacks_from(pos, from);
}

// Appends piece moves of one kind: every piece in FROM_ASC order, its targets
// (attack set & allowed) in TO_ASC order.
template <bool FROM_ASC, bool TO_ASC, int KIND, int C>
inline Move* add_piece_moves(const Position* pos, Move* out, u64 pieces, u64 allowed)
{
    constexpr int piece = make_piece(C, KIND);
    while (pieces) {
        int from = next_square<FROM_ASC>(pieces);
        u64 targets = piece_targets<KIND>(pos, from) & allowed;
        while (targets) {
            int to = next_square<TO_ASC>(targets);
            *out++ = code(from, to, piece, pos->board[to]);
        }
    }
    return out;
}

// Knight, bishop, rook and queen moves, kind by kind in that order.
template <bool FROM_ASC, bool TO_ASC, int C>
inline Move* add_all_piece_moves(const Position* pos, Move* out, u64 allowed)
{
    out = add_piece_moves<FROM_ASC, TO_ASC, KNIGHT, C>(pos, out, pos->knights[C], allowed);
    out = add_piece_moves<FROM_ASC, TO_ASC, BISHOP, C>(pos, out, pos->bishops[C], allowed);
    out = add_piece_moves<FROM_ASC, TO_ASC, ROOK, C>(pos, out, pos->rooks[C], allowed);
    return add_piece_moves<FROM_ASC, TO_ASC, QUEEN, C>(pos, out, pos->queens[C], allowed);
}

template <int C>
int gen_quiet(Position* pos, Move* list)
{
    constexpr bool ASC = C == WHITE;
    constexpr int pawn = make_piece(C, PAWN);
    constexpr int king = make_piece(C, KING);
    Move* out = list;
    const u64 empty = ~pos->occupied;

    u64 pawns = C == WHITE ? pos->pawns[C] & ~RANK_7 & (empty >> 8)
                           : pos->pawns[C] & ~RANK_2 & (empty << 8);
    while (pawns) {
        int from = next_square<ASC>(pawns);
        if (C == WHITE) {
            *out++ = code(from, from + 8, pawn, 0);
            if ((bit(from) & RANK_2) && (empty & bit(from + 16)))
                *out++ = code(from, from + 16, pawn, 0);
        } else {
            *out++ = code(from, from - 8, pawn, 0);
            if ((bit(from) & RANK_7) && (empty & bit(from - 16)))
                *out++ = code(from, from - 16, pawn, 0);
        }
    }
    out = add_all_piece_moves<ASC, ASC, C>(pos, out, empty);

    if (has_king<C>(pos)) {
        const int ks = pos->king_square[C];
        u64 targets = king_attacks[ks] & empty;
        while (targets)
            *out++ = code(ks, next_square<ASC>(targets), king, 0);
    }

    const int rights = *pos->castle_top;
    if (C == WHITE) {
        if ((rights & CASTLE_WHITE_SHORT) && !(pos->occupied & castle_path_white_short) &&
            !square_attacked_by<BLACK>(pos, SQ_E1) && !square_attacked_by<BLACK>(pos, SQ_F1))
            *out++ = MOVE_WHITE_SHORT;
        if ((rights & CASTLE_WHITE_LONG) && !(pos->occupied & castle_path_white_long) &&
            !square_attacked_by<BLACK>(pos, SQ_E1) && !square_attacked_by<BLACK>(pos, SQ_D1))
            *out++ = MOVE_WHITE_LONG;
    } else {
        if ((rights & CASTLE_BLACK_SHORT) && !(pos->occupied & castle_path_black_short) &&
            !square_attacked_by<WHITE>(pos, SQ_E8) && !square_attacked_by<WHITE>(pos, SQ_F8))
            *out++ = MOVE_BLACK_SHORT;
        if ((rights & CASTLE_BLACK_LONG) && !(pos->occupied & castle_path_black_long) &&
            !square_attacked_by<WHITE>(pos, SQ_E8) && !square_attacked_by<WHITE>(pos, SQ_D8))
            *out++ = MOVE_BLACK_LONG;
    }
    return int(out - list);
}

template <int C>
int gen_captures(Position* pos, Move* list)
{
    constexpr int E = C ^ 1;
    constexpr bool FROM_ASC = C == WHITE;
    constexpr bool TO_ASC = !FROM_ASC;
    constexpr int pawn = make_piece(C, PAWN);
    constexpr int king = make_piece(C, KING);
    Move* out = list;
    const u64 enemy = pos->pieces[E];
    const u64 empty = ~pos->occupied;
    const u64 promo_rank = C == WHITE ? RANK_7 : RANK_2;
    const u64* pawn_attacks = C == WHITE ? pawn_attacks_white : pawn_attacks_black;

    // Pawns before promotion, and pawns with a target diagonally ahead (the
    // attack steps undone without wrapping round the board edge).
    const u64 hitting = C == WHITE ? ((enemy >> 7) & ~FILE_A) | ((enemy >> 9) & ~FILE_H)
                                   : ((enemy << 9) & ~FILE_A) | ((enemy << 7) & ~FILE_H);
    u64 pawns = pos->pawns[C] & (promo_rank | hitting);
    while (pawns) {
        int from = next_square<FROM_ASC>(pawns);
        const bool promoting = bit(from) & promo_rank;
        if (promoting) {
            int ahead = C == WHITE ? from + 8 : from - 8;
            if (empty & bit(ahead))
                out = add_promotions(out, from, ahead, pawn, 0);
        }
        u64 targets = pawn_attacks[from] & enemy;
        while (targets) {
            int to = next_square<TO_ASC>(targets);
            if (promoting)
                out = add_promotions(out, from, to, pawn, pos->board[to]);
            else
                *out++ = code(from, to, pawn, pos->board[to]);
        }
    }

    const int ep = *pos->ep_top;
    if (ep) {
        u64 capturers =
            pos->pawns[C] & (C == WHITE ? pawn_attacks_black[ep] : pawn_attacks_white[ep]);
        while (capturers)
            *out++ = code(pop_lowest(capturers), ep, pawn, make_piece(E, PAWN));
    }

    out = add_all_piece_moves<FROM_ASC, TO_ASC, C>(pos, out, enemy);

    if (has_king<C>(pos)) {
        const int ks = pos->king_square[C];
        u64 targets = king_attacks[ks] & enemy;
        while (targets) {
            int to = next_square<FROM_ASC>(targets);
            *out++ = code(ks, to, king, pos->board[to]);
        }
    }
    return int(out - list);
}

// Appends the moves of unpinned pieces of one kind onto the squares in
// `targets`, pieces and targets in ASC order.
template <bool ASC, int KIND, int C>
inline Move* add_unpinned_moves(const Position* pos, Move* out, u64 pieces, u64 allowed)
{
    constexpr int piece = make_piece(C, KIND);
    while (pieces) {
        int from = next_square<ASC>(pieces);
        u64 targets = piece_targets<KIND>(pos, from) & allowed;
        if (!targets || pinned<C>(pos, from))
            continue;
        while (targets) {
            int to = next_square<ASC>(targets);
            *out++ = code(from, to, piece, pos->board[to]);
        }
    }
    return out;
}

// The king of C and the lines of the (at most two) checkers through it.
struct CheckLines {
    int king_square;
    int low;  // lowest checker square
    int high; // highest checker square (== low for a single check)
    int low_direction;
    int high_direction;
    bool low_slides; // a piece other than a pawn checks from low
    bool high_slides;
};

// A king step is lost when it retreats along a checking line: the king
// itself still hides that square from the attacked-by test.
template <int C>
inline bool king_step_ok(const Position* pos, const CheckLines* lines, int to)
{
    if (attacked_by_enemy<C>(pos, to))
        return false;
    int s = direction_table[to][lines->king_square];
    if (lines->low_slides && s == lines->low_direction)
        return false;
    if (lines->high_slides && s == lines->high_direction)
        return false;
    return true;
}

template <int C>
inline CheckLines check_lines(const Position* pos, int ks, u64 checkers)
{
    constexpr int enemy_pawn = make_piece(C ^ 1, PAWN);
    CheckLines lines;
    lines.king_square = ks;
    lines.low = lowest_square(checkers);
    lines.high = highest_square(checkers);
    lines.low_direction = direction_table[ks][lines.low];
    lines.high_direction = direction_table[ks][lines.high];
    lines.low_slides = pos->board[lines.low] != enemy_pawn;
    lines.high_slides = pos->board[lines.high] != enemy_pawn;
    return lines;
}

// Unpinned pawns and pieces of C that take the single checker, the en
// passant capture of a checking pawn included.
template <int C>
inline Move* add_checker_captures(const Position* pos, Move* out, int checker)
{
    constexpr int pawn = make_piece(C, PAWN);
    constexpr int enemy_pawn = make_piece(C ^ 1, PAWN);
    const u64 promo_rank = C == WHITE ? RANK_7 : RANK_2;
    const u64* reversed = C == WHITE ? pawn_attacks_black : pawn_attacks_white;
    const int captured = pos->board[checker];
    u64 pawns = pos->pawns[C] & reversed[checker];
    while (pawns) {
        int from = pop_lowest(pawns);
        if (pinned<C>(pos, from))
            continue;
        if (bit(from) & promo_rank)
            out = add_promotions(out, from, checker, pawn, captured);
        else
            *out++ = code(from, checker, pawn, captured);
    }
    const int ep = *pos->ep_top;
    if (ep && ep == (C == WHITE ? checker + 8 : checker - 8)) {
        u64 capturers = pos->pawns[C] & reversed[ep];
        while (capturers) {
            int from = pop_lowest(capturers);
            if (!pinned<C>(pos, from))
                *out++ = code(from, ep, pawn, enemy_pawn);
        }
    }
    const u64 diagonal = diagonal_attacks_from(pos, checker);
    const u64 straight = straight_attacks_from(pos, checker);
    struct {
        u64 set;
        int piece;
    } capturers[4] = {{pos->knights[C] & knight_attacks[checker], make_piece(C, KNIGHT)},
                      {pos->bishops[C] & diagonal, make_piece(C, BISHOP)},
                      {pos->rooks[C] & straight, make_piece(C, ROOK)},
                      {pos->queens[C] & (diagonal | straight), make_piece(C, QUEEN)}};
    for (auto& group : capturers)
        while (group.set) {
            int from = pop_lowest(group.set);
            if (!pinned<C>(pos, from))
                *out++ = code(from, checker, group.piece, captured);
        }
    return out;
}

// Unpinned pawns (single and double steps) and pieces of C that step
// between a distant single checker and the king.
template <int C>
inline Move* add_interpositions(const Position* pos, Move* out, int checker, int ks)
{
    constexpr bool LATE_ASC = C == WHITE; // order of the interpositions
    constexpr int pawn = make_piece(C, PAWN);
    const u64 empty = ~pos->occupied;
    const u64 promo_rank = C == WHITE ? RANK_7 : RANK_2;
    const u64 between = get_squares_between(checker, ks);
    u64 pawns = pos->pawns[C] & (C == WHITE ? between >> 8 : between << 8);
    while (pawns) {
        int from = next_square<LATE_ASC>(pawns);
        if (pinned<C>(pos, from))
            continue;
        int to = C == WHITE ? from + 8 : from - 8;
        if (bit(from) & promo_rank)
            out = add_promotions(out, from, to, pawn, 0);
        else
            *out++ = code(from, to, pawn, 0);
    }
    u64 doubles = C == WHITE ? pos->pawns[C] & RANK_2 & (between >> 16) & (empty >> 8)
                             : pos->pawns[C] & RANK_7 & (between << 16) & (empty << 8);
    while (doubles) {
        int from = next_square<LATE_ASC>(doubles);
        if (!pinned<C>(pos, from))
            *out++ = code(from, C == WHITE ? from + 16 : from - 16, pawn, 0);
    }
    out = add_unpinned_moves<LATE_ASC, KNIGHT, C>(pos, out, pos->knights[C], between);
    out = add_unpinned_moves<LATE_ASC, BISHOP, C>(pos, out, pos->bishops[C], between);
    out = add_unpinned_moves<LATE_ASC, ROOK, C>(pos, out, pos->rooks[C], between);
    out = add_unpinned_moves<LATE_ASC, QUEEN, C>(pos, out, pos->queens[C], between);
    return out;
}

// King captures (always upwards) or king steps to empty squares (in the
// colour's late order) that leave check.
template <int C, bool CAPTURES>
inline Move* add_king_evasions(const Position* pos, Move* out, const CheckLines* lines)
{
    constexpr bool ORDER_ASC = CAPTURES || C == WHITE;
    constexpr int king = make_piece(C, KING);
    const int ks = lines->king_square;
    u64 targets = king_attacks[ks] & (CAPTURES ? pos->pieces[C ^ 1] : ~pos->occupied);
    while (targets) {
        int to = next_square<ORDER_ASC>(targets);
        if (king_step_ok<C>(pos, lines, to))
            *out++ = code(ks, to, king, CAPTURES ? pos->board[to] : 0);
    }
    return out;
}

inline bool adjacent_squares(int a, int b)
{
    const int dr = (a >> 3) - (b >> 3), df = (a & 7) - (b & 7);
    return dr <= 1 && dr >= -1 && df <= 1 && df >= -1;
}

template <int C>
int gen_evasions(Position* pos, Move* list)
{
    Move* out = list;
    const int ks = pos->king_square[C];
    const u64 checkers = has_king<C>(pos) ? get_attackers(pos, ks, C ^ 1) : 0;
    if (!checkers) {
        // Not in check after all: every move is an evasion.
        out += gen_captures<C>(pos, out);
        out += gen_quiet<C>(pos, out);
        return int(out - list);
    }
    const CheckLines lines = check_lines<C>(pos, ks, checkers);
    const bool single = lines.low == lines.high;
    if (single)
        out = add_checker_captures<C>(pos, out, lines.low);
    out = add_king_evasions<C, true>(pos, out, &lines);
    if (single && !adjacent_squares(lines.low, ks))
        out = add_interpositions<C>(pos, out, lines.low, ks);
    out = add_king_evasions<C, false>(pos, out, &lines);
    return int(out - list);
}

// The piece-by-piece half of is_move_valid, once the moving piece is known
// to be of side C and to stand on the from-square.
template <int C>
int move_fits(Position* pos, Move move)
{
    constexpr int E = C ^ 1;
    const int from = move_from(move), to = move_to(move);
    const int piece = move_piece(move), captured = move_captured(move), promo = move_promo(move);
    const int target = pos->board[to];
    const int ep = *pos->ep_top;
    const int kind = piece & 7;
    const u64 last_rank = C == WHITE ? RANK_8 : RANK_1;

    // The captured field must describe the target square (en passant aside),
    // and the target never holds an own piece: make_move trusts both.
    const bool ep_capture =
        kind == PAWN && ep && to == ep && target == 0 && captured == make_piece(E, PAWN);
    if (!ep_capture && captured != target)
        return 0;
    if (target && piece_colour(target) == C)
        return 0;
    // A promotion field exactly when a pawn reaches the last rank.
    const bool promotes = kind == PAWN && (bit(to) & last_rank);
    if (promotes != (promo >= PROMO_KNIGHT && promo <= PROMO_QUEEN))
        return 0;
    if (!promotes && promo)
        return 0;

    switch (kind) {
        case PAWN: {
            const int forward = C == WHITE ? 8 : -8;
            const u64 start_rank = C == WHITE ? RANK_2 : RANK_7;
            if (to == from + forward)
                return target == 0;
            if (to == from + 2 * forward)
                return (bit(from) & start_rank) && pos->board[from + forward] == 0 && target == 0;
            const u64 attacks = C == WHITE ? pawn_attacks_white[from] : pawn_attacks_black[from];
            if (!(attacks & bit(to)))
                return 0;
            if (ep_capture)
                return (C == WHITE ? (from >> 3) == 4 : (from >> 3) == 3);
            return target != 0;
        }
        case KNIGHT: return (knight_attacks[from] & bit(to)) != 0;
        case BISHOP: return (diagonal_attacks_from(pos, from) & bit(to)) != 0;
        case ROOK: return (straight_attacks_from(pos, from) & bit(to)) != 0;
        case QUEEN:
            return ((diagonal_attacks_from(pos, from) | straight_attacks_from(pos, from)) &
                    bit(to)) != 0;
        case KING: {
            int dr = (to >> 3) - (from >> 3), df = (to & 7) - (from & 7);
            if (dr >= -1 && dr <= 1 && df >= -1 && df <= 1)
                return 1;
            const int rights = *pos->castle_top;
            if (C == WHITE) {
                if (move == MOVE_WHITE_SHORT)
                    return (rights & CASTLE_WHITE_SHORT) &&
                           !(pos->occupied & castle_path_white_short) &&
                           !square_attacked_by<BLACK>(pos, SQ_E1) &&
                           !square_attacked_by<BLACK>(pos, SQ_F1);
                if (move == MOVE_WHITE_LONG)
                    return (rights & CASTLE_WHITE_LONG) &&
                           !(pos->occupied & castle_path_white_long) &&
                           !square_attacked_by<BLACK>(pos, SQ_E1) &&
                           !square_attacked_by<BLACK>(pos, SQ_D1);
            } else {
                if (move == MOVE_BLACK_SHORT)
                    return (rights & CASTLE_BLACK_SHORT) &&
                           !(pos->occupied & castle_path_black_short) &&
                           !square_attacked_by<WHITE>(pos, SQ_E8) &&
                           !square_attacked_by<WHITE>(pos, SQ_F8);
                if (move == MOVE_BLACK_LONG)
                    return (rights & CASTLE_BLACK_LONG) &&
                           !(pos->occupied & castle_path_black_long) &&
                           !square_attacked_by<WHITE>(pos, SQ_E8) &&
                           !square_attacked_by<WHITE>(pos, SQ_D8);
            }
            return 0;
        }
        default: return 0;
    }
}

} // namespace

int gen_quiet_white(Position* pos, Move* list)
{
    return gen_quiet<WHITE>(pos, list);
}
int gen_quiet_black(Position* pos, Move* list)
{
    return gen_quiet<BLACK>(pos, list);
}
int gen_captures_white(Position* pos, Move* list)
{
    return gen_captures<WHITE>(pos, list);
}
int gen_captures_black(Position* pos, Move* list)
{
    return gen_captures<BLACK>(pos, list);
}
int gen_evasions_white(Position* pos, Move* list)
{
    return gen_evasions<WHITE>(pos, list);
}
int gen_evasions_black(Position* pos, Move* list)
{
    return gen_evasions<BLACK>(pos, list);
}

int gen_all_moves(Position* pos, Move* list)
{
    int n;
    if (pos->side_to_move == WHITE) {
        n = gen_captures<WHITE>(pos, list);
        n += gen_quiet<WHITE>(pos, list + n);
    } else {
        n = gen_captures<BLACK>(pos, list);
        n += gen_quiet<BLACK>(pos, list + n);
    }
    return n;
}

int is_move_valid(Position* pos, Move move)
{
    const int from = move_from(move);
    const int piece = move_piece(move);
    if (move == 0 || pos->board[from] != piece)
        return 0;
    // Only a piece of the side to move can move.
    if (pos->side_to_move == WHITE) {
        if (piece < W_PAWN || piece > W_KING)
            return 0;
        return move_fits<WHITE>(pos, move);
    }
    if (piece < B_PAWN || piece > B_KING)
        return 0;
    return move_fits<BLACK>(pos, move);
}

namespace {

// Pieces of `colour` that alone stand between their king and an enemy slider.
u64 pinned_pieces(const Position* pos, int colour, int ks)
{
    u64 snipers = pin_candidates(pos, colour, ks);
    u64 pinned = 0;
    while (snipers) {
        const u64 between = get_squares_between(pop_lowest(snipers), ks) & pos->occupied;
        if (between && !(between & (between - 1)))
            pinned |= between & pos->pieces[colour];
    }
    return pinned;
}

// The one legality test: make, look at the own king, unmake. Inline for the
// generator's filter, which perft and the search run at every node.
inline bool king_safe_after(Position* pos, Move move, int mover)
{
    make_move(pos, move);
    const bool safe = !king_in_check(pos, mover);
    unmake_move(pos, move);
    return safe;
}

} // namespace

bool leaves_king_safe(Position* pos, Move move)
{
    return state_stack_has_room(pos) && king_safe_after(pos, move, pos->side_to_move);
}

int remove_illegal_moves(Position* pos, Move* list, int count)
{
    const int mover = pos->side_to_move;
    const int ks = pos->king_square[mover];
    const u64 kings =
        pos->pieces[mover] & ~(pos->pawns[mover] | pos->knights[mover] | pos->bishops[mover] |
                               pos->rooks[mover] | pos->queens[mover]);
    int kept = 0;
    // Shortcut for the common case (one king, not in check): a move of any
    // piece but the king is legal unless the piece is pinned and leaves the
    // pin line; king moves, en passant and castling are made and tested.
    // Either way the kept list is exactly that of the make-and-test rule.
    if (kings == (u64(1) << ks) && !king_in_check(pos, mover)) {
        const u64 pinned = pinned_pieces(pos, mover, ks);
        const int ep = *pos->ep_top;
        for (int i = 0; i < count; i++) {
            const Move move = list[i];
            const int from = move_from(move), to = move_to(move);
            bool legal;
            if (from == ks || (ep && to == ep && (move_piece(move) & 7) == PAWN))
                legal = king_safe_after(pos, move, mover);
            else
                legal = !(pinned & (u64(1) << from)) ||
                        direction_table[ks][to] == direction_table[ks][from];
            if (legal)
                list[kept++] = move;
        }
        return kept;
    }
    for (int i = 0; i < count; i++)
        if (king_safe_after(pos, list[i], mover))
            list[kept++] = list[i];
    return kept;
}

int count_legal_moves(Position* pos)
{
    Move list[MAX_MOVES];
    int n = gen_all_moves(pos, list);
    return remove_illegal_moves(pos, list, n);
}

Move first_legal_move(Position* pos)
{
    Move list[MAX_MOVES];
    const int count = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
    return count > 0 ? list[0] : 0;
}

int is_generated_legal_move(Position* pos, Move move)
{
    if (move == 0)
        return 0;
    Move list[MAX_MOVES];
    const int n = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
    for (int i = 0; i < n; i++)
        if (list[i] == move)
            return 1;
    return 0;
}
