// Precomputed tables against slow references written from their
// definitions, and the attack questions built on them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "tests/board_support.h"

namespace {

u64 sq(int s)
{
    return u64(1) << s;
}
int file_of(int s)
{
    return s & 7;
}
int rank_of(int s)
{
    return s >> 3;
}

// Squares reached from s in one direction, up to the first occupied one.
u64 slow_ray(int s, int df, int dr, u64 occupied)
{
    u64 set = 0;
    for (int f = file_of(s) + df, r = rank_of(s) + dr; f >= 0 && f < 8 && r >= 0 && r < 8;
         f += df, r += dr) {
        set |= sq(r * 8 + f);
        if (occupied & sq(r * 8 + f))
            break;
    }
    return set;
}

TEST(BoardTables, SliderLookupsMatchRayWalk)
{
    auto pos = new_position();
    init_eval_masks(); // the mobility counts
    std::mt19937_64 rng(99);
    for (int trial = 0; trial < 2000; trial++) {
        u64 occupied = rng() & rng();
        pos->occupied = occupied;
        pos->occupied_rot90 = pos->occupied_rot45 = pos->occupied_rot315 = 0;
        for (int s = 0; s < 64; s++)
            if (occupied & sq(s)) {
                pos->occupied_rot90 |= sq(ROT90_INDEX[s]);
                pos->occupied_rot45 |= sq(ROT45_INDEX[s]);
                pos->occupied_rot315 |= sq(ROT315_INDEX[s]);
            }
        for (int s = 0; s < 64; s++) {
            const u64 rank = slow_ray(s, 1, 0, occupied) | slow_ray(s, -1, 0, occupied);
            const u64 file = slow_ray(s, 0, 1, occupied) | slow_ray(s, 0, -1, occupied);
            const u64 a1h8 = slow_ray(s, 1, 1, occupied) | slow_ray(s, -1, -1, occupied);
            const u64 h1a8 = slow_ray(s, -1, 1, occupied) | slow_ray(s, 1, -1, occupied);
            ASSERT_EQ(rank_attacks_from(pos.get(), s), rank) << s;
            ASSERT_EQ(file_attacks_from(pos.get(), s), file) << s;
            ASSERT_EQ(diag_a1h8_attacks_from(pos.get(), s), a1h8) << s;
            ASSERT_EQ(diag_h1a8_attacks_from(pos.get(), s), h1a8) << s;
            const int p = int((pos->occupied >> (s & 56)) & 127);
            ASSERT_EQ(rank_mobility[s][p], 2 * count_bits(rank));
            const int d = int((pos->occupied_rot45 >> SHIFT45[s]) & 127);
            ASSERT_EQ(diag_a1h8_mobility[s][d], 3 * count_bits(a1h8));
        }
    }
}

TEST(BoardTables, RotationLayouts)
{
    const int rot45[][2] = {{SQ_A8, 0},  {48, 1}, {SQ_B8, 2},  {40, 3},     {49, 4},  {SQ_C8, 5},
                            {SQ_A1, 28}, {9, 29}, {SQ_H8, 35}, {SQ_G1, 61}, {15, 62}, {SQ_H1, 63}};
    for (auto& r : rot45)
        EXPECT_EQ(ROT45_INDEX[r[0]], r[1]) << r[0];
    const int rot315[][2] = {{SQ_H8, 0}, {55, 1},     {SQ_G8, 2},  {47, 3}, {SQ_H1, 28},
                             {14, 29},   {SQ_A8, 35}, {SQ_B1, 61}, {8, 62}, {SQ_A1, 63}};
    for (auto& r : rot315)
        EXPECT_EQ(ROT315_INDEX[r[0]], r[1]) << r[0];
    EXPECT_EQ(SHIFT45[SQ_A1], 28);
    EXPECT_EQ(SHIFT45[SQ_A8], 0);
    EXPECT_EQ(SHIFT45[SQ_H1], 63);
    EXPECT_EQ(SHIFT315[SQ_H1], 28);
    EXPECT_EQ(SHIFT315[SQ_H8], 0);
    EXPECT_EQ(SHIFT315[SQ_A1], 63);
    EXPECT_EQ(DIAG_LENGTH_A1H8[SQ_H1], 1);
    EXPECT_EQ(DIAG_LENGTH_H1A8[SQ_H1], 8);
    for (int s = 0; s < 64; s++)
        EXPECT_EQ(ROT90_INDEX[s], file_of(s) * 8 + rank_of(s));
}

TEST(BoardTables, LeaperAndMaskDefinitions)
{
    board_tests_init();
    init_eval_masks(); // the evaluation's masks beside the board's
    for (int s = 0; s < 64; s++) {
        u64 knight = 0, king = 0;
        for (int t = 0; t < 64; t++) {
            const int df = file_of(t) - file_of(s), dr = rank_of(t) - rank_of(s);
            const int adf = std::abs(df), adr = std::abs(dr);
            if ((adf == 1 && adr == 2) || (adf == 2 && adr == 1))
                knight |= sq(t);
            if (std::max(adf, adr) == 1)
                king |= sq(t);
            int step = 0;
            if (s != t && (df == 0 || dr == 0 || adf == adr))
                step = (dr > 0 ? 8 : dr < 0 ? -8 : 0) + (df > 0 ? 1 : df < 0 ? -1 : 0);
            ASSERT_EQ(direction_table[s][t], step) << s << " " << t;
        }
        EXPECT_EQ(knight_attacks[s], knight) << s;
        EXPECT_EQ(king_attacks[s], king) << s;
        EXPECT_EQ(square_mask[s], sq(s));
        EXPECT_EQ(count_bits(file_mask[s]), 8);
        EXPECT_EQ(count_bits(rank_mask[s]), 8);
        EXPECT_EQ((dark_square_mask >> s) & 1, u64(((file_of(s) + rank_of(s)) & 1) == 0)) << s;
        // Nothing to attack or pass beyond the edge.
        EXPECT_FALSE(rank_of(s) == 7 && pawn_attacks_white[s]) << s;
        EXPECT_FALSE(rank_of(s) == 0 && pawn_attacks_black[s]) << s;
        EXPECT_FALSE(rank_of(s) == 6 && adjacent_span_up[s]) << s;
        EXPECT_FALSE(rank_of(s) == 1 && adjacent_span_down[s]) << s;
    }
    EXPECT_EQ(light_square_mask, ~dark_square_mask);
    EXPECT_EQ(passed_mask_white[28], ray_north[27] | ray_north[28] | ray_north[29]);
    EXPECT_EQ(castle_path_white_long, sq(SQ_B1) | sq(SQ_C1) | sq(SQ_D1));
    EXPECT_EQ(trapped_rook_mask[SQ_G1], sq(SQ_H1) | sq(15));
    // A pawn on e4 promotes in 4 moves: a king on a3 is outside its square,
    // on a8 (four steps from e8) it is not, and a3 is within the far square.
    EXPECT_TRUE(outside_square_white[28] & sq(16));
    EXPECT_FALSE(outside_square_white[28] & sq(SQ_A8));
    EXPECT_FALSE(outside_square_white_far[28] & sq(16));
    EXPECT_TRUE(outside_square_black[36] & sq(40));
    // On its starting rank the pawn may step twice.
    EXPECT_EQ(outside_square_white[12], outside_square_white[20]);
    EXPECT_TRUE(pawn_file_pattern[0x01][0x04] & 0x01);
    EXPECT_FALSE(pawn_file_pattern[0x01][0x02] & 0x11);
    EXPECT_EQ(pawn_file_pattern[0][0xFF], 0);
    EXPECT_EQ(pawn_file_pattern[0xFF][0], 0);
    // Calling the drivers again yields the same tables.
    const u64 dark = dark_square_mask;
    init_bitboard_tables();
    init_eval_masks();
    EXPECT_EQ(dark_square_mask, dark);
}

// The pawn-file flags read pair by pair, as the evaluation describes them.
int pawn_file_flags_reference(int w, int b)
{
    if (!w || !b)
        return 0;
    const auto low = [](int x) { return __builtin_ctz(x); };
    const auto high = [](int x) { return 31 - __builtin_clz(x); };
    const auto count = [](int x) { return __builtin_popcount(x); };
    int flags = (low(w) + 1 < low(b)) | (high(w) - 1 > high(b)) << 1 | (low(b) + 1 < low(w)) << 4 |
                (high(b) - 1 > high(w)) << 5;
    const int all = w | b;
    for (int side = 0; side < 2; side++) {
        const int own = side ? b : w, other = side ? w : b, shift = side ? 4 : 0;
        // Queen's wing (files a-c) unless c and d both hold a pawn; king's
        // wing (f-h) unless e and f do; no majority where an outside pawn is.
        if ((all & 0x0C) != 0x0C && count(w & 7) && count(b & 7) && !(flags & (0x01 << shift)) &&
            count(own & 7) > count(other & 7))
            flags |= 0x04 << shift;
        if ((all & 0x30) != 0x30 && count(w & 0xE0) && count(b & 0xE0) &&
            !(flags & (0x02 << shift)) && count(own & 0xE0) > count(other & 0xE0))
            flags |= 0x08 << shift;
    }
    return flags;
}

TEST(BoardTables, PawnFilePatternsMatchThePairByPairReading)
{
    init_bitboard_tables();
    init_eval_masks();
    int wrong = 0;
    for (int w = 0; w < 256; w++)
        for (int b = 0; b < 256; b++)
            wrong += pawn_file_pattern[w][b] != pawn_file_flags_reference(w, b);
    EXPECT_EQ(wrong, 0);
}

TEST(BoardTables, AttackQuestions)
{
    // Rook behind rook: only the front one attacks. Pawns: diagonally forward only.
    auto rooks = new_position("4k3/8/8/8/8/4R3/4R3/4K3 w - -");
    EXPECT_EQ(get_attackers(rooks.get(), 36, WHITE), sq(20));
    auto pawn = new_position("4k3/8/8/8/P3P3/8/8/4K3 w - -");
    const u64 by_pawns[][2] = {{35, sq(28)}, {37, sq(28)}, {36, 0}, {33, sq(24)}};
    for (auto& c : by_pawns)
        EXPECT_EQ(get_attackers(pawn.get(), int(c[0]), WHITE), c[1]) << c[0];
    // The king attacks its neighbours, own pieces' squares and its own square.
    EXPECT_EQ(is_attacked_by_white(rooks.get(), 12) + is_attacked_by_white(rooks.get(), SQ_E1), 2);

    for (int far : {int(SQ_B1), int(SQ_A1), 17})
        EXPECT_EQ(get_squares_between(SQ_A1, far), 0u) << far;
    EXPECT_EQ(get_squares_between(SQ_A1, SQ_H8),
              sq(9) | sq(18) | sq(27) | sq(36) | sq(45) | sq(54));
    EXPECT_EQ(get_squares_between(SQ_H8, SQ_A1), get_squares_between(SQ_A1, SQ_H8));

    // Pinned unless shielded or attacked by the wrong slider.
    EXPECT_EQ(is_pinned_white(SQ_E1, 12, new_position("4r1k1/8/8/8/8/8/4N3/4K3 w - -").get()), 1);
    EXPECT_EQ(is_pinned_white(SQ_E1, 12, new_position("4r1k1/8/8/4B3/8/8/4N3/4K3 w - -").get()), 0);
    EXPECT_EQ(is_pinned_white(SQ_E1, 12, new_position("4b1k1/8/8/8/8/8/4N3/4K3 w - -").get()), 0);
    EXPECT_EQ(is_pinned_black(SQ_E8, 52, new_position("4k3/4n3/8/8/8/8/8/4R1K1 b - -").get()), 1);
    EXPECT_EQ(is_in_check(new_position("4r1k1/8/8/8/8/8/4N3/4K3 w - -").get(), WHITE), 0);
    EXPECT_EQ(is_in_check(new_position("4r1k1/8/8/8/8/8/8/4K3 w - -").get(), WHITE), 1);
}

} // namespace
