// Every legal position of every three- and four-man row and side: offsets lie
// inside the index space, the largest one plus one is the stored length, and
// two positions share an offset only when one is an image of the other.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/tbindex_test_support.h"

using namespace tbtest;

namespace {

struct Outcome {
    uint64_t positions = 0;
    uint64_t ep_positions = 0;
    uint32_t max_offset = 0;
    uint64_t outside = 0;
    uint64_t collisions = 0;
    std::string example;
};

constexpr uint32_t EMPTY = 0xFFFFFFFFu;

// Enumerates the positions with the first side's king on one square, noting
// the canonical code seen at each offset.
class Enumerator {
  public:
    Enumerator(int id, int side, std::vector<uint32_t>& seen)
        : row_(make_row(id)), side_(side), fn_(function_of(id, side)), space_(tb_index_space(id, side)),
          seen_(seen), pos_(empty_pos()) {}

    Outcome run(int first_king) {
        pos_.sq[0][TB_SLOT_KING] = first_king;
        place(1, uint64_t{1} << first_king);
        return out_;
    }

  private:
    void place(size_t i, uint64_t occ) {
        if (i == row_.men.size()) {
            leaf();
            return;
        }
        const Man& m = row_.men[i];
        int lo = m.kind == PAWN ? 8 : 0, hi = m.kind == PAWN ? 55 : 63;
        for (int s = lo; s <= hi; ++s) {
            if (occ >> s & 1)
                continue;
            if (i == 1 && distance(s, pos_.sq[0][TB_SLOT_KING]) <= 1)
                continue;
            pos_.sq[m.side][m.slot] = s;
            place(i + 1, occ | uint64_t{1} << s);
        }
    }

    void leaf() {
        if (in_check(pos_, row_, 1 - side_))
            return;
        pos_.ep = TB_NO_EP_SQUARE;
        ++out_.positions;
        check();
        if (!row_.both_pawns)
            return;
        int up = side_ == 0 ? 8 : -8;
        for (const Man& m : row_.men)
            if (m.kind == PAWN && m.side != side_) {
                int e = man_square(pos_, m) + up;
                if (ep_legal(pos_, row_, side_, e)) {
                    pos_.ep = e;
                    ++out_.ep_positions;
                    check();
                }
            }
        pos_.ep = TB_NO_EP_SQUARE;
    }

    void check() {
        uint32_t offset = fn_(pos_.sq[0], pos_.sq[1], pos_.ep, 0);
        if (offset >= space_) {
            if (out_.outside++ == 0)
                out_.example = "offset " + std::to_string(offset) + " outside the space";
            return;
        }
        out_.max_offset = std::max(out_.max_offset, offset);
        uint32_t code = static_cast<uint32_t>(canonical_code(pos_, row_));
        uint32_t& slot = seen_[offset];
        if (slot == EMPTY) {
            slot = code;
        } else if (slot != code) {
            if (out_.collisions++ == 0)
                out_.example = "offset " + std::to_string(offset) + " shared by codes " + std::to_string(slot) +
                               " and " + std::to_string(code);
        }
    }

    Row row_;
    int side_;
    TbIndexFn fn_;
    uint32_t space_;
    std::vector<uint32_t>& seen_;
    Pos pos_;
    Outcome out_;
};

Outcome enumerate_function(int id, int side) {
    std::vector<uint32_t> seen(tb_index_space(id, side), EMPTY);
    Outcome total;
    for (int king = 0; king < 64; ++king) {
        Outcome o = Enumerator(id, side, seen).run(king);
        total.positions += o.positions;
        total.ep_positions += o.ep_positions;
        total.max_offset = std::max(total.max_offset, o.max_offset);
        total.outside += o.outside;
        total.collisions += o.collisions;
        if (total.example.empty())
            total.example = o.example;
    }
    return total;
}

TEST(TbIndexEnumerate, EveryLegalPositionOfThreeAndFourMen) {
    init_index_tables();
    std::vector<int> rows;
    for (int id = 1; id <= 35; ++id)
        rows.push_back(id);
    if (sanitized())
        rows = {1, 2, 3, 4, 5, 6, 11, 23};   // the shapes, at sanitizer speed

    std::vector<std::pair<int, int>> work;
    for (int id : rows)
        for (int side = 0; side < 2; ++side)
            work.push_back({id, side});

    // One function per thread, the largest spaces first.
    std::sort(work.begin(), work.end(), [](auto x, auto y) {
        return tb_index_space(x.first, x.second) > tb_index_space(y.first, y.second);
    });
    std::vector<Outcome> results(work.size());
    std::atomic<size_t> next{0};
    unsigned threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (size_t w; (w = next++) < work.size();)
                results[w] = enumerate_function(work[w].first, work[w].second);
        });
    for (auto& t : pool)
        t.join();

    uint64_t total = 0;
    for (size_t w = 0; w < work.size(); ++w) {
        auto [id, side] = work[w];
        const Outcome& o = results[w];
        SCOPED_TRACE(std::string(MATERIAL_ROWS[id].name) + (side ? " btm" : " wtm"));
        total += o.positions + o.ep_positions;
        EXPECT_GT(o.positions, 0u);
        EXPECT_EQ(o.outside, 0u) << o.example;
        EXPECT_EQ(o.collisions, 0u) << o.example;
        EXPECT_EQ(o.max_offset + 1, MATERIAL_ROWS[id].length[side]);
        if (std::string(MATERIAL_ROWS[id].name) == "kpkp") {
            EXPECT_GT(o.ep_positions, 0u);
        }
    }
    std::printf("enumerated %llu positions of %zu functions\n", static_cast<unsigned long long>(total), work.size());
}

}  // namespace
