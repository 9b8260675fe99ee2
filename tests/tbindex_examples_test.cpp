// Worked examples of the index tables and functions, the documented block
// sizes and index spaces, the rows' data, and the behaviour on input that is
// not a legal position.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/tbindex_test_support.h"

using namespace tbtest;

namespace {

class TbIndex : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { init_index_tables(); }
};

int square(const char* s) { return (s[1] - '1') * 8 + (s[0] - 'a'); }

// "Ke1 Pe2" -> TbPieceSquares; a kind held twice fills its first two slots.
struct Side {
    int sq[16];
    explicit Side(const char* text) {
        for (int& s : sq)
            s = 0;
        int used[6] = {};
        for (const char* p = text; *p; ++p) {
            if (*p == ' ')
                continue;
            const char* kinds = "PNBRQK";
            int kind = static_cast<int>(std::strchr(kinds, *p) - kinds);
            sq[kind == 5 ? 15 : kind * 3 + used[kind]++] = square(p + 1);
            p += 2;
        }
    }
};

// The same position with the colours exchanged: every square turned upside down.
Side turned(Side s) {
    for (int& x : s.sq)
        x ^= 56;
    return s;
}

uint32_t run(TbIndexFn fn, const char* first, const char* second, const char* ep = nullptr, int flip = 0) {
    Side a(first), b(second);
    return fn(a.sq, b.sq, ep ? square(ep) : TB_NO_EP_SQUARE, flip);
}

uint32_t run_turned(TbIndexFn fn, const char* first, const char* second, const char* ep = nullptr) {
    Side a = turned(Side(first)), b = turned(Side(second));
    return fn(a.sq, b.sq, ep ? square(ep) ^ 56 : TB_NO_EP_SQUARE, 1);
}

TEST_F(TbIndex, SquareMapsNumberTheSquaresOfTheirRules) {
    const uint8_t* p = square_map[TB_KIND_p];
    for (int king : {square("a1"), square("e8")}) {
        EXPECT_EQ(square_count[TB_KIND_p][king], 48);
        EXPECT_EQ(p[king * 64 + square("a2")], 0);
        EXPECT_EQ(p[king * 64 + square("h7")], 47);
    }
    EXPECT_EQ(square_count[TB_KIND_p][square("c5")], 47);

    const uint8_t* P = square_map[TB_KIND_P] + square("e4") * 64;
    EXPECT_EQ(P[square("d3")], 255);
    EXPECT_EQ(P[square("f3")], 255);
    EXPECT_EQ(P[square("e4")], 255);
    EXPECT_EQ(P[square("e3")], 11);
    EXPECT_EQ(P[square("g3")], 12);

    const uint8_t* R = square_map[TB_KIND_R] + square("a1") * 64;
    EXPECT_EQ(R[square("a2")], 255);
    EXPECT_EQ(R[square("b1")], 255);
    EXPECT_NE(R[square("b2")], 255);
}

TEST_F(TbIndex, KingPairClassesFollowTheirRules) {
    auto c462 = [](const char* a, const char* b) { return KING_PAIR_CLASS_462[square(a)][square(b)]; };
    auto c1806 = [](const char* a, const char* b) { return KING_PAIR_CLASS_1806[square(a)][square(b)]; };
    EXPECT_EQ(c462("a1", "c1"), 0);
    EXPECT_EQ(c462("a1", "d1"), 1);
    EXPECT_EQ(c462("d4", "h8"), 461);
    EXPECT_EQ(c462("a1", "b3"), NOT_CANONICAL);
    EXPECT_EQ(c462("e1", "a1"), NOT_CANONICAL);
    EXPECT_EQ(c1806("a1", "c1"), 0);
    EXPECT_EQ(c1806("a1", "a3"), 12);
    EXPECT_EQ(c1806("d8", "h8"), 1805);
    EXPECT_EQ(c1806("e1", "a1"), NOT_CANONICAL);
    int canonical[2] = {};
    for (int s = 0; s < 64; ++s)
        for (int o = 0; o < 64; ++o) {
            canonical[0] += KING_PAIR_CLASS_462[s][o] != NOT_CANONICAL;
            canonical[1] += KING_PAIR_CLASS_1806[s][o] != NOT_CANONICAL;
        }
    EXPECT_EQ(canonical[0], 462);
    EXPECT_EQ(canonical[1], 1806);
}

