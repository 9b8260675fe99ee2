// A second, slow index written from the description of the table layout
// (loops and searches instead of built tables), compared with every index
// function on random legal positions, both colour assignments, en passant.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/tbindex_test_support.h"

using namespace tbtest;

namespace {

// Square-map kinds as the layout names them.
enum { K_p, K_P, K_N, K_B, K_R, K_Q };

bool contact(int kind, int j, int i)
{
    int df = std::abs(file_of(i) - file_of(j)), dr = std::abs(rank_of(i) - rank_of(j));
    switch (kind) {
        case K_P: return (file_of(j) != 0 && i == j + 7) || (file_of(j) != 7 && i == j + 9);
        case K_N: return df * dr == 2;
        case K_B: return df == 1 && dr == 1;
        case K_R: return df + dr == 1;
        case K_Q: return std::max(df, dr) == 1;
        default: return false;
    }
}

bool numbered(int kind, int row_king, int sq)
{
    if (kind <= K_P && (rank_of(sq) == 0 || rank_of(sq) == 7))
        return false;
    return sq != row_king && !contact(kind, sq, row_king);
}

// Numbered squares below `below` (64: all of them).
int count_numbered(int kind, int row_king, int below)
{
    int n = 0;
    for (int j = 0; j < below; ++j)
        n += numbered(kind, row_king, j);
    return n;
}

int ordinal(int kind, int row_king, int sq)
{
    return numbered(kind, row_king, sq) ? count_numbered(kind, row_king, sq) : -1;
}

bool canonical_pair(bool pawns, int s, int o)
{
    if (distance(s, o) <= 1)
        return false;
    if (pawns)
        return file_of(s) <= 3;
    bool triangle = file_of(s) <= 3 && rank_of(s) <= file_of(s);
    bool diagonal = file_of(s) == rank_of(s);
    return triangle && (!diagonal || file_of(o) >= rank_of(o));
}

// Men of one kind in the class of (s, o): o's row less s when s is numbered.
int64_t men_in_class(int kind, int s, int o)
{
    return count_numbered(kind, o, 64) - (numbered(kind, o, s) ? 1 : 0);
}

// Per class (in class order) the king pair; the start of a class in a block is
// the sum of the sizes of the classes before it.
struct ClassList {
    std::vector<std::pair<int, int>> pairs;
    std::map<std::pair<int, int>, int> number;
};

const ClassList& classes(bool pawns)
{
    static ClassList lists[2];
    ClassList& l = lists[pawns];
    if (l.pairs.empty())
        for (int s = 0; s < 64; ++s)
            for (int o = 0; o < 64; ++o)
                if (canonical_pair(pawns, s, o)) {
                    l.number[{s, o}] = static_cast<int>(l.pairs.size());
                    l.pairs.push_back({s, o});
                }
    return l;
}

// Block of a group (list of kinds, the higher first) from class 0 up to class
// `upto` (exclusive); upto = number of classes gives the block size.
int64_t group_block_before(bool pawns, const std::vector<int>& kinds, int upto)
{
    static std::map<std::vector<int>, std::vector<int64_t>> cache[2];
    std::vector<int64_t>& starts = cache[pawns][kinds];
    if (starts.empty()) {
        const ClassList& l = classes(pawns);
        int64_t sum = 0;
        for (auto [s, o] : l.pairs) {
            starts.push_back(sum);
            int64_t n = kinds.empty() ? 1 : men_in_class(kinds[0], s, o);
            if (kinds.size() == 2)
                n = kinds[0] == kinds[1] ? n * (n - 1) / 2 : n * men_in_class(kinds[1], s, o);
            sum += n;
        }
        starts.push_back(sum);
    }
    return starts[static_cast<size_t>(upto)];
}

struct RefMan {
    int kind, sq; // PAWN..QUEEN, raw square
};

struct Result {
    int64_t offset, space;
};

Result reference_index(const char* name, int side, const int* first, const int* second, int ep,
                       int flip)
{
    // The men of each side, queen first.
    std::vector<RefMan> men[2];
    int half = -1, used[2][5] = {};
    for (const char* p = name; *p; ++p) {
        if (*p == 'k') {
            ++half;
            continue;
        }
        int kind = kind_of_letter(*p);
        const int* squares = half == 0 ? first : second;
        men[half].push_back({kind, squares[kind * 3 + used[half][kind]++]});
    }
    bool pawns = used[0][PAWN] + used[1][PAWN] > 0;
    std::vector<RefMan>&S = men[side], &O = men[1 - side];
    int s = (side == 0 ? first : second)[TB_SLOT_KING],
        o = (side == 0 ? second : first)[TB_SLOT_KING];

    // The group: the mover's men; else the other side's pawns; else none.
    std::vector<RefMan> group;
    std::vector<int> group_kinds;
    std::vector<RefMan> digits_men;
    if (!S.empty()) {
        group = S;
        digits_men = O;
        for (RefMan m : S)
            group_kinds.push_back(m.kind + 1);
    } else {
        for (RefMan m : O) {
            bool in_group = pawns && m.kind == PAWN;
            (in_group ? group : digits_men).push_back(m);
            if (in_group)
                group_kinds.push_back(K_p);
        }
    }
    bool group_pawn =
        std::any_of(group_kinds.begin(), group_kinds.end(), [](int k) { return k <= K_P; });

    // Frames.
    int m = 0;
    bool reflect = false;
    if (!pawns) {
        m = (file_of(s) >= 4 ? 7 : 0) ^ (rank_of(s) >= 4 ? 56 : 0);
        int s1 = s ^ m, o1 = o ^ m;
        bool triangle = file_of(s1) <= 3 && rank_of(s1) <= file_of(s1);
        bool off_diag = file_of(s1) != rank_of(s1);
        reflect = !(triangle && (off_diag || file_of(o1) >= rank_of(o1)));
    } else {
        m = (file_of(s) >= 4 ? 7 : 0) ^ (flip ? 56 : 0);
    }
    auto to_digit_frame = [&](int sq) {
        int x = sq ^ m;
        return reflect ? file_of(x) * 8 + rank_of(x) : x;
    };
    int turn = pawns && side == 1 && group_pawn ? 56 : 0;
    auto to_group_frame = [&](int sq) { return to_digit_frame(sq) ^ turn; };

    int gs = to_group_frame(s), go = to_group_frame(o);
    const ClassList& cl = classes(pawns);
    auto found = cl.number.find({gs, go});
    if (found == cl.number.end())
        return {-1, 0};
    int c = found->second;

    auto number = [&](int kind, int x) {
        return ordinal(kind, go, x) - (numbered(kind, go, gs) && gs < x ? 1 : 0);
    };

    int64_t base = group_block_before(pawns, group_kinds, c);
    if (group.size() == 1) {
        base += number(group_kinds[0], to_group_frame(group[0].sq));
    } else if (group.size() == 2 && group_kinds[0] != group_kinds[1]) {
        int64_t ni = number(group_kinds[0], to_group_frame(group[0].sq));
        base += ni * men_in_class(group_kinds[1], gs, go) +
                number(group_kinds[1], to_group_frame(group[1].sq));
    } else if (group.size() == 2) {
        int a = to_group_frame(group[0].sq), b = to_group_frame(group[1].sq);
        int64_t nlo = number(group_kinds[0], std::min(a, b)),
                nhi = number(group_kinds[0], std::max(a, b));
        base += nhi * (nhi - 1) / 2 + nlo;
    }
    int64_t block = group_block_before(pawns, group_kinds, static_cast<int>(cl.pairs.size()));

    // Digits, queen first, pawns last; like men form one pair digit.
    std::vector<int> group_sq_d, pawn_sq_d;
    for (RefMan g : group)
        group_sq_d.push_back(to_digit_frame(g.sq));
    for (int p = 0; p < 2; ++p)
        for (RefMan x : men[p])
            if (x.kind == PAWN)
                pawn_sq_d.push_back(to_digit_frame(x.sq));
    std::vector<int> earlier; // squares of the non-pawn digits so far
    int64_t offset = base;
    for (size_t i = 0; i < digits_men.size(); ++i) {
        RefMan d = digits_men[i];
        bool pair = i + 1 < digits_men.size() && digits_men[i + 1].kind == d.kind;
        // Squares a pawn digit skips: the group's pawns; a piece digit: the
        // kings, the group, all pawns and the earlier piece digits.
        std::vector<int> excluded;
        for (size_t g = 0; g < group.size(); ++g)
            if (d.kind != PAWN || group[g].kind == PAWN)
                excluded.push_back(group_sq_d[g]);
        if (d.kind != PAWN) {
            excluded.insert(excluded.end(), {to_digit_frame(s), to_digit_frame(o)});
            for (int p : pawn_sq_d)
                if (std::find(excluded.begin(), excluded.end(), p) == excluded.end())
                    excluded.push_back(p);
            excluded.insert(excluded.end(), earlier.begin(), earlier.end());
        }
        int first_sq = d.kind == PAWN ? 8 : 0;
        int64_t r = (d.kind == PAWN ? 48 : 64) - static_cast<int64_t>(excluded.size());
        auto reduce = [&](int x) {
            int64_t below = 0;
            for (int e : excluded)
                below += e < x;
            return x - first_sq - below;
        };
        int x = to_digit_frame(d.sq);
        if (!pair) {
            offset = offset * r + reduce(x);
            block *= r;
            if (d.kind != PAWN)
                earlier.push_back(x);
        } else {
            int y = to_digit_frame(digits_men[i + 1].sq);
            int64_t dlo = reduce(std::min(x, y)), dhi = reduce(std::max(x, y));
            offset = offset * (r * (r - 1) / 2) + dhi * (dhi - 1) / 2 + dlo;
            block *= r * (r - 1) / 2;
            if (d.kind != PAWN) {
                earlier.push_back(x);
                earlier.push_back(y);
            }
            ++i;
        }
    }

    // En passant, in the rows where both sides have pawns.
    if (used[0][PAWN] == 0 || used[1][PAWN] == 0)
        return {offset, block};
    int first_pawns = used[0][PAWN];
    bool first_piece = men[0].size() > static_cast<size_t>(first_pawns);
    int64_t ep_block = first_pawns == 2 ? 1806 * 616
                       : first_piece
                           ? (side == 0 ? group_block_before(true, {men[0][0].kind + 1}, 1806) * 14
                                        : 1806 * 58 * 14)
                           : 1806 * 14;
    int64_t space = block + ep_block;
    if (ep == 127)
        return {offset, space};
    int e = ep ^ m;
    int sd = s ^ m, od = o ^ m;
    int cm = classes(true).number.at({sd, od});
    std::vector<int> fp, sp; // pawn squares of each side, frame of m
    for (int half = 0; half < 2; ++half)
        for (RefMan x : men[half])
            if (x.kind == PAWN)
                (half == 0 ? fp : sp).push_back(x.sq ^ m);
    std::sort(fp.begin(), fp.end());
    auto code_of = [&](int x, int toward_a) { return toward_a ? file_of(x) - 1 : file_of(x) + 7; };
    auto takes = [&](int x, int target, int delta_a, int delta_h) {
        return (x + delta_a == target && file_of(x) != 0) ||
               (x + delta_h == target && file_of(x) != 7);
    };
    int64_t index = -1;
    if (side == 0) {
        if (rank_of(e) != 5 || sp[0] != e - 8)
            return {offset, space};
        int cap = first_pawns == 2 && !takes(fp[0], e, 7, 9) ? fp[1] : fp[0];
        if (!takes(cap, e, 7, 9))
            return {offset, space};
        int code = code_of(cap, cap + 7 == e);
        if (first_pawns == 2) {
            int y = cap == fp[0] ? fp[1] : fp[0];
            int d = y - 8;
            for (int q : {e + 8, e, sp[0], cap})
                d -= q < y;
            index = cm * 616 + d * 14 + code;
        } else if (first_piece) {
            int kind = men[0][0].kind + 1;
            int x = men[0][0].sq ^ m;
            int n = ordinal(kind, od, x) - (numbered(kind, od, sd) && sd < x ? 1 : 0);
            index = (group_block_before(true, {kind}, cm) + n) * 14 + code;
        } else {
            index = cm * 14 + code;
        }
    } else {
        if (rank_of(e) != 2)
            return {offset, space};
        int cap = sp[0];
        if (!takes(cap, e, -9, -7))
            return {offset, space};
        int code = code_of(cap, cap - 9 == e);
        int moved = first_pawns == 2 && fp[0] == e + 8 ? fp[0] : fp.back();
        if (moved != e + 8)
            return {offset, space};
        if (first_pawns == 2) {
            int y = moved == fp[0] ? fp[1] : fp[0];
            int d = y - 8;
            for (int q : {e - 8, e, cap, moved})
                d -= q < y;
            index = cm * 616 + d * 14 + code;
        } else if (first_piece) {
            int x = men[0][0].sq ^ m;
            int d = x;
            for (int q : {e - 8, e, cap, sd, od, moved})
                d -= q < x;
            index = (cm * 58 + d) * 14 + code;
        } else {
            index = cm * 14 + code;
        }
    }
    return {block + index, space};
}

Result reference_of(int id, int side, const Pos& p, int flip)
{
    Args x = args_of(p, flip);
    return reference_index(MATERIAL_ROWS[id].name, side, x.a, x.b, x.ep, flip);
}

// The reference itself must reproduce the worked examples.
TEST(TbIndexReference, ReproducesTheWorkedExamples)
{
    for (const Example& e : worked_examples())
        EXPECT_EQ(reference_of(e.id, e.side, parse_pos(e.first, e.second, e.ep), 0).offset,
                  e.offset)
            << MATERIAL_ROWS[e.id].name << " " << e.first << " " << e.second;
}

TEST(TbIndexReference, AgreesWithEveryFunctionOnRandomPositions)
{
    init_index_tables();
    int count = sanitized() ? 300 : 4000;
    std::mt19937_64 rng(20261209);
    for (int id = 1; id <= TB_INDEX_ROW_COUNT; ++id) {
        Row row = make_row(id);
        for (int side = 0; side < 2; ++side) {
            SCOPED_TRACE(std::string(row.name) + (side ? " btm" : " wtm"));
            for (int i = 0, failures = 0; i < count && failures < 3; ++i) {
                Pos p = random_position(row, side, row.both_pawns && i % 3 == 2, rng);
                int flip = static_cast<int>(rng() % 2);
                Result want = reference_of(id, side, p, flip);
                uint32_t got = call_index(function_of(id, side), p, flip);
                ASSERT_GE(want.offset, 0);
                if (i == 0) {
                    EXPECT_EQ(want.space, static_cast<int64_t>(tb_index_space(id, side)));
                }
                if (static_cast<int64_t>(got) != want.offset && ++failures)
                    ADD_FAILURE() << "position " << i << " flip " << flip << " ep " << p.ep << ": "
                                  << got << " instead of " << want.offset;
            }
        }
    }
}

} // namespace
