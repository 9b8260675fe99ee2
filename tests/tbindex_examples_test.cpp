// Worked examples of the index tables and functions, the block sizes, index
// spaces and stored lengths the table files are laid out with, and the behaviour on input that is
// not a legal position.
#include <gtest/gtest.h>

#include <string>

#include "tablebases/registry.h"
#include "tests/tbindex_test_support.h"

using namespace tbtest;

namespace {

class TbIndex : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { init_index_tables(); }
};

TEST_F(TbIndex, SquareMapsNumberTheSquaresOfTheirRules)
{
    for (int king : {square("a1"), square("e8")}) {
        EXPECT_EQ(square_count[TB_KIND_p][king], 48);
        EXPECT_EQ(square_map[TB_KIND_p][king * 64 + square("a2")], 0);
        EXPECT_EQ(square_map[TB_KIND_p][king * 64 + square("h7")], 47);
    }
    EXPECT_EQ(square_count[TB_KIND_p][square("c5")], 47);
    struct Case {
        int kind;
        const char *king, *sq;
        int want; // -1: numbered, value free
    } cases[] = {
        {TB_KIND_P, "e4", "d3", 255}, {TB_KIND_P, "e4", "f3", 255}, {TB_KIND_P, "e4", "e4", 255},
        {TB_KIND_P, "e4", "e3", 11},  {TB_KIND_P, "e4", "g3", 12},  {TB_KIND_R, "a1", "a2", 255},
        {TB_KIND_R, "a1", "b1", 255}, {TB_KIND_R, "a1", "b2", -1},
    };
    for (const Case& c : cases) {
        int got = square_map[c.kind][square(c.king) * 64 + square(c.sq)];
        if (c.want < 0)
            EXPECT_NE(got, 255) << c.king << c.sq;
        else
            EXPECT_EQ(got, c.want) << c.king << c.sq;
    }
}

TEST_F(TbIndex, KingPairClassesFollowTheirRules)
{
    struct Case {
        bool pawns;
        const char *s, *o;
        int want;
    } cases[] = {
        {false, "a1", "c1", 0},
        {false, "a1", "d1", 1},
        {false, "d4", "h8", 461},
        {false, "a1", "b3", NOT_CANONICAL},
        {false, "e1", "a1", NOT_CANONICAL},
        {true, "a1", "c1", 0},
        {true, "a1", "a3", 12},
        {true, "d8", "h8", 1805},
        {true, "e1", "a1", NOT_CANONICAL},
    };
    for (const Case& c : cases)
        EXPECT_EQ((c.pawns ? KING_PAIR_CLASS_1806 : KING_PAIR_CLASS_462)[square(c.s)][square(c.o)],
                  c.want)
            << c.s << c.o;
    int canonical[2] = {};
    for (int s = 0; s < 64; ++s)
        for (int o = 0; o < 64; ++o) {
            canonical[0] += KING_PAIR_CLASS_462[s][o] != NOT_CANONICAL;
            canonical[1] += KING_PAIR_CLASS_1806[s][o] != NOT_CANONICAL;
        }
    EXPECT_EQ(canonical[0], 462);
    EXPECT_EQ(canonical[1], 1806);
}