TEST_F(TbIndex, BlockSizesAreTheDocumentedOnes) {
    const int single_1806[6] = {84012, 81664, 102748, 106500, 105684, 100212};
    const int single_462[6] = {0, 0, 26282, 27243, 27036, 25635};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(single_total_1806[k], single_1806[k]) << k;
        EXPECT_EQ(single_total_462[k], single_462[k]) << k;
    }
    struct PairSize {
        int hi, lo, n1806, n462;
    };
    const PairSize pairs[] = {
        {TB_KIND_p, TB_KIND_p, 1912372, 0},       {TB_KIND_P, TB_KIND_P, 1806671, 0},
        {TB_KIND_N, TB_KIND_P, 4648581, 0},       {TB_KIND_N, TB_KIND_N, 2874826, 735304},
        {TB_KIND_B, TB_KIND_P, 4817128, 0},       {TB_KIND_B, TB_KIND_N, 6062284, 1550621},
        {TB_KIND_B, TB_KIND_B, 3087990, 789885},  {TB_KIND_R, TB_KIND_P, 4779624, 0},
        {TB_KIND_R, TB_KIND_N, 6014436, 1538479}, {TB_KIND_R, TB_KIND_B, 6233400, 1594560},
        {TB_KIND_R, TB_KIND_R, 3039726, 777639},  {TB_KIND_Q, TB_KIND_P, 4533584, 0},
        {TB_KIND_Q, TB_KIND_N, 5706344, 1459616}, {TB_KIND_Q, TB_KIND_B, 5912880, 1512507},
        {TB_KIND_Q, TB_KIND_R, 5866128, 1500642}, {TB_KIND_Q, TB_KIND_Q, 2732826, 699072},
    };
    for (const PairSize& p : pairs) {
        EXPECT_EQ(pair_total_1806[p.hi][p.lo], p.n1806) << p.hi << p.lo;
        EXPECT_EQ(pair_total_462[p.hi][p.lo], p.n462) << p.hi << p.lo;
        EXPECT_NE(pair_offsets_1806[p.hi][p.lo], nullptr);
        EXPECT_EQ(pair_offsets_462[p.hi][p.lo] != nullptr, p.n462 != 0);
    }
}

TEST_F(TbIndex, BuildingTwiceAllocatesNothingMore) {
    EXPECT_EQ(tb_memory_total, 209376);
    uint8_t* map = square_map[TB_KIND_Q];
    int* offsets = pair_offsets_462[TB_KIND_Q][TB_KIND_Q];
    init_index_tables();
    EXPECT_EQ(tb_memory_total, 209376);
    EXPECT_EQ(square_map[TB_KIND_Q], map);
    EXPECT_EQ(pair_offsets_462[TB_KIND_Q][TB_KIND_Q], offsets);
}

TEST_F(TbIndex, WorkedExamples) {
    EXPECT_EQ(run(index_kpk_wtm, "Ka1 Pa2", "Kc1"), 0u);
    EXPECT_EQ(run(index_kpk_wtm, "Kh1 Ph2", "Kf1"), 0u);
    EXPECT_EQ(run(index_kpk_wtm, "Ke1 Pe2", "Ke8"), 10487u);
    EXPECT_EQ(run(index_kpk_wtm, "Ke8 Pe7", "Ke1", nullptr, 1), 10487u);
    EXPECT_EQ(run(index_kpk_btm, "Ka1 Pa2", "Kc1"), 81073u);
    EXPECT_EQ(run(index_knk_wtm, "Ka1 Nb1", "Kc1"), 0u);
    EXPECT_EQ(run(index_knk_wtm, "Ka1 Na2", "Ka3"), 0u);
    EXPECT_EQ(run(index_knk_wtm, "Kh8 Ng8", "Kf8"), 0u);
    EXPECT_EQ(run(index_knk_btm, "Ka1 Nd5", "Kc1"), 5675u);
    EXPECT_EQ(run(index_knk_btm, "Kc1 Na1", "Ka3"), 6262u);
    EXPECT_EQ(run(index_knnk_wtm, "Ka1 Nb1 Nc3", "Kh8"), 50255u);
    EXPECT_EQ(run(index_knnk_wtm, "Ka1 Nc3 Nb1", "Kh8"), 50255u);
    EXPECT_EQ(run(index_knnk_btm, "Ka1 Nb1 Nc3", "Kh8"), 62386u);
    EXPECT_EQ(run(index_knnk_btm, "Ka1 Nc3 Nb1", "Kh8"), 62386u);
    EXPECT_EQ(run(index_krbkn_btm, "Ke4 Ra7 Bh3", "Kb1 Nc6"), 11520742u);
    EXPECT_EQ(run(index_kqqkr_wtm, "Kb2 Qd5 Qf6", "Kg8 Ra8"), 21292387u);
    EXPECT_EQ(run(index_kqqkr_wtm, "Kb2 Qf6 Qd5", "Kg8 Ra8"), 21292387u);
    EXPECT_EQ(run(index_kpkp_wtm, "Ka1 Pe5", "Kh8 Pd5"), 128384u);
    EXPECT_EQ(run(index_kpkp_wtm, "Ka1 Pe5", "Kh8 Pd5", "d6"), 3839037u);
    EXPECT_EQ(run(index_kpkp_wtm, "Ka1 Pc5", "Kh8 Pd5", "d6"), 3839043u);
    EXPECT_EQ(run(index_kppkp_wtm, "Ka1 Pc5 Pe5", "Kh8 Pd5", "d6"), 83143583u);
    EXPECT_EQ(run(index_kppkp_wtm, "Ka1 Pe5 Pc5", "Kh8 Pd5", "d6"), 83143583u);
    EXPECT_EQ(run(index_kppkp_wtm, "Ka1 Pa3 Pe5", "Kh8 Pd5", "d6"), 83143325u);
    EXPECT_EQ(run(index_knpkp_btm, "Ka8 Nh1 Pd4", "Kh6 Pe4", "d3"), 231253086u);
}

