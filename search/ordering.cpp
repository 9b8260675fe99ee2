// Staged move picker, static exchange evaluation, killers and history, the
// principal-variation table and the root move list.
//
// Each ply's moves live in the Position's shared move buffer behind those of
// the plies above; the picker state of a ply holds indices into that buffer.
// Moves are scored once per batch and sorted once with the selection sort
// below, whose handling of equal scores is part of the engine's move order.
#include "search/ordering.h"

#include <cstdint>

#include "board/board.h"
#include "search/evaluate.h"
#include "search/transposition.h"

int history[2][4096];

namespace {

constexpr int HASH_MOVE_SCORE = 999999999;
constexpr int EVASION_HASH_SCORE = 4000;
constexpr int RECAPTURE_BONUS = 75;
constexpr int KING_CAPTURE_SCORE = 32767;
// History entries saturate here instead of overflowing in very long searches;
// the front end divides them by 256 before each search anyway.
constexpr int HISTORY_LIMIT = 1 << 30;

inline int exchange_value(int code)
{
    return piece_value_by_code[code];
}

inline bool is_capture_or_promotion(Move move)
{
    return move_captured(move) != 0 || move_promo(move) != 0;
}

// The captured and promotion fields of a stored move must agree with the
// board before make_move may trust them; is_move_valid does not look at them.
bool stored_move_fits(const Position* pos, Move move)
{
    const int from = move_from(move);
    const int to = move_to(move);
    const int piece = pos->board[from];
    const bool pawn = piece_kind(piece) == PAWN;
    const int last_rank = piece_colour(piece) == WHITE ? 7 : 0;
    if (move_promo(move) != 0) {
        if (!pawn || square_rank(to) != last_rank || move_promo(move) > PROMO_QUEEN)
            return false;
    } else if (pawn && square_rank(to) == last_rank) {
        return false;
    }
    if (pawn && pos->board[to] == EMPTY && square_file(from) != square_file(to))
        return to == *pos->ep_top && *pos->ep_top != 0 &&
               move_captured(move) == (piece_colour(piece) == WHITE ? B_PAWN : W_PAWN);
    return move_captured(move) == pos->board[to];
}

// Hands out the next move of the ply's sorted batch.
inline Move next_in_batch(Position* pos, MovePicker* picker)
{
    --picker->remaining;
    return pos->move_buffer[picker->current++];
}

int score_evasion(Position* pos, Move move, int ply)
{
    if (move == pos->hash_move[ply])
        return EVASION_HASH_SCORE;
    const int piece = move_piece(move);
    const int captured = move_captured(move);
    if (piece_kind(piece) == KING)
        return captured != 0 ? exchange_value(captured) - 5 : 0;
    if (captured != 0) {
        if (exchange_value(captured) > exchange_value(piece))
            return exchange_value(captured);
        return eval_static_exchange(pos, move_from(move), move_to(move)) + 2;
    }
    return eval_static_exchange(pos, move_from(move), move_to(move));
}

Move run_evasions(Position* pos, int ply, MovePicker* picker)
{
    picker->stage = PICK_DONE;
    Move* list = pos->move_buffer + picker->list_start;
    const int count =
        pos->side_to_move == WHITE ? gen_evasions_white(pos, list) : gen_evasions_black(pos, list);
    pos->move_list_end[ply] += count;
    if (count == 0)
        return 0;
    if (count == 1) {
        pos->single_reply = 1;
        return list[0];
    }
    for (int i = 0; i < count; ++i)
        pos->move_scores[i] = score_evasion(pos, list[i], ply);
    sort_moves(list, pos->move_scores, count);
    picker->current = picker->list_start;
    picker->remaining = count;
    return next_in_batch(pos, picker);
}

Move run_hash_move(Position* pos, int ply, MovePicker* picker)
{
    picker->stage = PICK_CAPTURES;
    const Move move = pos->hash_move[ply];
    if (move != 0 && is_move_valid(pos, move) && stored_move_fits(pos, move))
        return move;
    // Not playable here: no later stage may treat it as handed out.
    pos->hash_move[ply] = 0;
    return 0;
}

// Scores and sorts the captures and promotions; returns the number of
// winning ones (score >= 0) still to hand out in this stage.
void run_captures(Position* pos, int ply, MovePicker* picker)
{
    picker->stage = PICK_KILLER_NEW;
    int previous_to = -1;
    if (ply > 0 && pos->current_move[ply - 1] != 0)
        previous_to = move_to(pos->current_move[ply - 1]);

    picker->current = picker->good_end = picker->list_start;
    Move* list = pos->move_buffer + picker->list_start;
    const int count =
        pos->side_to_move == WHITE ? gen_captures_white(pos, list) : gen_captures_black(pos, list);
    picker->capture_count = count;
    pos->move_list_end[ply] += count;

    const Move hash_move = pos->hash_move[ply];
    int* scores = pos->move_scores;
    for (int i = 0; i < count; ++i) {
        const Move move = list[i];
        int score;
        if (move == hash_move) {
            score = HASH_MOVE_SCORE;
            ++picker->current; // sorted to the front, already handed out
        } else if (move_promo(move) == 0) {
            score = exchange_value(move_captured(move)) - exchange_value(move_piece(move));
            if (score <= 0)
                score = eval_static_exchange(pos, move_from(move), move_to(move));
            if (move_to(move) == previous_to)
                score += RECAPTURE_BONUS;
        } else {
            switch (move_promo(move)) {
                case PROMO_KNIGHT: score = -3000; break;
                case PROMO_BISHOP: score = -2000; break;
                case PROMO_ROOK: score = -1000; break;
                default:
                    score = eval_static_exchange(pos, move_from(move), move_to(move)) +
                            piece_value[QUEEN - 1];
                    break;
            }
        }
        scores[i] = score;
        if (score >= 0)
            ++picker->good_end;
    }
    sort_moves(list, scores, count);
    picker->remaining = picker->good_end - picker->current;
}

// Killers are quiet moves; a promotion in a killer slot (which the search
// never stores) would come again among the captures, so it is refused here.
bool killer_playable(Position* pos, int ply, Move killer)
{
    return killer != 0 && killer != pos->hash_move[ply] && pos->board[move_to(killer)] == EMPTY &&
           move_promo(killer) == 0 && is_move_valid(pos, killer) && stored_move_fits(pos, killer);
}

void run_quiet_moves(Position* pos, int ply, MovePicker* picker)
{
    picker->stage = PICK_BAD_CAPTURES;
    const int start = pos->move_list_end[ply];
    Move* list = pos->move_buffer + start;
    const int generated =
        pos->side_to_move == WHITE ? gen_quiet_white(pos, list) : gen_quiet_black(pos, list);
    pos->move_list_end[ply] += generated;

    const Move hash_move = pos->hash_move[ply];
    const Move killer_new = pos->killers[ply][1];
    const Move killer_old = pos->killers[ply][0];
    const int* side_history = history[pos->side_to_move];
    int* scores = pos->move_scores;
    int count = 0;
    for (int i = 0; i < generated; ++i) {
        const Move move = list[i];
        if (move == hash_move || move == killer_new || move == killer_old)
            continue;
        list[count] = move;
        scores[count] = side_history[move & 0xfff];
        ++count;
    }
    sort_moves(list, scores, count);
    picker->current = start;
    picker->remaining = count;
}

} // namespace

