// Offsets of legal positions: all of them for the three- and four-man rows,
// random ones and dense slices for the five-man rows. Offsets lie inside the
// index space, the largest one plus one is the stored length (below it when
// sampled), and two positions share an offset only when one is an image of
// the other.
#include <gtest/gtest.h>

#include <string>

#include "tests/tbindex_test_support.h"

using namespace tbtest;

namespace {

struct Tally {
    Row row;
    int side;
    TbIndexFn fn;
    uint32_t space;
    uint64_t positions = 0, ep_positions = 0, outside = 0, collisions = 0;
    uint32_t max_offset = 0;
    std::string example;
    std::vector<std::pair<uint32_t, uint64_t>> seen; // offset, canonical code
    std::vector<uint32_t> dense;                     // canonical code per offset, when enumerating

    Tally(int id, int s)
        : row(make_row(id)), side(s), fn(function_of(id, s)), space(tb_index_space(id, s))
    {
    }

    void add(const Pos& p)
    {
        uint32_t offset = fn(p.sq[0], p.sq[1], p.ep, 0);
        ++(p.ep == TB_NO_EP_SQUARE ? positions : ep_positions);
        if (offset >= space) {
            if (outside++ == 0)
                example = "offset " + std::to_string(offset) + " outside the space";
            return;
        }
        max_offset = std::max(max_offset, offset);
        uint64_t code = canonical_code(p, row);
        if (dense.empty())
            seen.push_back({offset, code});
        else if (dense[offset] == UINT32_MAX)
            dense[offset] = static_cast<uint32_t>(code);
        else if (dense[offset] != code && collisions++ == 0)
            example = "offset " + std::to_string(offset) + " shared by two classes";
    }

    // `p` without and with each en passant capture the mover has.
    void add_with_ep(Pos p)
    {
        p.ep = TB_NO_EP_SQUARE;
        add(p);
        for (int e = 16; row.both_pawns && e < 48; ++e)
            if (ep_legal(p, row, side, e)) {
                p.ep = e;
                add(p);
                p.ep = TB_NO_EP_SQUARE;
            }
    }

    // Every placement of men i.. on top of those already placed.
    void place(Pos& p, size_t i, uint64_t occ)
    {
        if (i == row.men.size()) {
            if (!in_check(p, row, 1 - side))
                add_with_ep(p);
            return;
        }
        const Man& m = row.men[i];
        for (int s = m.kind == PAWN ? 8 : 0; s <= (m.kind == PAWN ? 55 : 63); ++s)
            if (!(occ >> s & 1) && (i != 1 || distance(s, p.sq[0][TB_SLOT_KING]) > 1)) {
                p.sq[m.side][m.slot] = s;
                place(p, i + 1, occ | uint64_t{1} << s);
            }
    }

    void finish()
    {
        std::sort(seen.begin(), seen.end());
        for (size_t i = 1; i < seen.size(); ++i)
            if (seen[i].first == seen[i - 1].first && seen[i].second != seen[i - 1].second &&
                collisions++ == 0)
                example = "offset " + std::to_string(seen[i].first) + " shared by two classes";
        seen = {};
        dense = {};
    }
};

// Runs the tallies of (row, side) work items on a thread pool, largest first.
std::vector<Tally> run_all(std::vector<int> rows, void (*fill)(Tally&))
{
    std::vector<std::pair<int, int>> work;
    for (int id : rows)
        for (int side = 0; side < 2; ++side)
            work.push_back({id, side});
    std::sort(work.begin(), work.end(), [](auto x, auto y) {
        return tb_index_space(x.first, x.second) > tb_index_space(y.first, y.second);
    });
    std::vector<Tally> results;
    for (auto [id, side] : work)
        results.emplace_back(id, side);
    parallel_for(results.size(), [&](size_t w) {
        fill(results[w]);
        results[w].finish();
    });
    return results;
}

TEST(TbIndexEnumerate, EveryLegalPositionOfThreeAndFourMen)
{
    init_index_tables();
    std::vector<int> rows = {1, 2, 3, 4, 5, 6, 11, 23}; // the shapes, at sanitizer speed
    for (int id = 7; id <= 35 && !sanitized(); ++id)
        if (id != 11 && id != 23)
            rows.push_back(id);
    for (const Tally& t : run_all(rows, [](Tally& t) {
             Pos p = empty_pos();
             t.dense.assign(t.space, UINT32_MAX); // codes of four men fit 32 bits
             for (int king = 0; king < 64; ++king) {
                 p.sq[0][TB_SLOT_KING] = king;
                 t.place(p, 1, uint64_t{1} << king);
             }
         })) {
        SCOPED_TRACE(std::string(t.row.name) + (t.side ? " btm" : " wtm"));
        EXPECT_GT(t.positions, 0u);
        EXPECT_EQ(t.outside, 0u) << t.example;
        EXPECT_EQ(t.collisions, 0u) << t.example;
        EXPECT_EQ(t.max_offset + 1, MATERIAL_ROWS[t.row.id].length[t.side]);
        EXPECT_TRUE(std::string(t.row.name) != "kpkp" || t.ep_positions > 0);
    }
}

TEST(TbIndexEnumerate, FiveManRowsOnRandomLegalPositionsAndSlices)
{
    init_index_tables();
    std::vector<int> rows;
    for (int id = 36; id <= TB_INDEX_ROW_COUNT; ++id)
        rows.push_back(id);
    for (const Tally& t : run_all(rows, [](Tally& t) {
             std::mt19937_64 rng(0x5eed0000u + static_cast<uint64_t>(t.row.id * 2 + t.side));
             // A quarter of the samples of the en-passant rows take en passant.
             for (int i = 0; i < (sanitized() ? 20000 : 300000); ++i)
                 t.add(random_position(t.row, t.side, t.row.both_pawns && i % 4 == 3, rng));
             // Dense slices: every placement of the last two men beside kings
             // and a third man drawn at random exercises every digit.
             for (int i = 0; i < (sanitized() ? 4 : 24); ++i) {
                 Pos p = random_position(t.row, t.side, false, rng);
                 p.ep = TB_NO_EP_SQUARE;
                 t.place(p, 3,
                         occupancy(p, t.row) & ~(uint64_t{1} << man_square(p, t.row.men[3])) &
                             ~(uint64_t{1} << man_square(p, t.row.men[4])));
             }
         })) {
        SCOPED_TRACE(std::string(t.row.name) + (t.side ? " btm" : " wtm"));
        EXPECT_EQ(t.outside, 0u) << t.example;
        EXPECT_EQ(t.collisions, 0u) << t.example;
        EXPECT_LT(t.max_offset, MATERIAL_ROWS[t.row.id].length[t.side]);
    }
}

} // namespace