TEST_F(TbIndex, WorkedExamplesWithTheColoursExchanged) {
    // Functions of rows with pawns read the flip; the others ignore it, and
    // the turned board is one of their symmetries.
    EXPECT_EQ(run_turned(index_kpk_wtm, "Ke1 Pe2", "Ke8"), 10487u);
    EXPECT_EQ(run_turned(index_kpk_btm, "Ka1 Pa2", "Kc1"), 81073u);
    EXPECT_EQ(run_turned(index_knk_btm, "Ka1 Nd5", "Kc1"), 5675u);
    EXPECT_EQ(run_turned(index_krbkn_btm, "Ke4 Ra7 Bh3", "Kb1 Nc6"), 11520742u);
    EXPECT_EQ(run_turned(index_kqqkr_wtm, "Kb2 Qd5 Qf6", "Kg8 Ra8"), 21292387u);
    EXPECT_EQ(run_turned(index_kpkp_wtm, "Ka1 Pe5", "Kh8 Pd5"), 128384u);
    EXPECT_EQ(run_turned(index_kpkp_wtm, "Ka1 Pe5", "Kh8 Pd5", "d6"), 3839037u);
    EXPECT_EQ(run_turned(index_kpkp_wtm, "Ka1 Pc5", "Kh8 Pd5", "d6"), 3839043u);
    EXPECT_EQ(run_turned(index_kppkp_wtm, "Ka1 Pc5 Pe5", "Kh8 Pd5", "d6"), 83143583u);
    EXPECT_EQ(run_turned(index_kppkp_wtm, "Ka1 Pa3 Pe5", "Kh8 Pd5", "d6"), 83143325u);
    EXPECT_EQ(run_turned(index_knpkp_btm, "Ka8 Nh1 Pd4", "Kh6 Pe4", "d3"), 231253086u);
}

// Index space and stored length of every function as documented.
struct Documented {
    int id;
    const char* name;
    uint32_t space[2];
    uint32_t length[2];
};