Move pick_first_move(Position* pos, int ply)
{
    MovePicker* picker = &pos->picker[ply];
    picker->remaining = 0;
    picker->stage = pos->in_check[ply] ? PICK_EVASIONS : PICK_HASH_MOVE;
    if (ply > 0) {
        picker->list_start = pos->move_list_end[ply - 1];
        pos->move_list_end[ply] = pos->move_list_end[ply - 1];
    } else {
        picker->list_start = 0;
        pos->move_list_end[0] = 0;
    }
    return pick_next_move(pos, ply);
}

Move pick_next_move(Position* pos, int ply)
{
    pos->single_reply = 0;
    MovePicker* picker = &pos->picker[ply];
    if (picker->remaining > 0)
        return next_in_batch(pos, picker);

    for (;;) {
        switch (picker->stage) {
            case PICK_EVASIONS: return run_evasions(pos, ply, picker);
            case PICK_HASH_MOVE: {
                const Move move = run_hash_move(pos, ply, picker);
                if (move != 0)
                    return move;
                break;
            }
            case PICK_CAPTURES:
                run_captures(pos, ply, picker);
                if (picker->remaining > 0)
                    return next_in_batch(pos, picker);
                break;
            case PICK_KILLER_NEW: {
                picker->stage = PICK_KILLER_OLD;
                const Move killer = pos->killers[ply][1];
                if (killer_playable(pos, ply, killer))
                    return killer;
                break;
            }
            case PICK_KILLER_OLD: {
                picker->stage = PICK_QUIET;
                const Move killer = pos->killers[ply][0];
                if (killer != pos->killers[ply][1] && killer_playable(pos, ply, killer))
                    return killer;
                break;
            }
            case PICK_QUIET:
                run_quiet_moves(pos, ply, picker);
                if (picker->remaining > 0)
                    return next_in_batch(pos, picker);
                break;
            case PICK_BAD_CAPTURES:
                picker->stage = PICK_DONE;
                picker->current = picker->good_end;
                picker->remaining = picker->list_start + picker->capture_count - picker->good_end;
                if (picker->remaining > 0)
                    return next_in_batch(pos, picker);
                return 0;
            default: return 0;
        }
    }
}