TEST_F(TbIndex, BlockSizesMatchTheTableFiles)
{
    const int single_1806[6] = {84012, 81664, 102748, 106500, 105684, 100212};
    const int single_462[6] = {0, 0, 26282, 27243, 27036, 25635};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(single_total_1806[k], single_1806[k]) << k;
        EXPECT_EQ(single_total_462[k], single_462[k]) << k;
    }
    const int pairs[][4] = {
        {TB_KIND_p, TB_KIND_p, 1912372, 0},       {TB_KIND_P, TB_KIND_P, 1806671, 0},
        {TB_KIND_N, TB_KIND_P, 4648581, 0},       {TB_KIND_N, TB_KIND_N, 2874826, 735304},
        {TB_KIND_B, TB_KIND_P, 4817128, 0},       {TB_KIND_B, TB_KIND_N, 6062284, 1550621},
        {TB_KIND_B, TB_KIND_B, 3087990, 789885},  {TB_KIND_R, TB_KIND_P, 4779624, 0},
        {TB_KIND_R, TB_KIND_N, 6014436, 1538479}, {TB_KIND_R, TB_KIND_B, 6233400, 1594560},
        {TB_KIND_R, TB_KIND_R, 3039726, 777639},  {TB_KIND_Q, TB_KIND_P, 4533584, 0},
        {TB_KIND_Q, TB_KIND_N, 5706344, 1459616}, {TB_KIND_Q, TB_KIND_B, 5912880, 1512507},
        {TB_KIND_Q, TB_KIND_R, 5866128, 1500642}, {TB_KIND_Q, TB_KIND_Q, 2732826, 699072},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(pair_total_1806[p[0]][p[1]], p[2]) << p[0] << p[1];
        EXPECT_EQ(pair_total_462[p[0]][p[1]], p[3]) << p[0] << p[1];
        EXPECT_NE(pair_offsets_1806[p[0]][p[1]], nullptr);
        EXPECT_EQ(pair_offsets_462[p[0]][p[1]] != nullptr, p[3] != 0);
    }
}

// Bytes of a signature-tree level and everything below it; the tenth level
// holds table ids.
int signature_level_bytes(const intptr_t* level, int depth)
{
    int bytes = int(sizeof(intptr_t)) * int(level[0] + 2);
    for (int i = 0; depth < 9 && i <= level[0]; ++i)
        bytes += signature_level_bytes(reinterpret_cast<const intptr_t*>(level[1 + i]), depth + 1);
    return bytes;
}

// What the tablebase code holds besides the index tables, recounted from
// the structures themselves: the signature tree and the chains of the tables
// registered (by whichever test ran before in this process).
int bytes_beside_index_tables()
{
    int bytes = signature_tree ? signature_level_bytes(signature_tree, 0) : 0;
    for (const TableDesc& row : MATERIAL_TABLE)
        for (int side = 0; side < 2; ++side)
            bytes += row.buckets[side] ? TB_BUCKETS_PER_SIDE * int(sizeof(int32_t)) : 0;
    return bytes;
}

TEST_F(TbIndex, BuildingTwiceAllocatesNothingMore)
{
    EXPECT_EQ(tb_memory_total - bytes_beside_index_tables(), 209376);
    uint8_t* map = square_map[TB_KIND_Q];
    int* offsets = pair_offsets_462[TB_KIND_Q][TB_KIND_Q];
    init_index_tables();
    EXPECT_EQ(tb_memory_total - bytes_beside_index_tables(), 209376);
    EXPECT_EQ(square_map[TB_KIND_Q], map);
    EXPECT_EQ(pair_offsets_462[TB_KIND_Q][TB_KIND_Q], offsets);
}

// Each example also with the colours exchanged (the board turned, flip 1):
// functions of rows with pawns read the flip, the others ignore it and the
// turned board is one of their symmetries.
TEST_F(TbIndex, WorkedExamplesInBothColourAssignments)
{
    for (const Example& e : worked_examples()) {
        Pos p = parse_pos(e.first, e.second, e.ep);
        for (int flip = 0; flip < 2; ++flip)
            EXPECT_EQ(call_index(function_of(e.id, e.side), p, flip), e.offset)
                << MATERIAL_ROWS[e.id].name << " " << e.first << " " << e.second << " flip "
                << flip;
    }
}

// Index space and stored length of every function, as the table files hold them.
struct ExpectedRow {
    const char* name;
    uint32_t space[2], length[2];
};

