// Referee for UCI engines: plays games between two engine processes over
// pipes, keeps the clocks itself and checks the dialogue on the way: every
// bestmove legal, no bestmove from a pondering engine before "ponderhit" or
// "stop", no clock run out, and a clean exit on "quit".
//
//   uci_referee [-g games] [-t base_ms] [-i inc_ms] [-l lag_ms] [-p]
//               [-m max_plies] [-a NAME=VALUE]... [-b NAME=VALUE]... [-v]
//               ENGINE_A ENGINE_B
//
// -l grants each move a lag allowance, as chess servers do: the time between
// writing "go" and the engine reading it (and back) is the machine's, not the
// engine's; 0 by default. Every wait for an answer is lengthened by it too,
// so that a slow machine is never taken for a silent engine.
//
// An engine is a command line split at blanks ("/path/quarvel -x"). -a and -b
// send "setoption" lines to engine A and B. Colours alternate, engine A white
// in the first game. A game ends by mate, stalemate, the 50-move rule,
// threefold repetition, bare material, a loss on time or the ply limit (a
// draw). Before the last line comes "Time losses: A n, B m"; the last line is
// "referee: ok" (exit 0) or "referee: FAILED: <reason>" (exit 1) for a fault
// of the dialogue: an illegal or missing move, a bestmove while pondering, an
// engine that does not start or does not exit cleanly.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "board/board.h"
#include "tools/helpers/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;

bool verbose = false;

long long now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

struct Engine {
    std::string command;
    std::vector<std::string> options; // NAME=VALUE
    std::string name;                 // from "id name"
    pid_t pid = -1;
    int to_child = -1;
    int from_child = -1;
    std::string partial;
    std::vector<std::string> lines; // unread complete lines
    bool closed = false;
    long long clock_ms = 0;
    bool pondering = false;
    std::string ponder_move; // coordinate text the engine ponders on
    int time_losses = 0;
};

std::string failure;  // first failure found; the games stop there
long long lag_ms = 0; // -l

// The deadline for an answer due within `ms` on an idle machine.
long long answer_deadline(long long ms)
{
    return now_ms() + ms + lag_ms;
}

void fail(const std::string& reason)
{
    if (failure.empty())
        failure = reason;
}

bool engine_start(Engine* e)
{
    if (!spawn_engine(e->command, &e->pid, &e->to_child, &e->from_child))
        return false;
    fcntl(e->from_child, F_SETFL, fcntl(e->from_child, F_GETFL) | O_NONBLOCK);
    return true;
}

void engine_send(Engine* e, const std::string& line)
{
    if (verbose)
        std::printf("%s < %s\n", e->command.c_str(), line.c_str());
    std::string text = line + "\n";
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(e->to_child, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write to " + e->command);
            return;
        }
        p += n;
        left -= size_t(n);
    }
}

// Moves whatever the engine has written into its line list.
void engine_drain(Engine* e)
{
    char buffer[4096];
    for (;;) {
        ssize_t n = read(e->from_child, buffer, sizeof buffer);
        if (n > 0) {
            e->partial.append(buffer, size_t(n));
            size_t nl;
            while ((nl = e->partial.find('\n')) != std::string::npos) {
                std::string line = e->partial.substr(0, nl);
                while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                    line.pop_back();
                e->partial.erase(0, nl + 1);
                if (verbose)
                    std::printf("%s > %s\n", e->command.c_str(), line.c_str());
                e->lines.push_back(line);
            }
            continue;
        }
        if (n == 0)
            e->closed = true;
        return;
    }
}

// Waits for output of either engine up to the deadline; returns false on timeout.
bool wait_for_output(Engine* a, Engine* b, long long deadline)
{
    long long left = deadline - now_ms();
    if (left <= 0)
        return false;
    pollfd fds[2];
    int n = 0;
    for (Engine* e : {a, b})
        if (e != nullptr && !e->closed)
            fds[n++] = {e->from_child, POLLIN, 0};
    if (n == 0)
        return false;
    int r = poll(fds, nfds_t(n), int(left > 1000 ? 1000 : left));
    if (r < 0 && errno != EINTR)
        return false;
    if (a != nullptr)
        engine_drain(a);
    if (b != nullptr)
        engine_drain(b);
    return true;
}

