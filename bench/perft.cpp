// Perft benchmark and suite runner: counts the leaf nodes of the legal move
// tree. The last ply is counted from target sets without making its moves;
// with --make-every-move every move is made and unmade down to the leaves
// (the make/unmake workout the counts used to give).
//
//   perft [--make-every-move] DEPTH [FEN]               "nodes N seconds S nps R"
//   perft [--make-every-move] --suite FILE [--depth K]  EPD lines "FEN ;D1 n ;D2 n ..."
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"

namespace {

bool make_every_move = false;

uint64_t perft(Position* pos, int depth, Move* list)
{
    if (depth <= 1 && !make_every_move)
        return uint64_t(count_legal_moves_bulk(pos));
    int n = gen_all_moves(pos, list);
    n = remove_illegal_moves(pos, list, n);
    uint64_t nodes = 0;
    if (depth <= 1) {
        for (int i = 0; i < n; i++) {
            make_move(pos, list[i]);
            nodes++;
            unmake_move(pos, list[i]);
        }
        return nodes;
    }
    for (int i = 0; i < n; i++) {
        make_move(pos, list[i]);
        nodes += perft(pos, depth - 1, list + n);
        unmake_move(pos, list[i]);
    }
    return nodes;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int run_single(Position* pos, int depth, const char* fen, Move* list)
{
    if (!set_board(pos, fen))
        return 2;
    auto start = std::chrono::steady_clock::now();
    uint64_t nodes = depth > 0 ? perft(pos, depth, list) : 1;
    double seconds = seconds_since(start);
    printf("nodes %llu seconds %.3f nps %.0f\n", (unsigned long long)nodes, seconds,
           seconds > 0 ? double(nodes) / seconds : 0.0);
    return 0;
}

int run_suite(Position* pos, const char* file, int max_depth, Move* list)
{
    FILE* in = fopen(file, "r");
    if (!in) {
        perror(file);
        return 2;
    }
    int passed = 0, failed = 0, line_no = 0;
    char line[4096];
    auto start = std::chrono::steady_clock::now();
    uint64_t total = 0;
    while (fgets(line, sizeof line, in)) {
        line_no++;
        char* semi = strchr(line, ';');
        if (!semi)
            continue;
        std::string fen(line, semi);
        if (!set_board(pos, fen.c_str())) {
            printf("line %d: bad position\n", line_no);
            failed++;
            continue;
        }
        for (char* p = semi; p && *p == ';'; p = strchr(p + 1, ';')) {
            int depth;
            unsigned long long expected;
            if (sscanf(p, ";D%d %llu", &depth, &expected) != 2)
                continue;
            if (max_depth > 0 && depth > max_depth)
                continue;
            uint64_t found = perft(pos, depth, list);
            total += found;
            bool ok = found == expected;
            printf("line %d depth %d expected %llu found %llu %s\n", line_no, depth, expected,
                   (unsigned long long)found, ok ? "ok" : "MISMATCH");
            fflush(stdout);
            if (ok)
                passed++;
            else
                failed++;
        }
    }
    fclose(in);
    double seconds = seconds_since(start);
    printf("nodes %llu seconds %.3f\n", (unsigned long long)total, seconds);
    printf("passed %d failed %d\n", passed, failed);
    return failed ? 1 : 0;
}

void usage()
{
    fprintf(stderr, "usage: perft [--make-every-move] DEPTH [FEN]\n"
                    "       perft [--make-every-move] --suite FILE [--depth K]\n");
}

} // namespace

int main(int argc, char** argv)
{
    init_bitboard_tables();
    init_hash_keys();
    Position* pos = create_position();
    setup_new_game(pos);
    static Move list[MAX_PLY * MAX_MOVES];
    if (argc >= 2 && !strcmp(argv[1], "--make-every-move")) {
        make_every_move = true;
        argv++;
        argc--;
    }

    int rc;
    if (argc >= 3 && !strcmp(argv[1], "--suite")) {
        int max_depth = 0;
        if (argc >= 5 && !strcmp(argv[3], "--depth"))
            max_depth = atoi(argv[4]);
        rc = run_suite(pos, argv[2], max_depth, list);
    } else if (argc >= 2 && argv[1][0] >= '0' && argv[1][0] <= '9') {
        int depth = atoi(argv[1]);
        if (depth > MAX_PLY - 1)
            depth = MAX_PLY - 1;
        std::string fen;
        for (int i = 2; i < argc; i++) {
            if (i > 2)
                fen += ' ';
            fen += argv[i];
        }
        rc = run_single(pos, depth, fen.empty() ? START_POSITION_FEN : fen.c_str(), list);
    } else {
        usage();
        rc = 2;
    }
    destroy_position(pos);
    return rc;
}
