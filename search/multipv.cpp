// Multi-PV analysis: each root move keeps its own window from iteration to
// iteration; the best N are searched fully, the rest only against the N-th
// best score.
#include "search/multipv.h"

#include <cstdio>

#include "board/board.h"
#include "search/pvtable.h"
#include "search/root.h"
#include "search/rootmoves.h"
#include "search/search.h"
#include "search/searchinfo.h"
#include "search/settings.h"
#include "search/transposition.h"

namespace {

constexpr int LINE_WRAP_COLUMN = 49;
constexpr int LINE_INDENT = 24;

const char* const SEPARATOR_DASHES =
    "  ------------------------------------------------------------------------\n";
const char* const SEPARATOR_EQUALS =
    "  ========================================================================\n";

void set_window_around(MultiPvLine* line, int score)
{
    line->alpha = clamp_score(score - ASPIRATION_WINDOW);
    line->beta = clamp_score(score + ASPIRATION_WINDOW);
}

// One record per possible root move; kept outside the stack because the
// driver may be handed a position with many moves.
MultiPvLine records[ROOT_MOVES_CAPACITY];

} // namespace

void sort_multipv_lines(int count, MultiPvLine* lines)
{
    for (int last = count - 1; last >= 1; last--) {
        int lowest = last;
        for (int i = 0; i < last; i++)
            if (lines[i].score < lines[lowest].score)
                lowest = i;
        const MultiPvLine swapped = lines[lowest];
        lines[lowest] = lines[last];
        lines[last] = swapped;
    }
}

void print_multipv_lines(Position* pos, MultiPvLine* lines, int count, int shown)
{
    const int limit = count < shown ? count : shown;
    for (int k = 0; k < limit; k++) {
        const MultiPvLine* line = &lines[k];
        if (protocol_mode == PROTOCOL_UCI) {
            printf("info multipv %d depth %d seldepth %d time %d", k + 1, line->depth / ONE_PLY,
                   sel_depth, line->time * 10);
            print_uci_score(line->score);
            printf(" nodes %ld nps %d pv", long(node_count), get_nodes_per_second(pos));
            for (int i = 0; i < line->pv_length; i++)
                printf(" %s", format_move_coord(line->pv[i]));
            printf("\n");
            fflush(stdout);
        }
        char score_text[32];
        format_score(score_text, line->score);
        emit_text("  %2d/%-2d %6s %6s   ", line->depth / ONE_PLY, sel_depth,
                  format_time(0, u32(line->time)), score_text);
        int written = 0;
        for (int i = 0; i < line->pv_length; i++) {
            if (written >= LINE_WRAP_COLUMN) {
                emit_text("\n%*s", LINE_INDENT, "");
                written = 0;
            }
            written += emit_text(" %s", format_move_san(pos, line->pv[i]));
            make_move(pos, line->pv[i]);
        }
        for (int i = line->pv_length - 1; i >= 0; i--)
            unmake_move(pos, line->pv[i]);
        emit_text("\n");
    }
}