namespace {

// The selection sort itself, for short lists and very long ones.
void selection_sort(Move* moves, int* scores, int count)
{
    for (int last = count - 1; last >= 1; --last) {
        // The lowest score goes last: the one at `last` when it is a lowest,
        // else the first holding the lowest. Finding the value first lets the
        // compiler vectorise the scan; the second scan stops at the match.
        int lowest = scores[0];
        for (int i = 1; i < last; ++i)
            lowest = scores[i] < lowest ? scores[i] : lowest;
        int candidate = last;
        if (lowest < scores[last]) {
            candidate = 0;
            while (scores[candidate] != lowest)
                ++candidate;
        }
        const Move move = moves[candidate];
        moves[candidate] = moves[last];
        moves[last] = move;
        scores[candidate] = scores[last];
    }
}

// Below this many moves the selection sort's scans cost less than the
// grouping below; from 64 the entries no longer fit a mask.
constexpr int GROUPED_SORT_MIN = 16;
constexpr int GROUPED_SORT_MAX = 64;

// Entries (bit i: entry i) by score, in ascending order of score: the
// groups[r] of each bit r of the result hold the scores with r lower ones.
// LANES covers count, padded with scores no entry counts as lower.
template <int LANES>
u64 group_by_score(const int* scores, int count, u64* groups)
{
    alignas(64) int padded[LANES];
    alignas(64) int lower[LANES];
    for (int i = 0; i < LANES; ++i) {
        padded[i] = i < count ? scores[i] : INT32_MAX;
        lower[i] = 0;
        groups[i] = 0;
    }
    for (int j = 0; j < count; ++j) {
        const int score = padded[j];
        for (int i = 0; i < LANES; ++i)
            lower[i] += padded[i] > score;
    }
    u64 used = 0;
    for (int i = 0; i < count; ++i) {
        groups[lower[i]] |= u64(1) << i;
        used |= u64(1) << lower[i];
    }
    return used;
}

// The selection sort's result without its quadratic scans. Each round takes
// a lowest score out of the unsorted front and puts the front's last entry
// in its place, so while one score value is being taken out, its entries
// stand still: knowing where they stand when its rounds begin, each round
// takes the front's last entry if it holds the value, else the first of
// them. The entries' places are followed as other values' rounds move them.
void grouped_sort(Move* moves, int* scores, int count)
{
    u64 groups[GROUPED_SORT_MAX];
    u64 values_left = count <= 32 ? group_by_score<32>(scores, count, groups)
                                  : group_by_score<GROUPED_SORT_MAX>(scores, count, groups);
    int entry_at[GROUPED_SORT_MAX], place_of[GROUPED_SORT_MAX];
    int score_of[GROUPED_SORT_MAX];
    Move move_of[GROUPED_SORT_MAX];
    for (int i = 0; i < count; ++i) {
        entry_at[i] = place_of[i] = i;
        score_of[i] = scores[i];
        move_of[i] = moves[i];
    }
    int last = count - 1;
    while (values_left) {
        u64 entries = groups[lowest_square(values_left)];
        values_left &= values_left - 1;
        u64 places = 0;
        do
            places |= u64(1) << place_of[lowest_square(entries)];
        while (entries &= entries - 1);
        while (places) {
            const int at_end = entry_at[last];
            // The end's entry if it holds the value, else the first; written
            // without a branch, which the search could not predict.
            const int first = lowest_square(places);
            const int taken = first + int((places >> last) & 1) * (last - first);
            places &= ~(u64(1) << taken);
            moves[last] = move_of[entry_at[taken]];
            scores[last] = score_of[at_end];
            entry_at[taken] = at_end;
            place_of[at_end] = taken;
            --last;
        }
    }
}

} // namespace

