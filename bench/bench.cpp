// Search benchmark: after the program's own start-up, a fixed set of
// positions searched to a fixed depth with a fixed hash size from a cleared
// state. The total node count is the search's signature: a change that must
// not alter the search keeps it.
//
// Usage: bench [plies] [hash megabytes]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/startup.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/history.h"
#include "search/levels.h"
#include "search/multipv.h"
#include "search/root.h"
#include "search/search.h"
#include "search/think.h"
#include "search/timecontrol.h"
#include "search/transposition.h"

namespace {

constexpr int DEFAULT_PLIES = 8;
constexpr int DEFAULT_HASH_MB = 16;

// Openings, middle games and endgames from the shared test data (perft
// positions, Bratko-Kopec, Win at Chess, Encyclopedia of Chess Middlegames).
const char* const BENCH_POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "3k4/3p4/8/K1P4r/8/8/8/8 b - -",
    "3r1k2/4npp1/1ppr3p/p6P/P2PPPP1/1NR5/5K2/2R5 w - -",
    "r1b2rk1/2q1b1pp/p2ppn2/1p6/3QP3/1BN1B3/PPP3PP/R4RK1 w - -",
    "4b3/p3kp2/6p1/3pP2p/2pP1P2/4K1P1/P3N2P/8 w - -",
    "2r1nrk1/p2q1ppp/bp1p4/n1pPp3/P1P1P3/2PBB1N1/4QPPP/R4RK1 w - -",
    "rnb2r1k/pp2p2p/2pp2p1/q2P1p2/8/1Pb2NP1/PB2PPBP/R2Q1RK1 w - -",
    "r2q1rk1/1ppnbppp/p2p1nb1/3Pp3/2P1P1P1/2N2N1P/PPB1QP2/R1B2RK1 b - -",
    "r4k2/pb2bp1r/1p1qp2p/3pNp2/3P1P2/2N3P1/PPP1Q2P/2KRR3 w - -",
    "r1bqk2r/pp2bppp/2p5/3pP3/P2Q1P2/2N1B3/1PP3PP/R4RK1 b kq -",
    "5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - -",
    "r1b1r1k1/pp1n1pbp/1qp3p1/3p4/1B1P4/Q3PN2/PP2BPPP/R4RK1 w - -",
    "r3k2r/pbp2pp1/3b1n2/1p6/3P3p/1B2N1Pq/PP1PQP1P/R1B2RK1 b kq -",
    "r2r2k1/2p2ppp/p7/1p2P1n1/P6q/5P2/1PB1QP1P/R5RK b - -",
    "2r3k1/q4ppp/p3p3/pnNp4/2rP4/2P2P2/4R1PP/2R1Q1K1 b - -",
    "8/p2b2kp/1q1p2p1/1P1Pp3/4P3/3B2P1/P2Q3P/2Nn3K b - -",
    "2k1rb1r/ppp3pp/2np1q2/5b2/2B2P2/2P1BQ2/PP1N1P1P/2KR3R b - -",
    "r2r2k1/1R2qp2/p5pp/2P5/b1PN1b2/P7/1Q3PPP/1B1R2K1 b - -",
    "3rr1k1/pb3pp1/1p1q1b1p/1P2NQ2/3P4/P1NB4/3K1P1P/2R3R1 w - -",
    "r2qr1k1/1pnb1pp1/p1n1p2p/8/P2P3P/B2B1NP1/6P1/R2Q1RK1 w - -",
    "r4rk1/5p2/p1b1pQpq/8/1B2P3/2NR4/PPP3PP/1K6 w - -",
    "4r1k1/5ppp/p1q3b1/1ppNr3/2P1P3/1P4QP/P4PP1/4RRK1 w - -",
    "r1b5/p2k1r1p/3P2pP/1ppR4/2P2p2/2P5/P1B4P/4R1K1 w - -",
    "2rr2k1/4bppp/p1n1p3/3q4/1p1P2N1/2P3R1/P3QPPP/2B2RK1 w - -",
};

// The search polls standard input; a closed or exhausted input would stop
// it. A pipe whose writing end stays open reads as "nothing waiting".
void detach_stdin()
{
    int fds[2];
    if (pipe(fds) == 0) {
        dup2(fds[0], 0);
        close(fds[0]);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int plies = argc > 1 ? std::atoi(argv[1]) : DEFAULT_PLIES;
    const int hash_mb = argc > 2 ? std::atoi(argv[2]) : DEFAULT_HASH_MB;
    if (plies < 1 || plies > 64 || hash_mb < 1 || hash_mb > 2047) {
        std::fprintf(stderr, "usage: bench [plies 1-64] [hash megabytes 1-2047]\n");
        return 2;
    }
    detach_stdin();
    output_enabled = 0;
    hash_total_bytes = hash_mb * 1048576;
    Position* pos = create_position();
    start_engine(pos, true);
    max_depth = plies * ONE_PLY;
    time_target = 1 << 30;
    time_maximum = 1 << 30;
    fixed_move_time = 0;

    int64_t total_nodes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const char* fen : BENCH_POSITIONS) {
        setup_new_game(pos);
        set_board(pos, fen);
        pos->game->contempt = 0;
        pos->search_moves[0] = 0;
        clear_hash();
        clear_pawn_and_eval_cache();
        std::memset(history, 0, sizeof history);
        std::memset(pos->killers, 0, sizeof pos->killers);
        hash_age = 1;
        node_countdown = 0;
        previous_score = 0;
        think(pos);
        total_nodes += node_count;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("Bench: %lld\n", (long long)total_nodes);
    std::printf("Positions: %zu, depth %d, hash %d MB\n",
                sizeof BENCH_POSITIONS / sizeof BENCH_POSITIONS[0], plies, hash_mb);
    std::printf("Time: %.2f s, nodes per second: %.0f\n", seconds,
                seconds > 0 ? double(total_nodes) / seconds : 0.0);
    destroy_position(pos);
    return 0;
}
