// Command handler: line handling, move entry and the command chain.
#include "frontend/commands.h"

#include <cctype>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "book/book.h"
#include "frontend/config.h"
#include "frontend/editor.h"
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "frontend/numbers.h"
#include "frontend/uci.h"
#include "frontend/uci_options.h"
#include "search/history.h"
#include "search/legality.h"
#include "search/levels.h"
#include "search/multipv.h"
#include "search/root.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/transposition.h"
#include "tablebases/tbprobe.h"

namespace {

using CommandFunction = void (*)(Position* pos, int count, const char* const* tokens);

struct Command {
    const char* word;
    CommandFunction run;
};

// The line being handled, as received (setboard reads its FEN from it).
const char* handled_line = nullptr;

// The decimal value of a token within [low, high]: false (the command then
// treats it as missing) when it lies below, cut to `high` above. Text that
// is not a number reads as 0.
bool token_in_range(const char* text, long low, long high, int* value)
{
    long long parsed = read_decimal(text);
    if (parsed < low)
        return false;
    *value = static_cast<int>(parsed > high ? high : parsed);
    return true;
}

// "Illegal move: <from><to>" for the xboard interface.
void print_illegal_move(Move move)
{
    printf("Illegal move: %s%s\n", square_name[move_from(move)], square_name[move_to(move)]);
    fflush(stdout);
}

// The same reply for text that gave no move code at all: the interface is
// answered with the move it sent, not with the squares of move 0.
void print_illegal_move_text(Move move, const char* text)
{
    if (move != 0) {
        print_illegal_move(move);
        return;
    }
    printf("Illegal move: %s\n", text);
    fflush(stdout);
}

// Seconds with decimals ("12", "0.5", "0.05") in centiseconds, cut to
// `high`; decimals beyond the second are dropped. False (the command then
// treats it as missing) for a value below zero; text that is not a number
// reads as 0.
bool token_centiseconds(const char* text, int high, int* value)
{
    char* end = nullptr;
    const long whole = strtol(text, &end, 10);
    if (whole < 0 || strchr(text, '-') != nullptr)
        return false;
    long long cs = static_cast<long long>(whole < high / 100 + 1 ? whole : high / 100 + 1) * 100;
    if (*end == '.' && isdigit(static_cast<unsigned char>(end[1]))) {
        cs += 10 * (end[1] - '0');
        if (isdigit(static_cast<unsigned char>(end[2])))
            cs += end[2] - '0';
    }
    *value = static_cast<int>(cs < high ? cs : high);
    return true;
}

void clear_killers(Position* pos)
{
    for (int ply = 0; ply < MAX_PLY; ply++) {
        pos->killers[ply][0] = 0;
        pos->killers[ply][1] = 0;
    }
}

void clear_history()
{
    memset(history, 0, sizeof history);
}

void forget_predictions()
{
    previous_score = 0;
    ponder_score = 0;
    expected_reply = 0;
    reply_predicted = 0;
}

// Opponent's move in coordinate text (first token shaped like e2e4).
void enter_move(Position* pos, const char* text)
{
    reply_predicted = 0;
    Move move = parse_move(pos, text);
    bool accepted = false;
    if (move != 0 && is_legal_move(pos, move)) {
        int piece = pos->board[move_from(move)];
        int own_bit = pos->side_to_move == WHITE ? WHITE_BIT : BLACK_BIT;
        accepted = (piece & own_bit) != 0;
    }
    if (!accepted) {
        show_board(pos);
        report_invalid_move(pos, move);
        if (protocol_mode == PROTOCOL_XBOARD)
            print_illegal_move_text(move, text);
        search_requested = 0;
        return;
    }
    push_game_move(pos, move);
    if (move == expected_reply) {
        emit_text("Predicted move!!\n");
        reply_predicted = 1;
    }
    if (!force_mode)
        search_requested = 1;
}

// In analysis a new position is analysed at once.
void restart_analysis()
{
    if (analyze_mode)
        search_requested = 1;
}

void command_undo(Position* pos, int, const char* const*)
{
    pop_game_move(pos);
    restart_analysis();
}

// The interface takes back a move of each side, as two "undo"s would: the
// turn stays with the side that was to move.
void command_remove(Position* pos, int, const char* const*)
{
    pop_game_move(pos);
    pop_game_move(pos);
    restart_analysis();
}

} // namespace