void sort_moves(Move* moves, int* scores, int count)
{
    if (count >= GROUPED_SORT_MIN && count <= GROUPED_SORT_MAX)
        grouped_sort(moves, scores, count);
    else
        selection_sort(moves, scores, count);
}

namespace {

// The occupancy an exchange sees, in the four forms the slider tables read.
// The exchange takes its pieces off this copy, never off the position.
struct ExchangeOccupancy {
    u64 occupied, rot90, rot45, rot315;
};

inline ExchangeOccupancy occupancy_of(const Position* pos)
{
    return {pos->occupied, pos->occupied_rot90, pos->occupied_rot45, pos->occupied_rot315};
}

inline void take_off(ExchangeOccupancy& occ, int square)
{
    occ.occupied &= ~(u64(1) << square);
    occ.rot90 &= ~(u64(1) << ROT90_INDEX[square]);
    occ.rot45 &= ~(u64(1) << ROT45_INDEX[square]);
    occ.rot315 &= ~(u64(1) << ROT315_INDEX[square]);
}

// Pieces taken off the occupancy by the exchange must neither attack nor
// block, so every piece set is masked with the current occupancy. White
// prefers the lowest square among equal attackers, black the highest.
template <int colour>
int least_attacker(const Position* pos, const ExchangeOccupancy& occ, int square)
{
    const u64 occupied = occ.occupied;
    auto pick = [](u64 set) { return colour == WHITE ? lowest_square(set) : highest_square(set); };
    const u64* pawn_table = colour == WHITE ? pawn_attacks_black : pawn_attacks_white;

    u64 set = pos->pawns[colour] & pawn_table[square] & occupied;
    if (set)
        return pick(set);
    set = pos->knights[colour] & knight_attacks[square] & occupied;
    if (set)
        return pick(set);
    const u64 diagonal = diagonal_attacks(occ.rot45, occ.rot315, square);
    set = pos->bishops[colour] & diagonal & occupied;
    if (set)
        return pick(set);
    const u64 straight = straight_attacks(occupied, occ.rot90, square);
    set = pos->rooks[colour] & straight & occupied;
    if (set)
        return pick(set);
    set = pos->queens[colour] & (diagonal | straight) & occupied;
    if (set)
        return pick(set);
    const int king = pos->king_square[colour];
    const int rank_distance = square_rank(king) - square_rank(square);
    const int file_distance = square_file(king) - square_file(square);
    if (rank_distance >= -1 && rank_distance <= 1 && file_distance >= -1 && file_distance <= 1 &&
        king != square && (occupied & (u64(1) << king)) &&
        pos->board[king] == make_piece(colour, KING))
        return king;
    return 64;
}

// Each capture takes one attacker of the square off: the first mover plus at
// most 8 knights, 27 pieces on the lines through the square (pawns and king
// among them) stay well below this.
constexpr int MAX_EXCHANGE_CAPTURES = 64;

} // namespace

// The exchange is the recursion "the capture's gain less the best reply, or
// less nothing when replying loses": the captures are played out forward on
// a copy of the occupancy, keeping each one's gain, until a side runs out of
// attackers or a recapture already loses more than the capture gained; the
// replies are then folded back from the last capture to the first.
int eval_static_exchange(Position* pos, int from, int to)
{
    int mover = pos->board[from];
    const int target = pos->board[to];
    if (piece_kind(target) == KING)
        return KING_CAPTURE_SCORE;
    int gain;
    if (target == EMPTY && piece_kind(mover) == PAWN && square_file(from) != square_file(to))
        gain = 100; // en passant
    else
        gain = exchange_value(target);

    ExchangeOccupancy occ = occupancy_of(pos);
    int gains[MAX_EXCHANGE_CAPTURES];
    int count = 0;
    int result;
    for (;;) {
        take_off(occ, from);
        const int attacker = piece_colour(mover) == WHITE ? least_attacker<BLACK>(pos, occ, to)
                                                          : least_attacker<WHITE>(pos, occ, to);
        if (attacker == 64) {
            result = gain;
            break;
        }
        const int replier = pos->board[attacker];
        const int risk = exchange_value(mover) - exchange_value(replier);
        if (risk > gain) {
            result = gain - risk;
            break;
        }
        gains[count++] = gain;
        if (piece_kind(mover) == KING) {
            result = KING_CAPTURE_SCORE;
            break;
        }
        gain = exchange_value(mover);
        from = attacker;
        mover = replier;
    }
    while (count > 0) {
        const int captured_back = result > 0 ? result : 0;
        result = gains[--count] - captured_back;
    }
    return result;
}

