// The eleven playing levels: each row applied exactly, the material redone
// with the new values, the hash cleared; levels out of range change nothing.
#include <gtest/gtest.h>

#include "tests/search_support.h"

using namespace search_support;

namespace {

// Typed in independently of the engine's table.
const struct {
    int knight, bishop, rook, queen, weight, depth_plies, noise;
} EXPECTED[12] = {
    {},
    {120, 120, 200, 300, 0, 1, 30},
    {180, 140, 200, 350, 2, 1, 30},
    {250, 250, 500, 970, 4, 2, 30},
    {300, 300, 500, 970, 4, 2, 10},
    {300, 300, 500, 970, 4, 4, 10},
    {300, 300, 500, 970, 4, 6, 10},
    {300, 300, 500, 970, 4, 7, 0},
    {300, 300, 500, 970, 4, 8, 0},
    {300, 300, 500, 970, 4, 9, 0},
    {300, 300, 500, 970, 4, 10, 0},
    {300, 300, 500, 970, 4, 64, 0},
};

// Applies a level; checks the message, the values in force, and that the
// material agrees with a recount of the board.
void expect_level(Position* pos, int level, int in_force, bool out_of_range)
{
    protocol_mode = PROTOCOL_CONSOLE;
    testing::internal::CaptureStdout();
    set_level(pos, level);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Level " + std::to_string(level) + "\n" +
                  (out_of_range ? "level out of range\n" : ""));
    const auto& e = EXPECTED[in_force];
    EXPECT_EQ(piece_value[0], 100);
    EXPECT_EQ(piece_value[KNIGHT - 1], e.knight);
    EXPECT_EQ(piece_value[BISHOP - 1], e.bishop);
    EXPECT_EQ(piece_value[ROOK - 1], e.rook);
    EXPECT_EQ(piece_value[QUEEN - 1], e.queen);
    EXPECT_EQ(level_weight, e.weight);
    EXPECT_EQ(max_depth, ONE_PLY * e.depth_plies);
    EXPECT_EQ(root_noise, e.noise);
    EXPECT_EQ(default_contempt, 0);
    EXPECT_EQ(piece_value_by_code[W_QUEEN], 1000); // the exchange values never change
    int sum[2] = {0, 0};
    for (int square = 0; square < 64; ++square) {
        const int code = pos->board[square];
        if (code != 0 && piece_kind(code) != KING)
            sum[piece_colour(code)] += piece_value[piece_kind(code) - 1];
    }
    EXPECT_EQ(pos->material[WHITE], sum[WHITE]);
    EXPECT_EQ(pos->material[BLACK], sum[BLACK]);
}

bool hash_holds_entry(Position* pos)
{
    int alpha = -100, beta = 100;
    probe_hash(pos, 0, 0, &alpha, &beta);
    return pos->hash_move[0] != 0;
}

TEST(PlayingLevels, EveryRowIsAppliedExactlyAndOutOfRangeChangesNothing)
{
    OwnedPosition pos = board_position(nullptr);
    const Move e2e4 = make_move_code(12, 28, W_PAWN, 0, 0);
    for (int level = 1; level <= 11; ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        store_hash(pos, e2e4, 24, 0, 10, HASH_EXACT);
        ASSERT_TRUE(hash_holds_entry(pos));
        expect_level(pos, level, level, false);
        EXPECT_FALSE(hash_holds_entry(pos)) << "hash not cleared";
    }
    set_level(pos, 2);
    for (int level : {0, 12, -1, 1000}) {
        SCOPED_TRACE("level " + std::to_string(level));
        store_hash(pos, e2e4, 24, 0, 10, HASH_EXACT);
        expect_level(pos, level, 2, true);
        EXPECT_TRUE(hash_holds_entry(pos)) << "hash cleared although nothing changed";
    }
    expect_level(pos, 11, 11, false);
}

} // namespace
