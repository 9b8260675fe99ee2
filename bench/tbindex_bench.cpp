// Tablebase index speed: index computations per second over random
// placements of every row's men (kings apart, men on distinct squares, pawns
// on ranks 2-7), all 220 functions in turn, both colour assignments.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "tablebases/material.h"
#include "tablebases/tbindex.h"

namespace {

struct Sample {
    int first[16];
    int second[16];
    int flip;
};

int file_of(int sq)
{
    return sq & 7;
}
int rank_of(int sq)
{
    return sq >> 3;
}

bool kings_apart(int a, int b)
{
    return std::abs(file_of(a) - file_of(b)) > 1 || std::abs(rank_of(a) - rank_of(b)) > 1;
}

Sample random_sample(const char* name, std::mt19937_64& rng)
{
    for (;;) {
        Sample s{};
        uint64_t used = 0;
        bool ok = true;
        auto put = [&](int* side, int slot, bool pawn) {
            int sq = pawn ? 8 + static_cast<int>(rng() % 48) : static_cast<int>(rng() % 64);
            ok = ok && !(used >> sq & 1);
            used |= uint64_t{1} << sq;
            side[slot] = sq;
        };
        put(s.first, TB_SLOT_KING, false);
        put(s.second, TB_SLOT_KING, false);
        int half = -1, counts[2][5] = {};
        for (const char* p = name; *p; ++p) {
            if (*p == 'k') {
                ++half;
                continue;
            }
            int kind = *p == 'q' ? 4 : *p == 'r' ? 3 : *p == 'b' ? 2 : *p == 'n' ? 1 : 0;
            put(half == 0 ? s.first : s.second, kind * 3 + counts[half][kind]++, kind == 0);
        }
        if (!ok || !kings_apart(s.first[TB_SLOT_KING], s.second[TB_SLOT_KING]))
            continue;
        s.flip = static_cast<int>(rng() % 2);
        if (s.flip)
            for (int i = 0; i < 16; ++i) {
                s.first[i] ^= 56;
                s.second[i] ^= 56;
            }
        return s;
    }
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    init_index_tables();
    constexpr int PER_ROW = 1024;
    std::mt19937_64 rng(1);
    std::vector<Sample> samples;
    samples.reserve(static_cast<size_t>(TB_INDEX_ROW_COUNT) * PER_ROW);
    for (int id = 1; id <= TB_INDEX_ROW_COUNT; ++id)
        for (int i = 0; i < PER_ROW; ++i)
            samples.push_back(random_sample(MATERIAL_ROWS[id].name, rng));

    uint64_t checksum = 0, calls = 0;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r)
        for (int id = 1; id <= TB_INDEX_ROW_COUNT; ++id)
            for (int side = 0; side < 2; ++side) {
                TbIndexFn fn = MATERIAL_ROWS[id].index_fn[side];
                const Sample* s = &samples[static_cast<size_t>(id - 1) * PER_ROW];
                for (int i = 0; i < PER_ROW; ++i)
                    checksum += fn(s[i].first, s[i].second, TB_NO_EP_SQUARE, s[i].flip);
                calls += PER_ROW;
            }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "tbindex: %llu index computations in %.3f s, %.1f million per second (checksum %llu)\n",
        static_cast<unsigned long long>(calls), seconds, static_cast<double>(calls) / seconds / 1e6,
        static_cast<unsigned long long>(checksum));
    return 0;
}
