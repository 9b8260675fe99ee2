// Iterative deepening over the root move list with an aspiration window,
// and the root search of one iteration.
#include "search/root.h"

#include <bit>
#include <cstdio>

#include "board/board.h"
#include "search/evaltables.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/history.h"
#include "search/hooks.h"
#include "search/levels.h"
#include "search/pvtable.h"
#include "search/rootmoves.h"
#include "search/search.h"
#include "search/searchinfo.h"
#include "search/settings.h"
#include "search/timecontrol.h"
#include "search/transposition.h"

namespace {

bool is_checkmated(Position* pos)
{
    if (!side_to_move_in_check(pos))
        return false;
    Move list[MAX_MOVES];
    return remove_illegal_moves(pos, list, gen_all_moves(pos, list)) == 0;
}

// A made root move whose result the tables know (or that leaves two bare
// kings) needs no search: it is unmade and its score from the root's view
// returned. Otherwise the move stays made and the answer is false.
bool resolve_by_tables(Position* pos, Move move, int ply, int* score)
{
    if (std::popcount(pos->occupied) == 2) {
        unmake_move(pos, move);
        *score = 0;
        return true;
    }
    int value = 0;
    if (table_probe_hook == nullptr || !table_probe_hook(pos, &value))
        return false;
    // The table's distance counts from the child, one ply below the root:
    // make it a distance from the root there, then take the root's view
    // (negating first would leave every winning root a move short). A mated
    // child holds no distance in the tables, its stored value reads as a very
    // long loss: a mate in one is scored as the mate it is.
    if (is_checkmated(pos))
        value = (ply + 1) - SCORE_INFINITE;
    else
        value = tablebase_score_from_root(value, ply + 1);
    unmake_move(pos, move);
    *score = -value;
    return true;
}

// The root line becomes the single move `move`.
void set_single_move_line(Position* pos, Move move)
{
    pos->pv_length[0] = 1;
    pos->pv[0][0] = move;
    expected_reply = 0;
}

bool may_search_another_root_move(const Position* pos, int index, int alpha)
{
    if (extend_time != 0 || index == 0 || test_mode || fixed_move_time != 0 || ponder_search ||
        analyze_mode)
        return true;
    if (get_elapsed_cs(pos) <= unsigned(time_target) / 2)
        return true;
    return alpha + 5 < previous_score;
}

} // namespace

void init_search(Position* pos)
{
    reset_search_stats();
    register_table_prefetch();
    stop_search = 0;
    const int side = pos->side_to_move;
    search_side = side;
    lazy_margin = LAZY_MARGIN_START;
    pos->engine_side = side;
    pos->search_start = int(get_time_cs());
    pos->search_start_cpu = get_cpu_time_cs();
    pos->pv_length[0] = 0;
    pos->threat[0] = 0;
    pos->pv_flag[0] = 0;
    pos->ext_flags[0] = 0;
    pos->in_check[0] = side_to_move_in_check(pos);
    expected_reply = 0;
    sel_depth = 0;
    draw_score[side] = pos->game->contempt;
    draw_score[side ^ 1] = -pos->game->contempt;
}

int get_root_extension(Position* pos, int move)
{
    pos->ext_flags[1] = 0;
    int extension = 0;
    if (pos->in_check[1]) {
        extension += ONE_PLY;
        pos->ext_flags[1] |= EXT_CHECK;
    }
    const int piece = move_piece(move);
    const int rank = square_rank(move_to(move));
    if ((piece == W_PAWN && rank == 6) || (piece == B_PAWN && rank == 1)) {
        extension += ONE_PLY;
        pos->ext_flags[1] |= EXT_PAWN_SEVENTH;
    }
    return extension > ONE_PLY ? ONE_PLY : extension;
}

void sort_root_moves(Position* pos)
{
    RootMove* list = pos->root_moves;
    for (int last = pos->root_count - 1; last >= 1; last--) {
        int lowest = last;
        for (int i = 0; i < last; i++)
            if (list[i].score < list[lowest].score)
                lowest = i;
        const RootMove swapped = list[lowest];
        list[lowest] = list[last];
        list[last] = swapped;
    }
}

void move_root_entry_to_front(int index, RootMove* list)
{
    if (index <= 0)
        return;
    const RootMove entry = list[index];
    for (int i = index; i > 0; i--)
        list[i] = list[i - 1];
    list[0] = entry;
}

