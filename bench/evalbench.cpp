// Evaluations per second over a fixed set of positions (the perft positions,
// their children and the WAC suite), with the pawn hash warm and cold.
// Usage: evalbench [seconds per measurement, default 1] [data directory,
// default the repository's data/ folder]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/root.h"
#include "search/transposition.h"
#include "tools/epd_fens.h"

#ifndef QUARVEL_DATA_DIR
#define QUARVEL_DATA_DIR "data"
#endif

namespace {

struct Sample {
    std::string fen;
    Move move; // 0: the position itself; otherwise the child after this move
};

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Time of one pass over the samples: set-up and move, with or without one
// evaluation each.
double pass_time(Position* pos, const std::vector<Sample>& samples, bool evaluate_them,
                 long long* checksum)
{
    auto start = std::chrono::steady_clock::now();
    for (const Sample& s : samples) {
        set_board(pos, s.fen.c_str());
        if (s.move)
            make_move(pos, s.move);
        if (evaluate_them) {
            lazy_margin = 100;
            *checksum += evaluate(pos, -32767, 32767);
        }
    }
    return seconds_since(start);
}

// Evaluations per second: passes with evaluations against passes without,
// alternated so that both see the same caches, until the time is up.
double measure(Position* pos, const std::vector<Sample>& samples, double seconds, bool cold,
               long long* checksum)
{
    PawnHashEntry* table = pawn_hash_table;
    int count = pawn_hash_count;
    if (cold) {
        // No table: every call runs both pawn evaluators.
        pawn_hash_table = nullptr;
        pawn_hash_count = 0;
    }
    double with_eval = 0, without = 0;
    long long evals = 0;
    auto start = std::chrono::steady_clock::now();
    while (seconds_since(start) < seconds) {
        with_eval += pass_time(pos, samples, true, checksum);
        without += pass_time(pos, samples, false, checksum);
        evals += (long long)samples.size();
    }
    pawn_hash_table = table;
    pawn_hash_count = count;
    double eval_time = with_eval - without;
    return eval_time > 0 ? evals / eval_time : 0;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    if (seconds <= 0)
        seconds = 1.0;
    output_enabled = 0;
    init_eval_tables();
    set_hash_sizes(33554432);
    init_hash_keys();
    alloc_hash_table();
    alloc_pawn_and_eval_cache();
    output_enabled = 1;

    Position* pos = create_position();
    std::vector<Sample> samples;
    const std::string data = argc > 2 ? argv[2] : QUARVEL_DATA_DIR;
    for (const std::string& fen : read_epd_fens(data + "/perft/perft.epd")) {
        if (!set_board(pos, fen.c_str()))
            continue;
        samples.push_back({fen, 0});
        Move moves[MAX_MOVES];
        int n = remove_illegal_moves(pos, moves, gen_all_moves(pos, moves));
        for (int i = 0; i < n; i++)
            samples.push_back({fen, moves[i]});
    }
    for (const std::string& fen : read_epd_fens(data + "/epd/wac.epd")) {
        if (set_board(pos, fen.c_str()))
            samples.push_back({fen, 0});
    }
    if (samples.empty()) {
        std::printf("evalbench: no positions found under %s\n", data.c_str());
        destroy_position(pos);
        return 1;
    }
    search_side = WHITE;

    long long checksum = 0;
    clear_pawn_and_eval_cache();
    measure(pos, samples, 0.05, false, &checksum); // fill the pawn hash
    double warm = measure(pos, samples, seconds, false, &checksum);
    double cold = measure(pos, samples, seconds, true, &checksum);
    std::printf("positions %zu  evals/s warm pawn hash %.0f  cold %.0f  (checksum %lld)\n",
                samples.size(), warm, cold, checksum);
    destroy_position(pos);
    return 0;
}
