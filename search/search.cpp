// Principal-variation alpha-beta search with null move, mate-threat
// detection, internal iterative deepening, fractional extensions and
// futility pruning, and the capture-only quiescence search.
#include "search/search.h"

#include <bit>

#include "board/assert.h"
#include "board/board.h"
#include "search/evaluate.h"
#include "search/exchange.h"
#include "search/history.h"
#include "search/hooks.h"
#include "search/movepicker.h"
#include "search/movesort.h"
#include "search/pvtable.h"
#include "search/root.h"
#include "search/settings.h"
#include "search/timecontrol.h"
#include "search/transposition.h"

int draw_score[2] = {0, 0};
int tb_probe_depth = 4 * ONE_PLY;
int tb_probe_plies = 4;
int qsearch_depth_limit = 5;

// A table result is a distance from the probed node; make it one from the root.
int tablebase_score_from_root(int score, int ply)
{
    if (score > 0)
        return score + 1 - ply;
    if (score < 0)
        return score + ply;
    return 0;
}

bool tablebase_probe_allowed(const Position* pos)
{
    const int max_men = table_men();
    if (max_men <= 0)
        return false;
    const int men = std::popcount(pos->occupied);
    if (men > max_men)
        return false;
    // No table holds four pieces against a bare king.
    const bool bare_king = pos->pieces[WHITE] == (u64(1) << pos->king_square[WHITE]) ||
                           pos->pieces[BLACK] == (u64(1) << pos->king_square[BLACK]);
    return !bare_king || men <= 4;
}

int child_search(Position* pos, int depth, int ply, int alpha, int beta)
{
    if (depth >= ONE_PLY)
        return search(pos, depth, ply, alpha, beta, 1);
    return quiesce(pos, ply, alpha, beta);
}

namespace {

// Deepest remaining depth a node can be given: the root's iterations (at
// most the depth limit, or the unlimited depth) plus the root's extra
// fraction and one extension; no node inside extends beyond its parent.
[[maybe_unused]] int deepest_search_depth()
{
    return (max_depth > DEPTH_UNLIMITED ? max_depth : DEPTH_UNLIMITED) + 2 * ONE_PLY;
}

// A node never needs to look beyond the nearest possible mate.
constexpr int MATE_BOUND = 32766;

// Phase units below which the side to move is too weak for a null move
// or the futility margins (zugzwang and bare-king endings).
constexpr int FUTILITY_MIN_PHASE = 5;

// Extension of a single reply, a move against a mate threat and a recapture.
constexpr int THREE_QUARTERS_PLY = 9;
// The null move is tried only while 24 x the mover's phase units reach the
// depth.
constexpr int NULL_MOVE_PHASE_FACTOR = 24;
// The static estimate is worth computing only when material alone is within
// this margin of alpha.
constexpr int ESTIMATE_MARGIN = 200;
// A recapture is extended when the two captured pieces differ by at most
// this much and the mover's balance stays within the second margin of alpha.
constexpr int RECAPTURE_VALUE_SPREAD = 210;
constexpr int RECAPTURE_BALANCE_MARGIN = 250;
// Futility ladder: from four plies a move this far below alpha is searched a
// ply shallower; below four plies it is not searched at three, two, one ply.
constexpr int FUTILITY_REDUCE_MARGIN = 1000;
constexpr int FUTILITY_MARGIN_THREE_PLIES = 350;
constexpr int FUTILITY_MARGIN_TWO_PLIES = 200;
constexpr int FUTILITY_MARGIN_ONE_PLY = 100;

int material_balance(const Position* pos)
{
    const int side = pos->side_to_move;
    return pos->material[side] - pos->material[side ^ 1];
}

bool is_promotion(Move move)
{
    return move_promo(move) != 0;
}

bool pawn_reaches_seventh(Move move)
{
    const int piece = move_piece(move);
    const int rank = square_rank(move_to(move));
    return (piece == W_PAWN && rank == 6) || (piece == B_PAWN && rank == 1);
}

// Whether the side to move attacks the square (it is the opponent of the
// side that just moved).
bool side_to_move_attacks(const Position* pos, int square)
{
    return pos->side_to_move == WHITE ? is_attacked_by_white(pos, square)
                                      : is_attacked_by_black(pos, square);
}

// Whether the side that just moved left its own king attacked.
bool mover_king_attacked(const Position* pos)
{
    const int mover = pos->side_to_move ^ 1;
    return mover == WHITE ? is_attacked_by_black(pos, pos->king_square[WHITE])
                          : is_attacked_by_white(pos, pos->king_square[BLACK]);
}

// The null move passes the turn in place: it touches only the key, the
// side, the fifty-move counter and the en-passant square.
void make_null_move(Position* pos)
{
    const u64 key = *pos->key_top;
    *++pos->key_top = key;
    ++*pos->fifty_top;
    pos->side_to_move ^= 1;
    *pos->key_top ^= zobrist_side;
    if (*pos->ep_top != 0)
        *pos->key_top ^= zobrist_ep[*pos->ep_top];
    *++pos->ep_top = 0;
}

void unmake_null_move(Position* pos)
{
    pos->side_to_move ^= 1;
    --pos->ep_top;
    --pos->key_top;
    --*pos->fifty_top;
}

// Re-probe the hash at this ply only to pick up the move that an internal
// search just stored there.
void fetch_hash_move(Position* pos, int ply)
{
    int scratch = 0;
    probe_hash(pos, DEPTH_UNLIMITED, ply, &scratch, &scratch);
}

} // namespace

