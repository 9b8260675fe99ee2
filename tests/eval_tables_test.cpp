// The evaluation's constant tables: sample entries written out by hand and
// checked one by one, the shapes those tables must have (left-right symmetry,
// shared phases), and the square-indexed copies built at start-up.
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

// Entry of a table written rank 8 first, by square name.
int at(const int* table, const char* square)
{
    return table[(8 - (square[1] - '0')) * 8 + (square[0] - 'a')];
}

TEST(EvalTables, SquareTableSamples)
{
    const struct {
        const int* table;
        const char* square;
        int expected;
    } samples[] = {
        {PST_PAWN[0], "d6", 16},
        {PST_PAWN[1], "e4", 14},
        {PST_PAWN[2], "d6", 18},
        {PST_PAWN[2], "b5", 5},
        {PST_PAWN[3], "a7", 30},
        {PST_PAWN[3], "g4", 4},
        {PST_PAWN[3], "c3", 3},
        {PST_KNIGHT[0], "a8", -25},
        {PST_KNIGHT[3], "d5", 6},
        {PST_KNIGHT[1], "h1", -22},
        {PST_KNIGHT[2], "f2", 0},
        {PST_BISHOP[0], "b2", 2},
        {PST_BISHOP[3], "a1", -20},
        {PST_BISHOP[2], "e7", 5},
        {PST_ROOK[0], "a4", -2},
        {PST_ROOK[1], "d1", 4},
        {PST_ROOK[2], "h5", -1},
        {PST_ROOK[3], "d5", 3},
        {PST_ROOK[3], "b2", 1},
        {PST_QUEEN[0], "d1", 2},
        {PST_QUEEN[0], "c1", -1},
        {PST_QUEEN[1], "d1", 0},
        {PST_QUEEN[1], "c5", 4},
        {PST_QUEEN[2], "b3", -2},
        {PST_QUEEN[2], "c4", 4},
        {PST_QUEEN[3], "c3", 3},
        {PST_QUEEN[3], "c2", 2},
        {PST_KING[0], "d6", -65},
        {PST_KING[1], "b1", 0},
        {PST_KING[2], "h1", -5},
        {PST_KING[2], "e1", 15},
        {PST_KING[2], "c2", 12},
        {KING_END_CENTRE, "d6", 30},
        {KING_END_CENTRE, "a8", -70},
        {KING_END_CENTRE, "h3", -20},
        {KING_DANGER, "a1", 2},
        {KING_DANGER, "b1", 0},
        {KING_DANGER, "d1", 8},
        {KING_DANGER, "d2", 12},
        {KING_DANGER, "c3", 16},
        {KING_DANGER, "f4", 20},
        {OUTPOST, "d6", 3},
        {OUTPOST, "c7", 2},
        {OUTPOST, "e4", 1},
        {OUTPOST, "a8", 0},
        {KING_END_KINGSIDE, "g5", 30},
        {KING_END_KINGSIDE, "h6", 5},
        {KING_END_KINGSIDE, "a1", -90},
        {KING_END_KINGSIDE, "e7", 0},
        {KING_END_QUEENSIDE, "a6", 5},
        {KING_END_QUEENSIDE, "b5", 30},
        {KING_END_QUEENSIDE, "h8", -90},
    };
    for (const auto& s : samples)
        EXPECT_EQ(at(s.table, s.square), s.expected) << s.square << " " << s.table;
}

TEST(EvalTables, SmallWeightTables)
{
    const int singles[][2] = {
        {KNIGHT_TROPISM[1], 3},       {KNIGHT_TROPISM[4], 1},       {BISHOP_TROPISM[3], 2},
        {ROOK_FILE_TROPISM[0], 4},    {ROOK_FILE_TROPISM[3], 0},    {QUEEN_TROPISM[1], 8},
        {QUEEN_TROPISM[5], 1},        {QUEEN_KING_DISTANCE[5], 3},  {QUEEN_KING_DISTANCE[6], 4},
        {QUEEN_KING_DISTANCE[7], 0},  {PAWN_PATTERN_WEIGHT[0], 10}, {PAWN_PATTERN_WEIGHT[2], 20},
        {PAWN_PATTERN_WEIGHT[3], 35}, {PASSED_PAWN[0][5], 80},      {PASSED_PAWN[1][6], 120},
        {PASSED_PAWN[2][5], 90},      {PASSED_PAWN[2][1], 20},      {PASSED_PAWN[3][4], 60},
        {PASSED_PAWN[3][5], 100},     {CONNECTED_PASSER[3], 10},    {CONNECTED_PASSER[6], 40},
        {ISOLATED_FILE[0], 10},       {ISOLATED_FILE[4], 16},       {ISOLATED_FILE[6], 12},
    };
    for (size_t i = 0; i < std::size(singles); i++)
        EXPECT_EQ(singles[i][0], singles[i][1]) << "entry " << i;
    const int scale[][2] = {{0, 0},   {4, 5},   {5, 8},   {16, 21}, {17, 23},
                            {24, 30}, {25, 32}, {26, 33}, {27, 34}, {63, 34}};
    for (const auto& s : scale)
        EXPECT_EQ(KING_ATTACK_SCALE[s[0]], s[1]) << s[0];
    for (int p = 0; p < 20; p++)
        EXPECT_EQ(BISHOP_PAIR_BONUS[p], 40 - 2 * p);
    const int blocked[8] = {0, 10, 10, 15, 30, 50, 70, 0};
    const int uncatchable[8] = {0, 14, 14, 22, 30, 40, 54, 0};
    const int support[8] = {0, 0, 0, 0, 0, 50, 100, 0};
    const int isolated_count[9] = {0, 0, 2, 8, 22, 36, 41, 46, 0};
    for (int r = 0; r < 8; r++) {
        EXPECT_EQ(PASSER_BLOCKED[r], blocked[r]);
        EXPECT_EQ(PASSER_UNCATCHABLE[r], uncatchable[r]);
        EXPECT_EQ(PASSER_KING_SUPPORT[r], support[r]);
    }
    for (int n = 0; n < 9; n++)
        EXPECT_EQ(ISOLATED_COUNT[n], isolated_count[n]);
}