int find_least_attacker_white(Position* pos, int square)
{
    return least_attacker<WHITE>(pos, occupancy_of(pos), square);
}

int find_least_attacker_black(Position* pos, int square)
{
    return least_attacker<BLACK>(pos, occupancy_of(pos), square);
}

void update_pv(int ply, Move move, Position* pos)
{
    pos->pv[ply][ply] = move;
    if (ply + 1 >= MAX_PLY) {
        pos->pv_length[ply] = ply + 1;
        return;
    }
    // The child's line ends somewhere between the move itself and the last ply.
    int end = pos->pv_length[ply + 1];
    if (end < ply + 1)
        end = ply + 1;
    if (end > MAX_PLY)
        end = MAX_PLY;
    for (int j = ply + 1; j < end; ++j)
        pos->pv[ply][j] = pos->pv[ply + 1][j];
    pos->pv_length[ply] = end;
}

void update_killers_history(Position* pos, Move move, int ply, int depth)
{
    if (pos->in_check[ply] || is_capture_or_promotion(move))
        return;
    if (pos->killers[ply][1] != move) {
        pos->killers[ply][0] = pos->killers[ply][1];
        pos->killers[ply][1] = move;
    }
    int& entry = history[pos->side_to_move][move & 0xfff];
    const long long raised = (long long)entry + (long long)depth * depth;
    entry = raised > HISTORY_LIMIT ? HISTORY_LIMIT : int(raised);
}

namespace {

void reset_root_picker(Position* pos)
{
    pos->in_check[0] = is_in_check(pos, pos->side_to_move);
    MovePicker* picker = &pos->picker[0];
    picker->list_start = 0;
    picker->remaining = 0;
    picker->stage = pos->in_check[0] ? PICK_EVASIONS : PICK_HASH_MOVE;
    pos->move_list_end[0] = 0;
}

bool leaves_king_safe(Position* pos, Move move)
{
    if (!state_stack_has_room(pos))
        return false;
    const int side = pos->side_to_move;
    make_move(pos, move);
    const bool safe = !is_in_check(pos, side);
    unmake_move(pos, move);
    return safe;
}

bool in_search_moves(const Position* pos, Move move)
{
    if (pos->search_moves[0] == 0)
        return true;
    for (int i = 0; i < SEARCH_MOVES_CAPACITY && pos->search_moves[i] != 0; ++i)
        if (pos->search_moves[i] == move)
            return true;
    return false;
}

} // namespace

void build_root_moves(Position* pos)
{
    int scratch_alpha = 0, scratch_beta = 0;
    probe_hash(pos, 768, 0, &scratch_alpha, &scratch_beta);
    pos->root_count = 0;
    reset_root_picker(pos);
    for (Move move = pick_next_move(pos, 0); move != 0; move = pick_next_move(pos, 0)) {
        if (!leaves_king_safe(pos, move) || !in_search_moves(pos, move))
            continue;
        if (pos->root_count >= ROOT_MOVES_CAPACITY)
            break;
        RootMove& entry = pos->root_moves[pos->root_count++];
        entry.move = move;
        entry.flags = 0;
        entry.score = 0;
    }
}

int is_legal_move(Position* pos, Move move)
{
    if (move == 0)
        return 0;
    pos->hash_move[0] = 0;
    reset_root_picker(pos);
    for (Move candidate = pick_next_move(pos, 0); candidate != 0;
         candidate = pick_next_move(pos, 0))
        if (candidate == move)
            return leaves_king_safe(pos, move) ? 1 : 0;
    return 0;
}