// A bestmove from an engine that ponders and was not told "ponderhit" or
// "stop" breaks the protocol.
void watch_ponderer(Engine* e)
{
    if (e == nullptr || !e->pondering)
        return;
    for (const std::string& line : e->lines)
        if (line.rfind("bestmove", 0) == 0)
            fail(e->command + " sent \"" + line + "\" while pondering, before ponderhit or stop");
    e->lines.clear();
}

// Waits for a line starting with `prefix` from e, watching the other engine
// meanwhile. Returns the line, or "" on timeout or end of output.
std::string expect_prefix(Engine* e, Engine* other, const std::string& prefix, long long deadline)
{
    for (;;) {
        while (!e->lines.empty()) {
            std::string line = e->lines.front();
            e->lines.erase(e->lines.begin());
            if (line.rfind(prefix, 0) == 0)
                return line;
            if (line.rfind("id name ", 0) == 0)
                e->name = line.substr(8);
        }
        watch_ponderer(other);
        if (e->closed)
            return "";
        if (!wait_for_output(e, other, deadline) && now_ms() >= deadline)
            return "";
    }
}

bool handshake(Engine* e)
{
    if (!engine_start(e)) {
        fail("cannot start " + e->command);
        return false;
    }
    engine_send(e, "uci");
    if (expect_prefix(e, nullptr, "uciok", answer_deadline(10000)).empty()) {
        fail(e->command + ": no uciok");
        return false;
    }
    for (const std::string& option : e->options) {
        size_t eq = option.find('=');
        engine_send(e, "setoption name " + option.substr(0, eq) + " value " +
                           (eq == std::string::npos ? "" : option.substr(eq + 1)));
    }
    engine_send(e, "isready");
    if (expect_prefix(e, nullptr, "readyok", answer_deadline(10000)).empty()) {
        fail(e->command + ": no readyok");
        return false;
    }
    return true;
}

Move find_legal(Position* pos, const std::string& text)
{
    Move list[MAX_MOVES];
    int count = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
    for (int i = 0; i < count; i++)
        if (text == format_move_coord(list[i]))
            return list[i];
    return 0;
}

bool insufficient_material(const Position* pos)
{
    for (int c = 0; c < 2; c++)
        if (pos->pawns[c] | pos->rooks[c] | pos->queens[c])
            return false;
    int minors = 0;
    for (int c = 0; c < 2; c++)
        minors += __builtin_popcountll(pos->knights[c] | pos->bishops[c]);
    return minors <= 1;
}

struct Settings {
    int games = 2;
    long long base_ms = 10000;
    long long inc_ms = 100;
    bool ponder = false;
    int max_plies = 200;
};

std::string go_clocks(const Engine* white, const Engine* black, const Settings& s)
{
    return " wtime " + std::to_string(white->clock_ms) + " btime " +
           std::to_string(black->clock_ms) + " winc " + std::to_string(s.inc_ms) + " binc " +
           std::to_string(s.inc_ms);
}

// Ends a ponder search that the game no longer needs; its move is dropped.
void stop_pondering(Engine* e, Engine* other)
{
    if (!e->pondering)
        return;
    engine_send(e, "stop");
    e->pondering = false;
    if (expect_prefix(e, other, "bestmove", answer_deadline(10000)).empty())
        fail(e->command + ": no bestmove after stop while pondering");
}