const Documented DOCUMENTED[] = {
    {1, "kpk", {81664, 84012}, {81664, 84012}},
    {2, "knk", {26282, 28644}, {26282, 28644}},
    {3, "kbk", {27243, 28644}, {27243, 28644}},
    {4, "krk", {27036, 28644}, {27030, 28644}},
    {5, "kqk", {25635, 28644}, {25629, 28644}},
    {6, "kpkp", {3863492, 3863492}, {3863492, 3863492}},
    {7, "knkp", {4931904, 4981504}, {4931904, 4981504}},
    {8, "knkn", {1603202, 1603202}, {1603202, 1603202}},
    {9, "kbkp", {5112000, 4981504}, {5112000, 4981504}},
    {10, "kbkn", {1661823, 1603202}, {1661823, 1603202}},
    {11, "kbkb", {1661823, 1661823}, {1661823, 1661823}},
    {12, "krkp", {5072832, 4981504}, {5072736, 4981504}},
    {13, "krkn", {1649196, 1603202}, {1649196, 1603202}},
    {14, "krkb", {1649196, 1661823}, {1649196, 1661823}},
    {15, "krkr", {1649196, 1649196}, {1649196, 1649196}},
    {16, "kqkp", {4810176, 4981504}, {4810080, 4981504}},
    {17, "kqkn", {1563735, 1603202}, {1563735, 1603202}},
    {18, "kqkb", {1563735, 1661823}, {1563735, 1661823}},
    {19, "kqkr", {1563735, 1649196}, {1563735, 1649196}},
    {20, "kqkq", {1563735, 1563735}, {1563735, 1563735}},
    {21, "kppk", {1806671, 1912372}, {1806671, 1912372}},
    {22, "knpk", {4648581, 5124732}, {4648581, 5124732}},
    {23, "knnk", {735304, 873642}, {735304, 873642}},
    {24, "kbpk", {4817128, 5124732}, {4817128, 5124732}},
    {25, "kbnk", {1550621, 1747284}, {1550620, 1747284}},
    {26, "kbbk", {789885, 873642}, {789885, 873642}},
    {27, "krpk", {4779624, 5124732}, {4779530, 5124732}},
    {28, "krnk", {1538479, 1747284}, {1538479, 1747284}},
    {29, "krbk", {1594560, 1747284}, {1594560, 1747284}},
    {30, "krrk", {777639, 873642}, {777300, 873642}},
    {31, "kqpk", {4533584, 5124732}, {4533490, 5124732}},
    {32, "kqnk", {1459616, 1747284}, {1459616, 1747284}},
    {33, "kqbk", {1512507, 1747284}, {1512507, 1747284}},
    {34, "kqrk", {1500642, 1747284}, {1500276, 1747284}},
    {35, "kqqk", {699072, 873642}, {698739, 873642}},
    {36, "kppkp", {84219362, 89391280}, {84219361, 89391280}},
    {37, "kppkn", {108400260, 115899744}, {108400260, 115899744}},
    {38, "kppkb", {108400260, 120132000}, {108400260, 120132000}},
    {39, "kppkr", {108400260, 119211552}, {108400260, 119209296}},
    {40, "kppkq", {108400260, 113039136}, {108400260, 113036880}},
    {41, "knpkp", {219921779, 231758952}, {219921779, 231758952}},
    {42, "knpkn", {278914860, 295914240}, {278914860, 295914240}},
    {43, "knpkb", {278914860, 306720000}, {278914860, 306720000}},
    {44, "knpkr", {278914860, 304369920}, {278914860, 304369920}},
    {45, "knpkq", {278914860, 288610560}, {278914860, 288610560}},
    {46, "knnkp", {137991648, 149445120}, {137991648, 149445120}},
    {47, "knnkn", {44118240, 48096060}, {44118240, 48096060}},
    {48, "knnkb", {44118240, 49854690}, {44118240, 49854690}},
    {49, "knnkr", {44118240, 49475880}, {44118240, 49475880}},
    {50, "knnkq", {44118240, 46912050}, {44118240, 46912050}},
    {51, "kbpkp", {227896016, 231758952}, {227896016, 231758952}},
    {52, "kbpkn", {289027680, 295914240}, {289027680, 295914240}},
    {53, "kbpkb", {289027680, 306720000}, {289027680, 306720000}},
    {54, "kbpkr", {289027680, 304369920}, {289027680, 304369920}},
    {55, "kbpkq", {289027680, 288610560}, {289027680, 288610560}},
    {56, "kbnkp", {290989632, 298890240}, {290989584, 298890240}},
    {57, "kbnkn", {93037260, 96192120}, {93037200, 96192120}},
    {58, "kbnkb", {93037260, 99709380}, {93037200, 99709380}},
    {59, "kbnkr", {93037260, 98951760}, {93037200, 98951760}},
    {60, "kbnkq", {93037260, 93824100}, {93037200, 93824100}},
    {61, "kbbkp", {148223520, 149445120}, {148223520, 149445120}},
    {62, "kbbkn", {47393100, 48096060}, {47393100, 48096060}},
    {63, "kbbkb", {47393100, 49854690}, {47393100, 49854690}},
    {64, "kbbkr", {47393100, 49475880}, {47393100, 49475880}},
    {65, "kbbkq", {47393100, 46912050}, {47393100, 46912050}},
    {66, "krpkp", {226121904, 231758952}, {226121876, 231758952}},
    {67, "krpkn", {286777440, 295914240}, {286777440, 295914240}},
    {68, "krpkb", {286777440, 306720000}, {286777440, 306720000}},
    {69, "krpkr", {286777440, 304369920}, {286777440, 304369920}},
    {70, "krpkq", {286777440, 288610560}, {286777440, 288610560}},
    {71, "krnkp", {288692928, 298890240}, {288692928, 298890240}},
    {72, "krnkn", {92308740, 96192120}, {92308740, 96192120}},
    {73, "krnkb", {92308740, 99709380}, {92308740, 99709380}},
    {74, "krnkr", {92308740, 98951760}, {92308740, 98951760}},
    {75, "krnkq", {92308740, 93824100}, {92308740, 93824100}},
    {76, "krbkp", {299203200, 298890240}, {299203200, 298890240}},
    {77, "krbkn", {95673600, 96192120}, {95673600, 96192120}},
    {78, "krbkb", {95673600, 99709380}, {95673600, 99709380}},
    {79, "krbkr", {95673600, 98951760}, {95673600, 98951760}},
    {80, "krbkq", {95673600, 93824100}, {95673600, 93824100}},
    {81, "krrkp", {145906848, 149445120}, {145901232, 149445120}},
    {82, "krrkn", {46658340, 48096060}, {46658340, 48096060}},
    {83, "krrkb", {46658340, 49854690}, {46658340, 49854690}},
    {84, "krrkr", {46658340, 49475880}, {46658340, 49475880}},
    {85, "krrkq", {46658340, 46912050}, {46658340, 46912050}},
    {86, "kqpkp", {214481416, 231758952}, {214481388, 231758952}},
    {87, "kqpkn", {272015040, 295914240}, {272015040, 295914240}},
    {88, "kqpkb", {272015040, 306720000}, {272015040, 306720000}},
    {89, "kqpkr", {272015040, 304369920}, {272015040, 304369920}},
    {90, "kqpkq", {272015040, 288610560}, {272015040, 288610560}},
    {91, "kqnkp", {273904512, 298890240}, {273904512, 298890240}},
    {92, "kqnkn", {87576960, 96192120}, {87576960, 96192120}},
    {93, "kqnkb", {87576960, 99709380}, {87576960, 99709380}},
    {94, "kqnkr", {87576960, 98951760}, {87576960, 98951760}},
    {95, "kqnkq", {87576960, 93824100}, {87576960, 93824100}},
    {96, "kqbkp", {283818240, 298890240}, {283818240, 298890240}},
    {97, "kqbkn", {90750420, 96192120}, {90750420, 96192120}},
    {98, "kqbkb", {90750420, 99709380}, {90750420, 99709380}},
    {99, "kqbkr", {90750420, 98951760}, {90750420, 98951760}},
    {100, "kqbkq", {90750420, 93824100}, {90750420, 93824100}},
    {101, "kqrkp", {281574144, 298890240}, {281568240, 298890240}},
    {102, "kqrkn", {90038520, 96192120}, {90038460, 96192120}},
    {103, "kqrkb", {90038520, 99709380}, {90038460, 99709380}},
    {104, "kqrkr", {90038520, 98951760}, {90038460, 98951760}},
    {105, "kqrkq", {90038520, 93824100}, {90038460, 93824100}},
    {106, "kqqkp", {131175648, 149445120}, {131170128, 149445120}},
    {107, "kqqkn", {41944320, 48096060}, {41944320, 48096060}},
    {108, "kqqkb", {41944320, 49854690}, {41944320, 49854690}},
    {109, "kqqkr", {41944320, 49475880}, {41944320, 49475880}},
    {110, "kqqkq", {41944320, 46912050}, {41944320, 46912050}},
};