void init_tablebases_from_path()
{
    if (!tb_enabled || tb_path == nullptr)
        return;
    emit_text("Initializing tablebases: %s\n", tb_path);
    tb_max_men = init_tablebases(tb_path);
    if (tb_max_men == 0) {
        tb_enabled = 0;
        return;
    }
    // A new block replaces the old one; the cache forgets the old block first.
    void* old_block = tb_cache_buffer;
    tb_cache_buffer = alloc_mem(static_cast<size_t>(tb_cache_bytes));
    set_tb_cache(tb_cache_buffer, static_cast<unsigned>(tb_cache_bytes));
    if (old_block != nullptr)
        free_mem(old_block);
}

namespace {

void command_xboard(Position*, int, const char* const*)
{
    input_install_interrupt();
    protocol_mode = PROTOCOL_XBOARD;
    force_mode = 0;
    search_requested = 0;
    show_diagram = 0;
    init_tablebases_from_path();
}

void command_protover(Position*, int count, const char* const* tokens)
{
    if (count < 2 || !token_in_range(tokens[1], 1, INT_MAX, &protocol_version))
        return;
    // On purpose: "setboard=1" goes out twice, as interfaces have always seen it.
    printf("feature setboard=1\n");
    printf("feature analyze=1\n");
    printf("feature setboard=1\n");
    printf("feature myname=\"Quarvel %s\"\n", QUARVEL_VERSION);
    printf("feature ics=1\n");
    // Interfaces stop reading features at done=1.
    printf("feature ping=1\n");
    printf("feature done=1\n");
    fflush(stdout);
}

void command_nothing(Position*, int, const char* const*) {}

void command_ping(Position*, int count, const char* const* tokens)
{
    if (count < 2)
        return;
    printf("pong %s\n", tokens[1]);
}

void command_fritz(Position*, int, const char* const*)
{
    fritz_mode = 1;
    post_enabled = 1;
}

void command_level(Position*, int count, const char* const* tokens)
{
    // The base time is not used: the time left always comes from "time".
    int moves = 0, centiseconds = 0;
    if (count < 4 || !token_in_range(tokens[1], 0, INT_MAX, &moves) ||
        !token_centiseconds(tokens[3], INT_MAX, &centiseconds))
        return;
    moves_per_control = moves;
    increment[WHITE] = centiseconds;
    increment[BLACK] = centiseconds;
}

void command_force(Position*, int, const char* const*)
{
    force_mode = 1;
    search_requested = 0;
}

void command_go(Position* pos, int count, const char* const* tokens)
{
    if (protocol_mode == PROTOCOL_UCI) {
        uci_command_go(pos, count, tokens);
        return;
    }
    force_mode = 0;
    search_requested = 1;
}

void command_reset(Position* pos, int, const char* const*)
{
    clear_hash();
    clear_killers(pos);
    clear_history();
    forget_predictions();
}

void command_new(Position* pos, int, const char* const*)
{
    if (!fritz_mode) {
        clear_hash();
        clear_history();
        forget_predictions();
    }
    pos->game->contempt = default_contempt;
    clear_killers(pos);
    setup_new_game(pos);
    search_requested = 0;
    force_mode = 0;
    own_clock = 30000;
    idle_flag = 1;
    draw_offered = 0;
    // A new game lifts the limit of "sd"; the level's own stays.
    max_depth = level_max_depth;
    restart_analysis();
}

void command_name(Position*, int count, const char* const* tokens)
{
    if (count < 2)
        return;
    emit_text("Playing %s\n", tokens[1]);
}

void command_rating(Position* pos, int count, const char* const* tokens)
{
    int own = 0, opponent = 0;
    if (count < 3 || !token_in_range(tokens[1], 0, INT_MAX, &own) ||
        !token_in_range(tokens[2], 0, INT_MAX, &opponent))
        return;
    pos->game->own_rating = own;
    pos->game->opponent_rating = opponent;
    if (static_cast<long>(pos->game->own_rating) >
        static_cast<long>(pos->game->opponent_rating) + 150)
        pos->game->contempt = -30;
    emit_text("Rating %s %s %d\n", tokens[1], tokens[2], pos->game->contempt);
}

void command_quit(Position*, int, const char* const*)
{
    fflush(stdout);
    close_log_file();
    exit(0);
}

// The side change starts the game afresh at the current position, as
// "setboard" does: the moves before it were made by the other side, so an
// "undo" past it would unmake them under the wrong side. A double step of
// the other side is no longer the last move, so no en-passant square stays.
void set_side(Position* pos, int side)
{
    char text[100], placement[80], castling[8];
    format_position_text(text, pos);
    if (sscanf(text, "%79s %*s %7s", placement, castling) != 2)
        return;
    char fen[100];
    snprintf(fen, sizeof fen, "%s %c %s -", placement, side == WHITE ? 'w' : 'b', castling);
    const int fifty = *pos->fifty_top;
    if (set_board_for_play(pos, fen))
        *pos->fifty_top = fifty;
}

void command_white(Position* pos, int, const char* const*)
{
    set_side(pos, WHITE);
    restart_analysis();
}
void command_black(Position* pos, int, const char* const*)
{
    set_side(pos, BLACK);
    restart_analysis();
}

void command_display(Position* pos, int, const char* const*)
{
    show_diagram++;
    print_diagram(stdout, pos);
    show_diagram--;
}

void command_hard(Position*, int, const char* const*)
{
    ponder_enabled = 1;
}
void command_easy(Position*, int, const char* const*)
{
    ponder_enabled = 0;
}

void command_book(Position* pos, int count, const char* const* tokens)
{
    if (count == 1) {
        Move move = choose_book_move(pos);
        if (move == 0)
            printf("No book move\n");
        else
            printf("Suggested move: %s\n", format_move_san(pos, move));
        return;
    }
    if (count == 2) {
        if (strcmp(tokens[1], "on") == 0)
            book_enabled = 1;
        else if (strcmp(tokens[1], "off") == 0)
            book_enabled = 0;
    }
    printf("Book %s\n", book_enabled ? "on" : "off");
}

void command_post(Position*, int, const char* const*)
{
    post_enabled = 1;
}
void command_nopost(Position*, int, const char* const*)
{
    post_enabled = 0;
}

// Any clock value is taken: one below zero is a fallen flag, which the time
// allocation counts as no time left.
void command_time(Position*, int count, const char* const* tokens)
{
    if (count == 2)
        own_clock = read_int(tokens[1]);
}

void command_otim(Position*, int count, const char* const* tokens)
{
    if (count == 2)
        opponent_clock = read_int(tokens[1]);
}

void command_sd(Position*, int count, const char* const* tokens)
{
    // 0 lifts the limit.
    int plies = 0;
    if (count != 2 || !token_in_range(tokens[1], 0, INT_MAX, &plies))
        return;
    if (plies == 0 || plies > DEPTH_UNLIMITED / ONE_PLY)
        max_depth = DEPTH_UNLIMITED;
    else
        max_depth = ONE_PLY * plies;
}

void command_st(Position*, int count, const char* const* tokens)
{
    // 0 lifts the fixed time.
    int centiseconds = 0;
    if (count != 2 || !token_centiseconds(tokens[1], INT_MAX, &centiseconds))
        return;
    fixed_move_time = centiseconds;
}

void command_edit(Position* pos, int, const char* const*)
{
    edit_position(pos);
    restart_analysis();
}

void command_setboard(Position* pos, int count, const char* const*)
{
    if (count < 2)
        return;
    // The FEN is the raw text behind the command word, blanks included.
    const char* text = handled_line;
    while (*text != '\0' && isspace(static_cast<unsigned char>(*text)))
        text++;
    text += strlen("setboard");
    set_board_for_play(pos, text);
    restart_analysis();
}

void command_analyze(Position*, int, const char* const*)
{
    analyze_mode = 1;
    own_clock = 300000000;
    search_requested = 1;
    post_enabled = 1;
    force_mode = 0;
}

void command_best(Position* pos, int count, const char* const* tokens)
{
    int lines = 0;
    if (count != 2 || !token_in_range(tokens[1], 1, INT_MAX, &lines))
        return;
    analyse_multipv(pos, lines);
}

void command_ponder(Position* pos, int count, const char* const* tokens)
{
    if (count != 2)
        return;
    if (strcmp(tokens[1], "on") == 0) {
        ponder_enabled = 1;
        return;
    }
    if (strcmp(tokens[1], "off") == 0) {
        ponder_enabled = 0;
        return;
    }
    Move move = parse_move(pos, tokens[1]);
    if (move != 0 && is_legal_move(pos, move)) {
        push_game_move(pos, move);
        if (!force_mode)
            search_requested = 1;
        return;
    }
    show_board(pos);
    emit_text("Cannot accept %s\n", tokens[1]);
    if (protocol_mode == PROTOCOL_XBOARD)
        print_illegal_move_text(move, tokens[1]);
    else
        report_invalid_move(pos, move);
    search_requested = 0;
}

void command_draw(Position* pos, int, const char* const*)
{
    if (pos->draw_count >= 3)
        emit_text_any_mode("offer draw\n");
}

void command_result(Position* pos, int count, const char* const* tokens)
{
    if (count < 2)
        return;
    pos->game_active = 0;
    idle_flag = 1;
    if (strcmp(tokens[1], "1-0") == 0)
        pos->game->result = RESULT_WHITE_WON;
    else if (strcmp(tokens[1], "0-1") == 0)
        pos->game->result = RESULT_BLACK_WON;
    else if (strcmp(tokens[1], "1/2-1/2") == 0)
        pos->game->result = RESULT_DRAW;
    learn_from_result(pos);
}

void command_exit(Position*, int, const char* const*)
{
    search_requested = 0;
    analyze_mode = 0;
}

// The chain in the order of its tests; the first token picks the entry.
constexpr Command COMMAND_CHAIN[] = {
    {"undo", command_undo},
    {"remove", command_remove},
    {"xboard", command_xboard},
    {"protover", command_protover},
    {"accepted", command_nothing},
    {"ping", command_ping},
    {"fritz", command_fritz},
    {"level", command_level},
    {"force", command_force},
    {"go", command_go},
    {"reset", command_reset},
    {"new", command_new},
    {"name", command_name},
    {"rating", command_rating},
    {"ics", command_nothing},
    {"quit", command_quit},
    {"white", command_white},
    {"black", command_black},
    {"display", command_display},
    {"hard", command_hard},
    {"easy", command_easy},
    {"book", command_book},
    {"post", command_post},
    {"nopost", command_nopost},
    {"time", command_time},
    {"otim", command_otim},
    {"sd", command_sd},
    {"depth", command_sd},
    {"st", command_st},
    {"edit", command_edit},
    {"setboard", command_setboard},
    {"analyze", command_analyze},
    {"best", command_best},
    {".", command_nothing},
    {"?", command_nothing},
    {"computer", command_nothing},
    {"ponder", command_ponder},
    {"draw", command_draw},
    {"result", command_result},
    {"exit", command_exit},
    {"random", command_nothing},
    {"uci", uci_command_uci},
    {"setoption", uci_command_setoption},
    {"stop", uci_command_stop},
    {"isready", uci_command_isready},
    {"ponderhit", uci_command_ponderhit},
    {"position", uci_command_position},
};

// Splits the copy at white space; tokens beyond the limit are dropped.
int split_tokens(char* copy, const char** tokens)
{
    int count = 0;
    char* p = copy;
    for (;;) {
        while (*p != '\0' && isspace(static_cast<unsigned char>(*p)))
            p++;
        if (*p == '\0' || count == LINE_TOKEN_LIMIT)
            break;
        tokens[count++] = p;
        while (*p != '\0' && !isspace(static_cast<unsigned char>(*p)))
            p++;
        if (*p == '\0')
            break;
        *p++ = '\0';
    }
    return count;
}

} // namespace

