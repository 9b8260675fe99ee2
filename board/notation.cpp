// Move text in and out. The parser builds a candidate code from SAN,
// coordinate or castling text and leaves legality to the caller, but it
// never returns a code that would mislead make_move: every square is checked,
// pawn text needs an own pawn, and a promotion field only comes with a pawn
// reaching the last rank.
#include "board/notation.h"

#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/output.h"

const char* const square_name[64] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8",
};

namespace {

constexpr int MAX_MOVE_TEXT = 31;

inline bool is_file(char ch)
{
    return ch >= 'a' && ch <= 'h';
}
inline bool is_rank(char ch)
{
    return ch >= '1' && ch <= '8';
}
inline int square_at(const char* s)
{
    return (s[0] - 'a') + 8 * (s[1] - '1');
}
inline bool last_rank(int sq)
{
    return sq < 8 || sq >= 56;
}

int promo_of_letter(char ch)
{
    switch (ch) {
        case 'Q':
        case 'q': return PROMO_QUEEN;
        case 'R':
        case 'r': return PROMO_ROOK;
        case 'B':
        case 'b': return PROMO_BISHOP;
        case 'N':
        case 'n': return PROMO_KNIGHT;
        default: return -1;
    }
}

// Own pieces of a kind (knight to queen) that reach `to` with the current
// occupancy.
u64 piece_candidates(const Position* pos, int kind, int to)
{
    const int c = pos->side_to_move;
    switch (kind) {
        case KNIGHT: return knight_attacks[to] & pos->knights[c];
        case BISHOP: return diagonal_attacks_from(pos, to) & pos->bishops[c];
        case ROOK: return straight_attacks_from(pos, to) & pos->rooks[c];
        default:
            return (diagonal_attacks_from(pos, to) | straight_attacks_from(pos, to)) &
                   pos->queens[c];
    }
}

// Keeps the candidates on the file or rank a disambiguation character names.
u64 narrow(u64 candidates, char ch)
{
    if (is_file(ch))
        return candidates & file_mask[ch - 'a'];
    if (is_rank(ch))
        return candidates & rank_mask[8 * (ch - '1')];
    return candidates;
}

Move parse_piece_move(Position* pos, const char* s, int length, int kind)
{
    const int c = pos->side_to_move;
    const int to = square_at(s + length - 2);
    const int target = pos->board[to];
    if (target && piece_colour(target) == c)
        return 0;
    if (kind == KING) {
        const int from = pos->king_square[c];
        if (pos->board[from] != make_piece(c, KING))
            return 0;
        return make_move_code(from, to, pos->board[from], target, 0);
    }
    u64 candidates = piece_candidates(pos, kind, to);
    if (count_bits(candidates) > 1 && length >= 4)
        candidates = narrow(candidates, s[1]);
    if (count_bits(candidates) > 1 && length >= 5)
        candidates = narrow(candidates, s[2]);
    if (count_bits(candidates) > 1) {
        // Drop the candidates that are pinned against their own king.
        u64 left = candidates;
        candidates = 0;
        while (left) {
            const int from = pop_lowest(left);
            const Move move = make_move_code(from, to, pos->board[from], target, 0);
            if (!state_stack_has_room(pos))
                return 0;
            make_move(pos, move);
            if (!is_in_check(pos, c))
                candidates |= u64(1) << from;
            unmake_move(pos, move);
        }
    }
    if (count_bits(candidates) != 1)
        return 0;
    const int from = lowest_square(candidates);
    return make_move_code(from, to, pos->board[from], target, 0);
}

Move parse_pawn_move(Position* pos, const char* s, int length, int promo)
{
    const int c = pos->side_to_move;
    const int own_pawn = make_piece(c, PAWN);
    if (length < 2 || !is_file(s[length - 2]) || !is_rank(s[length - 1]))
        return 0;
    const int to = square_at(s + length - 2);
    const int to_rank = to >> 3;
    int from;
    if (s[1] == 'x' || is_file(s[1])) {
        const char other = s[1] == 'x' ? s[2] : s[1];
        const int df = s[0] - other;
        if (df != 1 && df != -1)
            return 0;
        const int from_rank = c == WHITE ? to_rank - 1 : to_rank + 1;
        if (from_rank < 0 || from_rank > 7)
            return 0;
        from = from_rank * 8 + (s[0] - 'a');
        if (pos->board[from] != own_pawn)
            return 0;
        if (pos->board[to] == 0)
            return encode_ep_capture(from, pos, to);
    } else {
        const int step = c == WHITE ? -8 : 8;
        from = to + step;
        if (from < 0 || from > 63)
            return 0;
        if (pos->board[from] == 0) {
            from += step;
            if (from < 0 || from > 63)
                return 0;
        }
        if (pos->board[from] != own_pawn)
            return 0;
    }
    const int target = pos->board[to];
    if (target && piece_colour(target) == c)
        return 0;
    return make_move_code(from, to, own_pawn, target,
                          last_rank(to) ? (promo ? promo : PROMO_QUEEN) : 0);
}

Move parse_coordinate_move(Position* pos, const char* s, int length, int promo)
{
    const int from = square_at(s), to = square_at(s + 2);
    const int rights = *pos->castle_top;
    if (length == 4) {
        if (!strncmp(s, "e1g1", 4) && (rights & CASTLE_WHITE_SHORT))
            return MOVE_WHITE_SHORT;
        if (!strncmp(s, "e1c1", 4) && (rights & CASTLE_WHITE_LONG))
            return MOVE_WHITE_LONG;
        if (!strncmp(s, "e8g8", 4) && (rights & CASTLE_BLACK_SHORT))
            return MOVE_BLACK_SHORT;
        if (!strncmp(s, "e8c8", 4) && (rights & CASTLE_BLACK_LONG))
            return MOVE_BLACK_LONG;
    }
    // The code is built from the board whoever stands on the squares: the
    // caller's legality test refuses what cannot be played, and its report
    // then names the squares the user typed.
    const int piece = pos->board[from];
    const bool pawn = piece == W_PAWN || piece == B_PAWN;
    if (pawn && (from & 7) != (to & 7) && pos->board[to] == 0)
        return encode_ep_capture(from, pos, to);
    return make_move_code(from, to, piece, pos->board[to],
                          pawn && last_rank(to) ? (promo ? promo : PROMO_QUEEN) : 0);
}

} // namespace

