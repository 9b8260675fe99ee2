// Colour-mirror symmetry of the evaluation: a position and the same position
// with the board turned round and the colours exchanged must score alike for
// the side to move. Also: a warm pawn hash gives what a cold one gives, and
// positions that only a hand-made FEN produces evaluate within the tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/pawns.h"
#include "search/root.h"
#include "search/transposition.h"

namespace {

bool sanitized() {
    const char* flag = std::getenv("QUARVEL_SANITIZED");
    return flag != nullptr && flag[0] == '1';
}

void init_once() {
    static bool done = false;
    if (done) return;
    done = true;
    init_eval_tables();
    set_hash_sizes(1048576);
    init_hash_keys();
    alloc_pawn_and_eval_cache();
}

char letter_of(int code) {
    static const char white[] = " PNBRQK";
    char c = white[code & 7];
    return (code & BLACK_BIT) ? char(c - 'A' + 'a') : c;
}

// FEN of the colour-flipped mirror of a position.
std::string mirror_fen(const Position* pos) {
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int code = pos->board[(rank * 8 + file) ^ 56];
            if (code == 0) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += letter_of(code ^ (WHITE_BIT | BLACK_BIT));
        }
        if (empty) fen += char('0' + empty);
        if (rank) fen += '/';
    }
    fen += pos->side_to_move == WHITE ? " b " : " w ";
    int c = *pos->castle_top;
    int m = ((c & 3) << 2) | ((c >> 2) & 3);
    std::string castle;
    if (m & CASTLE_WHITE_SHORT) castle += 'K';
    if (m & CASTLE_WHITE_LONG) castle += 'Q';
    if (m & CASTLE_BLACK_SHORT) castle += 'k';
    if (m & CASTLE_BLACK_LONG) castle += 'q';
    fen += castle.empty() ? "-" : castle;
    int ep = *pos->ep_top;
    if (ep) {
        int e = ep ^ 56;
        fen += ' ';
        fen += char('a' + (e & 7));
        fen += char('1' + (e >> 3));
    } else {
        fen += " -";
    }
    return fen;
}

int fresh_eval(Position* pos, int side, int alpha, int beta) {
    clear_pawn_and_eval_cache();
    search_side = side;
    lazy_margin = 100;
    return evaluate(pos, alpha, beta);
}

struct MirrorChecker {
    Position* pos = create_position();
    Position* mirror = create_position();
    int checked = 0;
    ~MirrorChecker() {
        destroy_position(pos);
        destroy_position(mirror);
    }

    // Compares the evaluation of pos with that of its mirror for both values
    // of the search side and a few windows.
    void check(const std::string& where) {
        std::string fen = mirror_fen(pos);
        ASSERT_EQ(set_board(mirror, fen.c_str()), 1) << fen;
        for (int side = 0; side < 2; side++) {
            int full = fresh_eval(pos, side, -32767, 32767);
            int flipped = fresh_eval(mirror, 1 - side, -32767, 32767);
            ASSERT_EQ(full, flipped) << where << " search_side " << side << " mirror " << fen;
            // Narrow windows exercise the lazy exit on both sides of the score.
            const int windows[][2] = {{full - 150, full - 149}, {full + 149, full + 150}, {full - 20, full + 20}};
            for (const auto& w : windows) {
                int a = fresh_eval(pos, side, w[0], w[1]);
                int b = fresh_eval(mirror, 1 - side, w[0], w[1]);
                ASSERT_EQ(a, b) << where << " window " << w[0] << " " << w[1];
            }
            // A warm pawn hash answers what the evaluators computed.
            fresh_eval(pos, side, -32767, 32767);
            lazy_margin = 100;
            ASSERT_EQ(evaluate(pos, -32767, 32767), full) << where << " warm pawn hash";
        }
        checked++;
    }
};

std::vector<std::string> read_fens(const std::string& path, size_t limit) {
    std::vector<std::string> fens;
    std::ifstream in(path);
    std::string line;
    while (fens.size() < limit && std::getline(in, line)) {
        if (line.empty()) continue;
        // Four fields are enough for the evaluation; operations follow them.
        std::string fen;
        size_t at = 0;
        for (int field = 0; field < 4 && at < line.size(); field++) {
            size_t end = line.find_first_of(" ;", at);
            if (end == std::string::npos) end = line.size();
            if (field) fen += ' ';
            fen.append(line, at, end - at);
            at = line.find_first_not_of(' ', end);
            if (at == std::string::npos || line[end] == ';') break;
        }
        fens.push_back(fen);
    }
    return fens;
}

TEST(EvalMirror, PerftPositionsAndTheirChildren) {
    init_once();
    MirrorChecker checker;
    std::vector<std::string> fens = read_fens(std::string(QUARVEL_DATA_DIR) + "/perft/perft.epd", 1000);
    ASSERT_GT(fens.size(), 100u);
    const size_t child_limit = sanitized() ? 12 : 1000;
    for (const std::string& fen : fens) {
        ASSERT_EQ(set_board(checker.pos, fen.c_str()), 1) << fen;
        checker.check(fen);
        Move moves[MAX_MOVES];
        int n = gen_all_moves(checker.pos, moves);
        n = remove_illegal_moves(checker.pos, moves, n);
        for (int i = 0; i < n && size_t(i) < child_limit; i++) {
            make_move(checker.pos, moves[i]);
            checker.check(fen + " after " + format_move_coord(moves[i]));
            unmake_move(checker.pos, moves[i]);
        }
    }
    EXPECT_GT(checker.checked, 300);
}

