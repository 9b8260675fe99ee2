// The staged move picker.
//
// Each ply's moves live in the Position's shared move buffer behind those of
// the plies above; the picker state of a ply holds indices into that buffer.
// Moves are scored once per batch and sorted once with sort_moves, whose
// handling of equal scores is part of the engine's move order.
#include "search/movepicker.h"

#include "board/board.h"
#include "search/evaluate.h"
#include "search/exchange.h"
#include "search/history.h"
#include "search/movesort.h"

namespace {

constexpr int HASH_MOVE_SCORE = 999999999;
constexpr int EVASION_HASH_SCORE = 4000;
constexpr int RECAPTURE_BONUS = 75;

inline int exchange_value(int code)
{
    return piece_value_by_code[code];
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
    if (move != 0 && is_move_valid(pos, move))
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
           move_promo(killer) == 0 && is_move_valid(pos, killer);
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

void reset_root_picker(Position* pos)
{
    pos->in_check[0] = is_in_check(pos, pos->side_to_move);
    MovePicker* picker = &pos->picker[0];
    picker->list_start = 0;
    picker->remaining = 0;
    picker->stage = pos->in_check[0] ? PICK_EVASIONS : PICK_HASH_MOVE;
    pos->move_list_end[0] = 0;
}
