// The search's reports: one routine per root-search event, each writing the
// form of the protocol in use, plus the end-of-search statistics.
#include "search/searchinfo.h"

#include <cstdio>

#include "board/board.h"
#include "search/evaluate.h"
#include "search/hooks.h"
#include "search/searchstate.h"
#include "search/settings.h"
#include "search/transposition.h"

namespace {

// Reports other than the UCI ones wait until the search has run a second,
// so that the quick early iterations do not flood the screen.
constexpr unsigned FIRST_REPORT_CS = 100;
// Width of a table line's fixed prefix; continuation lines are indented by it.
constexpr int TABLE_PREFIX_WIDTH = 24;
constexpr int TABLE_WRAP_COLUMN = 48;

int move_number_at_root(const Position* pos)
{
    return pos->game->move_count / 2 + 1;
}

// The principal variation in SAN straight to standard output, xboard style:
// move numbers and the " ..." of a Black start only with move numbers on.
void write_xboard_moves(Position* pos)
{
    const int count = pos->pv_length[0];
    int number = move_number_at_root(pos);
    if (pos->side_to_move == BLACK && show_move_numbers)
        printf(" %d. ...", number);
    for (int i = 0; i < count; i++) {
        const Move move = pos->pv[0][i];
        if (pos->side_to_move == WHITE && show_move_numbers)
            printf(" %d.", number);
        printf(" %s", format_move_san(pos, move));
        if (pos->side_to_move == BLACK)
            number++;
        make_move(pos, move);
    }
    for (int i = count - 1; i >= 0; i--)
        unmake_move(pos, pos->pv[0][i]);
}

// The principal variation in SAN through the output channel, wrapped so
// that continuation lines line up under the move column of the table.
void emit_table_moves(Position* pos)
{
    const int count = pos->pv_length[0];
    int number = move_number_at_root(pos);
    int written = 0;
    if (pos->side_to_move == BLACK) {
        if (show_move_numbers)
            written += emit_text(" %d.", number);
        written += emit_text(" ...");
    }
    for (int i = 0; i < count; i++) {
        const Move move = pos->pv[0][i];
        const bool white = pos->side_to_move == WHITE;
        if (written > TABLE_WRAP_COLUMN ||
            (white && show_move_numbers && written + 4 > TABLE_WRAP_COLUMN)) {
            emit_text("\n%*s", TABLE_PREFIX_WIDTH, "");
            written = 0;
        }
        if (white && show_move_numbers)
            written += emit_text(" %d.", number);
        written += emit_text(" %s", format_move_san(pos, move));
        if (!white)
            number++;
        make_move(pos, move);
    }
    for (int i = count - 1; i >= 0; i--)
        unmake_move(pos, pos->pv[0][i]);
}

bool within_first_second(const Position* pos)
{
    return get_elapsed_cs(pos) < FIRST_REPORT_CS;
}

// format_time hands out one static buffer; the table lines need its text
// next to other texts, so take a copy.
void copy_time_text(const Position* pos, char* buffer, int size)
{
    snprintf(buffer, size, "%s", format_time(u32(pos->search_start), get_time_cs()));
}

// " %s" or " ... %s" with the SAN of the move at the root.
void emit_root_move(Position* pos, Move move)
{
    if (pos->side_to_move == WHITE)
        emit_text(" %s", format_move_san(pos, move));
    else
        emit_text(" ... %s", format_move_san(pos, move));
}

void print_bound(Position* pos, int depth, int score, bool fail_high)
{
    if (!output_enabled || within_first_second(pos))
        return;
    const Move move = pos->pv[0][0];
    const int plies = depth / ONE_PLY;
    if (protocol_mode == PROTOCOL_UCI) {
        printf("info depth %d seldepth %d nodes %ld", plies, sel_depth, long(node_count));
        print_uci_score(score);
        printf(" %s nps %d pv %s\n", fail_high ? "lowerbound" : "upperbound",
               get_nodes_per_second(pos), format_move_coord(move));
        fflush(stdout);
        return;
    }
    if (protocol_mode == PROTOCOL_XBOARD && post_enabled) {
        printf("%d %d %u %ld %s\n", plies, xboard_score(score), get_elapsed_cs(pos),
               long(node_count), format_move_san(pos, move));
        if (analyze_mode)
            printf(fail_high ? "++\n" : "--\n");
        fflush(stdout);
    }
    char time_text[32];
    copy_time_text(pos, time_text, sizeof time_text);
    emit_text(fail_high ? "  %2d/%-2d %6s     ++   " : "  %2d/%-2d %6s     --   ", plies, sel_depth,
              time_text);
    emit_root_move(pos, move);
    emit_text(fail_high ? "    \n" : "     \n");
}

} // namespace

int uci_mate_distance(int score)
{
    if (score > MATE_THRESHOLD)
        return (SCORE_INFINITE + 1 - score) / 2;
    if (score < -MATE_THRESHOLD)
        return -((score + SCORE_INFINITE + 1) / 2);
    return 0;
}

void print_uci_score(int score)
{
    const int mate = uci_mate_distance(score);
    if (mate != 0)
        printf(" score mate %d", mate);
    else
        printf(" score cp %d", score);
}

