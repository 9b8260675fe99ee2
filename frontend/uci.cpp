// UCI command words: the handshake, the options, the position and the search
// request. The main loop does the searching; "go" only sets its limits.
#include "frontend/uci.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/board.h"
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "frontend/numbers.h"
#include "frontend/uci_options.h"
#include "search/root.h"
#include "search/search.h"
#include "search/timecontrol.h"

int uci_start_moves = 0;

namespace {

// Entries of the searchmoves list, its 0 terminator included.
constexpr int SEARCH_MOVES_LIMIT = 256;
static_assert(SEARCH_MOVES_CAPACITY >= SEARCH_MOVES_LIMIT);

bool same(const char* a, const char* b)
{
    return a != nullptr && std::strcmp(a, b) == 0;
}

const char* token_at(int count, const char* const* tokens, int index)
{
    return index < count ? tokens[index] : nullptr;
}

[[noreturn]] void fail_illegal_move(const char* text)
{
    emit_text("Illegal move %s\n", text);
    std::fprintf(stderr, "Illegal move %s\n", text);
    close_log_file();
    std::exit(1);
}

// Trailing characters that are not printable go, as the main loop cuts them.
void trim_line(char* line)
{
    size_t length = std::strlen(line);
    while (length > 0 && !std::isprint(static_cast<unsigned char>(line[length - 1])))
        line[--length] = '\0';
}

bool line_starts_with_word(const char* line, const char* word)
{
    while (*line == ' ' || *line == '\t')
        line++;
    size_t n = std::strlen(word);
    return std::strncmp(line, word, n) == 0 &&
           (line[n] == '\0' || std::isspace(static_cast<unsigned char>(line[n])));
}

void set_node_limit(long long nodes)
{
    node_limit = nodes;
    // The search's first poll then comes at once and times the next one
    // for when the limit is due.
    node_countdown = 0;
}

bool takes_value(const char* word)
{
    static const char* const WORDS[] = {"wtime", "btime", "winc", "binc",    "movestogo",
                                        "depth", "nodes", "mate", "movetime"};
    for (const char* w : WORDS)
        if (same(word, w))
            return true;
    return false;
}

// One "go" keyword with its value. A value below the keyword's range is
// ignored as if it were missing; one above is cut to the range. A clock
// below zero is a fallen flag: no time left.
void set_go_limit(const Position* pos, const char* word, long long value)
{
    if (same(word, "wtime") || same(word, "btime")) {
        if (pos->side_to_move == (same(word, "wtime") ? WHITE : BLACK))
            own_clock = int(clamp_value(value, 0, INT_MAX) / 10);
        return;
    }
    if (same(word, "movetime")) {
        // A positive time shorter than a centisecond still fixes the time;
        // 0 means "no fixed time".
        if (value >= 0)
            fixed_move_time =
                value > 0 && value < 10 ? 1 : int(clamp_value(value, 0, INT_MAX) / 10);
        return;
    }
    if (same(word, "winc") || same(word, "binc")) {
        if (value >= 0)
            increment[same(word, "winc") ? WHITE : BLACK] =
                int(clamp_value(value, 0, INT_MAX) / 10);
        return;
    }
    if (value < 1)
        return;
    if (same(word, "movestogo"))
        moves_to_go = int(clamp_value(value, 1, 1000));
    else if (same(word, "depth"))
        max_depth = ONE_PLY * int(clamp_value(value, 1, MAX_PLY)); // the per-ply arrays' depth
    else if (same(word, "mate"))
        mate_limit = int(clamp_value(value, 1, MAX_PLY));
    else
        set_node_limit(value);
}

} // namespace

void uci_command_uci(Position*, int, const char* const*)
{
    protocol_mode = PROTOCOL_UCI;
    ponder_enabled = 0;
    moves_per_control = 0;
    std::printf("id name Quarvel %s\n", QUARVEL_VERSION);
    std::printf("id author Tolvenar\n");
    print_uci_options();
    std::printf("uciok\n");
    std::fflush(stdout);
}

void uci_command_stop(Position*, int, const char* const*)
{
    // A "stop" during a search has already ended it (the input poll); here
    // no search runs any more.
}

void uci_command_isready(Position*, int, const char* const*)
{
    std::printf("readyok\n");
    std::fflush(stdout);
}

void uci_command_ponderhit(Position*, int, const char* const*)
{
    reply_predicted = 1;
}