TEST_F(TbIndex, RowsSpacesAndLengthsAreTheDocumentedOnes) {
    ASSERT_EQ(std::size(DOCUMENTED), static_cast<size_t>(TB_INDEX_ROW_COUNT));
    EXPECT_STREQ(MATERIAL_ROWS[0].name, "kk");
    EXPECT_EQ(MATERIAL_ROWS[0].length[0], 0u);
    for (const Documented& d : DOCUMENTED) {
        const MaterialRow& row = MATERIAL_ROWS[d.id];
        SCOPED_TRACE(d.name);
        EXPECT_EQ(row.id, d.id);
        EXPECT_STREQ(row.name, d.name);
        for (int side = 0; side < 2; ++side) {
            EXPECT_EQ(tb_index_space(d.id, side), d.space[side]);
            EXPECT_EQ(row.length[side], d.length[side]);
            EXPECT_EQ(row.index_fn[side], TB_INDEX_FUNCTIONS[2 * (d.id - 1) + side]);
        }
    }
    EXPECT_EQ(tb_index_space(0, 0), 0u);
    EXPECT_EQ(tb_index_space(111, 0), 0u);
}

// Whether a pawn of the mover stands beside the other side's pawn that would
// just have passed e (the table's own terms: the first side's pawns move up).
bool ep_capture_possible(const Pos& p, const Row& r, int mover, int e) {
    int up = mover == 0 ? 8 : -8;
    if (rank_of(e) != (mover == 0 ? 5 : 2))
        return false;
    bool stepped = false, beside = false;
    for (const Man& m : r.men) {
        if (m.kind != PAWN)
            continue;
        int s = man_square(p, m);
        if (m.side != mover && s == e - up)
            stepped = true;
        if (m.side == mover && rank_of(s) == rank_of(e - up) && std::abs(file_of(s) - file_of(e)) == 1)
            beside = true;
    }
    return stepped && beside;
}