namespace {

constexpr int PV_CAPACITY = int(sizeof(MultiPvLine::pv) / sizeof(MultiPvLine::pv[0]));

// One record per root move, each with an open window and no line yet.
void init_multipv_records(Position* pos)
{
    for (int i = 0; i < pos->root_count; i++) {
        MultiPvLine* line = &records[i];
        line->move = pos->root_moves[i].move;
        line->score = 0;
        line->pv[0] = line->move;
        line->pv_length = 0;
        line->depth = 0;
        line->alpha = -SCORE_INFINITE;
        line->beta = SCORE_INFINITE;
        line->time = 0;
    }
}

// Record i is searched at the iteration depth; past the best N it only has
// to beat the N-th best score.
void prepare_multipv_line(Position* pos, int index, int lines)
{
    // Sorting the records before this one leaves record `index` in place.
    MultiPvLine* line = &records[index];
    pos->current_move[0] = line->move;
    line->depth = iteration_depth;
    pos->root_index = index;
    sort_multipv_lines(index, records);
    if (index >= lines) {
        const int nth = records[lines - 1].score;
        line->alpha = clamp_score(nth - 1);
        line->beta = clamp_score(nth);
    }
    print_current_move(pos, iteration_depth, line->move);
}

// One search of the line's move inside its window; the score is kept.
int search_multipv_line(Position* pos, MultiPvLine* line)
{
    root_alpha = line->alpha;
    root_beta = line->beta;
    make_move(pos, line->move);
    pos->threat[0] = 0;
    pos->in_check[1] = is_in_check(pos, pos->side_to_move);
    const int d =
        iteration_depth + ITERATION_DEPTH_BONUS + get_root_extension(pos, line->move) - ONE_PLY;
    const int score = d >= ONE_PLY ? -search(pos, d, 1, -line->beta, -line->alpha, 1)
                                   : -quiesce(pos, 1, -line->beta, -line->alpha);
    line->score = score;
    unmake_move(pos, line->move);
    return score;
}

// The exact score found: the line takes the principal variation (extended
// from the hash table) and a window around the score for the next iteration.
void record_multipv_line(Position* pos, MultiPvLine* line, int score)
{
    line->time = int(get_elapsed_cs(pos));
    set_window_around(line, score);
    update_pv(0, line->move, pos);
    extend_pv_from_hash(pos);
    const int length = pos->pv_length[0] < PV_CAPACITY ? pos->pv_length[0] : PV_CAPACITY;
    for (int j = 0; j < length; j++)
        line->pv[j] = pos->pv[0][j];
    line->pv_length = length;
}

// Searches record i until its score falls inside its window (or, past the
// best N, below it). True when the record got a complete line.
bool analyse_multipv_line(Position* pos, int index, int lines, int count)
{
    prepare_multipv_line(pos, index, lines);
    MultiPvLine* line = &records[index];
    while (!stop_search) {
        const int score = search_multipv_line(pos, line);
        if (stop_search)
            break;
        if (score >= line->beta) {
            line->beta = SCORE_INFINITE;
            continue;
        }
        if (score <= line->alpha) {
            if (index < lines) {
                line->alpha = -SCORE_INFINITE;
                continue;
            }
            set_window_around(line, score);
            break;
        }
        record_multipv_line(pos, line, score);
        const bool among_best = index < lines || score > records[lines - 1].score;
        if (among_best && iteration_depth >= 2 * ONE_PLY) {
            sort_multipv_lines(index + 1, records);
            if (index != 0)
                emit_text("%s", SEPARATOR_DASHES);
            print_multipv_lines(pos, records, count, lines);
        }
        return true;
    }
    return false;
}

// Before any line is complete no record holds a line; the first root move
// (or none) is the answer then.
void choose_multipv_best(Position* pos, int count, bool any_line)
{
    Move best = 0;
    if (any_line) {
        for (int i = 0; i < count && best == 0; i++)
            if (records[i].pv_length > 0)
                best = records[i].pv[0];
    }
    if (best == 0 && count > 0)
        best = pos->root_moves[0].move;
    pos->pv[0][0] = best;
    pos->pv_length[0] = best != 0 ? 1 : 0;
}

} // namespace

void analyse_multipv(Position* pos, int lines)
{
    if (lines < 1)
        lines = 1;
    pos->picker[0].list_start = 0;
    pos->move_list_end[0] = 0;
    build_root_moves(pos);
    const int count = pos->root_count;
    init_multipv_records(pos);

    emit_text("  Depth   Time  Score    Best line\n");
    init_search(pos);

    bool any_line = false;
    // Without root moves there is nothing to analyse or report.
    for (iteration_depth = ONE_PLY; count > 0 && iteration_depth <= max_depth && !stop_search;
         iteration_depth += ONE_PLY) {
        tb_probe_depth = ONE_PLY * tb_probe_plies;
        sel_depth = 0;
        qsearch_depth_limit = qsearch_limit_for_iteration(iteration_depth);

        for (int i = 0; i < count && !stop_search; i++)
            if (analyse_multipv_line(pos, i, lines, count))
                any_line = true;
        if (!stop_search) {
            sort_multipv_lines(count, records);
            emit_text("%s", SEPARATOR_DASHES);
            print_multipv_lines(pos, records, count, lines);
            emit_text("%s", SEPARATOR_EQUALS);
        }
    }
    choose_multipv_best(pos, count, any_line);
    print_search_stats(pos);
}