namespace {

// From this iteration depth on, moves after the first are searched with a
// null window; shallower iterations score every move exactly.
constexpr int FULL_WINDOW_DEPTH = 3 * ONE_PLY;
// A root with a single legal move needs no search beyond this depth.
constexpr int SINGLE_MOVE_DEPTH = 3 * ONE_PLY;

// What one iteration of the root loop keeps besides alpha.
struct RootIteration {
    int alpha_on_entry = 0;
    bool full_window = false;
    int resolved = 0; // moves the tables decided without search
    int best_index = -1;
};

void make_root_move(Position* pos, int depth, int ply, Move move)
{
    pos->current_move[ply] = move;
    snprintf(current_move_text, sizeof current_move_text, "%s", format_move_san(pos, move));
    print_current_move(pos, depth, move);
    make_move(pos, move);
}

// A move the tables decided raises alpha like a searched one. True when it
// fails high and the iteration ends with its score.
bool take_table_score(Position* pos, int depth, int index, int score, int beta)
{
    set_single_move_line(pos, pos->root_moves[index].move);
    if (score > 0)
        idle_flag = 1;
    if (score >= beta) {
        if (score == 0)
            extend_time = 1;
        print_fail_high(pos, depth, score);
        move_root_entry_to_front(index, pos->root_moves);
        return true;
    }
    print_pv(pos, depth, score);
    return false;
}

// Every move scored exactly (shallow iterations, or noise added to the
// scores for weaker play); the list is sorted by these scores afterwards.
int search_root_move_full_window(Position* pos, int d, int ply, RootMove* entry)
{
    int score = -child_search(pos, d, ply + 1, -SCORE_INFINITE, SCORE_INFINITE);
    if (root_noise != 0 && score <= MATE_THRESHOLD && score >= -MATE_THRESHOLD)
        score += int(draw_random32() % unsigned(root_noise)) - root_noise / 2;
    entry->score = score;
    return score;
}

// Moves after the first must beat alpha in a null window before they are
// searched again in the full one; the time allowance grows while they run.
int search_root_move_null_window(Position* pos, int depth, int d, int ply, Move move, int alpha,
                                 int beta)
{
    extend_time++;
    int score = -child_search(pos, d, ply + 1, -alpha - 1, -alpha);
    if (!stop_search && score > alpha && score < beta) {
        unmake_move(pos, move);
        print_new_best(pos, depth, move);
        make_move(pos, move);
        score = -child_search(pos, d, ply + 1, -beta, -alpha);
    }
    extend_time--;
    return score;
}

// The made root move at `index` searched below the root; it stays made.
int search_root_move(Position* pos, int depth, int ply, int index, int alpha, int beta,
                     bool full_window)
{
    RootMove* entry = &pos->root_moves[index];
    const Move move = entry->move;
    pos->in_check[ply + 1] = side_to_move_in_check(pos);
    const int d = depth + get_root_extension(pos, move) - ONE_PLY;
    if (full_window)
        return search_root_move_full_window(pos, d, ply, entry);
    pos->pv_flag[ply] = 0;
    if (index == 0)
        return -child_search(pos, d, ply + 1, -beta, -alpha);
    return search_root_move_null_window(pos, depth, d, ply, move, alpha, beta);
}

// A searched move beat alpha: it leads the line. True when it fails high and
// the iteration ends with its score.
bool take_new_best(Position* pos, int depth, int ply, int index, int score, int beta)
{
    const Move move = pos->root_moves[index].move;
    update_pv(ply, move, pos);
    expected_reply = pos->pv_length[0] >= 2 ? pos->pv[0][1] : 0;
    if (score >= beta) {
        update_killers_history(pos, move, ply, depth);
        extend_time = 1;
        print_fail_high(pos, depth, score);
        move_root_entry_to_front(index, pos->root_moves);
        return true;
    }
    print_pv(pos, depth, score);
    if (test_mode && test_solution_hook != nullptr)
        test_solution_hook(pos, 0);
    return false;
}

int finish_root_iteration(Position* pos, int depth, int ply, int alpha,
                          const RootIteration* iteration)
{
    if (pos->root_count == 0)
        return pos->in_check[0] ? ply - SCORE_INFINITE : 0;
    const bool improved = alpha > iteration->alpha_on_entry;
    if (improved) {
        update_killers_history(pos, pos->pv[ply][ply], ply, depth);
        if (iteration->best_index >= 0)
            move_root_entry_to_front(iteration->best_index, pos->root_moves);
        if (!stop_search)
            print_iteration_end(pos, depth, alpha);
    }
    if (depth >= SINGLE_MOVE_DEPTH && pos->root_count == 1 && !ponder_search && !analyze_mode)
        stop_search = 1;
    if (improved && iteration->resolved == pos->root_count)
        stop_search = 1;
    if (iteration->full_window)
        sort_root_moves(pos);
    return alpha;
}

} // namespace

int search_root(Position* pos, int depth, int ply, int alpha, int beta)
{
    *pos->key_top = compute_hash_key(pos);
    node_count++;
    root_alpha = alpha;
    root_beta = beta;
    pos->move_list_end[ply] = 0;
    if (depth < 2 * ONE_PLY)
        build_root_moves(pos);

    RootIteration iteration;
    iteration.alpha_on_entry = alpha;
    iteration.full_window = iteration_depth < FULL_WINDOW_DEPTH || root_noise != 0;
    RootMove* list = pos->root_moves;

    for (int i = 0; i < pos->root_count; i++) {
        pos->root_index = i;
        if (!may_search_another_root_move(pos, i, alpha)) {
            stop_search = 1;
            return alpha;
        }
        if (list[i].flags & ROOT_SEARCHED)
            continue;
        list[i].flags |= ROOT_SEARCHED;

        const Move move = list[i].move;
        make_root_move(pos, depth, ply, move);

        int score = 0;
        if (tablebase_probe_allowed(pos) && resolve_by_tables(pos, move, ply, &score)) {
            iteration.resolved++;
            if (score > alpha) {
                if (take_table_score(pos, depth, i, score, beta))
                    return score;
                alpha = score;
                iteration.best_index = i;
            }
            continue;
        }
        score = search_root_move(pos, depth, ply, i, alpha, beta, iteration.full_window);
        unmake_move(pos, move);
        if (stop_search)
            break;
        if (score <= alpha) {
            if (i == 0) {
                extend_time = 1;
                print_fail_low(pos, depth, alpha);
                return score;
            }
            continue;
        }
        alpha = score;
        iteration.best_index = i;
        if (take_new_best(pos, depth, ply, i, score, beta))
            return score;
    }
    return finish_root_iteration(pos, depth, ply, alpha, &iteration);
}
