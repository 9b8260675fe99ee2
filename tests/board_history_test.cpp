// Game record and draw tests, and the make/unmake rules a game relies on.
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

TEST(BoardHistory, TakeBackAndRedo)
{
    auto pos = new_position();
    const std::string start = position_text(pos.get());
    EXPECT_EQ(pop_game_move(pos.get()), 0);
    EXPECT_EQ(position_text(pos.get()), start);

    play(pos.get(), "e4 e5 Nf3");
    EXPECT_EQ(pos->game->move_count, 3);
    EXPECT_NE(pop_game_move(pos.get()), 0);
    const std::string after_e5 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - ";
    EXPECT_EQ(position_text(pos.get()), after_e5);
    EXPECT_NE(pop_game_move(pos.get()), 0);
    EXPECT_NE(redo_game_move(pos.get()), 0);
    EXPECT_EQ(position_text(pos.get()), after_e5);
    EXPECT_EQ(*pos->key_top, compute_hash_key(pos.get()));
    // A new move ends the redo line.
    play(pos.get(), "d4");
    EXPECT_EQ(redo_game_move(pos.get()), 0);
}

TEST(BoardHistory, RepetitionsAndFiftyMoves)
{
    const char* cycle = "Nf3 Nf6 Ng1 Ng8 ";
    // Start position seen 2..5 times: one earlier occurrence is a draw for
    // the search, three make the game drawn.
    const struct {
        int cycles, draw, game_drawn;
    } reps[] = {{1, 1, 0}, {2, 1, 0}, {3, 1, 1}, {4, 1, 1}};
    for (const auto& r : reps) {
        auto pos = new_position();
        for (int i = 0; i < r.cycles; i++)
            play(pos.get(), cycle);
        EXPECT_EQ(is_draw(pos.get()), r.draw) << r.cycles;
        EXPECT_EQ(is_drawn_by_repetition(pos.get()), r.game_drawn) << r.cycles;
    }
    // A pawn move cuts the stretch: the earlier occurrences no longer count.
    auto cut = new_position();
    play(cut.get(), "Nf3 Nf6 Ng1 Ng8 e4 e5 Nf3");
    EXPECT_EQ(is_draw(cut.get()), 0);
    play(cut.get(), "Nf6 Ng1 Ng8"); // repeats the position after 2...e5
    EXPECT_EQ(is_draw(cut.get()), 1);

    auto fifty = new_position("4k3/8/8/8/8/8/8/R3K3 w - -");
    play(fifty.get(), "Ra2");
    *fifty->fifty_top = 99;
    EXPECT_EQ(is_draw(fifty.get()), 0);
    *fifty->fifty_top = 100;
    EXPECT_EQ(is_draw(fifty.get()), 1);
}

// A game longer than the record goes on: the oldest plies make room, and
// what the draw tests and the take-backs since the last pawn move need stays.
TEST(BoardHistory, GameLongerThanTheRecordGoesOn)
{
    auto pos = new_position();
    const char* cycle[] = {"Nf3", "Nf6", "Ng1", "Ng8"};
    for (int i = 0; i < GAME_MAX_MOVES - 4; i++)
        ASSERT_EQ(push_game_move(pos.get(), parse_move(pos.get(), cycle[i % 4])), 1);
    ASSERT_EQ(push_game_move(pos.get(), parse_move(pos.get(), "e4")), 1);
    const u64 after_pawn = *pos->key_top;
    const char* black_cycle[] = {"Nf6", "Nf3", "Ng8", "Ng1"};
    for (int i = 0; i < 12; i++) {
        ASSERT_EQ(push_game_move(pos.get(), parse_move(pos.get(), black_cycle[i % 4])), 1);
        // A search on top of the record always has its plies.
        EXPECT_GE(STATE_STACK_SIZE - 1 - state_depth(pos.get()), 2 * MAX_PLY);
        EXPECT_EQ(*pos->key_top, compute_hash_key(pos.get()));
        // Each position is back every fourth ply, counted from e4 on: the
        // third earlier occurrence draws.
        EXPECT_EQ(repetition_count(pos.get()), (i + 1) / 4) << i;
    }
    EXPECT_EQ(is_drawn_by_repetition(pos.get()), 1);
    EXPECT_EQ(*pos->fifty_top, 12);
    EXPECT_LT(state_depth(pos.get()), GAME_MAX_MOVES);
    // The take-backs reach the pawn move, no further.
    for (int i = 0; i < 12; i++)
        ASSERT_NE(pop_game_move(pos.get()), 0);
    EXPECT_EQ(*pos->key_top, after_pawn);
    EXPECT_EQ(pop_game_move(pos.get()), 0);
    // A position set up afterwards starts with empty stacks again.
    ASSERT_EQ(set_board(pos.get(), START_POSITION_FEN), 1);
    EXPECT_EQ(state_depth(pos.get()), 0);
    EXPECT_EQ(pos->game->move_count, 0);
}

TEST(BoardHistory, MakeRules)
{
    // Capturing the h8 rook clears black's short right whatever captures.
    auto pos = new_position("r3k2r/8/8/8/8/8/1B6/R3K2R w KQkq -");
    play(pos.get(), "Bxh8");
    EXPECT_EQ(*pos->castle_top, CASTLE_WHITE_SHORT | CASTLE_WHITE_LONG | CASTLE_BLACK_LONG);
    // A king step clears both rights, and stepping back does not restore them.
    auto king = new_position("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    play(king.get(), "Kf1 Kd8 Ke1 Ke8");
    EXPECT_EQ(*king->castle_top, 0);
    // En passant removes the pawn behind the target square; unmake restores it.
    auto ep = new_position("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    const Move m = parse_move(ep.get(), "exd6");
    make_move(ep.get(), m);
    EXPECT_EQ(ep->board[35], 0);
    EXPECT_EQ(ep->pawns[BLACK], 0u);
    EXPECT_EQ(*ep->pawn_key_top, compute_pawn_key(ep.get()));
    unmake_move(ep.get(), m);
    EXPECT_EQ(position_text(ep.get()), "4k3/8/8/3pP3/8/8/8/4K3 w - d6 ");
    // A promotion with capture moves material on both sides.
    auto promo = new_position("1r2k3/P7/8/8/8/8/8/4K3 w - -");
    const u64 pawn_key = *promo->pawn_key_top;
    make_move(promo.get(), parse_move(promo.get(), "axb8=Q"));
    EXPECT_EQ(promo->material[WHITE], 970);
    EXPECT_EQ(promo->material[BLACK], 0);
    EXPECT_EQ(*promo->pawn_key_top, pawn_key ^ zobrist_piece[W_PAWN][48]);
    EXPECT_EQ(promo->phase[WHITE], 10);
    EXPECT_EQ(promo->phase[BLACK], 0);
}

TEST(BoardHistory, MaterialFollowsPieceValues)
{
    auto pos = new_position();
    const int saved = piece_value[4];
    piece_value[4] = 900;
    compute_material(pos.get());
    EXPECT_EQ(pos->material[WHITE], 3900);
    piece_value[4] = saved;
    compute_material(pos.get());
    EXPECT_EQ(pos->material[WHITE], 3970);
    // A board without a white king keeps the last king square.
    pos->board[SQ_E1] = 0;
    rebuild_bitboards(pos.get());
    EXPECT_EQ(pos->king_square[WHITE], SQ_E1);
}

} // namespace