TEST(EvalTables, ShapesOfTheSquareTables)
{
    const int(*per_phase[])[64] = {PST_PAWN, PST_KNIGHT, PST_BISHOP, PST_ROOK, PST_QUEEN, PST_KING};
    const int* singles[] = {KING_END_CENTRE, KING_DANGER, OUTPOST};
    auto symmetric = [](const int* t) {
        for (int sq = 0; sq < 64; sq++)
            if (t[sq] != t[sq ^ 7])
                return false;
        return true;
    };
    for (int k = 0; k < 6; k++)
        for (int p = 0; p < (k == 5 ? 3 : 4); p++)
            EXPECT_TRUE(symmetric(per_phase[k][p])) << "kind " << k << " phase " << p;
    for (const int* t : singles)
        EXPECT_TRUE(symmetric(t));
    for (int sq = 0; sq < 64; sq++) {
        EXPECT_EQ(KING_END_QUEENSIDE[sq], KING_END_KINGSIDE[sq ^ 7]) << sq;
        EXPECT_EQ(MIRROR[sq], sq ^ 56);
        // Phases sharing one table; no pawn on the first or last rank.
        EXPECT_EQ(PST_PAWN[0][sq], PST_PAWN[1][sq]);
        EXPECT_EQ(PST_ROOK[0][sq], PST_ROOK[2][sq]);
        EXPECT_EQ(PST_KING[0][sq], PST_KING[1][sq]);
        for (int p = 0; p < 4; p++) {
            EXPECT_EQ(PST_KNIGHT[0][sq], PST_KNIGHT[p][sq]);
            EXPECT_EQ(PST_BISHOP[0][sq], PST_BISHOP[p][sq]);
            EXPECT_FALSE((sq < 8 || sq >= 56) && PST_PAWN[p][sq]) << sq;
        }
    }
}

TEST(EvalTables, SquareIndexedCopies)
{
    init_eval_tables();
    // A white piece reads its square turned to the rank-8-first layout; a
    // black piece reads the entry of its own square.
    const int picks[][5] = {{WHITE, PST_KIND_KNIGHT, 0, SQ_A1, -22},
                            {BLACK, PST_KIND_KNIGHT, 0, SQ_A8, -22},
                            {WHITE, PST_KIND_PAWN, 3, 48, 30},
                            {BLACK, PST_KIND_PAWN, 3, 8, 30}}; // a7, a2
    for (const auto& p : picks)
        EXPECT_EQ(pst_by_square[p[0]][p[1]][p[2]][p[3]], p[4]);
    const int singles[][4] = {
        {WHITE, SINGLE_KING_END_KINGSIDE, SQ_A1, -90},
        {WHITE, SINGLE_KING_END_KINGSIDE, 30, 30}, // g4
        {BLACK, SINGLE_KING_END_KINGSIDE, 38, 30},
        {WHITE, SINGLE_KING_DANGER, SQ_D1, 8}, // g5
        {BLACK, SINGLE_KING_DANGER, SQ_D8, 8},
    };
    for (const auto& p : singles)
        EXPECT_EQ(single_by_square[p[0]][p[1]][p[2]], p[3]);
    for (int kind = 0; kind < 6; kind++)
        for (int phase = 0; phase < 4; phase++)
            for (int sq = 0; sq < 64; sq++)
                ASSERT_EQ(pst_by_square[WHITE][kind][phase][sq],
                          pst_by_square[BLACK][kind][phase][sq ^ 56]);
    for (int which = 0; which < 5; which++)
        for (int sq = 0; sq < 64; sq++)
            ASSERT_EQ(single_by_square[WHITE][which][sq], single_by_square[BLACK][which][sq ^ 56]);
}

TEST(EvalTables, PieceValues)
{
    init_eval_tables();
    const int start[5] = {100, 300, 300, 500, 970};
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(piece_value[k], start[k]);
    const int by_code[][2] = {{17, 100}, {18, 300}, {19, 300}, {20, 500}, {21, 1000}, {22, 10000},
                              {33, 100}, {34, 300}, {35, 300}, {36, 500}, {37, 1000}, {38, 10000},
                              {0, 0},    {16, 0},   {23, 0},   {32, 0},   {39, 0}};
    for (const auto& c : by_code)
        EXPECT_EQ(piece_value_by_code[c[0]], c[1]) << c[0];
}

} // namespace