int xboard_score(int score)
{
    const int mate = uci_mate_distance(score);
    if (mate > 0)
        return XBOARD_MATE_SCORE + mate;
    if (mate < 0)
        return -XBOARD_MATE_SCORE + mate;
    return score;
}

int get_nodes_per_second(const Position* pos)
{
    const u32 now = get_time_cs();
    const u32 start = u32(pos->search_start);
    if (now <= start)
        return 0;
    return int(uint64_t(node_count) * 100 / uint64_t(now - start));
}

void print_pv(Position* pos, int depth, int score)
{
    if (!output_enabled)
        return;
    extend_pv_from_hash(pos);
    if (protocol_mode != PROTOCOL_UCI && !analyze_mode && within_first_second(pos))
        return;
    const int plies = depth / ONE_PLY;
    if (protocol_mode == PROTOCOL_UCI) {
        printf("info depth %d seldepth %d nodes %ld nps %d time %u", plies, sel_depth,
               long(node_count), get_nodes_per_second(pos), get_elapsed_cs(pos) * 10);
        print_uci_score(score);
        printf(" pv");
        for (int i = 0; i < pos->pv_length[0]; i++)
            printf(" %s", format_move_coord(pos->pv[0][i]));
        printf("\n");
        fflush(stdout);
    } else if (protocol_mode == PROTOCOL_XBOARD && post_enabled) {
        printf("%d %d %u %ld ", plies, xboard_score(score), get_elapsed_cs(pos), long(node_count));
        write_xboard_moves(pos);
        printf("\n");
        fflush(stdout);
    }
    char time_text[32], score_text[32];
    copy_time_text(pos, time_text, sizeof time_text);
    format_score(score_text, score);
    emit_text("  %2d/%-2d %6s %6s   ", plies, sel_depth, time_text, score_text);
    emit_table_moves(pos);
    emit_text("\n");
}

void print_iteration_end(Position* pos, int depth, int score)
{
    if (!output_enabled || within_first_second(pos))
        return;
    char time_text[32], score_text[32];
    copy_time_text(pos, time_text, sizeof time_text);
    format_score(score_text, score);
    emit_text("  %2d--> %6s %6s   ", depth / ONE_PLY, time_text, score_text);
    emit_table_moves(pos);
    if (pos->pv_length[0] <= 2)
        emit_text("   ");
    emit_text("\n");
}

void print_new_best(Position* pos, int depth, int move)
{
    if (!output_enabled || within_first_second(pos))
        return;
    char time_text[32];
    copy_time_text(pos, time_text, sizeof time_text);
    emit_text("  %2d/%-2d %6s   x.xx   ", depth / ONE_PLY, sel_depth, time_text);
    emit_root_move(pos, move);
    emit_text("    \n");
}

void print_fail_high(Position* pos, int depth, int score)
{
    print_bound(pos, depth, score, true);
}

void print_fail_low(Position* pos, int depth, int score)
{
    print_bound(pos, depth, score, false);
}

void print_current_move(Position* pos, int depth, int move)
{
    const int plies = depth / ONE_PLY;
    const bool shown = get_elapsed_cs(pos) >= FIRST_REPORT_CS;
    if (protocol_mode == PROTOCOL_UCI) {
        if (shown) {
            printf("info depth %d seldepth %d nodes %ld hashfull %d nps %d currmove %s "
                   "currmovenumber %d\n",
                   plies, sel_depth, long(node_count), get_hash_fill_permille(),
                   get_nodes_per_second(pos), format_move_coord(move), pos->root_index + 1);
            fflush(stdout);
        }
        return;
    }
    if (protocol_mode != PROTOCOL_CONSOLE)
        return;
    if (shown && output_enabled) {
        // The progress line is overwritten by the next one (it ends in a
        // carriage return), so it goes to the screen and never to the log.
        printf(plies < 10 ? "   %d..." : "  %d...", plies);
        printf(" %6s  %2d/%-2d    %s   \r", format_time(u32(pos->search_start), get_time_cs()),
               pos->root_index + 1, pos->root_count, format_move_san(pos, move));
    }
    fflush(stdout);
}

void print_search_stats(Position* pos)
{
    const u32 wall = get_time_cs() - u32(pos->search_start);
    const unsigned cpu = unsigned(get_cpu_time_cs() - pos->search_start_cpu);
    const float load = float(compute_percent(cpu, wall));
    const int nps = get_nodes_per_second(pos);
    if (protocol_mode == PROTOCOL_UCI) {
        // On purpose: UCI lines go straight to standard output with printf,
        // past the output channel, which writes only in console mode.
        printf("info nps %d nodes %ld cpuload %d tbhits %lu\n", nps, long(node_count),
               int(load) * 10, (unsigned long)(table_hits_hook != nullptr ? table_hits_hook() : 0));
        fflush(stdout);
    }
    char time_text[32];
    copy_time_text(pos, time_text, sizeof time_text);
    emit_text("\n\nTime: %s, cpu %2.2f%%, nodes %ld, nps %d\n", time_text, load, long(node_count),
              nps);
    print_hash_usage();
    if (table_stats_print_hook != nullptr)
        table_stats_print_hook();
    emit_text("\n");
}

void reset_search_stats()
{
    reset_node_counters();
    clear_hash_stats();
    reset_eval_counters();
    if (table_stats_reset_hook != nullptr)
        table_stats_reset_hook();
}
