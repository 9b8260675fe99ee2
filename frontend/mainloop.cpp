// Main loop.
#include "frontend/mainloop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "board/diagram.h"
#include "frontend/commands.h"
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "frontend/turn.h"
#include "frontend/uci.h"
#include "search/history.h"
#include "search/multipv.h"
#include "search/timecontrol.h"

namespace {

// The line being handled. Commands are always handled from this buffer, so
// that a line a search reads into the poll buffer while a command runs
// ("best") can be told apart from the one being handled and is kept.
char loop_line[LINE_BUFFER_SIZE];

[[noreturn]] void end_of_input()
{
    fflush(stdout);
    close_log_file();
    exit(0);
}

// Blocking read of the next command into loop_line; the end of input ends
// the program. Returns 0 for an empty line.
int read_command()
{
    if (protocol_mode == PROTOCOL_CONSOLE)
        emit_text("quarvel: ");
    if (input_read_line(loop_line, LINE_BUFFER_SIZE) < 0)
        end_of_input();
    return trim_line_end(loop_line);
}

void handle_pending(Position* pos)
{
    if (pending_line != loop_line) {
        snprintf(loop_line, sizeof loop_line, "%s", pending_line);
        pending_line = loop_line;
    }
    if (loop_line[0] != '\0')
        handle_command(pos);
    fflush(stdout);
    // A command that searched may have left a new line behind.
    if (pending_line == loop_line)
        pending_line = nullptr;
}

int phase_sum(const Position* pos)
{
    return pos->phase[WHITE] + pos->phase[BLACK];
}

void prepare_search_tables(Position* pos)
{
    for (int ply = 0; ply < MAX_PLY; ply++) {
        pos->killers[ply][0] = 0;
        pos->killers[ply][1] = 0;
    }
    for (int side = 0; side < 2; side++)
        for (int i = 0; i < 4096; i++)
            history[side][i] >>= 8;
}

void run_analysis(Position* pos)
{
    time_target = ENDLESS_TIME_TARGET;
    if (multipv_lines > 1)
        analyse_multipv(pos, multipv_lines);
    else
        play_engine_move(pos);
    ponder_search = 0;
    // An xboard analysis goes on after a line that stopped it, unless the
    // line ends it ("exit") or stops the engine ("force"); one that ended by
    // itself (the depth limit, a mate) waits for a new position.
    search_requested = protocol_mode != PROTOCOL_UCI && pending_line != nullptr ? 1 : 0;
    if (protocol_mode == PROTOCOL_UCI) {
        ensure_legal_best_move(pos);
        uci_send_bestmove(pos, static_cast<std::uint32_t>(pos->pv[0][0]), 0);
    }
}

void run_engine_move(Position* pos)
{
    idle_flag = 0;
    play_engine_move(pos);
    // The interface took the engine off the move while it searched: the
    // move it found would land in a game that no longer expects it.
    if (protocol_mode != PROTOCOL_UCI && pending_line != nullptr &&
        line_cancels_engine_move(pending_line)) {
        draw_offered = 0;
        search_requested = 0;
        idle_flag = 1;
        return;
    }
    if (!pos->game_active) {
        // A UCI interface waits for an answer even when there is no move.
        if (protocol_mode == PROTOCOL_UCI) {
            uci_send_bestmove(pos, 0, 0);
            ponder_search = 0;
            idle_flag = 1;
        }
        draw_offered = 0;
        search_requested = 0;
        fflush(stdout);
        return;
    }
    ensure_legal_best_move(pos);
    Move move = pos->pv[0][0];

    if (draw_offered && pos->draw_count >= 3 && phase_sum(pos) < 21)
        emit_text_any_mode("offer draw\n");
    // The offer has been answered (or declined) with this move.
    draw_offered = 0;

    if (protocol_mode == PROTOCOL_XBOARD)
        send_move(move);
    if (protocol_mode == PROTOCOL_UCI) {
        uci_send_bestmove(pos, static_cast<std::uint32_t>(move),
                          static_cast<std::uint32_t>(expected_reply));
        ponder_search = 0;
    }
    char score_text[32];
    emit_text("Best move: %s score %s\n\n", format_move_san(pos, move),
              format_score(score_text, pos->root_score));

    // Under UCI the interface keeps the game: the move is not recorded.
    if (protocol_mode == PROTOCOL_UCI) {
        idle_flag = 1;
    } else {
        push_game_move(pos, move);
        if (*pos->fifty_top >= 100) {
            emit_text_any_mode("1/2-1/2 {Drawn by 50-move rule}\n");
            pos->game_active = 0;
            idle_flag = 1;
        }
        if (pos->draw_count >= 3 && pos->draw_count % 3 == 0 && phase_sum(pos) < 21)
            emit_text_any_mode("offer draw\n");
    }
    search_requested = 0;
    fflush(stdout);
}

void take_turn(Position* pos)
{
    if (protocol_mode != PROTOCOL_XBOARD)
        show_board(pos);
    prepare_search_tables(pos);
    if (analyze_mode) {
        run_analysis(pos);
    } else if (!search_requested && protocol_mode != PROTOCOL_UCI) {
        if (ponder_enabled && !idle_flag && pos->game_active)
            start_pondering_or_end_game(pos);
        else
            idle_flag = 1;
    } else {
        run_engine_move(pos);
    }
}

} // namespace

int trim_line_end(char* line)
{
    int length = static_cast<int>(strlen(line));
    while (length > 0) {
        unsigned char c = static_cast<unsigned char>(line[length - 1]);
        if (c >= 0x20 && c < 0x7f)
            break;
        line[--length] = '\0';
    }
    return length;
}

void run_main_loop(Position* pos)
{
    for (;;) {
        // Once input has ended nothing new can arrive: an analysis or a ponder
        // search would only restart and stop at once, forever. Nobody reads
        // the output any more: the same.
        if (pending_line == nullptr && !search_requested && input_at_end())
            end_of_input();
        if (output_lost())
            end_of_input();
        // A line left by the turn (one that released a held UCI answer) is
        // handled before the next is read, so that no line is lost.
        if (pending_line != nullptr) {
            handle_pending(pos);
            continue;
        }
        bool polled_line = false;
        // A request to move stays set when a line arrives before the turn:
        // the line is handled first, and commands that cancel the request
        // ("force", "new", "exit", ...) clear it themselves.
        if (poll_input(pos)) {
            polled_line = true;
        } else if (search_requested) {
            take_turn(pos);
            continue;
        }

        bool read_now = true;
        if (!force_mode && !polled_line) {
            if (poll_input(pos) == 0) {
                if (pending_line != nullptr) {
                    read_now = false;
                } else if (ponder_enabled && !idle_flag) {
                    take_turn(pos);
                    continue;
                }
            } else {
                read_now = pending_line == nullptr;
            }
        } else {
            read_now = pending_line == nullptr;
        }

        if (read_now) {
            read_command();
            pending_line = loop_line;
        }
        handle_pending(pos);
    }
}