Move encode_ep_capture(int from, Position* pos, int to)
{
    return make_move_code(from, to, pos->board[from], pos->side_to_move == WHITE ? B_PAWN : W_PAWN,
                          0);
}

Move parse_move(Position* pos, const char* text)
{
    if (!text)
        return 0;
    const size_t full = strlen(text);
    if (full == 0 || full > MAX_MOVE_TEXT)
        return 0;
    char s[MAX_MOVE_TEXT + 1];
    memcpy(s, text, full + 1);
    int length = int(full);

    char letter = 0;
    if (char* eq = strchr(s, '=')) {
        letter = eq[1];
        if (!letter)
            return 0;
        *eq = 0;
        length = int(eq - s);
    }
    while (length > 0 && strchr("+#?!", s[length - 1]))
        s[--length] = 0;
    if (length > 0 && strchr("QRBNqrbn", s[length - 1])) {
        letter = s[length - 1];
        s[--length] = 0;
    }
    int promo = 0;
    if (letter) {
        promo = promo_of_letter(letter);
        if (promo < 0)
            return 0;
    }
    if (char* ep = strstr(s, "ep")) {
        *ep = 0;
        length = int(ep - s);
    }
    if (length < 2)
        return 0;

    const int c = pos->side_to_move;
    if (s[0] == 'O' || s[0] == '0') {
        if (!strcmp(s, "O-O") || !strcmp(s, "0-0"))
            return c == WHITE ? MOVE_WHITE_SHORT : MOVE_BLACK_SHORT;
        if (!strcmp(s, "O-O-O") || !strcmp(s, "0-0-0"))
            return c == WHITE ? MOVE_WHITE_LONG : MOVE_BLACK_LONG;
        return 0;
    }
    // The console and xboard modes write coordinate moves as e2-e4; read
    // that form back like e2e4.
    if (length >= 5 && s[2] == '-' && is_file(s[0]) && is_rank(s[1]) && is_file(s[3]) &&
        is_rank(s[4])) {
        memmove(s + 2, s + 3, size_t(length - 2));
        length--;
    }
    if (length >= 4 && is_file(s[0]) && is_rank(s[1]) && is_file(s[2]) && is_rank(s[3]))
        return parse_coordinate_move(pos, s, length, promo);
    if (is_file(s[0]))
        return parse_pawn_move(pos, s, length, promo);

    int kind;
    switch (s[0]) {
        case 'K': kind = KING; break;
        case 'N': kind = KNIGHT; break;
        case 'B': kind = BISHOP; break;
        case 'R': kind = ROOK; break;
        case 'Q': kind = QUEEN; break;
        default: return 0;
    }
    if (length < 3 || !is_file(s[length - 2]) || !is_rank(s[length - 1]))
        return 0;
    return parse_piece_move(pos, s, length, kind);
}