namespace {

// Null move: if passing still fails high, the position is good enough.
// True when the node is decided, with its score; a failing null move that
// runs into a mate marks the node as threatened.
bool null_move_decides(Position* pos, int depth, int ply, int alpha, int beta, int* result)
{
    pos->in_check[ply + 1] = 0;
    make_null_move(pos);
    pos->move_list_end[ply] = pos->move_list_end[ply - 1];
    pos->current_move[ply] = 0;
    pos->ext_flags[ply + 1] = 0;
    const int reduction = null_move_reduction(depth);
    int d = depth - ONE_PLY - reduction;
    if (ply >= 2 && d < ONE_PLY && pos->threat[ply - 2])
        d = ONE_PLY;
    const int score = d >= ONE_PLY ? -search(pos, d, ply + 1, -beta, 1 - beta, 0)
                                   : -quiesce(pos, ply + 1, -beta, 1 - beta);
    unmake_null_move(pos);
    if (stop_search) {
        *result = alpha;
        return true;
    }
    if (score >= beta) {
        store_hash(pos, 0, depth, ply, score, HASH_LOWER);
        *result = score;
        return true;
    }
    if (score < -MATE_THRESHOLD && beta > -MATE_THRESHOLD)
        pos->threat[ply] = 1;
    return false;
}

// Without a hash move, a reduced search finds one to try first: a shallow
// search for a mate of our own when our parent is threatened with mate (it
// finds the move that carries the threat), and internal iterative deepening
// on principal-variation nodes (a node searched with the root's window
// counts as one). False when the search was stopped.
bool search_for_first_move(Position* pos, int depth, int ply, int alpha, int beta, int in_check)
{
    if (depth >= 3 * ONE_PLY && pos->hash_move[ply] == 0 && beta - alpha == root_beta - root_alpha)
        pos->pv_flag[ply - 1] = 1;
    if (depth >= 2 * ONE_PLY && pos->threat[ply - 1] && pos->hash_move[ply] == 0 && !in_check) {
        const int saved_threat = pos->threat[ply];
        search(pos, ONE_PLY, ply, MATE_THRESHOLD, MATE_BOUND - ply, 0);
        if (stop_search)
            return false;
        fetch_hash_move(pos, ply);
        pos->threat[ply] = saved_threat;
    }
    if (depth >= 3 * ONE_PLY && pos->pv_flag[ply - 1] == 1 && pos->hash_move[ply] == 0) {
        const int saved_threat = pos->threat[ply];
        search(pos, depth - 2 * ONE_PLY, ply, alpha, beta, 0);
        if (stop_search)
            return false;
        fetch_hash_move(pos, ply);
        pos->threat[ply] = saved_threat;
    }
    return true;
}

// Extension of a just made move, in twelfths of a ply, with its reasons
// recorded in ext_flags[ply + 1].
int move_extension(Position* pos, Move move, int ply, int alpha, int threat, Move previous,
                   int gives_check)
{
    int flags = 0;
    int e = 0;
    if (pos->single_reply) {
        e += THREE_QUARTERS_PLY;
        flags |= EXT_SINGLE_REPLY;
    }
    if (gives_check) {
        e += ONE_PLY;
        flags |= EXT_CHECK;
    }
    if (threat) {
        e += THREE_QUARTERS_PLY;
        flags |= EXT_THREAT;
    }
    if (previous != 0 && move_to(move) == move_to(previous) && move_captured(previous) != 0 &&
        !(pos->ext_flags[ply] & EXT_RECAPTURE)) {
        const int diff =
            piece_value_by_code[move_captured(move)] - piece_value_by_code[move_captured(previous)];
        // After the move the opponent is to move, so negate his balance.
        if (diff <= RECAPTURE_VALUE_SPREAD && diff >= -RECAPTURE_VALUE_SPREAD &&
            RECAPTURE_BALANCE_MARGIN - material_balance(pos) > alpha) {
            e += THREE_QUARTERS_PLY;
            flags |= EXT_RECAPTURE;
        }
    }
    if (pawn_reaches_seventh(move)) {
        e += ONE_PLY;
        flags |= EXT_PAWN_SEVENTH;
    }
    pos->ext_flags[ply + 1] = flags;
    return e;
}

// Futility: a quiet, unextended move whose static estimate plus its capture
// stays far enough below alpha. Near the leaves it is pruned (true); from
// four plies it is only searched a ply shallower (*extension = -ONE_PLY).
bool futility_prunes(Move move, int depth, int alpha, int estimate, int in_check, int* extension)
{
    const int v = piece_value_by_code[move_captured(move)] + estimate;
    if (depth >= 4 * ONE_PLY) {
        if (!in_check && v + FUTILITY_REDUCE_MARGIN < alpha)
            *extension = -ONE_PLY;
        return false;
    }
    if (depth >= 3 * ONE_PLY)
        return v + FUTILITY_MARGIN_THREE_PLIES < alpha;
    if (depth >= 2 * ONE_PLY)
        return v + FUTILITY_MARGIN_TWO_PLIES < alpha;
    return v + FUTILITY_MARGIN_ONE_PLY < alpha;
}

// A quiet move that futility would prune once made, told before making it:
// no extension can apply (no threat, no check, no pawn to the seventh) and,
// with the occupancy it would leave, no enemy line piece reaches the own
// king and none of the mover's pieces reaches the enemy king (out of check,
// nothing else can change by a quiet move). Otherwise false, and the move
// is made and judged in full.
bool quiet_move_is_futile(const Position* pos, Move move, int depth, int alpha, int estimate)
{
    if (move_captured(move) != 0 || move_promo(move) != 0)
        return false;
    int unused = 0;
    if (!futility_prunes(move, depth, alpha, estimate, 0, &unused))
        return false;
    const int side = pos->side_to_move, other = side ^ 1;
    const int kind = piece_kind(move_piece(move));
    if (kind == KING || pawn_reaches_seventh(move) || pos->phase[other] < FUTILITY_MIN_PHASE)
        return false;
    const int from = move_from(move), to = move_to(move);
    const u64 moved = (u64(1) << from) | (u64(1) << to);
    const u64 occupied = pos->occupied ^ moved;
    const u64 rot90 =
        pos->occupied_rot90 ^ (u64(1) << ROT90_INDEX[from]) ^ (u64(1) << ROT90_INDEX[to]);
    const u64 rot45 =
        pos->occupied_rot45 ^ (u64(1) << ROT45_INDEX[from]) ^ (u64(1) << ROT45_INDEX[to]);
    const u64 rot315 =
        pos->occupied_rot315 ^ (u64(1) << ROT315_INDEX[from]) ^ (u64(1) << ROT315_INDEX[to]);
    const int own_king = pos->king_square[side], enemy_king = pos->king_square[other];
    const u64 enemy_diagonal = pos->bishops[other] | pos->queens[other];
    const u64 enemy_straight = pos->rooks[other] | pos->queens[other];
    const u64 own_diagonal =
        (pos->bishops[side] | pos->queens[side]) ^ (kind == BISHOP || kind == QUEEN ? moved : 0);
    const u64 own_straight =
        (pos->rooks[side] | pos->queens[side]) ^ (kind == ROOK || kind == QUEEN ? moved : 0);
    const u64 own_knights = pos->knights[side] ^ (kind == KNIGHT ? moved : 0);
    const u64 own_pawns = pos->pawns[side] ^ (kind == PAWN ? moved : 0);
    const u64 pawn_checks = (side == WHITE ? pawn_attacks_black : pawn_attacks_white)[enemy_king];
    const u64 reached = (diagonal_attacks(rot45, rot315, own_king) & enemy_diagonal) |
                        (straight_attacks(occupied, rot90, own_king) & enemy_straight) |
                        (diagonal_attacks(rot45, rot315, enemy_king) & own_diagonal) |
                        (straight_attacks(occupied, rot90, enemy_king) & own_straight) |
                        (knight_attacks[enemy_king] & own_knights) | (pawn_checks & own_pawns);
    return reached == 0;
}

// What quiet_move_is_futile concludes without making the move, checked by
// making it.
[[maybe_unused]] bool legal_and_quiet_once_made(Position* pos, Move move)
{
    make_move(pos, move);
    const bool quiet = !mover_king_attacked(pos) && !side_to_move_in_check(pos);
    unmake_move(pos, move);
    return quiet;
}

// The extension after futility: halved far from the root unless the move
// checks, a ply less for a promotion to an unguarded square, at most a ply.
int limit_extension(Position* pos, Move move, int depth, int ply, int e, int gives_check)
{
    if (e != 0 && ply >= iteration_depth / 6 && !gives_check)
        e /= 2;
    if (e == 0 && is_promotion(move) && depth >= 2 * ONE_PLY &&
        !side_to_move_attacks(pos, move_to(move)))
        e = -ONE_PLY;
    return e > ONE_PLY ? ONE_PLY : e;
}

// The first move with the full window, the others with a null window first
// and again with the full one when they land inside it.
int search_child(Position* pos, int d, int ply, int alpha, int beta, int legal)
{
    if (legal == 1) {
        pos->pv_flag[ply] = 0;
        return -child_search(pos, d, ply + 1, -beta, -alpha);
    }
    pos->pv_flag[ply] = 1;
    int score = -child_search(pos, d, ply + 1, -alpha - 1, -alpha);
    if (!stop_search && score > alpha && score < beta)
        score = -child_search(pos, d, ply + 1, -beta, -alpha);
    return score;
}

// Every few thousand nodes: the clock and the input. True when the search
// is to stop.
inline bool poll_stops_search(Position* pos)
{
    if (node_countdown-- <= 0) {
        node_countdown = node_countdown_reload;
        check_time(pos);
        if (input_poll_hook != nullptr)
            input_poll_hook(pos);
        if (stop_search)
            return true;
    }
    return false;
}

// A table hit decides the node: true, with its score from the root.
inline bool table_probe_decides(Position* pos, int depth, int ply, int* result)
{
    if (depth > tb_probe_depth && tablebase_probe_allowed(pos)) {
        int score = 0;
        if (table_probe_hook != nullptr && table_probe_hook(pos, &score)) {
            score = tablebase_score_from_root(score, ply);
            store_hash(pos, 0, DEPTH_UNLIMITED, ply, score, HASH_EXACT);
            *result = score;
            return true;
        }
    }
    return false;
}

inline bool null_move_allowed(const Position* pos, int depth, int ply, int allow_null, int probe,
                              int in_check)
{
    const int side = pos->side_to_move;
    return allow_null && probe != HASH_NULL_FAILS && !pos->threat[ply] && !in_check &&
           pos->phase[side] > 0 && NULL_MOVE_PHASE_FACTOR * pos->phase[side] >= depth;
}

// The static estimate is needed only where futility can prune, and then
// only up to alpha, which lets the evaluation take its lazy exit.
inline int futility_estimate(Position* pos, int alpha)
{
    const int balance = material_balance(pos);
    return balance + ESTIMATE_MARGIN < alpha ? evaluate(pos, -SCORE_INFINITE, alpha)
                                             : SCORE_INFINITE;
}

// A best move found raises killers, history and an exact entry; none, an
// upper bound.
inline void store_node_result(Position* pos, Move best, int depth, int ply, int alpha,
                              int alpha_on_entry)
{
    if (alpha > alpha_on_entry) {
        update_killers_history(pos, best, ply, depth);
        store_hash(pos, best, depth, ply, alpha, HASH_EXACT);
    } else {
        store_hash(pos, 0, depth, ply, alpha, HASH_UPPER);
    }
}

// The moves of a node, in the picker's order: each one pruned unmade, made
// and pruned, or searched, until one fails high. Returns the node's score
// and stores its result.
inline int search_node_moves(Position* pos, int depth, int ply, int alpha, int beta,
                             int alpha_on_entry, int estimate)
{
    const int in_check = pos->in_check[ply];
    const int threat = pos->threat[ply];
    const int parent_threat = pos->threat[ply - 1];
    const Move previous = pos->current_move[ply - 1];
    int legal = 0;
    Move best = 0;

    // Only a node neither in check nor threatened can prune a move unmade
    // (out of check no move is a single reply).
    const bool prune_unmade =
        !in_check && !threat && !parent_threat && depth < 4 * ONE_PLY && estimate != SCORE_INFINITE;
    for (Move move = pick_first_move(pos, ply); move != 0; move = pick_next_move(pos, ply)) {
        if (prune_unmade && quiet_move_is_futile(pos, move, depth, alpha, estimate)) {
            ASSERT(legal_and_quiet_once_made(pos, move));
            legal++;
            pos->current_move[ply] = move;
            pos->in_check[ply + 1] = 0;
            pos->ext_flags[ply + 1] = 0;
            node_count++;
            continue;
        }
        make_move(pos, move);
        if (mover_king_attacked(pos)) {
            unmake_move(pos, move);
            continue;
        }
        legal++;
        pos->current_move[ply] = move;
        const int gives_check = side_to_move_in_check(pos);
        pos->in_check[ply + 1] = gives_check;
        int e = move_extension(pos, move, ply, alpha, threat, previous, gives_check);
        if (e == 0 && !parent_threat && pos->phase[pos->side_to_move] >= FUTILITY_MIN_PHASE &&
            !is_promotion(move) && futility_prunes(move, depth, alpha, estimate, in_check, &e)) {
            unmake_move(pos, move);
            node_count++;
            continue;
        }
        e = limit_extension(pos, move, depth, ply, e, gives_check);
        const int score = search_child(pos, depth + e - ONE_PLY, ply, alpha, beta, legal);
        unmake_move(pos, move);
        if (stop_search)
            return alpha;
        if (score >= beta) {
            store_hash(pos, move, depth, ply, score, HASH_LOWER);
            update_killers_history(pos, move, ply, depth);
            return score;
        }
        if (score > alpha) {
            alpha = score;
            best = move;
            update_pv(ply, move, pos);
        }
    }

    if (legal == 0)
        return in_check ? ply - SCORE_INFINITE : 0;
    store_node_result(pos, best, depth, ply, alpha, alpha_on_entry);
    return alpha;
}

// Keeps the captures worth a quiescence node at the front of the list, with
// their sort scores in move_scores: a capture that may lift the score to
// alpha and does not lose material, and the queen promotions. Returns how
// many, or -1 when a move captures the king.
inline int keep_quiescence_captures(Position* pos, Move* list, int generated, int delta)
{
    int* scores = pos->move_scores;
    int kept = 0;
    for (int i = 0; i < generated; i++) {
        const Move move = list[i];
        const int captured = move_captured(move);
        if (piece_kind(captured) == KING)
            return -1;
        int score;
        if (is_promotion(move)) {
            // Under-promotions are never worth a quiescence node.
            if (move_promo(move) != PROMO_QUEEN)
                continue;
            score = piece_value[QUEEN - 1] - piece_value[PAWN - 1] + piece_value_by_code[captured];
        } else {
            const int victim = piece_value_by_code[captured];
            if (victim < delta)
                continue;
            const int attacker = piece_value_by_code[move_piece(move)];
            if (victim - attacker > 0) {
                score = victim;
            } else if (victim == attacker && delta <= 0) {
                score = victim;
            } else {
                const int exchange = eval_static_exchange(pos, move_from(move), move_to(move));
                if (exchange > 0)
                    score = exchange;
                else if (exchange == 0 && delta <= 0)
                    score = 0;
                else
                    continue;
            }
        }
        list[kept] = move;
        scores[kept] = score;
        kept++;
    }
    return kept;
}

} // namespace

