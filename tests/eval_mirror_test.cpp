// Colour-mirror symmetry of the evaluation: a position and the same position
// with the board turned round and the colours exchanged must score alike for
// the side to move, in every window and with a warm pawn hash as with a cold
// one. Hand-made FENs check that odd positions evaluate within the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "tests/board_support.h"

namespace {

std::string swap_case(std::string text)
{
    for (char& c : text)
        c = char(isupper(c) ? tolower(c) : toupper(c));
    return text;
}

// FEN of the colour-flipped mirror: ranks reversed, colours exchanged.
std::string mirror_fen(const Position* pos)
{
    const std::vector<std::string> fields = split_words(position_text(pos));
    std::stringstream board(swap_case(fields[0]));
    std::string flipped;
    for (std::string rank; std::getline(board, rank, '/');)
        flipped = flipped.empty() ? rank : rank + "/" + flipped;
    std::string castle = swap_case(fields[2]), ep = fields[3];
    std::stable_sort(castle.begin(), castle.end(),
                     [](char a, char b) { return isupper(a) && !isupper(b); });
    if (ep != "-")
        ep[1] = char('1' + '8' - ep[1]);
    return flipped + (fields[1] == "w" ? " b " : " w ") + castle + " " + ep;
}

struct EvalMirror : EvalTest {
    PositionPtr mirror = new_position();
    int checked = 0;

    int fresh_eval(Position* p, int side, int alpha, int beta)
    {
        clear_pawn_and_eval_cache();
        search_side = side;
        lazy_margin = 100;
        return evaluate(p, alpha, beta);
    }

    // pos against its mirror, for both search sides and several windows.
    void check(const std::string& where)
    {
        const std::string fen = mirror_fen(pos);
        ASSERT_EQ(set_board(mirror.get(), fen.c_str()), 1) << fen;
        for (int side = 0; side < 2; side++) {
            const int full = fresh_eval(pos, side, -32767, 32767);
            ASSERT_EQ(full, fresh_eval(mirror.get(), 1 - side, -32767, 32767))
                << where << " side " << side << " " << fen;
            // Narrow windows exercise the lazy exit on both sides of the score.
            const int windows[][2] = {
                {full - 150, full - 149}, {full + 149, full + 150}, {full - 20, full + 20}};
            for (const auto& w : windows)
                ASSERT_EQ(fresh_eval(pos, side, w[0], w[1]),
                          fresh_eval(mirror.get(), 1 - side, w[0], w[1]))
                    << where << " window " << w[0] << " " << w[1];
            // A warm pawn hash answers what the evaluators computed.
            fresh_eval(pos, side, -32767, 32767);
            lazy_margin = 100;
            ASSERT_EQ(evaluate(pos, -32767, 32767), full) << where << " warm pawn hash";
        }
        checked++;
    }
    void check_all(const std::vector<std::string>& fens)
    {
        for (const std::string& fen : fens) {
            load(fen.c_str());
            check(fen);
            if (HasFatalFailure())
                return;
        }
    }
};

TEST_F(EvalMirror, PerftPositionsAndTheirChildren)
{
    const int child_limit = board_tests_sanitized() ? 12 : 1000;
    for (const PerftCase& c : load_perft_suite("perft.epd")) {
        load(c.fen.c_str());
        check(c.fen);
        const std::vector<Move> moves = legal_moves(pos);
        for (int i = 0; i < int(moves.size()) && i < child_limit; i++) {
            make_move(pos, moves[i]);
            check(c.fen + " after " + format_move_coord(moves[i]));
            unmake_move(pos, moves[i]);
        }
    }
    EXPECT_GT(checked, 300);
}

TEST_F(EvalMirror, TestSuitePositions)
{
    std::ifstream in(std::string(QUARVEL_DATA_DIR) + "/epd/wac.epd");
    std::vector<std::string> fens;
    for (std::string line;
         fens.size() < (board_tests_sanitized() ? 60u : 300u) && std::getline(in, line);)
        if (!line.empty())
            fens.push_back(line); // the reader stops after four fields
    ASSERT_GT(fens.size(), 50u);
    check_all(fens);
}

// Endings reaching the late-phase terms (recognisers, king tables, races,
// rook pawns, opposite bishops, escorted and blocked passers), and positions
// no game reaches: no king, pawns on the edge ranks, dozens of pieces. The
// sanitizer build checks every table access.
TEST_F(EvalMirror, EndingsAndHandMadePositions)
{
    check_all({
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
        "4k3/8/8/8/4P3/8/8/4K3 b - e3",
    });
    EXPECT_EQ(checked, 39);
}

TEST_F(EvalMirror, StaleKingSquaresAndHugeMaterialStayInRange)
{
    // A king square left over from an earlier position, or never set at all,
    // must not be used to index a table.
    load("8/8/8/8/8/8/8/8 w - -");
    pos->king_square[WHITE] = 1 << 20;
    pos->king_square[BLACK] = -5;
    lazy_margin = 100;
    EXPECT_EQ(evaluate(pos, -32767, 32767), 0);
    load("PPPPPPPP/8/8/8/8/8/8/pppppppp w - -");
    pos->king_square[WHITE] = 99999;
    pos->king_square[BLACK] = -99999;
    lazy_margin = 100;
    const int v = evaluate(pos, -32767, 32767);
    EXPECT_GT(v, -32767);
    EXPECT_LT(v, 32767);
    // Sixty queens against a king: far beyond any game, yet no mate score.
    load("QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQk/QQQQQQQQ/QQQQQQQQ/QQQQQQQK b - -");
    lazy_margin = 1 << 20; // the full evaluation, not the lazy exit at alpha
    const int queens = evaluate(pos, -32767, 32767);
    EXPECT_GE(queens, -29999);
    EXPECT_LE(queens, 29999);
}

} // namespace
