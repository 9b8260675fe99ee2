// The engine's turn inside the process: result lines, the move line, the
// guarantee that only legal moves leave the turn, and draw offers that arrive
// before the turn.
#include <gtest/gtest.h>

#include <string>

#include "board/board.h"
#include "book/book.h"
#include "frontend/frontend.h"
#include "frontend/hooks.h"
#include "frontend/turn.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/legality.h"
#include "search/root.h"
#include "search/timecontrol.h"
#include "search/transposition.h"

namespace {

class TurnTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        output_enabled = 0; // quiet set-up
        init_eval_tables();
        set_hash_sizes(1 << 20);
        init_hash_keys();
        alloc_hash_table();
        alloc_pawn_and_eval_cache();
        install_search_hooks();
    }

    void SetUp() override
    {
        pos = create_position();
        setup_new_game(pos);
        output_enabled = fixed_move_time = ponder_enabled = reply_predicted = book_enabled = 0;
        analyze_mode = ponder_search = 0;
        protocol_mode = PROTOCOL_CONSOLE;
        max_depth = 2 * ONE_PLY;
        own_clock = 30000;
    }

    void TearDown() override { destroy_position(pos); }

    // One turn of the engine with its standard output.
    std::string captured_turn()
    {
        output_enabled = 1;
        testing::internal::CaptureStdout();
        play_engine_move(pos);
        output_enabled = 0;
        return testing::internal::GetCapturedStdout();
    }

    Position* pos = nullptr;
};

TEST_F(TurnTest, PositionsWithoutMovesEndTheGame)
{
    const struct {
        const char* fen;
        const char* line;
    } cases[] = {
        {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -", "0-1 {Black mates}\n"},
        {"R5k1/5ppp/8/8/8/8/8/6K1 b - -", "1-0 {White mates}\n"},
        {"7k/5Q2/6K1/8/8/8/8/8 b - -", "1/2-1/2 {Stalemate}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        ASSERT_EQ(set_board(pos, c.fen), 1);
        pos->game_active = 1;
        EXPECT_EQ(captured_turn(), c.line);
        EXPECT_EQ(pos->game_active, 0);
        EXPECT_EQ(idle_flag, 1);
    }
}

// The move as typed and the line send_move prints for it.
TEST_F(TurnTest, MoveLinesForTheInterface)
{
    const char* promote = "k7/4P3/8/8/8/8/8/4K3 w - -";
    const struct {
        const char* fen;
        const char* text;
        const char* line;
    } cases[] = {
        {START_POSITION_FEN, "e2e4", "move e2e4\n"},
        {"4k3/8/8/8/8/8/8/4K2R w K -", "e1g1", "move e1g1\n"},
        {promote, "e7e8q", "move e7e8=q\n"},
        {promote, "e7e8r", "move e7e8=r\n"},
        {promote, "e7e8b", "move e7e8=b\n"},
        {promote, "e7e8n", "move e7e8=n\n"},
        {"4k3/8/8/8/8/8/3p4/K7 b - -", "d2d1q", "move d2d1=q\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(set_board(pos, c.fen), 1);
        Move move = parse_move(pos, c.text);
        ASSERT_NE(move, 0);
        testing::internal::CaptureStdout();
        send_move(move);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
    }
}

TEST_F(TurnTest, OnlyLegalMovesLeaveTheTurn)
{
    const char* fens[] = {
        START_POSITION_FEN,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        "7k/8/8/8/8/8/r7/K7 w - -", // one legal reply: Kb1 or Kxa2
        "4k3/8/8/8/8/8/8/4K2R b K -",
    };
    for (const char* fen : fens) {
        SCOPED_TRACE(fen);
        ASSERT_EQ(set_board(pos, fen), 1);
        // A line left over from another position (a move of the side not to
        // move) is replaced, and the predicted reply dropped; a legal one stays.
        pos->pv[0][0] = pos->side_to_move == WHITE ? make_move_code(SQ_E8, SQ_E8 - 8, B_KING, 0, 0)
                                                   : make_move_code(SQ_E1, SQ_E1 + 8, W_KING, 0, 0);
        expected_reply = 1234;
        EXPECT_EQ(ensure_legal_best_move(pos), 1);
        EXPECT_EQ(is_legal_move(pos, pos->pv[0][0]), 1);
        EXPECT_EQ(expected_reply, 0);
        Move kept = pos->pv[0][0];
        EXPECT_EQ(ensure_legal_best_move(pos), 0);
        EXPECT_EQ(pos->pv[0][0], kept);
        // A whole turn leaves a legal move behind.
        pos->game_active = 1;
        play_engine_move(pos);
        EXPECT_EQ(pos->game_active, 1);
        EXPECT_EQ(is_legal_move(pos, pos->pv[0][0]), 1);
    }
}

TEST_F(TurnTest, DrawOfferSurvivesUntilTheTurnIsAnswered)
{
    // An offer read while the engine pondered is set before the turn starts;
    // the turn must not forget it before the main loop can accept it.
    ASSERT_EQ(set_board(pos, "8/8/4k3/8/8/3K4/8/8 w - -"), 1);
    pos->game_active = 1;
    draw_offered = 1;
    play_engine_move(pos);
    EXPECT_EQ(draw_offered, 1);
    draw_offered = 0;
}

TEST_F(TurnTest, ResignsOnTheThirdLostSearchWhenTheOpponentHasTime)
{
    // Opponent's time in centiseconds; output of the third lost search.
    const struct {
        int opponent_time;
        const char* third;
    } cases[] = {
        {300, "0-1 {White resigns}\n"}, {200, ""}, // the opponent could lose on time: play on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opponent_time);
        ASSERT_EQ(set_board(pos, "k7/q7/q7/q7/8/8/8/7K w - -"), 1);
        pos->game_active = 1;
        pos->resign_count = 0;
        opponent_clock = c.opponent_time;
        max_depth = 12;
        // Under xboard only the interface's lines reach standard output.
        protocol_mode = PROTOCOL_XBOARD;
        post_enabled = 0;
        std::string out;
        for (int turn = 1; turn <= 3; turn++) {
            out = captured_turn();
            ASSERT_LT(pos->root_score, -700);
            ASSERT_GT(pos->root_score, -30000);
            EXPECT_TRUE(turn == 3 || out.empty()) << out;
        }
        EXPECT_EQ(out, c.third);
        EXPECT_EQ(pos->game_active, out.empty() ? 1 : 0);
    }
    opponent_clock = 0;
    protocol_mode = PROTOCOL_CONSOLE;
}

} // namespace