TEST_F(TbIndex, EnPassantSquareNoPawnCanUseIsIgnored) {
    std::mt19937_64 rng(7);
    int rounds = sanitized() ? 100 : 2000;
    for (int id : {6, 36, 41, 51, 66, 86}) {
        Row row = make_row(id);
        for (int side = 0; side < 2; ++side) {
            SCOPED_TRACE(std::string(row.name) + (side ? " btm" : " wtm"));
            TbIndexFn fn = function_of(id, side);
            uint32_t space = tb_index_space(id, side);
            int used = 0;
            for (int i = 0; i < rounds; ++i) {
                Pos p = random_position(row, side, i % 2 == 1, rng);
                p.ep = TB_NO_EP_SQUARE;
                uint32_t plain = fn(p.sq[0], p.sq[1], TB_NO_EP_SQUARE, 0);
                for (int e = -1; e < 130; ++e) {
                    uint32_t got = fn(p.sq[0], p.sq[1], e, 0);
                    if (e >= 0 && e < 64 && ep_capture_possible(p, row, side, e)) {
                        ++used;
                        // Refused only when a man stands where the pawn passed.
                        EXPECT_TRUE(got < space || got == TB_NOT_INDEXABLE) << got;
                        EXPECT_NE(got, plain);
                    } else {
                        ASSERT_EQ(got, plain) << "ep square " << e;
                    }
                }
            }
            EXPECT_GT(used, 0);
        }
    }
}

TEST_F(TbIndex, InputThatIsNoLegalPositionStaysInsideTheSpaceOrIsRefused) {
    std::mt19937_64 rng(11);
    int rounds = sanitized() ? 2000 : 20000;
    int64_t refused = 0, inside = 0;
    for (int id = 1; id <= TB_INDEX_ROW_COUNT; ++id)
        for (int side = 0; side < 2; ++side) {
            TbIndexFn fn = function_of(id, side);
            uint32_t space = tb_index_space(id, side);
            for (int i = 0; i < rounds; ++i) {
                int a[16], b[16];
                // Mostly squares crowded into a corner, so that men share
                // squares and kings touch; now and then values off the board.
                for (int k = 0; k < 16; ++k) {
                    a[k] = i % 8 == 0 ? static_cast<int>(rng() % 300) - 100 : static_cast<int>(rng() % 24);
                    b[k] = i % 8 == 0 ? static_cast<int>(rng() % 300) - 100 : static_cast<int>(rng() % 24);
                }
                int ep = i % 3 == 0 ? static_cast<int>(rng() % 200) - 50 : TB_NO_EP_SQUARE;
                int flip = static_cast<int>(rng() % 5) - 1;
                uint32_t got = fn(a, b, ep, flip);
                if (got == TB_NOT_INDEXABLE) {
                    ++refused;
                } else {
                    ++inside;
                    ASSERT_LT(got, space) << MATERIAL_ROWS[id].name << " side " << side;
                }
            }
        }
    EXPECT_GT(refused, 0);
    EXPECT_GT(inside, 0);
}

}  // namespace
