// The engine's turn and pondering.
#include "frontend/turn.h"

#include <cstdio>

#include "board/board.h"
#include "book/book.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "search/legality.h"
#include "search/root.h"
#include "search/search.h"
#include "search/think.h"
#include "search/timecontrol.h"
#include "search/transposition.h"

namespace {

void advance_hash_age()
{
    hash_age = hash_age >= 7 ? 1 : hash_age + 1;
}

// Game results go to the interface in xboard and console mode. A UCI
// interface keeps the game itself and knows no such lines: there they are
// only logged.
void announce_result(const char* line)
{
    if (protocol_mode == PROTOCOL_UCI)
        emit_text("%s", line);
    else
        emit_text_any_mode("%s", line);
}

// Prints the result line of a position without legal moves.
void announce_mate_or_stalemate(Position* pos)
{
    if (is_in_check(pos, pos->side_to_move))
        announce_result(pos->side_to_move == WHITE ? "0-1 {Black mates}\n" : "1-0 {White mates}\n");
    else
        announce_result("1/2-1/2 {Stalemate}\n");
}

void end_game(Position* pos)
{
    pos->game_active = 0;
    idle_flag = 1;
}

bool ponder_result_reusable(Position* pos)
{
    if (!reply_predicted || !ponder_enabled)
        return false;
    if (fixed_move_time != 0)
        return false;
    if (time_target / 2 > ponder_time)
        return false;
    if (!(ponder_score + 5 > previous_score))
        return false;
    if (pos->root_moves[0].flags & ROOT_FAILED_LOW)
        return false;
    // A ponder search stopped before its first line leaves a move of another
    // position behind; it must not be played.
    Move move = pos->pv[0][0];
    return move != 0 && is_legal_move(pos, move);
}

} // namespace

int ensure_legal_best_move(Position* pos)
{
    Move move = pos->pv[0][0];
    if (move != 0 && is_legal_move(pos, move))
        return 0;
    pos->pv[0][0] = first_legal_move(pos);
    pos->pv_length[0] = pos->pv[0][0] != 0 ? 1 : 0;
    expected_reply = 0;
    return 1;
}

void play_engine_move(Position* pos)
{
    // An offer the opponent made while the engine pondered stays valid for
    // this turn; the main loop forgets offers once the engine has answered.
    if (compute_hash_key(pos) != *pos->key_top)
        exit_with_message("Lost hash key");

    if (count_legal_moves(pos) == 0) {
        announce_mate_or_stalemate(pos);
        end_game(pos);
        return;
    }
    // Under UCI the interface owns the game and always waits for a move, so
    // a repetition is left to it and to the search's draw scores.
    if (protocol_mode != PROTOCOL_UCI && is_drawn_by_repetition(pos)) {
        announce_result("1/2-1/2 {Drawn by repetition}\n");
        end_game(pos);
        return;
    }

    if (book_enabled && pos->book_misses < 3 && !analyze_mode && !ponder_search) {
        Move move = choose_book_move(pos);
        if (move != 0 && is_legal_move(pos, move)) {
            pos->pv_length[0] = 1;
            pos->root_score = 0;
            pos->pv[0][0] = move;
            expected_reply = 0;
            idle_flag = 1;
            return;
        }
        pos->book_misses++;
    }

    if (!analyze_mode)
        allocate_time(pos);

    if (ponder_result_reusable(pos)) {
        char score_text[32];
        emit_text("Using ponder move: %s score %s\n", format_move_san(pos, pos->pv[0][0]),
                  format_score(score_text, ponder_score));
        expected_reply = ponder_reply;
        previous_score = ponder_score;
        return;
    }

    // The ponder search advanced the age when it started; a search that
    // follows it on the same move keeps that age.
    if (!reply_predicted || !ponder_enabled)
        advance_hash_age();
    think(pos);
    ensure_legal_best_move(pos);

    int score = pos->root_score;
    if (score > MATE_THRESHOLD || score < -MATE_THRESHOLD || score >= -resign_threshold) {
        pos->resign_count = 0;
    } else {
        pos->resign_count++;
        if (pos->resign_count >= 3 && opponent_clock > 200) {
            announce_result(pos->side_to_move == WHITE ? "0-1 {White resigns}\n"
                                                       : "1-0 {Black resigns}\n");
            end_game(pos);
        }
    }
    if (score == 0 || score == pos->game->contempt)
        pos->draw_count++;
    else
        pos->draw_count = 0;
    previous_score = score;
}

void start_pondering_or_end_game(Position* pos)
{
    if (count_legal_moves(pos) == 0) {
        announce_mate_or_stalemate(pos);
        fflush(stdout);
        end_game(pos);
        return;
    }
    advance_hash_age();
    stop_search = 0;
    time_target = ENDLESS_TIME_TARGET;
    ponder_search = 1;
    ponder_reply = 0;

    if (expected_reply == 0) {
        int alpha = -SCORE_INFINITE;
        int beta = SCORE_INFINITE;
        pos->hash_move[0] = 0;
        probe_hash(pos, DEPTH_UNLIMITED, 0, &alpha, &beta);
        if (pos->hash_move[0] != 0) {
            expected_reply = pos->hash_move[0];
            emit_text("Got ponder move from hash table\n");
        }
    }

    if (expected_reply != 0 && is_legal_move(pos, expected_reply) && state_stack_has_room(pos)) {
        Move reply = expected_reply;
        const char* san = format_move_san(pos, reply);
        if (post_enabled)
            emit_text_any_mode("Hint: %s\n", san);
        emit_text("Pondering: %s\n", format_move_san(pos, reply));
        make_move(pos, reply);
        if (count_legal_moves(pos) > 0)
            think(pos);
        unmake_move(pos, reply);
        ponder_reply = expected_reply;
        expected_reply = reply;
    } else {
        emit_text("Pondering...\n");
        think(pos);
    }

    ponder_score = pos->root_score;
    ponder_time = static_cast<int>(get_elapsed_cs(pos));
    ponder_search = 0;
    idle_flag = 1;
}

void send_move(Move move)
{
    static const char* const PROMOTION_SUFFIX[5] = {"", "=n", "=b", "=r", "=q"};
    int promo = move_promo(move);
    printf("move %s%s%s\n", square_name[move_from(move)], square_name[move_to(move)],
           promo >= PROMO_KNIGHT && promo <= PROMO_QUEEN ? PROMOTION_SUFFIX[promo] : "");
    fflush(stdout);
}
