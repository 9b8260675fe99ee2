// Everything the incremental code keeps is recomputed here from the board
// array alone (the kept sets are never used to rebuild another kept value),
// so a fault in make, unmake or a set-up cannot hide behind itself.
#include "board/invariants.h"

#include "board/bitboard.h"
#include "board/zobrist.h"

namespace {

// The board part as recomputed from the squares.
struct Recomputed {
    u64 kind_sets[7][2]; // by kind, PAWN to KING
    u64 pieces[2];
    u64 occupied, rot90, rot45, rot315;
    int material[2];
    int pawn_count[2], knight_count[2], bishop_count[2], major_count[2], phase[2];
    int king_count[2];
    u64 key, pawn_key;
};

bool valid_piece(int code)
{
    return (code >= W_PAWN && code <= W_KING) || (code >= B_PAWN && code <= B_KING);
}

void add_piece(Recomputed* r, int sq, int code)
{
    const int c = piece_colour(code), kind = piece_kind(code);
    const u64 m = u64(1) << sq;
    r->kind_sets[kind][c] |= m;
    r->pieces[c] |= m;
    r->occupied |= m;
    r->rot90 |= u64(1) << ROT90_INDEX[sq];
    r->rot45 |= u64(1) << ROT45_INDEX[sq];
    r->rot315 |= u64(1) << ROT315_INDEX[sq];
    r->key ^= zobrist_piece[code][sq];
    switch (kind) {
        case PAWN:
            r->pawn_count[c]++;
            r->pawn_key ^= zobrist_piece[code][sq];
            break;
        case KNIGHT: r->knight_count[c]++; break;
        case BISHOP: r->bishop_count[c]++; break;
        case ROOK: r->major_count[c] += 1; break;
        case QUEEN: r->major_count[c] += 2; break;
        case KING: r->king_count[c]++; break;
    }
    static constexpr int PHASE[7] = {0, 0, 3, 3, 5, 10, 0};
    r->phase[c] += PHASE[kind];
    if (kind <= QUEEN)
        r->material[c] += piece_value[kind - 1];
}

const char* state_fault(const Position* pos)
{
    // The null move pushes only the key and en-passant stacks, so the tops
    // need not stand level; each must lie inside its stack.
    const auto inside = [](const auto* top, const auto* base) {
        return top >= base && top - base < STATE_STACK_SIZE;
    };
    if (!inside(pos->key_top, pos->key_stack) || !inside(pos->ep_top, pos->ep_stack) ||
        !inside(pos->pawn_key_top, pos->pawn_key_stack) ||
        !inside(pos->castle_top, pos->castle_stack) || !inside(pos->fifty_top, pos->fifty_stack))
        return "state stack tops";
    if (pos->side_to_move != WHITE && pos->side_to_move != BLACK)
        return "side to move";
    if (*pos->castle_top & ~15)
        return "castling rights";
    if (*pos->ep_top < 0 || *pos->ep_top > 63)
        return "en-passant square";
    return nullptr;
}

const char* set_fault(const Position* pos, const Recomputed& r)
{
    const u64* const kept[6] = {nullptr,      pos->pawns, pos->knights,
                                pos->bishops, pos->rooks, pos->queens};
    for (int c = 0; c < 2; c++) {
        for (int kind = PAWN; kind <= QUEEN; kind++)
            if (kept[kind][c] != r.kind_sets[kind][c])
                return "piece sets";
        if (pos->pieces[c] != r.pieces[c])
            return "side occupancy";
    }
    if (pos->occupied != r.occupied)
        return "occupied";
    if (pos->occupied_rot90 != r.rot90 || pos->occupied_rot45 != r.rot45 ||
        pos->occupied_rot315 != r.rot315)
        return "rotated occupancy";
    return nullptr;
}

const char* count_fault(const Position* pos, const Recomputed& r)
{
    for (int c = 0; c < 2; c++) {
        if (pos->material[c] != r.material[c])
            return "material";
        if (pos->pawn_count[c] != r.pawn_count[c] || pos->knight_count[c] != r.knight_count[c] ||
            pos->bishop_count[c] != r.bishop_count[c] || pos->major_count[c] != r.major_count[c])
            return "piece counts";
        if (pos->phase[c] != r.phase[c])
            return "phase";
        // A position without a king (the editor and FEN allow it) keeps
        // whatever square it had.
        const int ks = pos->king_square[c];
        if (r.king_count[c] > 0 && (ks < 0 || ks > 63 || !(r.kind_sets[KING][c] & (u64(1) << ks))))
            return "king square";
    }
    return nullptr;
}

} // namespace

