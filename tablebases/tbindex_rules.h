// The rules behind the index tables, as constexpr functions: which squares a
// man may stand on for a given king of the side not to move, which king pairs
// are canonical and in what order, and the block sizes that follow. The
// constant tables are generated from these rules at compile time, the built
// tables at start-up, and the index functions fold the block sizes they need
// as constants.
#pragma once

#include <array>
#include <cstdint>

#include "tablebases/tbindex.h"

namespace tbrules {

using ClassTable = std::array<std::array<int16_t, 64>, 64>;

constexpr int file_of(int sq)
{
    return sq & 7;
}
constexpr int rank_of(int sq)
{
    return sq >> 3;
}
constexpr int abs_of(int v)
{
    return v < 0 ? -v : v;
}

constexpr int king_distance(int a, int b)
{
    int df = abs_of(file_of(a) - file_of(b));
    int dr = abs_of(rank_of(a) - rank_of(b));
    return df > dr ? df : dr;
}

constexpr bool on_diagonal(int sq)
{
    return file_of(sq) == rank_of(sq);
}
constexpr bool on_or_below_diagonal(int sq)
{
    return file_of(sq) >= rank_of(sq);
}
constexpr bool in_triangle(int sq)
{
    return file_of(sq) <= 3 && rank_of(sq) <= file_of(sq);
}

// A man of the kind on j touching a king on i with a check. Distant checks of
// sliders are not excluded: something may block them.
constexpr bool contact_check(int kind, int j, int i)
{
    int df = abs_of(file_of(i) - file_of(j));
    int dr = abs_of(rank_of(i) - rank_of(j));
    switch (kind) {
        case TB_KIND_P: return (i == j + 7 && file_of(j) != 0) || (i == j + 9 && file_of(j) != 7);
        case TB_KIND_N: return (df == 1 && dr == 2) || (df == 2 && dr == 1);
        case TB_KIND_B: return df == 1 && dr == 1;
        case TB_KIND_R: return df + dr == 1;
        case TB_KIND_Q: return king_distance(i, j) == 1;
        default: return false;
    }
}

// Whether square j is numbered in the map of the kind for the row king i.
constexpr bool square_numbered(int kind, int i, int j)
{
    if ((kind == TB_KIND_p || kind == TB_KIND_P) && (j < 8 || j > 55))
        return false;
    return j != i && !contact_check(kind, j, i);
}

constexpr bool pair_canonical_462(int s, int o)
{
    return in_triangle(s) && king_distance(s, o) > 1 &&
           (!on_diagonal(s) || on_or_below_diagonal(o));
}

constexpr bool pair_canonical_1806(int s, int o)
{
    return file_of(s) <= 3 && king_distance(s, o) > 1;
}

constexpr ClassTable make_class_table(bool with_pawns)
{
    ClassTable t{};
    int next = 0;
    for (int s = 0; s < 64; ++s)
        for (int o = 0; o < 64; ++o) {
            bool ok = with_pawns ? pair_canonical_1806(s, o) : pair_canonical_462(s, o);
            t[s][o] = static_cast<int16_t>(ok ? next++ : NOT_CANONICAL);
        }
    return t;
}

// Block sizes of one or two enumerated men over one class table.
struct Totals {
    int count[TB_KIND_COUNT][64];
    int64_t single[2][TB_KIND_COUNT];              // [with pawns][kind]
    int64_t pair[2][TB_KIND_COUNT][TB_KIND_COUNT]; // [with pawns][higher][lower]
};

// The totals are folded in three constant evaluations (the square counts,
// then the blocks without and with pawns) so that each stays well inside the
// compile-time step budgets of every compiler.
using SquareCounts = std::array<std::array<int, 64>, TB_KIND_COUNT>;

constexpr SquareCounts make_square_counts()
{
    SquareCounts c{};
    for (int k = 0; k < TB_KIND_COUNT; ++k)
        for (int i = 0; i < 64; ++i) {
            int n = 0;
            for (int j = 0; j < 64; ++j)
                n += square_numbered(k, i, j);
            c[k][i] = n;
        }
    return c;
}

inline constexpr SquareCounts SQUARE_COUNTS = make_square_counts();

struct BlockTotals {
    int64_t single[TB_KIND_COUNT];
    int64_t pair[TB_KIND_COUNT][TB_KIND_COUNT]; // [higher][lower]
};

constexpr BlockTotals make_block_totals(bool with_pawns)
{
    BlockTotals t{};
    for (int s = 0; s < 64; ++s)
        for (int o = 0; o < 64; ++o) {
            if (!(with_pawns ? pair_canonical_1806(s, o) : pair_canonical_462(s, o)))
                continue;
            int64_t n[TB_KIND_COUNT];
            for (int k = 0; k < TB_KIND_COUNT; ++k)
                n[k] = SQUARE_COUNTS[k][o] - (square_numbered(k, o, s) ? 1 : 0);
            for (int hi = 0; hi < TB_KIND_COUNT; ++hi) {
                t.single[hi] += n[hi];
                for (int lo = 0; lo <= hi; ++lo)
                    t.pair[hi][lo] += hi == lo ? n[hi] * (n[hi] - 1) / 2 : n[hi] * n[lo];
            }
        }
    return t;
}

inline constexpr BlockTotals BLOCK_TOTALS_462 = make_block_totals(false);
inline constexpr BlockTotals BLOCK_TOTALS_1806 = make_block_totals(true);

constexpr Totals make_totals()
{
    Totals t{};
    for (int k = 0; k < TB_KIND_COUNT; ++k)
        for (int i = 0; i < 64; ++i)
            t.count[k][i] = SQUARE_COUNTS[k][i];
    for (int p = 0; p < 2; ++p) {
        const BlockTotals& b = p ? BLOCK_TOTALS_1806 : BLOCK_TOTALS_462;
        for (int hi = 0; hi < TB_KIND_COUNT; ++hi) {
            t.single[p][hi] = b.single[hi];
            for (int lo = 0; lo < TB_KIND_COUNT; ++lo)
                t.pair[p][hi][lo] = b.pair[hi][lo];
        }
    }
    return t;
}

inline constexpr ClassTable CLASS_462 = make_class_table(false);
inline constexpr ClassTable CLASS_1806 = make_class_table(true);
inline constexpr Totals TOTALS = make_totals();

} // namespace tbrules
