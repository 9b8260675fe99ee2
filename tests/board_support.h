// Shared helpers of the board, evaluation and hash tests: one-time set-up, a
// Position that frees itself, the perft suite reader, a reference random
// generator, and a fixture for the evaluation tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/zobrist.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/levels.h"
#include "search/pawns.h"
#include "search/root.h"
#include "search/transposition.h"
#include "tests/helpers/engine_state.h"

inline bool board_tests_sanitized()
{
    const char* v = getenv("QUARVEL_SANITIZED");
    return v && *v && strcmp(v, "0") != 0;
}

inline void board_tests_init()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    init_bitboard_tables();
    // The published keys are the sequence's first draws, whatever ran before.
    restart_random_sequence();
    init_hash_keys();
}

// Keys first, then the pawn hash: its phase keys are the next random draws.
inline void eval_tests_init()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    board_tests_init();
    init_eval_tables();
    set_hash_sizes(1048576);
    alloc_pawn_and_eval_cache();
}

inline PositionPtr new_position(const char* fen = nullptr)
{
    board_tests_init();
    PositionPtr pos(create_position());
    setup_new_game(pos.get());
    if (fen && !set_board(pos.get(), fen)) {
        fprintf(stderr, "bad test position: %s\n", fen);
        abort();
    }
    return pos;
}

struct PerftCase {
    std::string fen;
    std::vector<std::pair<int, uint64_t>> counts; // depth, nodes
};

inline std::vector<PerftCase> load_perft_suite(const std::string& name)
{
    std::vector<PerftCase> cases;
    std::ifstream in(std::string(QUARVEL_DATA_DIR) + "/perft/" + name);
    std::string line;
    while (std::getline(in, line)) {
        size_t semi = line.find(';');
        if (semi == std::string::npos)
            continue;
        PerftCase c{line.substr(0, semi), {}};
        for (size_t p = semi; p != std::string::npos; p = line.find(';', p + 1)) {
            int depth;
            unsigned long long nodes;
            if (sscanf(line.c_str() + p, ";D%d %llu", &depth, &nodes) == 2)
                c.counts.push_back({depth, nodes});
        }
        cases.push_back(c);
    }
    return cases;
}

inline std::vector<Move> legal_moves(Position* pos)
{
    Move list[MAX_MOVES];
    int n = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
    return std::vector<Move>(list, list + n);
}

inline std::string position_text(const Position* pos)
{
    char buffer[100];
    return format_position_text(buffer, pos);
}

inline std::vector<std::string> split_words(const std::string& text)
{
    std::vector<std::string> out;
    for (size_t p = 0, q; p < text.size(); p = q + 1) {
        q = text.find(' ', p);
        if (q == std::string::npos)
            q = text.size();
        out.push_back(text.substr(p, q - p));
    }
    return out;
}

// Plays game moves given in SAN, separated by blanks.
inline void play(Position* pos, const char* moves)
{
    for (const std::string& text : split_words(moves)) {
        const Move m = parse_move(pos, text.c_str());
        ASSERT_NE(m, 0) << text;
        ASSERT_EQ(push_game_move(pos, m), 1) << text;
    }
}

// Written from the description: additive lagged Fibonacci over the seed
// table, lags 24 and 55; eight draws per 64-bit value, first in the top byte.
struct ReferenceRandom {
    uint32_t state[55];
    int j = 23, k = 54;
    ReferenceRandom() { std::copy(RANDOM_SEED_TABLE, RANDOM_SEED_TABLE + 55, state); }
    uint32_t next()
    {
        const uint32_t r = state[k] += state[j];
        j = j == 0 ? 54 : j - 1;
        k = k == 0 ? 54 : k - 1;
        return r;
    }
    uint64_t next64()
    {
        uint64_t v = 0;
        for (int shift = 56; shift >= 0; shift -= 8)
            v += uint64_t(next()) << shift;
        return v;
    }
};

// Evaluation tests: tables and pawn hash set up, a fresh position per test.
struct EvalTest : ::testing::Test {
    PositionPtr owner;
    Position* pos = nullptr;
    static void SetUpTestSuite() { eval_tests_init(); }
    void SetUp() override
    {
        owner.reset(create_position());
        pos = owner.get();
        search_side = WHITE;
        level_weight = 4;
    }
    void load(const char* fen) { ASSERT_EQ(set_board(pos, fen), 1) << fen; }
    // Full evaluation from a cold pawn hash.
    int eval(const char* fen, int side = WHITE)
    {
        load(fen);
        search_side = side;
        clear_pawn_and_eval_cache();
        lazy_margin = 100;
        return evaluate(pos, -32767, 32767);
    }
};
