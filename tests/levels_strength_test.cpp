// The eleven playing levels: each row applied exactly, the material redone
// with the new values, the hash cleared; levels out of range change nothing.
#include <gtest/gtest.h>

#include <string>

#include "board/board.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/levels.h"
#include "search/root.h"
#include "search/transposition.h"

namespace {

struct ExpectedLevel {
    int knight, bishop, rook, queen, weight, depth_plies, noise, contempt;
};

// Typed in independently of the engine's table.
const ExpectedLevel EXPECTED[12] = {
    {},
    {120, 120, 200, 300, 0, 1, 30, 0},
    {180, 140, 200, 350, 2, 1, 30, 0},
    {250, 250, 500, 970, 4, 2, 30, 0},
    {300, 300, 500, 970, 4, 2, 10, 0},
    {300, 300, 500, 970, 4, 4, 10, 0},
    {300, 300, 500, 970, 4, 6, 10, 0},
    {300, 300, 500, 970, 4, 7, 0, 0},
    {300, 300, 500, 970, 4, 8, 0, 0},
    {300, 300, 500, 970, 4, 9, 0, 0},
    {300, 300, 500, 970, 4, 10, 0, 0},
    {300, 300, 500, 970, 4, 64, 0, 0},
};

// Material summed from the board with the values now in force.
void expect_material_matches_board(const Position* pos)
{
    int sum[2] = {0, 0};
    for (int square = 0; square < 64; ++square) {
        const int code = pos->board[square];
        if (code != 0 && piece_kind(code) != KING)
            sum[piece_colour(code)] += piece_value[piece_kind(code) - 1];
    }
    EXPECT_EQ(pos->material[WHITE], sum[WHITE]);
    EXPECT_EQ(pos->material[BLACK], sum[BLACK]);
}

Position* start_position()
{
    init_bitboard_tables();
    set_hash_sizes(2 * 1048576);
    init_hash_keys();
    alloc_pawn_and_eval_cache();
    Position* pos = create_position();
    setup_new_game(pos);
    return pos;
}

bool hash_holds_entry(Position* pos)
{
    int alpha = -100, beta = 100;
    probe_hash(pos, 0, 0, &alpha, &beta);
    return pos->hash_move[0] != 0;
}

TEST(PlayingLevels, EveryRowIsAppliedExactly)
{
    Position* pos = start_position();
    const Move e2e4 = make_move_code(12, 28, W_PAWN, 0, 0);
    for (int level = 1; level <= 11; ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        store_hash(pos, e2e4, 24, 0, 10, HASH_EXACT);
        ASSERT_TRUE(hash_holds_entry(pos));
        testing::internal::CaptureStdout();
        set_level(pos, level);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "Level " + std::to_string(level) + "\n");
        const ExpectedLevel& e = EXPECTED[level];
        EXPECT_EQ(piece_value[0], 100);
        EXPECT_EQ(piece_value[KNIGHT - 1], e.knight);
        EXPECT_EQ(piece_value[BISHOP - 1], e.bishop);
        EXPECT_EQ(piece_value[ROOK - 1], e.rook);
        EXPECT_EQ(piece_value[QUEEN - 1], e.queen);
        EXPECT_EQ(level_weight, e.weight);
        EXPECT_EQ(max_depth, 12 * e.depth_plies);
        EXPECT_EQ(root_noise, e.noise);
        EXPECT_EQ(default_contempt, e.contempt);
        EXPECT_EQ(piece_value_by_code[W_QUEEN], 1000);   // the exchange values never change
        EXPECT_FALSE(hash_holds_entry(pos)) << "hash not cleared";
        expect_material_matches_board(pos);
    }
    destroy_position(pos);
}

TEST(PlayingLevels, OutOfRangeChangesNothing)
{
    Position* pos = start_position();
    set_level(pos, 2);
    const Move e2e4 = make_move_code(12, 28, W_PAWN, 0, 0);
    for (int level : {0, 12, -1, 1000}) {
        SCOPED_TRACE("level " + std::to_string(level));
        store_hash(pos, e2e4, 24, 0, 10, HASH_EXACT);
        const int material_white = pos->material[WHITE];
        testing::internal::CaptureStdout();
        set_level(pos, level);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "Level " + std::to_string(level) + "\nlevel out of range\n");
        EXPECT_EQ(piece_value[KNIGHT - 1], 180);
        EXPECT_EQ(piece_value[QUEEN - 1], 350);
        EXPECT_EQ(level_weight, 2);
        EXPECT_EQ(max_depth, 12);
        EXPECT_EQ(root_noise, 30);
        EXPECT_TRUE(hash_holds_entry(pos)) << "hash cleared although nothing changed";
        EXPECT_EQ(pos->material[WHITE], material_white);
    }
    set_level(pos, 11);
    EXPECT_EQ(max_depth, 768);
    EXPECT_EQ(piece_value[QUEEN - 1], 970);
    expect_material_matches_board(pos);
    destroy_position(pos);
}

}  // namespace
