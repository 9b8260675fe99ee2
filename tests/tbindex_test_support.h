// Shared by the index tests: rows as lists of men, legal positions in the
// table's own terms (the first side's pawns move towards rank 8), random
// legal positions, and a code that is equal for two positions exactly when
// one is an image of the other under the board's symmetries and the exchange
// of like men. Written from the rules of chess, not from the index code.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "tablebases/material.h"
#include "tablebases/tbindex.h"

namespace tbtest {

inline bool sanitized() { return std::getenv("QUARVEL_SANITIZED") != nullptr; }

enum { PAWN, KNIGHT, BISHOP, ROOK, QUEEN, KING };

inline int file_of(int sq) { return sq & 7; }
inline int rank_of(int sq) { return sq >> 3; }
inline int distance(int a, int b) {
    return std::max(std::abs(file_of(a) - file_of(b)), std::abs(rank_of(a) - rank_of(b)));
}

struct Man {
    int side;   // 0 first side, 1 second side
    int slot;   // slot in TbPieceSquares
    int kind;
};

// Men of a row: the first side's king, the second side's king, then each
// side's men queen first. Like men are adjacent in the list.
struct Row {
    int id;
    const char* name;
    std::vector<Man> men;
    bool pawns;
    bool both_pawns;
};

inline Row make_row(int id) {
    Row r{id, MATERIAL_ROWS[id].name, {}, false, false};
    r.men.push_back({0, TB_SLOT_KING, KING});
    r.men.push_back({1, TB_SLOT_KING, KING});
    int side = -1;
    int counts[2][5] = {};
    for (const char* p = r.name; *p; ++p) {
        if (*p == 'k') {
            ++side;
            continue;
        }
        int kind = *p == 'q' ? QUEEN : *p == 'r' ? ROOK : *p == 'b' ? BISHOP : *p == 'n' ? KNIGHT : PAWN;
        r.men.push_back({side, kind * 3 + counts[side][kind]++, kind});
    }
    r.pawns = counts[0][PAWN] + counts[1][PAWN] > 0;
    r.both_pawns = counts[0][PAWN] > 0 && counts[1][PAWN] > 0;
    return r;
}

// A position in the table's terms: the first side's pawns move up.
struct Pos {
    int sq[2][16];
    int ep;   // 127 for none
};

inline int man_square(const Pos& p, const Man& m) { return p.sq[m.side][m.slot]; }

inline uint64_t occupancy(const Pos& p, const Row& r) {
    uint64_t occ = 0;
    for (const Man& m : r.men)
        occ |= uint64_t{1} << man_square(p, m);
    return occ;
}

// Does a man of kind (of side `side`, whose pawns move up for side 0) on
// `from` attack `to` on the board occupied by `occ`?
inline bool attacks(int kind, int side, int from, int to, uint64_t occ) {
    int df = file_of(to) - file_of(from), dr = rank_of(to) - rank_of(from);
    switch (kind) {
    case PAWN:
        return std::abs(df) == 1 && dr == (side == 0 ? 1 : -1);
    case KNIGHT:
        return (std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1);
    case KING:
        return std::max(std::abs(df), std::abs(dr)) == 1;
    default:
        break;
    }
    bool straight = df == 0 || dr == 0;
    bool diagonal = std::abs(df) == std::abs(dr);
    if (from == to || (kind == ROOK && !straight) || (kind == BISHOP && !diagonal) || (!straight && !diagonal))
        return false;
    int step = (dr > 0 ? 8 : dr < 0 ? -8 : 0) + (df > 0 ? 1 : df < 0 ? -1 : 0);
    for (int s = from + step; s != to; s += step)
        if (occ >> s & 1)
            return false;
    return true;
}

// Is the king of `side` attacked by the other side's men?
inline bool in_check(const Pos& p, const Row& r, int side) {
    uint64_t occ = occupancy(p, r);
    int king = p.sq[side][TB_SLOT_KING];
    for (const Man& m : r.men)
        if (m.side != side && attacks(m.kind, m.side, man_square(p, m), king, occ))
            return true;
    return false;
}

// Placement rules: distinct squares, kings apart, no pawn on ranks 1 and 8.
inline bool placement_ok(const Pos& p, const Row& r) {
    uint64_t seen = 0;
    for (const Man& m : r.men) {
        int s = man_square(p, m);
        if (s < 0 || s > 63 || (seen >> s & 1))
            return false;
        if (m.kind == PAWN && (s < 8 || s > 55))
            return false;
        seen |= uint64_t{1} << s;
    }
    return distance(p.sq[0][TB_SLOT_KING], p.sq[1][TB_SLOT_KING]) > 1;
}

// Whether the mover can take en passant on e: the other side's pawn has just
// stepped two squares past e, a pawn of the mover stands beside it, and the
// mover was not in check before that step.
inline bool ep_legal(const Pos& p, const Row& r, int mover, int e) {
    int up = mover == 0 ? 8 : -8;   // the mover's pawn direction
    if (rank_of(e) != (mover == 0 ? 5 : 2))
        return false;
    uint64_t occ = occupancy(p, r);
    int landed = e - up, origin = e + up;
    if ((occ >> e & 1) || (occ >> origin & 1))
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
    if (stepped == nullptr || !capturer)
        return false;
    Pos before = p;
    before.sq[stepped->side][stepped->slot] = origin;
    return !in_check(before, r, mover);
}

// Legal with `mover` to move: the other side is not in check.
inline bool legal(const Pos& p, const Row& r, int mover) {
    if (!placement_ok(p, r) || in_check(p, r, 1 - mover))
        return false;
    return p.ep == TB_NO_EP_SQUARE || ep_legal(p, r, mover, p.ep);
}

// The symmetries: all eight of the square without pawns, the file mirror with.
struct Transforms {
    uint8_t sq[8][64];
    Transforms() {
        for (int t = 0; t < 8; ++t)
            for (int s = 0; s < 64; ++s) {
                int f = file_of(s), rk = rank_of(s);
                if (t & 1)
                    f = 7 - f;
                if (t & 2)
                    rk = 7 - rk;
                if (t & 4)
                    std::swap(f, rk);
                sq[t][s] = static_cast<uint8_t>(rk * 8 + f);
            }
    }
};

inline int transform(int sq, int t) {
    static const Transforms table;
    return table.sq[t][sq];
}

// The smallest code among the images that bring the first side's king into
// a1-d1-d4 (without pawns; two images when it lands on the diagonal) or onto
// files a-d (with pawns). Every image of a position has the same set of such
// images, so the code names the position's class of images.
inline uint64_t canonical_code(const Pos& p, const Row& r) {
    uint64_t best = ~uint64_t{0};
    int transforms = r.pawns ? 2 : 8;
    int king = p.sq[0][TB_SLOT_KING];
    for (int t = 0; t < transforms; ++t) {
        int k = transform(king, t);
        if (file_of(k) > 3 || (!r.pawns && rank_of(k) > file_of(k)))
            continue;
        int sq[8];
        size_t n = r.men.size();
        for (size_t i = 0; i < n; ++i)
            sq[i] = transform(man_square(p, r.men[i]), t);
        for (size_t i = 0; i + 1 < n; ++i)
            if (r.men[i].side == r.men[i + 1].side && r.men[i].kind == r.men[i + 1].kind && sq[i] > sq[i + 1])
                std::swap(sq[i], sq[i + 1]);
        uint64_t code = p.ep == TB_NO_EP_SQUARE ? 64 : static_cast<uint64_t>(transform(p.ep, t));
        for (size_t i = 0; i < n; ++i)
            code = code << 6 | static_cast<uint64_t>(sq[i]);
        best = std::min(best, code);
    }
    return best;
}

inline Pos empty_pos() {
    Pos p;
    for (auto& side : p.sq)
        for (int& s : side)
            s = 0;
    p.ep = TB_NO_EP_SQUARE;
    return p;
}

// A random legal position of the row with `mover` to move; with want_ep set,
// one where the mover can take en passant (rows where both sides have pawns).
inline Pos random_position(const Row& r, int mover, bool want_ep, std::mt19937_64& rng) {
    for (;;) {
        Pos p = empty_pos();
        for (const Man& m : r.men)
            p.sq[m.side][m.slot] = m.kind == PAWN ? 8 + static_cast<int>(rng() % 48) : static_cast<int>(rng() % 64);
        if (want_ep) {
            // Put a pawn of the other side beside a pawn of the mover on the
            // rank a double step ends on.
            int e = (mover == 0 ? 40 : 16) + static_cast<int>(rng() % 8);
            int up = mover == 0 ? 8 : -8;
            int f = file_of(e) + (rng() % 2 ? 1 : -1);
            if (f < 0 || f > 7)
                continue;
            const Man* mine = nullptr;
            const Man* theirs = nullptr;
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

// Calls an index function with the position as White = first side (flip 0)
// or with colours exchanged (flip 1: the board turned upside down).
inline uint32_t call_index(TbIndexFn fn, const Pos& p, int flip) {
    int a[16], b[16];
    int x = flip ? 56 : 0;
    for (int i = 0; i < 16; ++i) {
        a[i] = p.sq[0][i] ^ x;
        b[i] = p.sq[1][i] ^ x;
    }
    int ep = p.ep == TB_NO_EP_SQUARE ? TB_NO_EP_SQUARE : p.ep ^ x;
    return fn(a, b, ep, flip);
}

inline TbIndexFn function_of(int id, int side) { return MATERIAL_ROWS[id].index_fn[side]; }

}  // namespace tbtest