TEST(EvalMirror, TestSuitePositions) {
    init_once();
    MirrorChecker checker;
    std::vector<std::string> fens =
        read_fens(std::string(QUARVEL_DATA_DIR) + "/epd/wac.epd", sanitized() ? 60 : 300);
    ASSERT_GT(fens.size(), 50u);
    for (const std::string& fen : fens) {
        ASSERT_EQ(set_board(checker.pos, fen.c_str()), 1) << fen;
        checker.check(fen);
    }
}

// Endings chosen to reach the phase-3 terms: recognisers, king tables, races,
// rook pawns, bishops of opposite colours, passers escorted and blocked.
TEST(EvalMirror, Endings) {
    init_once();
    MirrorChecker checker;
    const char* fens[] = {
        "8/8/8/4k3/8/8/3K4/8 w - -",
        "8/5k2/8/8/8/8/P7/1B2K3 w - -",
        "k7/8/8/8/8/P7/8/2B1K3 w - -",
        "7k/8/8/8/8/7P/8/2B1K3 b - -",
        "8/8/4k3/8/8/4P3/8/2B1K1n1 w - -",
        "8/p7/8/8/8/8/k7/4K3 w - -",
        "8/8/8/P7/7p/8/8/K6k w - -",
        "8/8/8/P7/7p/8/8/K6k b - -",
        "8/8/P7/8/8/1p6/8/K6k w - -",
        "4k3/1p6/8/8/8/8/6P1/4K3 w - -",
        "8/6pk/8/8/8/8/1P4K1/8 b - -",
        "8/2b3k1/8/3p4/3P4/8/2B3K1/8 w - -",
        "8/2b3k1/8/3p4/3P4/8/3B2K1/8 w - -",
        "8/2b2rk1/8/3p4/3P4/8/3BR1K1/8 b - -",
        "6k1/3P4/3K4/8/8/8/8/8 w - -",
        "6k1/8/2P5/1K6/8/8/8/3R4 w - -",
        "3r2k1/3p4/8/8/8/8/3P4/3R2K1 w - -",
        "8/1k6/8/8/2P5/8/5p2/3K4 w - -",
        "8/8/1p1k4/1P6/8/4K3/8/8 w - -",
        "8/5p2/6p1/8/1P6/8/P1K3k1/8 b - -",
        "4k3/R7/8/8/8/8/r7/4K3 w - -",
        "1r4k1/1P6/8/8/8/8/6K1/8 w - -",
        "8/8/3k4/8/8/3K4/3P4/8 w - -",
        "R6k/8/8/8/8/8/8/r5K1 b - -",
    };
    for (const char* fen : fens) {
        ASSERT_EQ(set_board(checker.pos, fen), 1) << fen;
        checker.check(fen);
    }
}

// Positions no game reaches but a FEN can set up: no king, pawns on the first
// and last ranks, more pieces than a game ever has. The evaluation must stay
// inside its tables (the sanitizer build checks every access) and stay
// symmetric.
TEST(EvalMirror, HandMadePositionsStayInRange) {
    init_once();
    MirrorChecker checker;
    const char* fens[] = {
        "8/8/8/8/8/8/8/8 w - -",
        "8/8/8/3k4/8/8/8/8 w - -",
        "8/8/8/8/3K4/8/8/8 b - -",
        "PPPPPPPP/8/8/3k4/8/8/8/pppppppp w - -",
        "pppppppp/8/8/3k4/4K3/8/8/PPPPPPPP b - -",
        "P6P/8/8/8/8/8/8/p3K2p w - -",
        "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/3k4/4K3/qqqqqqqq/qqqqqqqq/qqqqqqqq w - -",
        "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQk/QQQQQQQQ/QQQQQQQQ/QQQQQQQK b - -",
        "PPPPPPPP/PPPPPPPP/PPPPPPPP/PPPkPPPP/ppppKppp/pppppppp/pppppppp/pppppppp w - -",
        "BBBBBBBB/BBBBBBBB/8/3k4/4K3/8/bbbbbbbb/bbbbbbbb w - -",
        "NNNNRRRR/NNNNRRRR/8/3k4/4K3/8/rrrrnnnn/rrrrnnnn b - -",
        "rnbqkbnr/PPPPPPPP/8/8/8/8/pppppppp/RNBQKBNR w - -",
        "k7/8/8/8/8/8/8/K7 w KQkq -",
        "kK6/8/8/8/8/8/8/8 w - -",
    };
    for (const char* fen : fens) {
        ASSERT_EQ(set_board(checker.pos, fen), 1) << fen;
        checker.check(fen);
    }
    // A king square left over from an earlier position, or never set at all,
    // must not be used to index a table.
    ASSERT_EQ(set_board(checker.pos, "8/8/8/8/8/8/8/8 w - -"), 1);
    checker.pos->king_square[WHITE] = 1 << 20;
    checker.pos->king_square[BLACK] = -5;
    lazy_margin = 100;
    EXPECT_EQ(evaluate(checker.pos, -32767, 32767), 0);
    ASSERT_EQ(set_board(checker.pos, "PPPPPPPP/8/8/8/8/8/8/pppppppp w - -"), 1);
    checker.pos->king_square[WHITE] = 99999;
    checker.pos->king_square[BLACK] = -99999;
    lazy_margin = 100;
    int v = evaluate(checker.pos, -32767, 32767);
    EXPECT_GT(v, -32767);
    EXPECT_LT(v, 32767);
    // Sixty queens against a king: far beyond any game, yet no mate score.
    ASSERT_EQ(set_board(checker.pos, "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQk/QQQQQQQQ/QQQQQQQQ/QQQQQQQK b - -"), 1);
    lazy_margin = 1 << 20;  // the full evaluation, not the lazy exit at alpha
    v = evaluate(checker.pos, -32767, 32767);
    EXPECT_GE(v, -29999);
    EXPECT_LE(v, 29999);
}

}  // namespace