// 1 white won, 2 black won, 3 draw by the rules (or the ply limit) in this
// position, with its reason; 0 while the game goes on.
int rules_result(Position* pos, int plies, const Settings& s, std::string* reason)
{
    Move list[MAX_MOVES];
    int legal = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
    int side = pos->side_to_move;
    if (legal == 0) {
        if (is_in_check(pos, side)) {
            *reason = side == WHITE ? "Black mates" : "White mates";
            return side == WHITE ? 2 : 1;
        }
        *reason = "Stalemate";
        return 3;
    }
    if (*pos->fifty_top >= 100)
        *reason = "50-move rule";
    // The third occurrence of the position, as the xboard referee counts.
    else if (repetition_count(pos) >= 2)
        *reason = "repetition";
    else if (insufficient_material(pos))
        *reason = "insufficient material";
    else if (plies >= s.max_plies)
        *reason = "adjudicated after " + std::to_string(plies) + " plies";
    else
        return 0;
    return 3;
}

// Sets the mover thinking: "ponderhit" when it pondered on the move just
// played, otherwise the position and "go". Returns when it started.
long long release_mover(Engine* mover, Engine* waiting, const std::string& last_move,
                        const std::string& moves, const std::string& clocks)
{
    if (mover->pondering && mover->ponder_move == last_move) {
        engine_send(mover, "ponderhit");
        mover->pondering = false;
        return now_ms();
    }
    stop_pondering(mover, waiting);
    engine_send(mover, "position startpos" + (moves.empty() ? "" : " moves" + moves));
    engine_send(mover, "go" + clocks);
    return now_ms();
}

// Thinks on the opponent's time about the reply the mover expects, when
// the answer names one; false when that reply is illegal.
bool start_pondering(Engine* mover, Position* pos, const std::vector<std::string>& words,
                     const std::string& moves, const std::string& clocks)
{
    if (words.size() <= 3 || words[2] != "ponder")
        return true;
    if (find_legal(pos, words[3]) == 0)
        return false;
    mover->pondering = true;
    mover->ponder_move = words[3];
    engine_send(mover, "position startpos moves" + moves + " " + words[3]);
    engine_send(mover, "go ponder" + clocks);
    return true;
}

// Plays one game; returns 1 white won, 2 black won, 3 draw, 0 on failure.
int play_game(Engine* white, Engine* black, const Settings& s, std::string* reason, int* plies)
{
    Position* pos = create_position();
    setup_new_game(pos);
    std::string moves;
    white->clock_ms = black->clock_ms = s.base_ms;
    for (Engine* e : {white, black}) {
        engine_send(e, "ucinewgame");
        engine_send(e, "isready");
        if (expect_prefix(e, nullptr, "readyok", answer_deadline(10000)).empty())
            fail(e->command + ": no readyok before the game");
    }
    int result = 0;
    *plies = 0;
    std::string last_move;
    while (failure.empty() && (result = rules_result(pos, *plies, s, reason)) == 0) {
        int side = pos->side_to_move;
        Engine* mover = side == WHITE ? white : black;
        Engine* waiting = side == WHITE ? black : white;
        // Whatever the mover wrote while it pondered came before the command
        // that releases it.
        engine_drain(mover);
        watch_ponderer(mover);
        if (!failure.empty())
            break;
        long long started =
            release_mover(mover, waiting, last_move, moves, go_clocks(white, black, s));
        std::string answer =
            expect_prefix(mover, waiting, "bestmove", started + mover->clock_ms + 5000 + lag_ms);
        long long used = std::max(0LL, now_ms() - started - lag_ms);
        if (answer.empty()) {
            fail(mover->command + ": no bestmove in time");
            break;
        }
        mover->clock_ms -= used;
        if (mover->clock_ms < 0) {
            // A game result, not a protocol fault: the caller decides whose
            // time losses matter.
            mover->time_losses++;
            result = side == WHITE ? 2 : 1;
            *reason = (side == WHITE ? "White" : "Black") + std::string(" loses on time, ") +
                      std::to_string(-mover->clock_ms) + " ms over";
            break;
        }
        mover->clock_ms += s.inc_ms;

        std::vector<std::string> words = split_blanks(answer);
        std::string text = words.size() > 1 ? words[1] : "";
        Move move = find_legal(pos, text);
        if (move == 0) {
            fail(mover->command + ": illegal move \"" + answer + "\" after moves" + moves);
            break;
        }
        make_move(pos, move);
        (*plies)++;
        moves += " " + text;
        last_move = text;
        if (s.ponder && !start_pondering(mover, pos, words, moves, go_clocks(white, black, s))) {
            fail(mover->command + ": illegal ponder move in \"" + answer + "\"");
            break;
        }
    }
    stop_pondering(white, black);
    stop_pondering(black, white);
    destroy_position(pos);
    return failure.empty() ? result : 0;
}

