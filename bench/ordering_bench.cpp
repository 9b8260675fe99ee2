// Speed of the services the search calls at every node or every few
// thousand nodes: the staged move picker, the static exchange evaluation,
// and the idle input poll (which must stay one system call).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "frontend/input.h"
#include "search/exchange.h"
#include "search/movepicker.h"
#include "tools/epd_fens.h"

#ifndef QUARVEL_DATA_DIR
#define QUARVEL_DATA_DIR "data"
#endif

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    // Positions: the perft suite of the repository's data/ by default.
    const std::string default_epd = std::string(QUARVEL_DATA_DIR) + "/perft/perft.epd";
    const char* epd = argc > 1 ? argv[1] : default_epd.c_str();
    init_bitboard_tables();
    init_hash_keys();
    const std::vector<std::string> fens = read_epd_fens(epd);
    if (fens.empty()) {
        std::fprintf(stderr, "no positions in %s\n", epd);
        return 1;
    }
    std::vector<Position*> positions;
    for (const std::string& fen : fens) {
        Position* pos = create_position();
        setup_new_game(pos);
        if (set_board(pos, fen.c_str()))
            positions.push_back(pos);
        else
            destroy_position(pos);
    }

    // Picker: every move of every position, many rounds.
    long long moves = 0;
    auto start = std::chrono::steady_clock::now();
    const int rounds = 400;
    for (int round = 0; round < rounds; ++round) {
        for (Position* pos : positions) {
            pos->move_list_end[0] = 0;
            pos->current_move[0] = 0;
            pos->in_check[1] = is_in_check(pos, pos->side_to_move);
            pos->hash_move[1] = 0;
            pos->killers[1][0] = pos->killers[1][1] = 0;
            for (Move m = pick_first_move(pos, 1); m != 0; m = pick_next_move(pos, 1))
                ++moves;
        }
    }
    double elapsed = seconds_since(start);
    std::printf("picker: %lld moves in %.3f s, %.1f M moves/s\n", moves, elapsed,
                moves / elapsed / 1e6);

    // Static exchange of every capture.
    long long exchanges = 0;
    long long checksum = 0;
    std::vector<Move> list(MAX_MOVES);
    start = std::chrono::steady_clock::now();
    for (int round = 0; round < rounds; ++round) {
        for (Position* pos : positions) {
            const int n = pos->side_to_move == WHITE ? gen_captures_white(pos, list.data())
                                                     : gen_captures_black(pos, list.data());
            for (int i = 0; i < n; ++i) {
                checksum +=
                    eval_static_exchange(pos, move_from(list[size_t(i)]), move_to(list[size_t(i)]));
                ++exchanges;
            }
        }
    }
    elapsed = seconds_since(start);
    std::printf("exchange: %lld evaluations in %.3f s, %.1f M/s (checksum %lld)\n", exchanges,
                elapsed, exchanges / elapsed / 1e6, checksum);

    // Idle poll on a pipe with nothing in it, as the search sees it between lines.
    int fds[2];
    if (pipe(fds) != 0)
        return 1;
    dup2(fds[0], 0);
    const int polls = 1000000;
    int seen = 0;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < polls; ++i)
        seen += input_line_waiting();
    elapsed = seconds_since(start);
    std::printf("idle poll: %.0f ns per poll (%d lines seen); at one poll per 8000 nodes that is "
                "%.3f ns per node\n",
                elapsed / polls * 1e9, seen, elapsed / polls * 1e9 / 8000);

    for (Position* pos : positions)
        destroy_position(pos);
    return 0;
}