void uci_command_position(Position* pos, int count, const char* const* tokens)
{
    position_line_dropped = 0;
    setup_new_game(pos);
    const char* kind = token_at(count, tokens, 1);
    int moves_at = count;
    for (int i = 1; i < count; i++)
        if (same(tokens[i], "moves")) {
            moves_at = i;
            break;
        }

    if (same(kind, "fen")) {
        // Four fields are needed; the move counters behind them are not used.
        bool bad = moves_at - 2 < 4;
        char fen[FEN_TEXT_LIMIT];
        if (!bad) {
            int length = std::snprintf(fen, sizeof fen, "%s %s %s %s", tokens[2], tokens[3],
                                       tokens[4], tokens[5]);
            bad = length < 0 || length >= FEN_TEXT_LIMIT;
        }
        if (bad) {
            std::string text;
            for (int i = 2; i < moves_at; i++) {
                if (i > 2)
                    text += ' ';
                text += tokens[i];
            }
            std::printf("Bad epd format: %s\n", text.c_str());
            std::fflush(stdout);
            return; // the start position stays; its moves belong to another position
        }
        if (!set_board_for_play(pos, fen))
            return; // set_board has told why; the start position stays
    }

    int made = 0;
    for (int i = moves_at + 1; i < count; i++) {
        Move move = parse_move(pos, tokens[i]);
        if (!is_generated_legal_move(pos, move))
            fail_illegal_move(tokens[i]);
        make_room_for_game_move(pos);
        make_move(pos, move);
        made++;
    }

    if (same(kind, "startpos")) {
        if (made + 5 < uci_start_moves) {
            emit_text("UCI New game\n");
            pos->game->contempt = default_contempt;
            previous_score = 0;
        }
        uci_start_moves = made;
    }
}

void uci_command_go(Position* pos, int count, const char* const* tokens)
{
    analyze_mode = 0;
    max_depth = DEPTH_UNLIMITED;
    moves_to_go = 0;
    node_limit = 0;
    mate_limit = 0;
    // A fixed time and the increments hold for this "go" only: a later one
    // without them plays on its clock alone.
    fixed_move_time = 0;
    increment[WHITE] = increment[BLACK] = 0;
    search_requested = 1;
    pos->search_moves[0] = 0;

    for (int i = 1; i < count; i++) {
        const char* word = tokens[i];
        const char* value = token_at(count, tokens, i + 1);
        if (same(word, "searchmoves")) {
            int n = 0;
            for (int j = i + 1; j < count && n < SEARCH_MOVES_LIMIT - 1; j++) {
                Move move = parse_move(pos, tokens[j]);
                if (move == 0)
                    break; // an unreadable word ends the list
                if (is_generated_legal_move(pos, move))
                    pos->search_moves[n++] = move;
            }
            pos->search_moves[n] = 0;
            break;
        } else if (same(word, "ponder")) {
            ponder_search = 1;
            reply_predicted = 0;
            ponder_enabled = 1;
            idle_flag = 0;
            search_requested = 0;
        } else if (same(word, "infinite")) {
            analyze_mode = 1;
            own_clock = 300000000;
            search_requested = 1;
        } else if (takes_value(word)) {
            if (value == nullptr)
                break; // a keyword without its value ends the line
            i++;
            set_go_limit(pos, word, read_decimal(value));
        } else {
            emit_text("FIXME undefined command\n");
        }
    }
    if (position_line_dropped) {
        // Never search a position other than the interface's.
        std::printf("info string Position unknown: its line was too long\n");
        std::printf("bestmove 0000\n");
        std::fflush(stdout);
        search_requested = 0;
        analyze_mode = 0;
        ponder_search = 0;
        idle_flag = 1;
    }
}

bool uci_answer_must_wait()
{
    if (protocol_mode != PROTOCOL_UCI || (ponder_search == 0 && analyze_mode == 0))
        return false;
    if (pending_line == nullptr)
        return true;
    // A line ended the search: "stop" (or anything but "isready") releases the answer.
    return line_starts_with_word(pending_line, "isready");
}

void uci_send_bestmove(Position* pos, std::uint32_t move_code, std::uint32_t reply_code)
{
    static char wait_line[LINE_BUFFER_SIZE];
    while (uci_answer_must_wait()) {
        if (pending_line != nullptr) {
            // "isready" is answered and the wait goes on.
            std::printf("readyok\n");
            std::fflush(stdout);
            pending_line = nullptr;
            continue;
        }
        if (output_lost() || input_read_line(wait_line, sizeof wait_line) < 0)
            break; // end of input or output: answer, the main loop then ends in order
        trim_line(wait_line);
        if (wait_line[0] == '\0')
            continue;
        emit_text("{%s}\n", wait_line);
        if (line_starts_with_word(wait_line, "ponderhit")) {
            // The guess was right; a ponder search that already ended by
            // itself now counts as the real one.
            ponder_search = 0;
            continue;
        }
        // Everything else, "stop" included, is handled by the command chain
        // once the answer is out.
        pending_line = wait_line;
    }

    Move move = Move(move_code);
    Move reply = Move(reply_code);
    if (move == 0) {
        std::printf("bestmove 0000\n");
        std::fflush(stdout);
        return;
    }
    // A ponder move is only offered when it is a legal reply to the move.
    if (reply != 0) {
        make_move(pos, move);
        bool legal = is_generated_legal_move(pos, reply);
        unmake_move(pos, move);
        if (!legal)
            reply = 0;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%s", format_move_coord(move));
    if (reply != 0)
        std::printf("bestmove %s ponder %s\n", text, format_move_coord(reply));
    else
        std::printf("bestmove %s\n", text);
    std::fflush(stdout);
}
