// Index tables: the constant symmetry and class tables (generated from their
// rules at compile time) and the square maps and class offsets built once at
// start-up.
#include <cstdio>
#include <cstdlib>

#include "tablebases/tbindex.h"
#include "tablebases/tbindex_rules.h"

namespace {

using tbrules::ClassTable;

template <typename T, typename F>
constexpr std::array<T, 64> square_table(F f)
{
    std::array<T, 64> t{};
    for (int sq = 0; sq < 64; ++sq)
        t[sq] = static_cast<T>(f(sq));
    return t;
}

} // namespace

extern constexpr std::array<int, 64> QUADRANT_MASK = square_table<int>([](int sq) {
    return (tbrules::file_of(sq) >= 4 ? 7 : 0) ^ (tbrules::rank_of(sq) >= 4 ? 56 : 0);
});
extern constexpr std::array<int, 64> DIAGONAL_REFLECT =
    square_table<int>([](int sq) { return tbrules::file_of(sq) * 8 + tbrules::rank_of(sq); });
extern constexpr std::array<int, 64> FILE_MIRROR_MASK =
    square_table<int>([](int sq) { return tbrules::file_of(sq) >= 4 ? 7 : 0; });
extern constexpr std::array<int, 2> COLOUR_FLIP_MASK = {0, 56};
extern constexpr std::array<uint8_t, 64> IN_TRIANGLE =
    square_table<uint8_t>([](int sq) { return tbrules::in_triangle(sq); });
extern constexpr std::array<uint8_t, 64> OFF_DIAGONAL =
    square_table<uint8_t>([](int sq) { return !tbrules::on_diagonal(sq); });
extern constexpr std::array<uint8_t, 64> ON_OR_BELOW_DIAGONAL =
    square_table<uint8_t>([](int sq) { return tbrules::on_or_below_diagonal(sq); });
extern constexpr ClassTable KING_PAIR_CLASS_462 = tbrules::CLASS_462;
extern constexpr ClassTable KING_PAIR_CLASS_1806 = tbrules::CLASS_1806;

static_assert(KING_PAIR_CLASS_462[0][2] == 0 && KING_PAIR_CLASS_462[27][63] == 461);
static_assert(KING_PAIR_CLASS_1806[0][2] == 0 && KING_PAIR_CLASS_1806[59][63] == 1805);

uint8_t* square_map[TB_KIND_COUNT];
uint8_t square_count[TB_KIND_COUNT][64];
int* single_offsets_1806[TB_KIND_COUNT];
int* single_offsets_462[TB_KIND_COUNT];
int single_total_1806[TB_KIND_COUNT];
int single_total_462[TB_KIND_COUNT];
int* pair_offsets_1806[TB_KIND_COUNT][TB_KIND_COUNT];
int* pair_offsets_462[TB_KIND_COUNT][TB_KIND_COUNT];
int pair_total_1806[TB_KIND_COUNT][TB_KIND_COUNT];
int pair_total_462[TB_KIND_COUNT][TB_KIND_COUNT];
int tb_memory_total;
uint8_t index_tables_ready;

namespace {

void* alloc_index_table(int bytes)
{
    void* p = std::malloc(static_cast<size_t>(bytes));
    if (p == nullptr) {
        std::printf("*** Cannot allocate %d bytes of memory\n", bytes);
        std::fflush(stdout);
        std::exit(1);
    }
    tb_memory_total += bytes;
    return p;
}

// Men of the kind in the class of (s, o): the row of o's numbered squares,
// less the side to move's king when it stands on one of them.
int class_men(const uint8_t* map, const uint8_t* counts, int s, int o)
{
    return counts[o] - (map[o * 64 + s] != 255 ? 1 : 0);
}

} // namespace

void build_square_map(uint8_t* map, int kind, uint8_t* counts)
{
    for (int e = 0; e < 64 * 64; ++e)
        map[e] = 255;
    int first = kind <= TB_KIND_P ? 8 : 0;
    int last = kind <= TB_KIND_P ? 55 : 63;
    for (int i = 0; i < 64; ++i) {
        int counter = 0;
        for (int j = first; j <= last; ++j) {
            if (j == i || tbrules::contact_check(kind, j, i))
                continue;
            map[i * 64 + j] = static_cast<uint8_t>(counter++);
        }
        counts[i] = static_cast<uint8_t>(counter);
    }
}

void build_offsets_single(const uint8_t* map, const ClassTable& classes, const uint8_t* counts,
                          int* offsets, int* total)
{
    int sum = 0;
    for (int s = 0; s < 64; ++s)
        for (int o = 0; o < 64; ++o) {
            int c = classes[s][o];
            if (c == NOT_CANONICAL)
                continue;
            offsets[c] = sum;
            sum += class_men(map, counts, s, o);
        }
    *total = sum;
}

void build_offsets_pair(const uint8_t* map_lower, const uint8_t* map_higher,
                        const uint8_t* counts_lower, int* offsets, const ClassTable& classes,
                        const uint8_t* counts_higher, int* total)
{
    bool same_kind = counts_lower == counts_higher;
    int sum = 0;
    for (int s = 0; s < 64; ++s)
        for (int o = 0; o < 64; ++o) {
            int c = classes[s][o];
            if (c == NOT_CANONICAL)
                continue;
            offsets[c] = sum;
            int lo = class_men(map_lower, counts_lower, s, o);
            int hi = class_men(map_higher, counts_higher, s, o);
            sum += same_kind ? lo * (lo - 1) / 2 : lo * hi;
        }
    *total = sum;
}

void init_index_tables()
{
    if (index_tables_ready)
        return;
    index_tables_ready = 1;

    for (int kind = 0; kind < TB_KIND_COUNT; ++kind) {
        square_map[kind] = static_cast<uint8_t*>(alloc_index_table(64 * 64));
        build_square_map(square_map[kind], kind, square_count[kind]);
    }

    constexpr int bytes_1806 = TB_CLASSES_1806 * static_cast<int>(sizeof(int));
    constexpr int bytes_462 = TB_CLASSES_462 * static_cast<int>(sizeof(int));
    for (int t = 0; t < TB_KIND_COUNT; ++t) {
        bool piece = t >= TB_KIND_N;
        single_offsets_1806[t] = static_cast<int*>(alloc_index_table(bytes_1806));
        build_offsets_single(square_map[t], KING_PAIR_CLASS_1806, square_count[t],
                             single_offsets_1806[t], &single_total_1806[t]);
        if (piece) {
            single_offsets_462[t] = static_cast<int*>(alloc_index_table(bytes_462));
            build_offsets_single(square_map[t], KING_PAIR_CLASS_462, square_count[t],
                                 single_offsets_462[t], &single_total_462[t]);
        }
        // The pawn of the side not to move pairs only with itself.
        int lowest = t == TB_KIND_p ? TB_KIND_p : TB_KIND_P;
        for (int k = lowest; k <= t; ++k) {
            pair_offsets_1806[t][k] = static_cast<int*>(alloc_index_table(bytes_1806));
            build_offsets_pair(square_map[k], square_map[t], square_count[k],
                               pair_offsets_1806[t][k], KING_PAIR_CLASS_1806, square_count[t],
                               &pair_total_1806[t][k]);
            if (piece && k >= TB_KIND_N) {
                pair_offsets_462[t][k] = static_cast<int*>(alloc_index_table(bytes_462));
                build_offsets_pair(square_map[k], square_map[t], square_count[k],
                                   pair_offsets_462[t][k], KING_PAIR_CLASS_462, square_count[t],
                                   &pair_total_462[t][k]);
            }
        }
    }
}