bool shut_down(Engine* e)
{
    if (e->pid < 0)
        return true;
    engine_send(e, "quit");
    long long deadline = answer_deadline(10000);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(e->pid, &status, WNOHANG);
        if (r == e->pid)
            break;
        if (now_ms() >= deadline) {
            kill(e->pid, SIGKILL);
            waitpid(e->pid, &status, 0);
            fail(e->command + " did not exit after quit");
            return false;
        }
        wait_for_output(e, nullptr, now_ms() + 20);
    }
    e->pid = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fail(e->command + " ended with status " +
             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)));
        return false;
    }
    return true;
}

void usage()
{
    std::printf("usage: uci_referee [-g games] [-t base_ms] [-i inc_ms] [-l lag_ms] [-p]\n"
                "                   [-m max_plies] [-a NAME=VALUE]... [-b NAME=VALUE]... [-v]\n"
                "                   ENGINE_A ENGINE_B\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    Settings s;
    Engine engines[2];
    int opt;
    while ((opt = getopt(argc, argv, "g:t:i:l:pm:a:b:v")) != -1) {
        switch (opt) {
            case 'g': s.games = std::atoi(optarg); break;
            case 't': s.base_ms = std::atoll(optarg); break;
            case 'i': s.inc_ms = std::atoll(optarg); break;
            case 'l': lag_ms = std::atoll(optarg); break;
            case 'p': s.ponder = true; break;
            case 'm': s.max_plies = std::atoi(optarg); break;
            case 'a': engines[0].options.push_back(optarg); break;
            case 'b': engines[1].options.push_back(optarg); break;
            case 'v': verbose = true; break;
            default: usage();
        }
    }
    if (argc - optind != 2)
        usage();
    engines[0].command = argv[optind];
    engines[1].command = argv[optind + 1];

    init_bitboard_tables();
    init_hash_keys();
    protocol_mode = 2; // coordinate move text as UCI writes it

    int score[3] = {0, 0, 0}; // engine A wins, engine B wins, draws
    if (handshake(&engines[0]) && handshake(&engines[1])) {
        for (int g = 0; g < s.games && failure.empty(); g++) {
            Engine* white = &engines[g % 2];
            Engine* black = &engines[1 - g % 2];
            std::string reason;
            int plies = 0;
            int result = play_game(white, black, s, &reason, &plies);
            if (result == 0)
                break;
            const char* text = result == 1 ? "1-0" : result == 2 ? "0-1" : "1/2-1/2";
            std::printf("Game %d: %s - %s %s {%s} %d plies, clocks %lld/%lld ms\n", g + 1,
                        white == &engines[0] ? "A" : "B", black == &engines[0] ? "A" : "B", text,
                        reason.c_str(), plies, white->clock_ms, black->clock_ms);
            std::fflush(stdout);
            if (result == 3)
                score[2]++;
            else if ((result == 1) == (white == &engines[0]))
                score[0]++;
            else
                score[1]++;
        }
    }
    shut_down(&engines[0]);
    shut_down(&engines[1]);
    std::printf("Score: A %d, B %d, draws %d\n", score[0], score[1], score[2]);
    std::printf("Time losses: A %d, B %d\n", engines[0].time_losses, engines[1].time_losses);
    if (!failure.empty()) {
        std::printf("referee: FAILED: %s\n", failure.c_str());
        return 1;
    }
    std::printf("referee: ok\n");
    return 0;
}
