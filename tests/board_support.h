// Shared helpers of the board tests: one-time table set-up, a Position that
// frees itself, the perft suite reader, and move-list helpers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "board/board.h"

inline bool board_tests_sanitized() {
    const char* v = getenv("QUARVEL_SANITIZED");
    return v && *v && strcmp(v, "0") != 0;
}

inline void board_tests_init() {
    static bool done = false;
    if (done) return;
    done = true;
    init_bitboard_tables();
    init_hash_keys();
}

struct PositionDeleter {
    void operator()(Position* pos) const { destroy_position(pos); }
};
using PositionPtr = std::unique_ptr<Position, PositionDeleter>;

inline PositionPtr new_position(const char* fen = nullptr) {
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
    std::vector<std::pair<int, uint64_t>> counts;  // depth, nodes
};

inline std::vector<PerftCase> load_perft_suite(const std::string& name) {
    std::vector<PerftCase> cases;
    std::ifstream in(std::string(QUARVEL_DATA_DIR) + "/perft/" + name);
    std::string line;
    while (std::getline(in, line)) {
        size_t semi = line.find(';');
        if (semi == std::string::npos) continue;
        PerftCase c;
        c.fen = line.substr(0, semi);
        for (size_t p = semi; p != std::string::npos; p = line.find(';', p + 1)) {
            int depth;
            unsigned long long nodes;
            if (sscanf(line.c_str() + p, ";D%d %llu", &depth, &nodes) == 2) c.counts.push_back({depth, nodes});
        }
        cases.push_back(c);
    }
    return cases;
}

inline std::vector<Move> legal_moves(Position* pos) {
    Move list[MAX_MOVES];
    int n = gen_all_moves(pos, list);
    n = remove_illegal_moves(pos, list, n);
    return std::vector<Move>(list, list + n);
}

inline std::string position_text(const Position* pos) {
    char buffer[100];
    return format_position_text(buffer, pos);
}