const char* position_fault(const Position* pos)
{
    if (const char* fault = state_fault(pos))
        return fault;
    Recomputed r{};
    for (int sq = 0; sq < 64; sq++) {
        const int code = pos->board[sq];
        if (code == EMPTY)
            continue;
        if (!valid_piece(code))
            return "piece code";
        add_piece(&r, sq, code);
    }
    if (*pos->ep_top)
        r.key ^= zobrist_ep[*pos->ep_top];
    if (pos->side_to_move == WHITE)
        r.key ^= zobrist_side;

    if (const char* fault = set_fault(pos, r))
        return fault;
    if (const char* fault = count_fault(pos, r))
        return fault;
    if (*pos->key_top != r.key)
        return "key";
    if (*pos->pawn_key_top != r.pawn_key)
        return "pawn key";
    return nullptr;
}

bool position_is_ok(const Position* pos)
{
    return position_fault(pos) == nullptr;
}

namespace {

bool castling_is_sane(const Position* pos, Move move)
{
    const int to = move_to(move);
    const int c = pos->side_to_move;
    const int right = to == SQ_G1   ? CASTLE_WHITE_SHORT
                      : to == SQ_C1 ? CASTLE_WHITE_LONG
                      : to == SQ_G8 ? CASTLE_BLACK_SHORT
                                    : CASTLE_BLACK_LONG;
    const int rook_from = (right & (CASTLE_WHITE_SHORT | CASTLE_BLACK_SHORT)) ? to + 1 : to - 2;
    if (!(*pos->castle_top & right) || pos->board[rook_from] != make_piece(c, ROOK))
        return false;
    const int low = rook_from < move_from(move) ? rook_from : move_from(move);
    const int high = rook_from < move_from(move) ? move_from(move) : rook_from;
    for (int sq = low + 1; sq < high; sq++)
        if (pos->board[sq] != EMPTY)
            return false;
    return true;
}

bool capture_is_sane(const Position* pos, Move move)
{
    const int to = move_to(move), captured = move_captured(move);
    if (captured == EMPTY)
        return pos->board[to] == EMPTY;
    if (!valid_piece(captured) || piece_colour(captured) == pos->side_to_move ||
        piece_kind(captured) == KING)
        return false;
    if (pos->board[to] == captured)
        return true;
    // En passant: the target is empty and the pawn taken stands behind it.
    const int behind = pos->side_to_move == WHITE ? to - 8 : to + 8;
    return piece_kind(move_piece(move)) == PAWN && piece_kind(captured) == PAWN &&
           to == *pos->ep_top && pos->board[to] == EMPTY && pos->board[behind] == captured;
}

} // namespace

bool move_is_sane(const Position* pos, Move move)
{
    const int from = move_from(move), to = move_to(move), piece = move_piece(move);
    const int promo = move_promo(move);
    if (move != make_move_code(from, to, piece, move_captured(move), promo) || from == to)
        return false;
    if (!valid_piece(piece) || piece_colour(piece) != pos->side_to_move ||
        pos->board[from] != piece)
        return false;
    const bool pawn = piece_kind(piece) == PAWN;
    const bool last_rank = square_rank(to) == (pos->side_to_move == WHITE ? 7 : 0);
    if (promo > PROMO_QUEEN || (promo != 0) != (pawn && last_rank))
        return false;
    if (is_castling_move(move))
        return castling_is_sane(pos, move);
    return capture_is_sane(pos, move);
}
