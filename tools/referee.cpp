// Referee: plays games between two xboard-protocol engines and checks them.
//
//   referee [-g games] [-m max_plies] [-b base_seconds] [-i increment]
//           [-l lag_ms] [-v] "ENGINE1 ARGS..." "ENGINE2 ARGS..."
//
// Every move is checked with this program's own move generator; an illegal
// move, a move sent out of turn, an "Illegal move" complaint, a loss on time,
// an engine that stops answering or one that does not exit with code 0 when
// its input closes is a fault. The colours alternate from game to game; a game
// still running after max_plies plies is adjudicated a draw. The exit code is
// 0 when no fault happened, 1 otherwise. -v lists every move with its time.
// -l grants each move a lag allowance, as chess servers do: the time between
// writing the move and the engine reading it (and back) is the machine's,
// not the engine's; 0 by default. Every wait for an answer is lengthened by
// it too, so that a slow machine is never taken for a silent engine.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/transposition.h"
#include "tools/helpers/engine_process.h"

namespace {

struct Engine {
    std::string command;
    std::string name;
    pid_t pid = -1;
    int in_fd = -1;
    int out_fd = -1;
    std::string partial;
    std::vector<std::string> lines; // complete lines not yet taken
    bool closed = false;
    bool usermove = false;
    long clock_ms = 0;
};

int fault_count = 0;

long long now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

void fault(const char* format, const std::string& a, const std::string& b = "")
{
    fault_count++;
    fprintf(stdout, "FAULT: ");
    fprintf(stdout, format, a.c_str(), b.c_str());
    fprintf(stdout, "\n");
    fflush(stdout);
}

bool engine_start(Engine* e)
{
    return spawn_engine(e->command, &e->pid, &e->in_fd, &e->out_fd);
}

void engine_send(Engine* e, const std::string& line)
{
    if (e->in_fd < 0)
        return;
    std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(e->in_fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fault("%s: cannot write to the engine (%s)", e->name, strerror(errno));
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// Reads what the engines have written, waiting at most `wait_ms`.
void pump(Engine* engines, int count, int wait_ms)
{
    pollfd fds[2];
    int map[2];
    int n = 0;
    for (int i = 0; i < count; i++) {
        if (!engines[i].closed) {
            fds[n] = {engines[i].out_fd, POLLIN, 0};
            map[n++] = i;
        }
    }
    if (n == 0) {
        if (wait_ms > 0)
            poll(nullptr, 0, wait_ms);
        return;
    }
    if (poll(fds, n, wait_ms) <= 0)
        return;
    for (int k = 0; k < n; k++) {
        if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        Engine* e = &engines[map[k]];
        char buffer[4096];
        ssize_t got = read(e->out_fd, buffer, sizeof buffer);
        if (got <= 0) {
            e->closed = true;
            continue;
        }
        e->partial.append(buffer, static_cast<size_t>(got));
        size_t pos;
        while ((pos = e->partial.find('\n')) != std::string::npos) {
            std::string line = e->partial.substr(0, pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            e->lines.push_back(line);
            e->partial.erase(0, pos + 1);
        }
    }
}

bool starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, strlen(prefix), prefix) == 0;
}

// Takes the engine's pending lines; complaints are faults wherever they come.
std::vector<std::string> take_lines(Engine* e)
{
    std::vector<std::string> lines;
    lines.swap(e->lines);
    for (const std::string& line : lines) {
        if (starts_with(line, "Illegal move"))
            fault("%s complained: %s", e->name, line);
        if (starts_with(line, "feature") && line.find("usermove=1") != std::string::npos)
            e->usermove = true;
    }
    return lines;
}

// Waits until `e` writes a line starting with `prefix`; the other engine's
// lines are checked for moves out of turn.
bool wait_for(Engine* engines, Engine* e, const char* prefix, int timeout_ms)
{
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        std::vector<std::string> lines = take_lines(e);
        for (size_t i = 0; i < lines.size(); i++) {
            if (starts_with(lines[i], "move "))
                fault("%s sent a move out of turn: %s", e->name, lines[i]);
            if (starts_with(lines[i], prefix)) {
                // Lines behind the match stay for the next wait.
                e->lines.insert(e->lines.begin(), lines.begin() + i + 1, lines.end());
                return true;
            }
        }
        // The other engine's lines wait for their own turn; only a move
        // from it is wrong here.
        for (int i = 0; i < 2; i++) {
            Engine* x = &engines[i];
            if (x == e)
                continue;
            for (size_t k = 0; k < x->lines.size();) {
                if (starts_with(x->lines[k], "move ")) {
                    fault("%s sent a move out of turn: %s", x->name, x->lines[k]);
                    x->lines.erase(x->lines.begin() + k);
                } else {
                    k++;
                }
            }
        }
        long long left = deadline - now_ms();
        if (left <= 0 || e->closed)
            return false;
        pump(engines, 2, static_cast<int>(left));
    }
}

// The legal move matching the engine's text (from, to, promotion), or 0.
Move find_legal_move(Position* pos, const std::string& text)
{
    if (text.size() < 4)
        return 0;
    int from = (text[0] - 'a') + 8 * (text[1] - '1');
    int to = (text[2] - 'a') + 8 * (text[3] - '1');
    int promo = 0;
    for (size_t i = 4; i < text.size(); i++) {
        switch (text[i]) {
            case 'q':
            case 'Q': promo = PROMO_QUEEN; break;
            case 'r':
            case 'R': promo = PROMO_ROOK; break;
            case 'b':
            case 'B': promo = PROMO_BISHOP; break;
            case 'n':
            case 'N': promo = PROMO_KNIGHT; break;
            default: break;
        }
    }
    Move list[MAX_MOVES];
    int count = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
    for (int i = 0; i < count; i++) {
        if (move_from(list[i]) == from && move_to(list[i]) == to && move_promo(list[i]) == promo)
            return list[i];
    }
    return 0;
}

std::string coordinate_text(Move move)
{
    static const char PROMO_LETTER[5] = {0, 'n', 'b', 'r', 'q'};
    std::string text = std::string(square_name[move_from(move)]) + square_name[move_to(move)];
    if (move_promo(move) >= PROMO_KNIGHT && move_promo(move) <= PROMO_QUEEN)
        text += PROMO_LETTER[move_promo(move)];
    return text;
}

bool insufficient_material(const Position* pos)
{
    for (int side = 0; side < 2; side++) {
        if (pos->pawn_count[side] || pos->major_count[side] ||
            pos->knight_count[side] + pos->bishop_count[side] > 1)
            return false;
    }
    return true;
}

struct Options {
    int games = 4;
    int max_plies = 60;
    int base_seconds = 3;
    int increment = 0;
    int verbose = 0;
    int lag_ms = 0;
    int foreign_second = 0; // -s: engine 2 is another program; its exit status is its own affair
    std::string engine_command[2];
};

// Sets both engines up for a new game and makes sure each is listening.
void start_game(Engine* engines, const Options& options, int game_number)
{
    static int ping_number = 0;
    for (int i = 0; i < 2; i++) {
        Engine* e = &engines[i];
        engine_send(e, "new");
        engine_send(e, "random");
        engine_send(e, "level 0 " + std::to_string(options.base_seconds / 60) + ":" +
                           std::to_string(options.base_seconds % 60) + " " +
                           std::to_string(options.increment));
        engine_send(e, "hard");
        engine_send(e, "post");
        e->clock_ms = options.base_seconds * 1000L;
        int number = ++ping_number;
        engine_send(e, "ping " + std::to_string(number));
        if (!wait_for(engines, e, ("pong " + std::to_string(number)).c_str(),
                      10000 + options.lag_ms))
            fault("%s did not answer ping before game %s", e->name, std::to_string(game_number));
    }
}

// The result line of a game the rules (or the ply limit) end here, or "".
std::string rules_result(Position* pos, int ply, const Options& options)
{
    if (count_legal_moves(pos) == 0) {
        if (is_in_check(pos, pos->side_to_move))
            return pos->side_to_move == WHITE ? "0-1 {Black mates}" : "1-0 {White mates}";
        return "1/2-1/2 {Stalemate}";
    }
    if (*pos->fifty_top >= 100)
        return "1/2-1/2 {Drawn by 50-move rule}";
    // The rules' threefold repetition, which other engines claim and then
    // stop playing; Quarvel's own claim waits for a fourth occurrence.
    if (repetition_count(pos) >= 2)
        return "1/2-1/2 {Drawn by repetition}";
    if (insufficient_material(pos))
        return "1/2-1/2 {Insufficient material}";
    if (ply >= options.max_plies)
        return "1/2-1/2 {Adjudicated}";
    return "";
}

// Waits for the mover's "move" line (into move_text) or its resignation
// (into result); a move out of turn is a fault. False when the mover gave
// neither before the deadline.
bool await_move(Engine* engines, Engine* mover, long long deadline, std::string* move_text,
                std::string* result)
{
    for (;;) {
        for (int i = 0; i < 2; i++) {
            Engine* x = &engines[i];
            for (const std::string& line : take_lines(x)) {
                if (starts_with(line, "move ")) {
                    if (x != mover)
                        fault("%s sent a move out of turn: %s", x->name, line);
                    else if (move_text->empty())
                        *move_text = line.substr(5);
                } else if (x == mover && line.find("resigns}") != std::string::npos) {
                    *result = line;
                }
            }
        }
        if (!move_text->empty() || !result->empty())
            return true;
        long long left = deadline - now_ms();
        if (left <= 0 || mover->closed) {
            fault("%s did not move (%s)", mover->name,
                  mover->closed ? "its output closed" : "no answer");
            return false;
        }
        pump(engines, 2, static_cast<int>(left));
    }
}

// Charges the mover's clock for its move; false when its flag fell.
bool charge_clock(Engine* mover, long long start, const Options& options, int ply,
                  const std::string& move_text)
{
    long used = static_cast<long>(now_ms() - start) - options.lag_ms;
    if (used < 0)
        used = 0;
    mover->clock_ms -= used;
    if (options.verbose)
        printf("  ply %d %s: %s in %ld ms, %ld ms left\n", ply, mover->name.c_str(),
               move_text.c_str(), used, mover->clock_ms);
    if (mover->clock_ms < 0) {
        fault("%s lost on time (%s ms over)", mover->name, std::to_string(-mover->clock_ms));
        return false;
    }
    mover->clock_ms += options.increment * 1000L;
    return true;
}

// Plays one game; returns "1-0", "0-1" or "1/2-1/2".
std::string play_game(Engine* engines, int white_index, const Options& options, int game_number,
                      Position* pos)
{
    Engine* side_engine[2] = {&engines[white_index], &engines[1 - white_index]};
    start_game(engines, options, game_number);
    setup_new_game(pos);
    std::string last_move;
    std::string result;
    for (int ply = 0;; ply++) {
        result = rules_result(pos, ply, options);
        if (!result.empty())
            break;
        Engine* mover = side_engine[pos->side_to_move];
        Engine* other = side_engine[1 - pos->side_to_move];
        engine_send(mover, "time " + std::to_string(mover->clock_ms / 10));
        engine_send(mover, "otim " + std::to_string(other->clock_ms / 10));
        if (last_move.empty())
            engine_send(mover, "go");
        else
            engine_send(mover, (mover->usermove ? "usermove " : "") + last_move);
        long long start = now_ms();
        // Resignations count as a move that ends the game.
        std::string move_text;
        if (!await_move(engines, mover, start + mover->clock_ms + 3000 + options.lag_ms, &move_text,
                        &result))
            return "aborted";
        if (!result.empty())
            break;
        if (!charge_clock(mover, start, options, ply, move_text))
            return "aborted";
        Move move = find_legal_move(pos, move_text);
        if (move == 0) {
            fault("%s played an illegal move: %s", mover->name, move_text);
            return "aborted";
        }
        last_move = coordinate_text(move);
        make_move(pos, move);
        // The referee's own record: make_move keeps the state stacks that
        // the repetition and fifty-move tests read.
        pos->game->moves[pos->game->move_count++] = move;
    }
    // A game that ended by the referee's rules: an engine to move there
    // would otherwise wait, so the result is sent to both.
    for (int i = 0; i < 2; i++)
        engine_send(&engines[i], "result " + result);
    return result.substr(0, result.find(' '));
}

// End of input must end each engine cleanly, pondering or not.
void stop_engines(Engine* engines, const Options& options)
{
    for (int i = 0; i < 2; i++) {
        close(engines[i].in_fd);
        engines[i].in_fd = -1;
    }
    for (int i = 0; i < 2; i++) {
        long long deadline = now_ms() + 15000 + options.lag_ms;
        int status = 0;
        pid_t r = 0;
        while ((r = waitpid(engines[i].pid, &status, WNOHANG)) == 0 && now_ms() < deadline)
            pump(engines, 2, 20);
        if (r == 0) {
            kill(engines[i].pid, SIGKILL);
            waitpid(engines[i].pid, &status, 0);
            fault("%s did not exit at the end of its input", engines[i].name);
        } else if ((!WIFEXITED(status) || WEXITSTATUS(status) != 0) &&
                   !(i == 1 && options.foreign_second)) {
            fault("%s ended with status %s", engines[i].name, std::to_string(status));
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    signal(SIGPIPE, SIG_IGN);
    Options options;
    int opt;
    while ((opt = getopt(argc, argv, "g:m:b:i:l:sv")) != -1) {
        switch (opt) {
            case 'g': options.games = atoi(optarg); break;
            case 'm': options.max_plies = atoi(optarg); break;
            case 'b': options.base_seconds = atoi(optarg); break;
            case 'i': options.increment = atoi(optarg); break;
            case 'v': options.verbose = 1; break;
            case 'l': options.lag_ms = atoi(optarg); break;
            case 's': options.foreign_second = 1; break;
            default:
                fprintf(stderr,
                        "usage: referee [-g games] [-m max_plies] [-b base_seconds] "
                        "[-i increment] [-l lag_ms] [-s] [-v] \"ENGINE1 ARGS\" \"ENGINE2 ARGS\"\n");
                return 2;
        }
    }
    // The referee's game record holds GAME_MAX_MOVES plies.
    if (options.max_plies > GAME_MAX_MOVES - 1)
        options.max_plies = GAME_MAX_MOVES - 1;
    if (argc - optind != 2) {
        fprintf(stderr, "referee: two engine commands expected\n");
        return 2;
    }
    output_enabled = 0;
    init_eval_tables();
    set_hash_sizes(1 << 20);
    init_hash_keys();
    alloc_hash_table();
    Position* pos = create_position();

    Engine engines[2];
    for (int i = 0; i < 2; i++) {
        engines[i].command = argv[optind + i];
        engines[i].name = "engine" + std::to_string(i + 1);
        if (!engine_start(&engines[i])) {
            fprintf(stdout, "FAULT: cannot start %s\n", engines[i].command.c_str());
            return 1;
        }
        engine_send(&engines[i], "xboard");
        engine_send(&engines[i], "protover 2");
    }
    for (int i = 0; i < 2; i++) {
        if (!wait_for(engines, &engines[i], "feature done=1", 10000 + options.lag_ms))
            fault("%s did not finish its feature list (%s)", engines[i].name, engines[i].command);
    }

    int score[3] = {0, 0, 0}; // engine1 wins, engine2 wins, draws
    for (int game = 0; game < options.games && fault_count == 0; game++) {
        int white = game % 2;
        std::string result = play_game(engines, white, options, game + 1, pos);
        printf("game %d: %s (white %s) %s, %d plies\n", game + 1, result.c_str(),
               engines[white].name.c_str(), engines[white].command.c_str(), pos->game->move_count);
        fflush(stdout);
        if (result == "1-0")
            score[white]++;
        else if (result == "0-1")
            score[1 - white]++;
        else if (result == "1/2-1/2")
            score[2]++;
    }

    stop_engines(engines, options);
    printf("games %d: engine1 %d, engine2 %d, draws %d, faults %d\n",
           score[0] + score[1] + score[2], score[0], score[1], score[2], fault_count);
    fflush(stdout);
    destroy_position(pos);
    return fault_count == 0 ? 0 : 1;
}
