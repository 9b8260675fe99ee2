// The evaluation's constant tables: sample entries copied from the design
// tables by hand, the shapes those tables must have (left-right symmetry,
// shared phases), and the square-indexed copies built at start-up.
#include <gtest/gtest.h>

#include "board/board.h"
#include "search/evaluate.h"
#include "search/pawns.h"

namespace {

// Index of a square in a table written rank 8 first.
int at(char file, int rank) { return (8 - rank) * 8 + (file - 'a'); }

struct Sample {
    const char* table;
    const int* values;
    char file;
    int rank;
    int expected;
};

TEST(EvalTables, SquareTableSamples) {
    const Sample samples[] = {
        {"pawn 0", PST_PAWN[0], 'd', 6, 16},     {"pawn 1", PST_PAWN[1], 'e', 4, 14},
        {"pawn 2", PST_PAWN[2], 'd', 6, 18},     {"pawn 2", PST_PAWN[2], 'b', 5, 5},
        {"pawn 3", PST_PAWN[3], 'a', 7, 30},     {"pawn 3", PST_PAWN[3], 'g', 4, 4},
        {"pawn 3", PST_PAWN[3], 'c', 3, 3},      {"knight", PST_KNIGHT[0], 'a', 8, -25},
        {"knight", PST_KNIGHT[3], 'd', 5, 6},    {"knight", PST_KNIGHT[1], 'h', 1, -22},
        {"knight", PST_KNIGHT[2], 'f', 2, 0},    {"bishop", PST_BISHOP[0], 'b', 2, 2},
        {"bishop", PST_BISHOP[3], 'a', 1, -20},  {"bishop", PST_BISHOP[2], 'e', 7, 5},
        {"rook 0", PST_ROOK[0], 'a', 4, -2},     {"rook 1", PST_ROOK[1], 'd', 1, 4},
        {"rook 2", PST_ROOK[2], 'h', 5, -1},     {"rook 3", PST_ROOK[3], 'd', 5, 3},
        {"rook 3", PST_ROOK[3], 'b', 2, 1},      {"queen 0", PST_QUEEN[0], 'd', 1, 2},
        {"queen 0", PST_QUEEN[0], 'c', 1, -1},   {"queen 1", PST_QUEEN[1], 'd', 1, 0},
        {"queen 1", PST_QUEEN[1], 'c', 5, 4},    {"queen 2", PST_QUEEN[2], 'b', 3, -2},
        {"queen 2", PST_QUEEN[2], 'c', 4, 4},    {"queen 3", PST_QUEEN[3], 'c', 3, 3},
        {"queen 3", PST_QUEEN[3], 'c', 2, 2},    {"king 0", PST_KING[0], 'd', 6, -65},
        {"king 1", PST_KING[1], 'b', 1, 0},      {"king 2", PST_KING[2], 'h', 1, -5},
        {"king 2", PST_KING[2], 'e', 1, 15},     {"king 2", PST_KING[2], 'c', 2, 12},
        {"centre", KING_END_CENTRE, 'd', 6, 30}, {"centre", KING_END_CENTRE, 'a', 8, -70},
        {"centre", KING_END_CENTRE, 'h', 3, -20}, {"danger", KING_DANGER, 'a', 1, 2},
        {"danger", KING_DANGER, 'b', 1, 0},      {"danger", KING_DANGER, 'd', 1, 8},
        {"danger", KING_DANGER, 'd', 2, 12},     {"danger", KING_DANGER, 'c', 3, 16},
        {"danger", KING_DANGER, 'f', 4, 20},     {"outpost", OUTPOST, 'd', 6, 3},
        {"outpost", OUTPOST, 'c', 7, 2},         {"outpost", OUTPOST, 'e', 4, 1},
        {"outpost", OUTPOST, 'a', 8, 0},         {"kingside", KING_END_KINGSIDE, 'g', 5, 30},
        {"kingside", KING_END_KINGSIDE, 'h', 6, 5}, {"kingside", KING_END_KINGSIDE, 'a', 1, -90},
        {"kingside", KING_END_KINGSIDE, 'e', 7, 0}, {"queenside", KING_END_QUEENSIDE, 'a', 6, 5},
        {"queenside", KING_END_QUEENSIDE, 'b', 5, 30}, {"queenside", KING_END_QUEENSIDE, 'h', 8, -90},
    };
    for (const Sample& s : samples)
        EXPECT_EQ(s.values[at(s.file, s.rank)], s.expected) << s.table << " " << s.file << s.rank;
}

TEST(EvalTables, SmallWeightTables) {
    EXPECT_EQ(KNIGHT_TROPISM[1], 3);
    EXPECT_EQ(KNIGHT_TROPISM[4], 1);
    EXPECT_EQ(BISHOP_TROPISM[3], 2);
    EXPECT_EQ(ROOK_FILE_TROPISM[0], 4);
    EXPECT_EQ(ROOK_FILE_TROPISM[3], 0);
    EXPECT_EQ(QUEEN_TROPISM[1], 8);
    EXPECT_EQ(QUEEN_TROPISM[5], 1);
    EXPECT_EQ(QUEEN_KING_DISTANCE[5], 3);
    EXPECT_EQ(QUEEN_KING_DISTANCE[6], 4);
    EXPECT_EQ(QUEEN_KING_DISTANCE[7], 0);
    const int scale[][2] = {{0, 0}, {4, 5}, {5, 8}, {16, 21}, {17, 23}, {24, 30}, {25, 32}, {26, 33}, {27, 34}, {63, 34}};
    for (const auto& s : scale) EXPECT_EQ(KING_ATTACK_SCALE[s[0]], s[1]) << s[0];
    for (int p = 0; p < 20; p++) EXPECT_EQ(BISHOP_PAIR_BONUS[p], 40 - 2 * p);
    EXPECT_EQ(PAWN_PATTERN_WEIGHT[0], 10);
    EXPECT_EQ(PAWN_PATTERN_WEIGHT[2], 20);
    EXPECT_EQ(PAWN_PATTERN_WEIGHT[3], 35);
    const int blocked[8] = {0, 10, 10, 15, 30, 50, 70, 0};
    const int uncatchable[8] = {0, 14, 14, 22, 30, 40, 54, 0};
    const int support[8] = {0, 0, 0, 0, 0, 50, 100, 0};
    for (int r = 0; r < 8; r++) {
        EXPECT_EQ(PASSER_BLOCKED[r], blocked[r]);
        EXPECT_EQ(PASSER_UNCATCHABLE[r], uncatchable[r]);
        EXPECT_EQ(PASSER_KING_SUPPORT[r], support[r]);
    }
    EXPECT_EQ(PASSED_PAWN[0][5], 80);
    EXPECT_EQ(PASSED_PAWN[1][6], 120);
    EXPECT_EQ(PASSED_PAWN[2][5], 90);
    EXPECT_EQ(PASSED_PAWN[2][1], 20);
    EXPECT_EQ(PASSED_PAWN[3][4], 60);
    EXPECT_EQ(PASSED_PAWN[3][5], 100);
    EXPECT_EQ(CONNECTED_PASSER[3], 10);
    EXPECT_EQ(CONNECTED_PASSER[6], 40);
    EXPECT_EQ(ISOLATED_FILE[0], 10);
    EXPECT_EQ(ISOLATED_FILE[4], 16);
    EXPECT_EQ(ISOLATED_FILE[6], 12);
    const int isolated_count[9] = {0, 0, 2, 8, 22, 36, 41, 46, 0};
    for (int n = 0; n < 9; n++) EXPECT_EQ(ISOLATED_COUNT[n], isolated_count[n]);
}

TEST(EvalTables, ShapesOfTheSquareTables) {
    const int (*per_phase[])[64] = {PST_PAWN, PST_KNIGHT, PST_BISHOP, PST_ROOK, PST_QUEEN, PST_KING};
    const int* singles[] = {KING_END_CENTRE, KING_DANGER, OUTPOST};
    auto symmetric = [](const int* t) {
        for (int sq = 0; sq < 64; sq++)
            if (t[sq] != t[sq ^ 7]) return false;
        return true;
    };
    for (int k = 0; k < 6; k++)
        for (int p = 0; p < (k == 5 ? 3 : 4); p++) EXPECT_TRUE(symmetric(per_phase[k][p])) << "kind " << k << " phase " << p;
    for (const int* t : singles) EXPECT_TRUE(symmetric(t));
    for (int sq = 0; sq < 64; sq++) {
        EXPECT_EQ(KING_END_QUEENSIDE[sq], KING_END_KINGSIDE[sq ^ 7]) << sq;
        EXPECT_EQ(PST_PAWN[0][sq], PST_PAWN[1][sq]);
        EXPECT_EQ(PST_ROOK[0][sq], PST_ROOK[2][sq]);
        EXPECT_EQ(PST_KING[0][sq], PST_KING[1][sq]);
        for (int p = 1; p < 4; p++) {
            EXPECT_EQ(PST_KNIGHT[0][sq], PST_KNIGHT[p][sq]);
            EXPECT_EQ(PST_BISHOP[0][sq], PST_BISHOP[p][sq]);
        }
        EXPECT_EQ(MIRROR[sq], sq ^ 56);
    }
    for (int p = 0; p < 4; p++)
        for (int f = 0; f < 8; f++) {
            EXPECT_EQ(PST_PAWN[p][f], 0);
            EXPECT_EQ(PST_PAWN[p][56 + f], 0);
        }
}

TEST(EvalTables, SquareIndexedCopies) {
    init_eval_tables();
    // A white piece reads its square turned to the rank-8-first layout; a
    // black piece reads the entry of its own square.
    EXPECT_EQ(pst_by_square[WHITE][PST_KIND_KNIGHT][0][SQ_A1], -22);
    EXPECT_EQ(pst_by_square[BLACK][PST_KIND_KNIGHT][0][SQ_A8], -22);
    EXPECT_EQ(pst_by_square[WHITE][PST_KIND_PAWN][3][48], 30);      // a7
    EXPECT_EQ(pst_by_square[BLACK][PST_KIND_PAWN][3][8], 30);       // a2
    EXPECT_EQ(single_by_square[WHITE][SINGLE_KING_END_KINGSIDE][SQ_A1], -90);
    EXPECT_EQ(single_by_square[WHITE][SINGLE_KING_END_KINGSIDE][30], 30);  // g4
    EXPECT_EQ(single_by_square[BLACK][SINGLE_KING_END_KINGSIDE][38], 30);  // g5
    EXPECT_EQ(single_by_square[WHITE][SINGLE_KING_DANGER][SQ_D1], 8);
    EXPECT_EQ(single_by_square[BLACK][SINGLE_KING_DANGER][SQ_D8], 8);
    for (int kind = 0; kind < 6; kind++)
        for (int phase = 0; phase < 4; phase++)
            for (int sq = 0; sq < 64; sq++)
                ASSERT_EQ(pst_by_square[WHITE][kind][phase][sq], pst_by_square[BLACK][kind][phase][sq ^ 56]);
    for (int which = 0; which < 5; which++)
        for (int sq = 0; sq < 64; sq++)
            ASSERT_EQ(single_by_square[WHITE][which][sq], single_by_square[BLACK][which][sq ^ 56]);
}

TEST(EvalTables, PieceValues) {
    init_eval_tables();
    const int start[5] = {100, 300, 300, 500, 970};
    for (int k = 0; k < 5; k++) EXPECT_EQ(piece_value[k], start[k]);
    const int by_code[][2] = {{17, 100}, {18, 300}, {19, 300}, {20, 500}, {21, 1000}, {22, 10000},
                              {33, 100}, {34, 300}, {35, 300}, {36, 500}, {37, 1000}, {38, 10000},
                              {0, 0},    {16, 0},   {23, 0},   {32, 0},   {39, 0}};
    for (const auto& c : by_code) EXPECT_EQ(piece_value_by_code[c[0]], c[1]) << c[0];
}

}  // namespace
