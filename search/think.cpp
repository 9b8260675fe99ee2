// The engine's thinking on one position: iterative deepening over the root
// search with its aspiration windows and stop rules, or the multi-PV
// analysis when more than one line is asked for.
#include "search/think.h"

#include "board/board.h"
#include "search/hooks.h"
#include "search/multipv.h"
#include "search/root.h"
#include "search/search.h"
#include "search/searchinfo.h"
#include "search/settings.h"
#include "search/timecontrol.h"
#include "search/transposition.h"

namespace {

// A search that completed no root move still has to answer with a move:
// the first root move, or the first legal move (regardless of any
// searchmoves list) when the root list is empty or was not built by this
// search.
void ensure_best_move(Position* pos, bool list_built)
{
    if (pos->pv_length[0] > 0 && pos->pv[0][0] != 0)
        return;
    Move move = list_built && pos->root_count > 0 ? pos->root_moves[0].move : 0;
    if (move == 0)
        move = first_legal_move(pos);
    pos->pv[0][0] = move;
    pos->pv_length[0] = move != 0 ? 1 : 0;
    if (move == 0)
        expected_reply = 0;
}

// An iteration whose score fell this much below the previous move's score
// (unless that was already lost beyond the floor) may use extra time.
constexpr int SCORE_DROP_FOR_EXTRA_TIME = 40;
constexpr int LOST_SCORE_FLOOR = -200;
// After two plies, a first move this far ahead of the second is an easy move:
// played once an eighth of the target time is used, while its score holds
// within the tolerance.
constexpr int EASY_MOVE_MARGIN = 100;
constexpr int EASY_MOVE_TOLERANCE = 10;
constexpr unsigned EASY_MOVE_TIME_DIVISOR = 8;
// A recapture that keeps the score is played once a quarter of the target
// time is used.
constexpr unsigned RECAPTURE_TIME_DIVISOR = 4;

// A root without legal moves is decided already: no iteration could ever
// settle a window around its score. True when that is the case.
bool settle_root_without_moves(Position* pos)
{
    if (count_legal_moves(pos) != 0)
        return false;
    pos->root_count = 0;
    pos->pv_length[0] = 0;
    pos->pv[0][0] = 0;
    pos->root_score = pos->in_check[0] ? -SCORE_INFINITE : 0;
    print_search_stats(pos);
    return true;
}

void start_iteration(Position* pos)
{
    tb_probe_depth = ONE_PLY * tb_probe_plies;
    qsearch_depth_limit = qsearch_limit_for_iteration(iteration_depth);
    extend_time = 0;
    for (int i = 0; i < ROOT_MOVES_CAPACITY; i++)
        pos->root_moves[i].flags = 0;
}

// The root search of one iteration inside an aspiration window around the
// last score, searched again with the window opened on the side it failed.
int search_iteration(Position* pos, int score)
{
    int alpha = -SCORE_INFINITE;
    int beta = SCORE_INFINITE;
    if (iteration_depth > ONE_PLY) {
        alpha = clamp_score(score - ASPIRATION_WINDOW);
        beta = clamp_score(score + ASPIRATION_WINDOW);
        if (pos->root_score + SCORE_DROP_FOR_EXTRA_TIME < previous_score &&
            previous_score > LOST_SCORE_FLOOR)
            extend_time = 1;
    }
    while (!stop_search) {
        score = search_root(pos, iteration_depth + ITERATION_DEPTH_BONUS, 0, alpha, beta);
        if (score > alpha)
            pos->root_score = score;
        if (stop_search || pos->root_count == 0)
            break;
        if (score >= beta && beta < SCORE_INFINITE) {
            pos->root_moves[0].flags |= ROOT_FAILED_HIGH;
            pos->root_moves[0].flags &= ~ROOT_SEARCHED;
            if (test_mode && test_solution_hook != nullptr)
                test_solution_hook(pos, 0);
            beta = SCORE_INFINITE;
            continue;
        }
        if (score <= alpha && alpha > -SCORE_INFINITE) {
            for (int i = 0; i < pos->root_count; i++)
                pos->root_moves[i].flags &= ~ROOT_SEARCHED;
            pos->root_moves[0].flags |= ROOT_FAILED_LOW;
            alpha = -SCORE_INFINITE;
            continue;
        }
        break;
    }
    return score;
}

// What every finished iteration settles: the test report, a found mate or
// the mate limit ending the search, the line kept in the hash table.
void finish_iteration(Position* pos, int score)
{
    // searchmoves that exclude every legal move leave nothing to search.
    if (pos->root_count == 0)
        stop_search = 1;
    if (test_mode && test_solution_hook != nullptr)
        test_solution_hook(pos, 1);
    if ((score > MATE_THRESHOLD || score < -MATE_THRESHOLD) && !analyze_mode)
        stop_search = 1;
    if (mate_limit_reached(score))
        stop_search = 1;
    if (pos->pv_length[0] > 0)
        store_pv_in_hash(pos);
}

// In a timed game, an easy move or a recapture that keeps the score ends the
// search early; otherwise the clock decides whether another iteration fits.
void check_early_stop(Position* pos, int score, Move* easy_move)
{
    const RootMove* list = pos->root_moves;
    const u32 elapsed = get_elapsed_cs(pos);
    if (iteration_depth == 2 * ONE_PLY && pos->root_count >= 2 &&
        list[0].score - EASY_MOVE_MARGIN > list[1].score)
        *easy_move = list[0].move;
    if (*easy_move != 0 && pos->pv[0][0] == *easy_move &&
        score + EASY_MOVE_TOLERANCE >= list[0].score &&
        elapsed > unsigned(time_target) / EASY_MOVE_TIME_DIVISOR && fixed_move_time == 0)
        stop_search = 1;

    const GameRecord* game = pos->game;
    if (game->move_count > 0 && extend_time == 0) {
        const Move last = game->moves[game->move_count - 1];
        if (move_captured(last) != 0 && move_to(pos->pv[0][0]) == move_to(last) &&
            score >= previous_score && elapsed > unsigned(time_target) / RECAPTURE_TIME_DIVISOR &&
            fixed_move_time == 0)
            stop_search = 1;
    }
    if (!stop_search)
        check_iteration_time(pos);
}

} // namespace

void think(Position* pos)
{
    if (multipv_lines > 1) {
        analyse_multipv(pos, multipv_lines);
        return;
    }
    init_search(pos);
    emit_text("\n");
    show_position_text(pos);
    emit_text("\n");
    emit_text("  Depth   Time  Score    Best line\n");
    if (settle_root_without_moves(pos))
        return;

    Move easy_move = 0;
    int score = 0;
    const bool list_built = max_depth >= ONE_PLY;
    for (iteration_depth = ONE_PLY; iteration_depth <= max_depth && !stop_search;
         iteration_depth += ONE_PLY) {
        start_iteration(pos);
        score = search_iteration(pos, score);
        finish_iteration(pos, score);
        if (test_mode || ponder_search || analyze_mode)
            continue;
        check_early_stop(pos, score, &easy_move);
    }
    ensure_best_move(pos, list_built);
    print_search_stats(pos);
}
