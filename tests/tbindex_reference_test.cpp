// A second, slow index written straight from the description of the table
// layout (loops and searches instead of built tables and folded constants),
// compared with every index function on random legal positions, in both
// colour assignments and with en passant where the row has it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/tbindex_test_support.h"

using namespace tbtest;

namespace {

// Square-map kinds as the layout names them.
enum { K_p, K_P, K_N, K_B, K_R, K_Q };

bool contact(int kind, int j, int i) {
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

bool numbered(int kind, int row_king, int sq) {
    if (kind <= K_P && (rank_of(sq) == 0 || rank_of(sq) == 7))
        return false;
    return sq != row_king && !contact(kind, sq, row_king);
}

int ordinal(int kind, int row_king, int sq) {
    if (!numbered(kind, row_king, sq))
        return -1;
    int n = 0;
    for (int j = 0; j < sq; ++j)
        n += numbered(kind, row_king, j);
    return n;
}

int numbered_count(int kind, int row_king) {
    int n = 0;
    for (int j = 0; j < 64; ++j)
        n += numbered(kind, row_king, j);
    return n;
}

bool canonical_pair(bool pawns, int s, int o) {
    if (distance(s, o) <= 1)
        return false;
    if (pawns)
        return file_of(s) <= 3;
    bool triangle = file_of(s) <= 3 && rank_of(s) <= file_of(s);
    bool diagonal = file_of(s) == rank_of(s);
    return triangle && (!diagonal || file_of(o) >= rank_of(o));
}

// Men of one kind in the class of (s, o): o's row less s when s is numbered.
int64_t men_in_class(int kind, int s, int o) { return numbered_count(kind, o) - (numbered(kind, o, s) ? 1 : 0); }

// Per class (in class order) the king pair; the start of a class in a block is
// the sum of the sizes of the classes before it.
struct ClassList {
    std::vector<std::pair<int, int>> pairs;
    std::map<std::pair<int, int>, int> number;
};

const ClassList& classes(bool pawns) {
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
int64_t group_block_before(bool pawns, const std::vector<int>& kinds, int upto) {
    static std::map<std::vector<int>, std::vector<int64_t>> cache[2];
    std::vector<int64_t>& starts = cache[pawns][kinds];
    if (starts.empty()) {
        const ClassList& l = classes(pawns);
        int64_t sum = 0;
        for (auto [s, o] : l.pairs) {
            starts.push_back(sum);
            if (kinds.empty()) {
                sum += 1;
            } else if (kinds.size() == 1) {
                sum += men_in_class(kinds[0], s, o);
            } else if (kinds[0] == kinds[1]) {
                int64_t n = men_in_class(kinds[0], s, o);
                sum += n * (n - 1) / 2;
            } else {
                sum += men_in_class(kinds[0], s, o) * men_in_class(kinds[1], s, o);
            }
        }
        starts.push_back(sum);
    }
    return starts[static_cast<size_t>(upto)];
}

struct RefMan {
    int kind;   // PAWN..QUEEN
    int sq;     // raw square
};

struct Result {
    int64_t offset;
    int64_t space;
};

Result reference_index(const char* name, int side, const int* first, const int* second, int ep, int flip) {
    // The men of each side, queen first.
    std::vector<RefMan> men[2];
    int half = -1, used[2][5] = {};
    for (const char* p = name; *p; ++p) {
        if (*p == 'k') {
            ++half;
            continue;
        }
        int kind = *p == 'q' ? QUEEN : *p == 'r' ? ROOK : *p == 'b' ? BISHOP : *p == 'n' ? KNIGHT : PAWN;
        const int* squares = half == 0 ? first : second;
        men[half].push_back({kind, squares[kind * 3 + used[half][kind]++]});
    }
    bool pawns = used[0][PAWN] + used[1][PAWN] > 0;
    const int* mover_sq = side == 0 ? first : second;
    const int* other_sq = side == 0 ? second : first;
    std::vector<RefMan>& S = men[side];
    std::vector<RefMan>& O = men[1 - side];
    int s = mover_sq[15], o = other_sq[15];

    // The group: the mover's men; else the other side's pawns; else none.
    std::vector<RefMan> group;
    std::vector<int> group_kinds;
    std::vector<RefMan> digits_men;
    if (!S.empty()) {
        for (RefMan m : S) {
            group.push_back(m);
            group_kinds.push_back(m.kind + 1);
        }
        digits_men = O;
    } else {
        for (RefMan m : O) {
            if (pawns && m.kind == PAWN) {
                group.push_back(m);
                group_kinds.push_back(K_p);
            } else {
                digits_men.push_back(m);
            }
        }
    }
    bool group_pawn = false;
    for (int k : group_kinds)
        group_pawn = group_pawn || k <= K_P;

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

    int64_t base = 0;
    if (group.empty()) {
        base = c;
    } else if (group.size() == 1) {
        base = group_block_before(pawns, group_kinds, c) + number(group_kinds[0], to_group_frame(group[0].sq));
    } else if (group_kinds[0] != group_kinds[1]) {
        int ki = group_kinds[0], kk = group_kinds[1];
        int64_t ni = number(ki, to_group_frame(group[0].sq));
        int64_t nk = number(kk, to_group_frame(group[1].sq));
        base = group_block_before(pawns, group_kinds, c) + ni * men_in_class(kk, gs, go) + nk;
    } else {
        int a = to_group_frame(group[0].sq), b = to_group_frame(group[1].sq);
        int64_t nlo = number(group_kinds[0], std::min(a, b)), nhi = number(group_kinds[0], std::max(a, b));
        base = group_block_before(pawns, group_kinds, c) + nhi * (nhi - 1) / 2 + nlo;
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
    std::vector<int> earlier;   // squares of the non-pawn digits so far
    int64_t offset = base;
    for (size_t i = 0; i < digits_men.size(); ++i) {
        RefMan d = digits_men[i];
        bool pair = i + 1 < digits_men.size() && digits_men[i + 1].kind == d.kind;
        std::vector<int> excluded;
        if (d.kind == PAWN) {
            for (size_t g = 0; g < group.size(); ++g)
                if (group[g].kind == PAWN)
                    excluded.push_back(group_sq_d[g]);
        } else {
            excluded.push_back(to_digit_frame(s));
            excluded.push_back(to_digit_frame(o));
            for (int g : group_sq_d)
                excluded.push_back(g);
            for (int p : pawn_sq_d)
                if (std::find(excluded.begin(), excluded.end(), p) == excluded.end())
                    excluded.push_back(p);
            for (int e : earlier)
                excluded.push_back(e);
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
                       : first_piece    ? (side == 0 ? group_block_before(true, {men[0][0].kind + 1}, 1806) * 14
                                                     : 1806 * 58 * 14)
                                        : 1806 * 14;
    int64_t space = block + ep_block;
    if (ep == 127)
        return {offset, space};
    int e = ep ^ m;
    int sd = s ^ m, od = o ^ m;
    int cm = classes(true).number.at({sd, od});
    std::vector<int> fp, sp;   // pawn squares of each side, frame of m
    for (RefMan x : men[0])
        if (x.kind == PAWN)
            fp.push_back(x.sq ^ m);
    for (RefMan x : men[1])
        if (x.kind == PAWN)
            sp.push_back(x.sq ^ m);
    std::sort(fp.begin(), fp.end());
    auto code_of = [&](int x, int toward_a) { return toward_a ? file_of(x) - 1 : file_of(x) + 7; };
    auto takes = [&](int x, int target, int delta_a, int delta_h) {
        return (x + delta_a == target && file_of(x) != 0) || (x + delta_h == target && file_of(x) != 7);
    };
    int64_t index = -1;
    if (side == 0) {
        if (rank_of(e) != 5 || sp[0] != e - 8)
            return {offset, space};
        int cap = -1;
        if (first_pawns == 2)
            cap = takes(fp[0], e, 7, 9) ? fp[0] : fp[1];
        else
            cap = fp[0];
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

Result reference_of(int id, int side, const Pos& p, int flip) {
    int a[16], b[16];
    int x = flip ? 56 : 0;
    for (int i = 0; i < 16; ++i) {
        a[i] = p.sq[0][i] ^ x;
        b[i] = p.sq[1][i] ^ x;
    }
    int ep = p.ep == TB_NO_EP_SQUARE ? TB_NO_EP_SQUARE : p.ep ^ x;
    return reference_index(MATERIAL_ROWS[id].name, side, a, b, ep, flip);
}

// "Ke1 Pe2" into the slots of one side.
void put_men(const char* text, int* sq) {
    int used[6] = {};
    for (const char* p = text;; p += 4) {
        const char* kinds = "PNBRQK";
        int kind = static_cast<int>(std::strchr(kinds, p[0]) - kinds);
        sq[kind == 5 ? 15 : kind * 3 + used[kind]++] = (p[2] - '1') * 8 + (p[1] - 'a');
        if (p[3] == '\0')
            break;
    }
}

// The reference itself must reproduce the documented examples.
TEST(TbIndexReference, ReproducesTheWorkedExamples) {
    struct Example {
        const char* row;
        int side;
        const char* first;
        const char* second;
        int ep;
        int64_t offset;
    };
    const Example examples[] = {
        {"kpk", 0, "Ke1 Pe2", "Ke8", 127, 10487},
        {"kpk", 1, "Ka1 Pa2", "Kc1", 127, 81073},
        {"knk", 1, "Kc1 Na1", "Ka3", 127, 6262},
        {"knnk", 0, "Ka1 Nb1 Nc3", "Kh8", 127, 50255},
        {"knnk", 1, "Ka1 Nb1 Nc3", "Kh8", 127, 62386},
        {"krbkn", 1, "Ke4 Ra7 Bh3", "Kb1 Nc6", 127, 11520742},
        {"kqqkr", 0, "Kb2 Qd5 Qf6", "Kg8 Ra8", 127, 21292387},
        {"kpkp", 0, "Ka1 Pc5", "Kh8 Pd5", 43, 3839043},
        {"kppkp", 0, "Ka1 Pa3 Pe5", "Kh8 Pd5", 43, 83143325},
        {"knpkp", 1, "Ka8 Nh1 Pd4", "Kh6 Pe4", 19, 231253086},
    };
    for (const Example& e : examples) {
        int a[16] = {}, b[16] = {};
        put_men(e.first, a);
        put_men(e.second, b);
        EXPECT_EQ(reference_index(e.row, e.side, a, b, e.ep, 0).offset, e.offset) << e.row << " " << e.side;
    }
}

TEST(TbIndexReference, AgreesWithEveryFunctionOnRandomPositions) {
    init_index_tables();
    int count = sanitized() ? 300 : 4000;
    std::mt19937_64 rng(20261209);
    for (int id = 1; id <= TB_INDEX_ROW_COUNT; ++id) {
        Row row = make_row(id);
        for (int side = 0; side < 2; ++side) {
            SCOPED_TRACE(std::string(row.name) + (side ? " btm" : " wtm"));
            TbIndexFn fn = function_of(id, side);
            int failures = 0;
            for (int i = 0; i < count && failures < 3; ++i) {
                bool ep = row.both_pawns && i % 3 == 2;
                Pos p = random_position(row, side, ep, rng);
                int flip = static_cast<int>(rng() % 2);
                Result want = reference_of(id, side, p, flip);
                uint32_t got = call_index(fn, p, flip);
                ASSERT_GE(want.offset, 0);
                if (i == 0) {
                    EXPECT_EQ(want.space, static_cast<int64_t>(tb_index_space(id, side)));
                }
                if (static_cast<int64_t>(got) != want.offset) {
                    ++failures;
                    ADD_FAILURE() << "position " << i << " flip " << flip << " ep " << p.ep << ": " << got
                                  << " instead of " << want.offset;
                }
            }
        }
    }
}

}  // namespace