int search(Position* pos, int depth, int ply, int alpha, int beta, int allow_null)
{
    ASSERT(ply >= 1 && ply <= MAX_SEARCH_PLY);
    ASSERT(-SCORE_INFINITE <= alpha && alpha < beta && beta <= SCORE_INFINITE);
    ASSERT(depth >= ONE_PLY && depth <= deepest_search_depth());
    if (poll_stops_search(pos) || ply >= MAX_SEARCH_PLY - 1)
        return beta;
    node_count++;
    pos->pv_length[ply] = ply;

    if (is_draw(pos))
        return draw_score[pos->side_to_move];
    if (alpha >= MATE_BOUND - ply)
        return alpha;

    const int alpha_on_entry = alpha;
    const int probe = probe_hash(pos, depth, ply, &alpha, &beta);
    if (probe == HASH_CUTOFF)
        return alpha;

    int result = 0;
    if (table_probe_decides(pos, depth, ply, &result))
        return result;

    pos->pv_flag[ply] = 0;
    const int in_check = pos->in_check[ply];

    if (null_move_allowed(pos, depth, ply, allow_null, probe, in_check) &&
        null_move_decides(pos, depth, ply, alpha, beta, &result))
        return result;

    const int estimate = futility_estimate(pos, alpha);

    if (!search_for_first_move(pos, depth, ply, alpha, beta, in_check))
        return alpha;

    return search_node_moves(pos, depth, ply, alpha, beta, alpha_on_entry, estimate);
}

