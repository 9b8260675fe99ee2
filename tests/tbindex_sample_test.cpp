// Five-man rows, too large to enumerate: random legal positions of every row
// and side must land inside the index space and below the stored length, and
// two of them share an offset only when one is an image of the other.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/tbindex_test_support.h"

using namespace tbtest;

namespace {

struct Sampled {
    uint64_t outside = 0;
    uint64_t collisions = 0;
    uint32_t max_offset = 0;
    std::string example;
};

// All placements of the last two men beside kings and a third man drawn at
// random: dense slices in which every digit and multiplier is exercised.
void add_slice(const Row& row, int side, TbIndexFn fn, uint32_t space, std::mt19937_64& rng, Sampled& out,
               std::vector<std::pair<uint32_t, uint64_t>>& seen) {
    Pos p = random_position(row, side, false, rng);
    const Man& a = row.men[3];
    const Man& b = row.men[4];
    for (int sa = 0; sa < 64; ++sa)
        for (int sb = 0; sb < 64; ++sb) {
            p.sq[a.side][a.slot] = sa;
            p.sq[b.side][b.slot] = sb;
            p.ep = TB_NO_EP_SQUARE;
            if (!legal(p, row, side))
                continue;
            for (int e = row.both_pawns ? 0 : 64; e <= 64; ++e) {
                p.ep = e == 64 ? TB_NO_EP_SQUARE : e;
                if (e < 64 && !ep_legal(p, row, side, e))
                    continue;
                uint32_t offset = fn(p.sq[0], p.sq[1], p.ep, 0);
                if (offset >= space) {
                    if (out.outside++ == 0)
                        out.example = "offset " + std::to_string(offset) + " outside the space";
                    continue;
                }
                out.max_offset = std::max(out.max_offset, offset);
                seen.push_back({offset, canonical_code(p, row)});
            }
        }
}

Sampled sample_function(int id, int side, int count, int slices, uint64_t seed) {
    Row row = make_row(id);
    TbIndexFn fn = function_of(id, side);
    uint32_t space = tb_index_space(id, side);
    std::mt19937_64 rng(seed);
    std::vector<std::pair<uint32_t, uint64_t>> seen;
    seen.reserve(static_cast<size_t>(count));
    Sampled out;
    for (int i = 0; i < count; ++i) {
        // A quarter of the samples of the en-passant rows take en passant.
        bool ep = row.both_pawns && i % 4 == 3;
        Pos p = random_position(row, side, ep, rng);
        uint32_t offset = fn(p.sq[0], p.sq[1], p.ep, 0);
        if (offset >= space) {
            if (out.outside++ == 0)
                out.example = "offset " + std::to_string(offset) + " outside the space";
            continue;
        }
        out.max_offset = std::max(out.max_offset, offset);
        seen.push_back({offset, canonical_code(p, row)});
    }
    for (int i = 0; i < slices; ++i)
        add_slice(row, side, fn, space, rng, out, seen);
    std::sort(seen.begin(), seen.end());
    for (size_t i = 1; i < seen.size(); ++i)
        if (seen[i].first == seen[i - 1].first && seen[i].second != seen[i - 1].second) {
            if (out.collisions++ == 0)
                out.example = "offset " + std::to_string(seen[i].first) + " shared by two classes";
        }
    return out;
}

TEST(TbIndexSample, FiveManRowsOnRandomLegalPositions) {
    init_index_tables();
    int count = sanitized() ? 20000 : 300000;
    int slices = sanitized() ? 4 : 24;
    std::vector<std::pair<int, int>> work;
    for (int id = 36; id <= TB_INDEX_ROW_COUNT; ++id)
        for (int side = 0; side < 2; ++side)
            work.push_back({id, side});

    std::vector<Sampled> results(work.size());
    std::atomic<size_t> next{0};
    unsigned threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (size_t w; (w = next++) < work.size();)
                results[w] = sample_function(work[w].first, work[w].second, count, slices, 0x5eed0000u + w);
        });
    for (auto& t : pool)
        t.join();

    for (size_t w = 0; w < work.size(); ++w) {
        auto [id, side] = work[w];
        const Sampled& s = results[w];
        SCOPED_TRACE(std::string(MATERIAL_ROWS[id].name) + (side ? " btm" : " wtm"));
        EXPECT_EQ(s.outside, 0u) << s.example;
        EXPECT_EQ(s.collisions, 0u) << s.example;
        EXPECT_LT(s.max_offset, MATERIAL_ROWS[id].length[side]);
    }
}

}  // namespace