const ExpectedRow EXPECTED_ROWS[] = {
    {"kpk", {81664, 84012}, {81664, 84012}},
    {"knk", {26282, 28644}, {26282, 28644}},
    {"kbk", {27243, 28644}, {27243, 28644}},
    {"krk", {27036, 28644}, {27030, 28644}},
    {"kqk", {25635, 28644}, {25629, 28644}},
    {"kpkp", {3863492, 3863492}, {3863492, 3863492}},
    {"knkp", {4931904, 4981504}, {4931904, 4981504}},
    {"knkn", {1603202, 1603202}, {1603202, 1603202}},
    {"kbkp", {5112000, 4981504}, {5112000, 4981504}},
    {"kbkn", {1661823, 1603202}, {1661823, 1603202}},
    {"kbkb", {1661823, 1661823}, {1661823, 1661823}},
    {"krkp", {5072832, 4981504}, {5072736, 4981504}},
    {"krkn", {1649196, 1603202}, {1649196, 1603202}},
    {"krkb", {1649196, 1661823}, {1649196, 1661823}},
    {"krkr", {1649196, 1649196}, {1649196, 1649196}},
    {"kqkp", {4810176, 4981504}, {4810080, 4981504}},
    {"kqkn", {1563735, 1603202}, {1563735, 1603202}},
    {"kqkb", {1563735, 1661823}, {1563735, 1661823}},
    {"kqkr", {1563735, 1649196}, {1563735, 1649196}},
    {"kqkq", {1563735, 1563735}, {1563735, 1563735}},
    {"kppk", {1806671, 1912372}, {1806671, 1912372}},
    {"knpk", {4648581, 5124732}, {4648581, 5124732}},
    {"knnk", {735304, 873642}, {735304, 873642}},
    {"kbpk", {4817128, 5124732}, {4817128, 5124732}},
    {"kbnk", {1550621, 1747284}, {1550620, 1747284}},
    {"kbbk", {789885, 873642}, {789885, 873642}},
    {"krpk", {4779624, 5124732}, {4779530, 5124732}},
    {"krnk", {1538479, 1747284}, {1538479, 1747284}},
    {"krbk", {1594560, 1747284}, {1594560, 1747284}},
    {"krrk", {777639, 873642}, {777300, 873642}},
    {"kqpk", {4533584, 5124732}, {4533490, 5124732}},
    {"kqnk", {1459616, 1747284}, {1459616, 1747284}},
    {"kqbk", {1512507, 1747284}, {1512507, 1747284}},
    {"kqrk", {1500642, 1747284}, {1500276, 1747284}},
    {"kqqk", {699072, 873642}, {698739, 873642}},
    {"kppkp", {84219362, 89391280}, {84219361, 89391280}},
    {"kppkn", {108400260, 115899744}, {108400260, 115899744}},
    {"kppkb", {108400260, 120132000}, {108400260, 120132000}},
    {"kppkr", {108400260, 119211552}, {108400260, 119209296}},
    {"kppkq", {108400260, 113039136}, {108400260, 113036880}},
    {"knpkp", {219921779, 231758952}, {219921779, 231758952}},
    {"knpkn", {278914860, 295914240}, {278914860, 295914240}},
    {"knpkb", {278914860, 306720000}, {278914860, 306720000}},
    {"knpkr", {278914860, 304369920}, {278914860, 304369920}},
    {"knpkq", {278914860, 288610560}, {278914860, 288610560}},
    {"knnkp", {137991648, 149445120}, {137991648, 149445120}},
    {"knnkn", {44118240, 48096060}, {44118240, 48096060}},
    {"knnkb", {44118240, 49854690}, {44118240, 49854690}},
    {"knnkr", {44118240, 49475880}, {44118240, 49475880}},
    {"knnkq", {44118240, 46912050}, {44118240, 46912050}},
    {"kbpkp", {227896016, 231758952}, {227896016, 231758952}},
    {"kbpkn", {289027680, 295914240}, {289027680, 295914240}},
    {"kbpkb", {289027680, 306720000}, {289027680, 306720000}},
    {"kbpkr", {289027680, 304369920}, {289027680, 304369920}},
    {"kbpkq", {289027680, 288610560}, {289027680, 288610560}},
    {"kbnkp", {290989632, 298890240}, {290989584, 298890240}},
    {"kbnkn", {93037260, 96192120}, {93037200, 96192120}},
    {"kbnkb", {93037260, 99709380}, {93037200, 99709380}},
    {"kbnkr", {93037260, 98951760}, {93037200, 98951760}},
    {"kbnkq", {93037260, 93824100}, {93037200, 93824100}},
    {"kbbkp", {148223520, 149445120}, {148223520, 149445120}},
    {"kbbkn", {47393100, 48096060}, {47393100, 48096060}},
    {"kbbkb", {47393100, 49854690}, {47393100, 49854690}},
    {"kbbkr", {47393100, 49475880}, {47393100, 49475880}},
    {"kbbkq", {47393100, 46912050}, {47393100, 46912050}},
    {"krpkp", {226121904, 231758952}, {226121876, 231758952}},
    {"krpkn", {286777440, 295914240}, {286777440, 295914240}},
    {"krpkb", {286777440, 306720000}, {286777440, 306720000}},
    {"krpkr", {286777440, 304369920}, {286777440, 304369920}},
    {"krpkq", {286777440, 288610560}, {286777440, 288610560}},
    {"krnkp", {288692928, 298890240}, {288692928, 298890240}},
    {"krnkn", {92308740, 96192120}, {92308740, 96192120}},
    {"krnkb", {92308740, 99709380}, {92308740, 99709380}},
    {"krnkr", {92308740, 98951760}, {92308740, 98951760}},
    {"krnkq", {92308740, 93824100}, {92308740, 93824100}},
    {"krbkp", {299203200, 298890240}, {299203200, 298890240}},
    {"krbkn", {95673600, 96192120}, {95673600, 96192120}},
    {"krbkb", {95673600, 99709380}, {95673600, 99709380}},
    {"krbkr", {95673600, 98951760}, {95673600, 98951760}},
    {"krbkq", {95673600, 93824100}, {95673600, 93824100}},
    {"krrkp", {145906848, 149445120}, {145901232, 149445120}},
    {"krrkn", {46658340, 48096060}, {46658340, 48096060}},
    {"krrkb", {46658340, 49854690}, {46658340, 49854690}},
    {"krrkr", {46658340, 49475880}, {46658340, 49475880}},
    {"krrkq", {46658340, 46912050}, {46658340, 46912050}},
    {"kqpkp", {214481416, 231758952}, {214481388, 231758952}},
    {"kqpkn", {272015040, 295914240}, {272015040, 295914240}},
    {"kqpkb", {272015040, 306720000}, {272015040, 306720000}},
    {"kqpkr", {272015040, 304369920}, {272015040, 304369920}},
    {"kqpkq", {272015040, 288610560}, {272015040, 288610560}},
    {"kqnkp", {273904512, 298890240}, {273904512, 298890240}},
    {"kqnkn", {87576960, 96192120}, {87576960, 96192120}},
    {"kqnkb", {87576960, 99709380}, {87576960, 99709380}},
    {"kqnkr", {87576960, 98951760}, {87576960, 98951760}},
    {"kqnkq", {87576960, 93824100}, {87576960, 93824100}},
    {"kqbkp", {283818240, 298890240}, {283818240, 298890240}},
    {"kqbkn", {90750420, 96192120}, {90750420, 96192120}},
    {"kqbkb", {90750420, 99709380}, {90750420, 99709380}},
    {"kqbkr", {90750420, 98951760}, {90750420, 98951760}},
    {"kqbkq", {90750420, 93824100}, {90750420, 93824100}},
    {"kqrkp", {281574144, 298890240}, {281568240, 298890240}},
    {"kqrkn", {90038520, 96192120}, {90038460, 96192120}},
    {"kqrkb", {90038520, 99709380}, {90038460, 99709380}},
    {"kqrkr", {90038520, 98951760}, {90038460, 98951760}},
    {"kqrkq", {90038520, 93824100}, {90038460, 93824100}},
    {"kqqkp", {131175648, 149445120}, {131170128, 149445120}},
    {"kqqkn", {41944320, 48096060}, {41944320, 48096060}},
    {"kqqkb", {41944320, 49854690}, {41944320, 49854690}},
    {"kqqkr", {41944320, 49475880}, {41944320, 49475880}},
    {"kqqkq", {41944320, 46912050}, {41944320, 46912050}},
};