int quiesce(Position* pos, int ply, int alpha, int beta)
{
    ASSERT(ply >= 1 && ply <= MAX_SEARCH_PLY);
    ASSERT(-SCORE_INFINITE <= alpha && alpha < beta && beta <= SCORE_INFINITE);
    ASSERT(pos->ext_flags[0] >= 0); // quiescence nesting
    if (ply >= MAX_SEARCH_PLY)
        return beta;
    if (ply > sel_depth)
        sel_depth = ply;
    node_count++;
    // On purpose: ext_flags[0], unused by the root move, counts the nested
    // quiescence levels.
    if (pos->ext_flags[0] > qsearch_depth_limit)
        return beta;

    const int stand_pat = evaluate(pos, alpha, beta);
    if (stand_pat > alpha) {
        if (stand_pat >= beta)
            return stand_pat;
        alpha = stand_pat;
        pos->pv_length[ply] = ply;
    }

    // Even winning a queen would not lift the score to alpha.
    const int delta = alpha - material_balance(pos) - 100;
    if (delta > piece_value[QUEEN - 1])
        return alpha;

    const int start = pos->move_list_end[ply - 1];
    Move* list = pos->move_buffer + start;
    const int generated =
        pos->side_to_move == WHITE ? gen_captures_white(pos, list) : gen_captures_black(pos, list);
    if (generated == 0)
        return alpha;

    const int kept = keep_quiescence_captures(pos, list, generated, delta);
    if (kept < 0)
        return SCORE_INFINITE;
    if (kept == 0)
        return alpha;
    pos->move_list_end[ply] = start + kept;
    sort_moves(list, pos->move_scores, kept);

    for (int i = 0; i < kept; i++) {
        const Move move = list[i];
        make_move(pos, move);
        pos->ext_flags[0]++;
        const int score = -quiesce(pos, ply + 1, -beta, -alpha);
        pos->ext_flags[0]--;
        unmake_move(pos, move);
        if (score > alpha) {
            if (score >= beta)
                return score;
            alpha = score;
            update_pv(ply, move, pos);
        }
    }
    return alpha;
}
