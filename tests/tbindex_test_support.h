// Shared by the index tests: rows as lists of men, legal positions in the
// table's own terms (the first side's pawns move towards rank 8), random
// legal positions, a code equal for two positions exactly when one is an
// image of the other (board symmetries, exchange of like men), the worked
// examples, and a small thread pool. Written from the rules of chess.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "tablebases/material.h"
#include "tablebases/tbindex.h"

namespace tbtest {

inline bool sanitized()
{
    return std::getenv("QUARVEL_SANITIZED") != nullptr;
}

enum { PAWN, KNIGHT, BISHOP, ROOK, QUEEN, KING };

inline int file_of(int sq)
{
    return sq & 7;
}
inline int rank_of(int sq)
{
    return sq >> 3;
}
inline int distance(int a, int b)
{
    return std::max(std::abs(file_of(a) - file_of(b)), std::abs(rank_of(a) - rank_of(b)));
}
inline int kind_of_letter(char c)
{
    return c == 'q' ? QUEEN : c == 'r' ? ROOK : c == 'b' ? BISHOP : c == 'n' ? KNIGHT : PAWN;
}

struct Man {
    int side, slot, kind; // side 0 is the first side; slot in TbPieceSquares
};

// Both kings, then each side's men queen first; like men are adjacent.
struct Row {
    int id;
    const char* name;
    std::vector<Man> men;
    bool pawns, both_pawns;
};

inline Row make_row(int id)
{
    Row r{id,
          MATERIAL_ROWS[id].name,
          {{0, TB_SLOT_KING, KING}, {1, TB_SLOT_KING, KING}},
          false,
          false};
    int side = -1, counts[2][5] = {};
    for (const char* p = r.name; *p; ++p) {
        if (*p == 'k') {
            ++side;
            continue;
        }
        int kind = kind_of_letter(*p);
        r.men.push_back({side, kind * 3 + counts[side][kind]++, kind});
    }
    r.pawns = counts[0][PAWN] + counts[1][PAWN] > 0;
    r.both_pawns = counts[0][PAWN] > 0 && counts[1][PAWN] > 0;
    return r;
}

struct Pos {
    int sq[2][16];
    int ep; // TB_NO_EP_SQUARE for none
};

inline int man_square(const Pos& p, const Man& m)
{
    return p.sq[m.side][m.slot];
}

inline uint64_t occupancy(const Pos& p, const Row& r)
{
    uint64_t occ = 0;
    for (const Man& m : r.men)
        occ |= uint64_t{1} << man_square(p, m);
    return occ;
}

// Does a man of `kind` and `side` (side 0's pawns move up) on `from` attack `to`?
inline bool attacks(int kind, int side, int from, int to, uint64_t occ)
{
    int df = file_of(to) - file_of(from), dr = rank_of(to) - rank_of(from);
    if (kind == PAWN)
        return std::abs(df) == 1 && dr == (side == 0 ? 1 : -1);
    if (kind == KNIGHT)
        return std::abs(df * dr) == 2;
    if (kind == KING)
        return std::max(std::abs(df), std::abs(dr)) == 1;
    bool straight = df == 0 || dr == 0, diagonal = std::abs(df) == std::abs(dr);
    if (from == to || (kind == ROOK && !straight) || (kind == BISHOP && !diagonal) ||
        (!straight && !diagonal))
        return false;
    int step = (dr > 0 ? 8 : dr < 0 ? -8 : 0) + (df > 0 ? 1 : df < 0 ? -1 : 0);
    for (int s = from + step; s != to; s += step)
        if (occ >> s & 1)
            return false;
    return true;
}

inline bool in_check(const Pos& p, const Row& r, int side)
{
    uint64_t occ = occupancy(p, r);
    for (const Man& m : r.men)
        if (m.side != side &&
            attacks(m.kind, m.side, man_square(p, m), p.sq[side][TB_SLOT_KING], occ))
            return true;
    return false;
}

// Distinct squares, kings apart, no pawn on ranks 1 and 8.
inline bool placement_ok(const Pos& p, const Row& r)
{
    uint64_t seen = 0;
    for (const Man& m : r.men) {
        int s = man_square(p, m);
        if (s < 0 || s > 63 || (seen >> s & 1) || (m.kind == PAWN && (s < 8 || s > 55)))
            return false;
        seen |= uint64_t{1} << s;
    }
    return distance(p.sq[0][TB_SLOT_KING], p.sq[1][TB_SLOT_KING]) > 1;
}

// The mover can take en passant on e: the other side's pawn has just stepped
// two squares past e, a pawn of the mover stands beside it, and (unless only
// the pawns are asked about) e and the origin are empty and the mover was not
// in check before that step.
inline bool ep_legal(const Pos& p, const Row& r, int mover, int e, bool pawns_only = false)
{
    int up = mover == 0 ? 8 : -8;
    int landed = e - up, origin = e + up;
    uint64_t occ = occupancy(p, r);
    if (rank_of(e) != (mover == 0 ? 5 : 2) ||
        (!pawns_only && ((occ >> e & 1) || (occ >> origin & 1))))
        return false;
    const Man* stepped = nullptr;
    bool capturer = false;
    for (const Man& m : r.men) {
        int s = man_square(p, m);
        if (m.kind == PAWN && m.side != mover && s == landed)
            stepped = &m;
        if (m.kind == PAWN && m.side == mover && rank_of(s) == rank_of(landed) &&
            std::abs(file_of(s) - file_of(landed)) == 1)
            capturer = true;
    }
    if (stepped == nullptr || !capturer || pawns_only)
        return stepped != nullptr && capturer;
    Pos before = p;
    before.sq[stepped->side][stepped->slot] = origin;
    return !in_check(before, r, mover);
}

inline bool legal(const Pos& p, const Row& r, int mover)
{
    if (!placement_ok(p, r) || in_check(p, r, 1 - mover))
        return false;
    return p.ep == TB_NO_EP_SQUARE || ep_legal(p, r, mover, p.ep);
}

// Symmetry t: bit 0 mirrors files, bit 1 ranks, bit 2 the diagonal.
inline int transform(int sq, int t)
{
    int f = file_of(sq), rk = rank_of(sq);
    if (t & 1)
        f = 7 - f;
    if (t & 2)
        rk = 7 - rk;
    if (t & 4)
        std::swap(f, rk);
    return rk * 8 + f;
}

// The smallest code among the images that bring the first side's king into
// a1-d1-d4 (without pawns) or onto files a-d (with pawns, file mirror only).
// Every image of a position has the same set of such images.
inline uint64_t canonical_code(const Pos& p, const Row& r)
{
    uint64_t best = ~uint64_t{0};
    for (int t = 0; t < (r.pawns ? 2 : 8); ++t) {
        int k = transform(p.sq[0][TB_SLOT_KING], t);
        if (file_of(k) > 3 || (!r.pawns && rank_of(k) > file_of(k)))
            continue;
        int sq[8];
        size_t n = r.men.size();
        for (size_t i = 0; i < n; ++i)
            sq[i] = transform(man_square(p, r.men[i]), t);
        for (size_t i = 0; i + 1 < n; ++i)
            if (r.men[i].side == r.men[i + 1].side && r.men[i].kind == r.men[i + 1].kind &&
                sq[i] > sq[i + 1])
                std::swap(sq[i], sq[i + 1]);
        uint64_t code = p.ep == TB_NO_EP_SQUARE ? 64 : static_cast<uint64_t>(transform(p.ep, t));
        for (size_t i = 0; i < n; ++i)
            code = code << 6 | static_cast<uint64_t>(sq[i]);
        best = std::min(best, code);
    }
    return best;
}

inline Pos empty_pos()
{
    Pos p{};
    p.ep = TB_NO_EP_SQUARE;
    return p;
}

// A random legal position with `mover` to move; with want_ep, one where the
// mover can take en passant (rows where both sides have pawns).
inline Pos random_position(const Row& r, int mover, bool want_ep, std::mt19937_64& rng)
{
    for (;;) {
        Pos p = empty_pos();
        for (const Man& m : r.men)
            p.sq[m.side][m.slot] =
                m.kind == PAWN ? 8 + static_cast<int>(rng() % 48) : static_cast<int>(rng() % 64);
        if (want_ep) {
            // The other side's pawn beside one of the mover's after a double step.
            int e = (mover == 0 ? 40 : 16) + static_cast<int>(rng() % 8);
            int up = mover == 0 ? 8 : -8;
            int f = file_of(e) + (rng() % 2 ? 1 : -1);
            if (f < 0 || f > 7)
                continue;
            const Man *mine = nullptr, *theirs = nullptr;
            for (const Man& m : r.men)
                if (m.kind == PAWN) {
                    if (m.side == mover && (mine == nullptr || rng() % 2))
                        mine = &m;
                    if (m.side != mover && (theirs == nullptr || rng() % 2))
                        theirs = &m;
                }
            p.sq[theirs->side][theirs->slot] = e - up;
            p.sq[mine->side][mine->slot] = rank_of(e - up) * 8 + f;
            p.ep = e;
        }
        if (legal(p, r, mover))
            return p;
    }
}

// Squares as the index functions take them, with the board turned upside
// down (colours exchanged) when flip is 1.
struct Args {
    int a[16], b[16], ep;
};
inline Args args_of(const Pos& p, int flip)
{
    Args x;
    int turn = flip ? 56 : 0;
    for (int i = 0; i < 16; ++i) {
        x.a[i] = p.sq[0][i] ^ turn;
        x.b[i] = p.sq[1][i] ^ turn;
    }
    x.ep = p.ep == TB_NO_EP_SQUARE ? TB_NO_EP_SQUARE : p.ep ^ turn;
    return x;
}

inline uint32_t call_index(TbIndexFn fn, const Pos& p, int flip)
{
    Args x = args_of(p, flip);
    return fn(x.a, x.b, x.ep, flip);
}

inline TbIndexFn function_of(int id, int side)
{
    return MATERIAL_ROWS[id].index_fn[side];
}

inline int square(const char* s)
{
    return (s[1] - '1') * 8 + (s[0] - 'a');
}

// "Ke1 Pe2" into the slots of one side; a kind held twice fills two slots.
inline void put_men(const char* text, int* sq)
{
    int used[6] = {};
    for (const char* p = text; *p; p += p[3] ? 4 : 3) {
        int kind = static_cast<int>(std::strchr("PNBRQK", p[0]) - "PNBRQK");
        sq[kind == KING ? TB_SLOT_KING : kind * 3 + used[kind]++] = square(p + 1);
    }
}

inline Pos parse_pos(const char* first, const char* second, const char* ep)
{
    Pos p = empty_pos();
    put_men(first, p.sq[0]);
    put_men(second, p.sq[1]);
    p.ep = ep ? square(ep) : TB_NO_EP_SQUARE;
    return p;
}

struct Example {
    int id, side;
    const char *first, *second, *ep;
    uint32_t offset;
};

// Worked examples of the index functions: positions with their known indices.
inline const std::vector<Example>& worked_examples()
{
    static const std::vector<Example> examples = {
        {1, 0, "Ka1 Pa2", "Kc1", nullptr, 0},
        {1, 0, "Kh1 Ph2", "Kf1", nullptr, 0},
        {1, 0, "Ke1 Pe2", "Ke8", nullptr, 10487},
        {1, 1, "Ka1 Pa2", "Kc1", nullptr, 81073},
        {2, 0, "Ka1 Nb1", "Kc1", nullptr, 0},
        {2, 0, "Ka1 Na2", "Ka3", nullptr, 0},
        {2, 0, "Kh8 Ng8", "Kf8", nullptr, 0},
        {2, 1, "Ka1 Nd5", "Kc1", nullptr, 5675},
        {2, 1, "Kc1 Na1", "Ka3", nullptr, 6262},
        {23, 0, "Ka1 Nb1 Nc3", "Kh8", nullptr, 50255},
        {23, 0, "Ka1 Nc3 Nb1", "Kh8", nullptr, 50255},
        {23, 1, "Ka1 Nb1 Nc3", "Kh8", nullptr, 62386},
        {23, 1, "Ka1 Nc3 Nb1", "Kh8", nullptr, 62386},
        {77, 1, "Ke4 Ra7 Bh3", "Kb1 Nc6", nullptr, 11520742},
        {109, 0, "Kb2 Qd5 Qf6", "Kg8 Ra8", nullptr, 21292387},
        {109, 0, "Kb2 Qf6 Qd5", "Kg8 Ra8", nullptr, 21292387},
        {6, 0, "Ka1 Pe5", "Kh8 Pd5", nullptr, 128384},
        {6, 0, "Ka1 Pe5", "Kh8 Pd5", "d6", 3839037},
        {6, 0, "Ka1 Pc5", "Kh8 Pd5", "d6", 3839043},
        {36, 0, "Ka1 Pc5 Pe5", "Kh8 Pd5", "d6", 83143583},
        {36, 0, "Ka1 Pe5 Pc5", "Kh8 Pd5", "d6", 83143583},
        {36, 0, "Ka1 Pa3 Pe5", "Kh8 Pd5", "d6", 83143325},
        {41, 1, "Ka8 Nh1 Pd4", "Kh6 Pe4", "d3", 231253086},
    };
    return examples;
}

// Runs job(i) for i < n on up to eight threads, taking indices in order.
template <class Job>
void parallel_for(size_t n, Job job)
{
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < std::max(1u, std::min(8u, std::thread::hardware_concurrency())); ++t)
        pool.emplace_back([&] {
            for (size_t w; (w = next++) < n;)
                job(w);
        });
    for (auto& t : pool)
        t.join();
}

} // namespace tbtest