int line_cancels_engine_move(const char* line)
{
    static const char* const WORDS[] = {"force", "new", "result", "setboard", "edit"};
    while (*line != '\0' && isspace(static_cast<unsigned char>(*line)))
        line++;
    for (const char* word : WORDS) {
        const size_t n = strlen(word);
        if (strncmp(line, word, n) == 0 &&
            (line[n] == '\0' || isspace(static_cast<unsigned char>(line[n]))))
            return 1;
    }
    return 0;
}

int looks_like_move(const char* token)
{
    auto c = [token](int i) { return static_cast<unsigned char>(token[i]); };
    return isalpha(c(0)) && isdigit(c(1)) && isalpha(c(2)) && isdigit(c(3));
}

void handle_command(Position* pos)
{
    static char line_copy[LINE_BUFFER_SIZE];
    static const char* tokens[LINE_TOKEN_LIMIT];

    const char* line = pending_line;
    if (line == nullptr)
        return;
    emit_text("[%s]\n", line);

    snprintf(line_copy, sizeof line_copy, "%s", line);
    int count = split_tokens(line_copy, tokens);
    if (count == 0)
        return;

    // looks_like_move reads four characters: only ask when the token has them.
    if (strlen(tokens[0]) >= 4 && looks_like_move(tokens[0])) {
        enter_move(pos, tokens[0]);
        return;
    }
    handled_line = line;
    for (const Command& command : COMMAND_CHAIN) {
        if (strcmp(tokens[0], command.word) == 0) {
            command.run(pos, count, tokens);
            handled_line = nullptr;
            return;
        }
    }
    handled_line = nullptr;
    emit_text("Unknown command, %s\n", line);
}
