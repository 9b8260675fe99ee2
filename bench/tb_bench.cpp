// Tablebase probe speed over generated three-man tables (kqk, krk, kpk):
// probes per second with a warm cache, and block loads per second from raw
// and from compressed files when every read misses a one-entry cache.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "tablebases/registry.h"
#include "tablebases/tbcache.h"
#include "tablebases/tbprobe.h"
#include "tools/tb_files.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Block loads per second when blocks alternate through a one-entry cache.
double block_loads_per_second(int id, int side, int rounds)
{
    std::vector<uint8_t> cache(TB_ENTRY_BYTES);
    set_tb_cache(cache.data(), unsigned(cache.size()));
    const uint32_t length = MATERIAL_TABLE[id].length[side];
    const auto start = std::chrono::steady_clock::now();
    long loads = 0;
    int sink = 0;
    for (int r = 0; r < rounds; ++r) {
        for (uint32_t i = 0; i < length; i += TB_BLOCK_POSITIONS) {
            sink += read_tb_value(id, side, i);
            ++loads;
        }
    }
    const double s = seconds_since(start);
    set_tb_cache(nullptr, 0);
    return sink == 1234567 ? 0 : double(loads) / s;
}

} // namespace

int main()
{
    tbgen::init_engine_tables();
    const std::string raw = tbgen::make_scratch_dir("bench_raw");
    const std::string packed = tbgen::make_scratch_dir("bench_emd");
    tbgen::write_tables(raw, true, false);
    tbgen::write_tables(packed, false, true);

    // Warm-cache probes: random legal kpk/kqk/krk positions set up once.
    if (init_tablebases(raw.c_str()) != 3) {
        std::printf("tb_bench: tables not registered\n");
        return 1;
    }
    std::vector<uint8_t> cache(64 * TB_ENTRY_BYTES);
    set_tb_cache(cache.data(), unsigned(cache.size()));
    tbgen::GeneratedTables& t = tbgen::generated_tables();
    std::vector<Position*> positions;
    std::mt19937 rng(1);
    const int kinds[3] = {PAWN, ROOK, QUEEN};
    while (positions.size() < 3000) {
        const int kind = kinds[positions.size() % 3];
        const int n = int(rng() % tbgen::POSITION_COUNT);
        if (t.table(kind).values[n].outcome == tbgen::ILLEGAL)
            continue;
        Position* pos = create_position();
        setup_new_game(pos);
        set_board(pos,
                  tbgen::make_fen(kind, n >> 18, (n >> 12) & 63, (n >> 6) & 63, n & 63).c_str());
        positions.push_back(pos);
    }
    const int rounds = 300;
    long hits = 0;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) {
        for (Position* pos : positions) {
            int score;
            hits += probe_tablebases(pos, &score);
        }
    }
    double s = seconds_since(start);
    std::printf("probe, warm cache: %ld probes in %.3f s, %.0f probes/s (%ld answered)\n",
                long(rounds) * long(positions.size()), s,
                double(rounds) * double(positions.size()) / s, hits);
    for (Position* pos : positions)
        destroy_position(pos);
    set_tb_cache(nullptr, 0);

    std::printf("raw block loads: %.0f blocks/s\n", block_loads_per_second(1, 1, 200));
    init_tablebases(packed.c_str());
    std::printf("compressed block decodes: %.0f blocks/s\n", block_loads_per_second(1, 1, 200));
    init_tablebases("");
    tbgen::remove_dir(raw);
    tbgen::remove_dir(packed);
    return 0;
}