TEST_F(TbIndex, RowsSpacesAndLengthsMatchTheTableFiles)
{
    ASSERT_EQ(std::size(EXPECTED_ROWS), static_cast<size_t>(TB_INDEX_ROW_COUNT));
    EXPECT_STREQ(MATERIAL_ROWS[0].name, "kk");
    EXPECT_EQ(MATERIAL_ROWS[0].length[0], 0u);
    for (int id = 1; id <= TB_INDEX_ROW_COUNT; ++id) {
        const ExpectedRow& d = EXPECTED_ROWS[id - 1];
        const MaterialRow& row = MATERIAL_ROWS[id];
        SCOPED_TRACE(d.name);
        EXPECT_EQ(row.id, id);
        EXPECT_STREQ(row.name, d.name);
        for (int side = 0; side < 2; ++side) {
            EXPECT_EQ(tb_index_space(id, side), d.space[side]);
            EXPECT_EQ(row.length[side], d.length[side]);
            EXPECT_EQ(row.index_fn[side], TB_INDEX_FUNCTIONS[2 * (id - 1) + side]);
        }
    }
    EXPECT_EQ(tb_index_space(0, 0), 0u);
    EXPECT_EQ(tb_index_space(111, 0), 0u);
}

TEST_F(TbIndex, EnPassantSquareNoPawnCanUseIsIgnored)
{
    std::mt19937_64 rng(7);
    int rounds = sanitized() ? 100 : 2000;
    for (int id : {6, 36, 41, 51, 66, 86}) {
        Row row = make_row(id);
        for (int side = 0; side < 2; ++side) {
            SCOPED_TRACE(std::string(row.name) + (side ? " btm" : " wtm"));
            TbIndexFn fn = function_of(id, side);
            int used = 0;
            for (int i = 0; i < rounds; ++i) {
                Pos p = random_position(row, side, i % 2 == 1, rng);
                uint32_t plain = fn(p.sq[0], p.sq[1], TB_NO_EP_SQUARE, 0);
                for (int e = -1; e < 130; ++e) {
                    uint32_t got = fn(p.sq[0], p.sq[1], e, 0);
                    if (e >= 0 && e < 64 && ep_legal(p, row, side, e, true)) {
                        ++used;
                        // Refused only when a man stands where the pawn passed.
                        EXPECT_TRUE(got < tb_index_space(id, side) || got == TB_NOT_INDEXABLE)
                            << got;
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

TEST_F(TbIndex, InputThatIsNoLegalPositionStaysInsideTheSpaceOrIsRefused)
{
    std::mt19937_64 rng(11);
    int rounds = sanitized() ? 2000 : 20000;
    int64_t refused = 0, inside = 0;
    for (int id = 1; id <= TB_INDEX_ROW_COUNT; ++id)
        for (int side = 0; side < 2; ++side)
            for (int i = 0; i < rounds; ++i) {
                // Mostly squares crowded into a corner, so that men share
                // squares and kings touch; now and then values off the board.
                int a[16], b[16];
                for (int k = 0; k < 16; ++k) {
                    a[k] = i % 8 == 0 ? static_cast<int>(rng() % 300) - 100
                                      : static_cast<int>(rng() % 24);
                    b[k] = i % 8 == 0 ? static_cast<int>(rng() % 300) - 100
                                      : static_cast<int>(rng() % 24);
                }
                int ep = i % 3 == 0 ? static_cast<int>(rng() % 200) - 50 : TB_NO_EP_SQUARE;
                uint32_t got = function_of(id, side)(a, b, ep, static_cast<int>(rng() % 5) - 1);
                if (got == TB_NOT_INDEXABLE)
                    ++refused;
                else if (++inside, got >= tb_index_space(id, side))
                    FAIL() << MATERIAL_ROWS[id].name << " side " << side << ": " << got;
            }
    EXPECT_GT(refused, 0);
    EXPECT_GT(inside, 0);
}

} // namespace
