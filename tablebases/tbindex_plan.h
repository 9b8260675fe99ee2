// The 220 index functions follow one scheme (frame, king-pair class,
// enumerated group, digits, en-passant block), so they are one template over
// a compile-time plan of the row and side; each instance is a straight run of
// lookups with its kinds, digit order, ranges and block sizes folded in.
// The tbindex_rows_* files instantiate it a group of rows each, so that the
// compiler can work on the groups side by side.
#pragma once

#include <utility>

#include "tablebases/tbindex.h"
#include "tablebases/tbindex_rules.h"

namespace tbplan {

using tbrules::TOTALS;

constexpr int MAX_MEN = 5;

// Men of a row per side: counts of pawns, knights, bishops, rooks, queens.
struct RowShape {
    int first[5];
    int second[5];
};

constexpr RowShape parse_row(const char* name)
{
    RowShape r{};
    const char* rest = parse_piece_letters(name + 1, r.first); // past the first 'k'
    parse_piece_letters(rest + 1, r.second);
    return r;
}

struct Man {
    int arr;  // 0: the first side's squares, 1: the second side's
    int slot; // slot in TbPieceSquares
    bool pawn;
};

struct Digit {
    bool pawn;
    bool pair;
    int man[2];
    int range; // range of one man of the digit
    int excl_count;
    int excl[MAX_MEN]; // men whose squares are taken out of the digit's range
};

enum { EP_NONE, EP_PAWN, EP_TWO_PAWNS, EP_PIECE_AND_PAWN };

// Men are numbered 0 = king of the side to move (S), 1 = king of the other
// side (O), then S's men from queen down to pawn, then O's.
struct Plan {
    bool pawns;  // king pairs of 1806 classes, pawn frame
    bool turned; // the group and its class are read upside down once more
    int men_count;
    Man men[MAX_MEN];
    int group_count;
    int group_kind[2]; // square-map kinds, the higher first
    int group_man[2];
    int digit_count;
    Digit digit[2];
    int ep;
    int s_pawn[2], s_pawn_count;
    int o_pawn[2], o_pawn_count;
    int o_piece; // O's man that is no pawn (en-passant rows)
    int s_piece; // S's man that is no pawn (en-passant rows)
    int64_t group_block;
    int64_t normal_block;
    int64_t space;
};

// Numbers one side's men after those already in the plan, queens first;
// their pawns and last piece are noted, and their men and kinds listed.
// Returns how many there are.
constexpr int add_men(Plan& p, int arr, const int counts[5], int* pawn, int& pawn_count, int& piece,
                      int men[2], int kind[2])
{
    int n = 0;
    for (int k = 4; k >= 0; --k)
        for (int i = 0; i < counts[k]; ++i) {
            p.men[p.men_count] = {arr, 3 * k + i, k == 0};
            if (k == 0)
                pawn[pawn_count++] = p.men_count;
            else
                piece = p.men_count;
            men[n] = p.men_count++;
            kind[n++] = k;
        }
    return n;
}

// The group: S's men, or O's pawns when S has the bare king; marks its men
// in in_group and tells whether the board is turned.
constexpr void plan_group(Plan& p, int side, const int s_men[2], const int s_kind[2], int s_n,
                          const int o_men[2], const int o_kind[2], int o_n, bool* in_group)
{
    if (s_n > 0) {
        for (int i = 0; i < s_n; ++i) {
            p.group_man[i] = s_men[i];
            p.group_kind[i] = s_kind[i] + 1; // P..Q
        }
        p.group_count = s_n;
    } else if (p.pawns) {
        for (int i = 0; i < o_n; ++i)
            if (o_kind[i] == 0) {
                p.group_man[p.group_count] = o_men[i];
                p.group_kind[p.group_count++] = TB_KIND_p;
            }
    }
    bool group_pawn = false;
    for (int i = 0; i < p.group_count; ++i) {
        in_group[p.group_man[i]] = true;
        group_pawn = group_pawn || p.group_kind[i] <= TB_KIND_P;
    }
    p.turned = side == 1 && group_pawn;
}

// Digits: O's men outside the group, queen first, pawns last; like men pair.
constexpr void plan_digits(Plan& p, const int o_men[2], const int o_kind[2], int o_n,
                           const bool* in_group)
{
    int non_pawn_digit_men[MAX_MEN] = {}, non_pawn_n = 0;
    for (int i = 0; i < o_n; ++i) {
        if (in_group[o_men[i]])
            continue;
        Digit& d = p.digit[p.digit_count++];
        d.pawn = o_kind[i] == 0;
        d.man[0] = o_men[i];
        d.pair = i + 1 < o_n && o_kind[i + 1] == o_kind[i];
        if (d.pair)
            d.man[1] = o_men[++i];
        bool excl[MAX_MEN] = {};
        for (int m = 0; m < p.men_count; ++m) {
            if (d.pawn) {
                excl[m] = in_group[m] && p.men[m].pawn;
            } else {
                excl[m] = m < 2 || in_group[m] || p.men[m].pawn;
                for (int j = 0; j < non_pawn_n; ++j)
                    excl[m] = excl[m] || non_pawn_digit_men[j] == m;
            }
        }
        for (int m = 0; m < p.men_count; ++m)
            if (excl[m])
                d.excl[d.excl_count++] = m;
        d.range = (d.pawn ? 48 : 64) - d.excl_count;
        if (!d.pawn) {
            non_pawn_digit_men[non_pawn_n++] = d.man[0];
            if (d.pair)
                non_pawn_digit_men[non_pawn_n++] = d.man[1];
        }
    }
}

// The block sizes and the whole index space, en-passant rows included.
constexpr void plan_sizes(Plan& p, RowShape row, int side)
{
    int pw = p.pawns ? 1 : 0;
    if (p.group_count == 0)
        p.group_block = TB_CLASSES_462;
    else if (p.group_count == 1)
        p.group_block = TOTALS.single[pw][p.group_kind[0]];
    else
        p.group_block = TOTALS.pair[pw][p.group_kind[0]][p.group_kind[1]];
    p.normal_block = p.group_block;
    for (int i = 0; i < p.digit_count; ++i) {
        int64_t r = p.digit[i].range;
        p.normal_block *= p.digit[i].pair ? r * (r - 1) / 2 : r;
    }

    p.space = p.normal_block;
    if (row.first[0] > 0 && row.second[0] > 0) {
        int first_men = row.first[0] + row.first[1] + row.first[2] + row.first[3] + row.first[4];
        p.ep = first_men == 1 ? EP_PAWN : row.first[0] == 2 ? EP_TWO_PAWNS : EP_PIECE_AND_PAWN;
        if (p.ep == EP_PAWN)
            p.space += TB_CLASSES_1806 * 14;
        else if (p.ep == EP_TWO_PAWNS)
            p.space += TB_CLASSES_1806 * 616;
        else if (side == 0)
            p.space += TOTALS.single[1][p.group_kind[0]] * 14;
        else
            p.space += TB_CLASSES_1806 * 58 * 14;
    }
}

constexpr Plan make_plan(RowShape row, int side)
{
    Plan p{};
    const int* s_counts = side == 0 ? row.first : row.second;
    const int* o_counts = side == 0 ? row.second : row.first;
    p.pawns = row.first[0] + row.second[0] > 0;
    p.men[0] = {side, TB_SLOT_KING, false};
    p.men[1] = {1 - side, TB_SLOT_KING, false};
    p.men_count = 2;
    p.s_piece = p.o_piece = -1;

    int s_men[2] = {}, s_kind[2] = {};
    const int s_n = add_men(p, side, s_counts, p.s_pawn, p.s_pawn_count, p.s_piece, s_men, s_kind);
    int o_men[2] = {}, o_kind[2] = {};
    const int o_n =
        add_men(p, 1 - side, o_counts, p.o_pawn, p.o_pawn_count, p.o_piece, o_men, o_kind);

    bool in_group[MAX_MEN] = {};
    plan_group(p, side, s_men, s_kind, s_n, o_men, o_kind, o_n, in_group);
    plan_digits(p, o_men, o_kind, o_n, in_group);
    plan_sizes(p, row, side);
    return p;
}

template <int N, typename F>
[[gnu::always_inline]] inline void unroll(F&& f)
{
    [&]<int... I>(std::integer_sequence<int, I...>)
    {
        (f(std::integral_constant<int, I>{}), ...);
    }
    (std::make_integer_sequence<int, N>{});
}

// Count of the listed men standing below x. The digit is named by its plan and
// its number: a reference to a member of a constant is no template argument
// for every compiler.
template <const Plan& P, int I>
[[gnu::always_inline]] inline int excluded_below(const int* sq, int x)
{
    constexpr const Digit& D = P.digit[I];
    int below = 0;
    unroll<D.excl_count>([&](auto i) { below += sq[D.excl[i]] < x; });
    return below;
}

// Capture codes 0..13 of the en-passant block; -1 when x cannot capture on e.
// Side 0's pawns move up, side 1's down (in the frame of the function).
inline int ep_code_up(int x, int e)
{
    if (x + 7 == e && (x & 7) != 0)
        return (x & 7) - 1;
    if (x + 9 == e && (x & 7) != 7)
        return (x & 7) + 7;
    return -1;
}

inline int ep_code_down(int x, int e)
{
    if (x - 9 == e && (x & 7) != 0)
        return (x & 7) - 1;
    if (x - 7 == e && (x & 7) != 7)
        return (x & 7) + 7;
    return -1;
}

constexpr uint32_t EP_UNUSABLE = 0xFFFFFFFEu;

// Index inside the en-passant block, EP_UNUSABLE when no pawn of the side to
// move can take on the square (then the position is indexed without it), or
// TB_NOT_INDEXABLE when the men cannot stand as given.
template <const Plan& P, int SIDE>
inline uint32_t ep_index(const int* d, int e, int c)
{
    if constexpr (SIDE == 0) {
        if ((e >> 3) != 5 || d[P.o_pawn[0]] != e - 8)
            return EP_UNUSABLE;
        if constexpr (P.ep == EP_PAWN) {
            int code = ep_code_up(d[P.s_pawn[0]], e);
            if (code < 0)
                return EP_UNUSABLE;
            return static_cast<uint32_t>(c * 14 + code);
        } else if constexpr (P.ep == EP_TWO_PAWNS) {
            int a = d[P.s_pawn[0]], b = d[P.s_pawn[1]];
            int lo = a < b ? a : b, hi = a < b ? b : a;
            int capturer = ep_code_up(lo, e) >= 0 ? lo : hi;
            int code = ep_code_up(capturer, e);
            if (code < 0)
                return EP_UNUSABLE;
            int y = capturer == lo ? hi : lo;
            uint32_t dy =
                static_cast<uint32_t>(y - 8 - (e + 8 < y) - (e < y) - (e - 8 < y) - (capturer < y));
            if (dy >= 44)
                return TB_NOT_INDEXABLE;
            return static_cast<uint32_t>(c * 616 + static_cast<int>(dy) * 14 + code);
        } else {
            int code = ep_code_up(d[P.s_pawn[0]], e);
            if (code < 0)
                return EP_UNUSABLE;
            constexpr int K = P.group_kind[0];
            const uint8_t* row = square_map[K] + d[1] * 64;
            int s_in = row[d[0]] != 255;
            int x = d[P.s_piece];
            uint32_t n = static_cast<uint32_t>(row[x] - (s_in & (d[0] < x)));
            if (n >= static_cast<uint32_t>(square_count[K][d[1]] - s_in))
                return TB_NOT_INDEXABLE;
            return (static_cast<uint32_t>(single_offsets_1806[K][c]) + n) * 14 +
                   static_cast<uint32_t>(code);
        }
    } else {
        if ((e >> 3) != 2)
            return EP_UNUSABLE;
        int capturer = d[P.s_pawn[0]];
        int code = ep_code_down(capturer, e);
        if (code < 0)
            return EP_UNUSABLE;
        if constexpr (P.ep == EP_TWO_PAWNS) {
            int a = d[P.o_pawn[0]], b = d[P.o_pawn[1]];
            int lo = a < b ? a : b, hi = a < b ? b : a;
            int moved = lo == e + 8 ? lo : hi;
            if (moved != e + 8)
                return EP_UNUSABLE;
            int y = moved == lo ? hi : lo;
            uint32_t dy =
                static_cast<uint32_t>(y - 8 - (e - 8 < y) - (e < y) - (capturer < y) - (moved < y));
            if (dy >= 44)
                return TB_NOT_INDEXABLE;
            return static_cast<uint32_t>(c * 616 + static_cast<int>(dy) * 14 + code);
        } else {
            int moved = d[P.o_pawn[0]];
            if (moved != e + 8)
                return EP_UNUSABLE;
            if constexpr (P.ep == EP_PAWN) {
                return static_cast<uint32_t>(c * 14 + code);
            } else {
                int x = d[P.o_piece];
                uint32_t dx = static_cast<uint32_t>(x - (e - 8 < x) - (e < x) - (capturer < x) -
                                                    (d[0] < x) - (d[1] < x) - (moved < x));
                if (dx >= 58)
                    return TB_NOT_INDEXABLE;
                return (static_cast<uint32_t>(c) * 58 + dx) * 14 + static_cast<uint32_t>(code);
            }
        }
    }
}

template <const Plan& P, int I>
[[gnu::always_inline]] inline uint32_t digit_value(const int* d, uint32_t& range, bool& ok)
{
    constexpr const Digit& D = P.digit[I];
    constexpr int first = D.pawn ? 8 : 0;
    if constexpr (!D.pair) {
        int x = d[D.man[0]];
        uint32_t v = static_cast<uint32_t>(x - first - excluded_below<P, I>(d, x));
        ok &= v < static_cast<uint32_t>(D.range);
        range = static_cast<uint32_t>(D.range);
        return v;
    } else {
        int a = d[D.man[0]], b = d[D.man[1]];
        int lo = a < b ? a : b, hi = a < b ? b : a;
        uint32_t vlo = static_cast<uint32_t>(lo - first - excluded_below<P, I>(d, lo));
        uint32_t vhi = static_cast<uint32_t>(hi - first - excluded_below<P, I>(d, hi));
        ok &= (vlo < vhi) & (vhi < static_cast<uint32_t>(D.range));
        range = static_cast<uint32_t>(D.range * (D.range - 1) / 2);
        return vhi * (vhi - 1) / 2 + vlo;
    }
}

template <const Plan& P>
[[gnu::always_inline]] inline uint32_t group_base(const int* g, int c, bool& ok)
{
    if constexpr (P.group_count == 0) {
        return static_cast<uint32_t>(c);
    } else {
        int s = g[0], o = g[1];
        constexpr int KH = P.group_kind[0];
        const uint8_t* row_h = square_map[KH] + o * 64;
        int s_in_h = row_h[s] != 255;
        int xh = g[P.group_man[0]];
        if constexpr (P.group_count == 1) {
            uint32_t n = static_cast<uint32_t>(row_h[xh] - (s_in_h & (s < xh)));
            ok &= n < static_cast<uint32_t>(square_count[KH][o] - s_in_h);
            const int* offsets = P.pawns ? single_offsets_1806[KH] : single_offsets_462[KH];
            return static_cast<uint32_t>(offsets[c]) + n;
        } else {
            constexpr int KL = P.group_kind[1];
            const int* offsets = P.pawns ? pair_offsets_1806[KH][KL] : pair_offsets_462[KH][KL];
            int xl = g[P.group_man[1]];
            if constexpr (KH == KL) {
                int lo = xh < xl ? xh : xl, hi = xh < xl ? xl : xh;
                uint32_t nlo = static_cast<uint32_t>(row_h[lo] - (s_in_h & (s < lo)));
                uint32_t nhi = static_cast<uint32_t>(row_h[hi] - (s_in_h & (s < hi)));
                ok &= (nlo < nhi) & (nhi < static_cast<uint32_t>(square_count[KH][o] - s_in_h));
                return static_cast<uint32_t>(offsets[c]) + nhi * (nhi - 1) / 2 + nlo;
            } else {
                const uint8_t* row_l = square_map[KL] + o * 64;
                int s_in_l = row_l[s] != 255;
                uint32_t nh = static_cast<uint32_t>(row_h[xh] - (s_in_h & (s < xh)));
                uint32_t nl = static_cast<uint32_t>(row_l[xl] - (s_in_l & (s < xl)));
                uint32_t ml = static_cast<uint32_t>(square_count[KL][o] - s_in_l);
                ok &= (nh < static_cast<uint32_t>(square_count[KH][o] - s_in_h)) & (nl < ml);
                return static_cast<uint32_t>(offsets[c]) + nh * ml + nl;
            }
        }
    }
}

#define TB_ROW_NAME(id, name) #name,
constexpr const char* ROW_NAMES[TB_INDEX_ROW_COUNT + 1] = {"kk", TB_INDEX_ROWS(TB_ROW_NAME)};
#undef TB_ROW_NAME

// Instances are keyed by the row id (an integer keeps the instance names
// distinct in every compiler's mangling).
template <int ID, int SIDE>
struct IndexPlan {
    static constexpr Plan plan = make_plan(parse_row(ROW_NAMES[ID]), SIDE);
};

template <int ID, int SIDE>
uint32_t tb_index(const int* first, const int* second, int ep_square, int flip)
{
    static constexpr const Plan& P = IndexPlan<ID, SIDE>::plan;
    const int* side_squares[2] = {first, second};
    int raw[MAX_MEN];
    unroll<P.men_count>([&](auto i) { raw[i] = side_squares[P.men[i].arr][P.men[i].slot] & 63; });

    // Frame: d holds the squares of the digits and en passant, g those of the
    // king-pair class and the group.
    int d[MAX_MEN], g[MAX_MEN];
    int m;
    if constexpr (!P.pawns) {
        m = QUADRANT_MASK[raw[0]];
        int s = raw[0] ^ m, o = raw[1] ^ m;
        bool keep = IN_TRIANGLE[s] & (OFF_DIAGONAL[s] | ON_OR_BELOW_DIAGONAL[o]);
        unroll<P.men_count>([&](auto i) {
            int x = raw[i] ^ m;
            d[i] = g[i] = keep ? x : DIAGONAL_REFLECT[x];
        });
    } else {
        m = FILE_MIRROR_MASK[raw[0]] ^ COLOUR_FLIP_MASK[flip & 1];
        unroll<P.men_count>([&](auto i) {
            d[i] = raw[i] ^ m;
            g[i] = P.turned ? d[i] ^ 56 : d[i];
        });
    }

    int c = (P.pawns ? KING_PAIR_CLASS_1806 : KING_PAIR_CLASS_462)[g[0]][g[1]];
    if (c == NOT_CANONICAL)
        return TB_NOT_INDEXABLE;

    if constexpr (P.ep != EP_NONE) {
        if (static_cast<unsigned>(ep_square) < 64) {
            int c_ep = P.turned ? KING_PAIR_CLASS_1806[d[0]][d[1]] : c;
            uint32_t e = ep_index<P, SIDE>(d, ep_square ^ m, c_ep);
            if (e != EP_UNUSABLE)
                return e == TB_NOT_INDEXABLE ? e : static_cast<uint32_t>(P.normal_block) + e;
        }
    }

    bool ok = true;
    uint32_t offset = group_base<P>(g, c, ok);
    if constexpr (P.digit_count >= 1) {
        uint32_t range;
        uint32_t v = digit_value<P, 0>(d, range, ok);
        offset = offset * range + v;
    }
    if constexpr (P.digit_count >= 2) {
        uint32_t range;
        uint32_t v = digit_value<P, 1>(d, range, ok);
        offset = offset * range + v;
    }
    return ok ? offset : TB_NOT_INDEXABLE;
}

} // namespace tbplan

// Defines the two index functions of a row (id, name).
#define TB_DEFINE_INDEX_PAIR(id, name)                                                             \
    uint32_t index_##name##_wtm(const int* first, const int* second, int ep_square, int flip)      \
    {                                                                                              \
        return tbplan::tb_index<id, 0>(first, second, ep_square, flip);                            \
    }                                                                                              \
    uint32_t index_##name##_btm(const int* first, const int* second, int ep_square, int flip)      \
    {                                                                                              \
        return tbplan::tb_index<id, 1>(first, second, ep_square, flip);                            \
    }