const char* format_move_coord(Move move)
{
    static char buffer[16];
    if (!move)
        return strcpy(buffer, "Nomove");
    const int promo = move_promo(move);
    static const char letters[] = " nbrq";
    const char* from = square_name[move_from(move)];
    const char* to = square_name[move_to(move)];
    if (protocol_mode == PROTOCOL_UCI) {
        if (promo >= PROMO_KNIGHT && promo <= PROMO_QUEEN)
            snprintf(buffer, sizeof buffer, "%s%s%c", from, to, letters[promo]);
        else
            snprintf(buffer, sizeof buffer, "%s%s", from, to);
    } else {
        if (promo >= PROMO_KNIGHT && promo <= PROMO_QUEEN)
            snprintf(buffer, sizeof buffer, "%s-%s=%c", from, to, letters[promo]);
        else
            snprintf(buffer, sizeof buffer, "%s-%s", from, to);
    }
    return buffer;
}

const char* format_move_san(Position* pos, Move move)
{
    static char buffer[48];
    if (!move)
        return strcpy(buffer, "Nomove");
    // A code that does not fit the position is never made on the board.
    if (!is_move_valid(pos, move) || !state_stack_has_room(pos)) {
        snprintf(buffer, sizeof buffer, "Illegal move: %s", format_move_coord(move));
        return buffer;
    }
    const int from = move_from(move), to = move_to(move);
    const int piece = move_piece(move), kind = piece & 7;
    const int mover = pos->side_to_move;
    char* out = buffer;

    if (is_castling_move(move)) {
        out += sprintf(out, "%s", (to & 7) == 6 ? "O-O" : "O-O-O");
    } else {
        static const char letters[] = "  NBRQK";
        if (kind != PAWN) {
            *out++ = letters[kind];
            u64 candidates = get_attackers(pos, to, mover) & ~pos->pawns[mover];
            u64 same = 0;
            for (u64 set = candidates; set;) {
                int sq = pop_lowest(set);
                if (pos->board[sq] == piece && sq != from)
                    same |= u64(1) << sq;
            }
            if (same) {
                const bool on_file = same & file_mask[from];
                const bool on_rank = same & rank_mask[from];
                if (on_file && on_rank) {
                    *out++ = square_name[from][0];
                    *out++ = square_name[from][1];
                } else if (on_file) {
                    *out++ = square_name[from][1];
                } else {
                    *out++ = square_name[from][0];
                }
            }
        }
        if (move_captured(move)) {
            if (kind == PAWN)
                *out++ = square_name[from][0];
            *out++ = 'x';
        }
        *out++ = square_name[to][0];
        *out++ = square_name[to][1];
        const int promo = move_promo(move);
        if (promo >= PROMO_KNIGHT && promo <= PROMO_QUEEN) {
            *out++ = '=';
            *out++ = " NBRQ"[promo];
        }
        *out = 0;
    }

    make_move(pos, move);
    if (is_in_check(pos, mover)) {
        unmake_move(pos, move);
        snprintf(buffer, sizeof buffer, "Illegal move: %s", format_move_coord(move));
        return buffer;
    }
    if (is_in_check(pos, mover ^ 1)) {
        Move list[MAX_MOVES];
        int n = gen_all_moves(pos, list);
        n = remove_illegal_moves(pos, list, n);
        *out++ = n ? '+' : '#';
        *out = 0;
    }
    unmake_move(pos, move);
    return buffer;
}
