// FEN set-up and position text: round trips over the suite, the reader's
// leniencies (missing fields, rights without their pieces), and malformed text that must leave the previous
// position untouched.
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

TEST(BoardFen, SuiteRoundTrips)
{
    auto pos = new_position();
    auto again = new_position();
    for (const PerftCase& c : load_perft_suite("perft.epd")) {
        ASSERT_EQ(set_board(pos.get(), c.fen.c_str()), 1);
        const std::string text = position_text(pos.get());
        const auto fields = split_words(c.fen);
        std::string four;
        for (size_t i = 0; i < 4 && i < fields.size(); i++)
            four += fields[i] + " ";
        EXPECT_EQ(text, four) << c.fen;
        ASSERT_EQ(set_board(again.get(), text.c_str()), 1);
        EXPECT_EQ(position_text(again.get()), text);
        EXPECT_EQ(*again->key_top, *pos->key_top);
        EXPECT_EQ(memcmp(again->board, pos->board, sizeof pos->board), 0);
    }
    // The stream writer gives the same text, with its trailing blank.
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    setup_new_game(pos.get());
    write_position_text(f, pos.get());
    rewind(f);
    char buffer[200] = {};
    ASSERT_NE(fgets(buffer, sizeof buffer, f), nullptr);
    fclose(f);
    EXPECT_STREQ(buffer, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ");
}

TEST(BoardFen, ReaderRules)
{
    const char* cases[][2] = {
        {"8/8/8/8/8/8/8/8 w - -", "8/8/8/8/8/8/8/8 w - - "},
        {"   8/8/8/8/8/8/8/8 w - -", "8/8/8/8/8/8/8/8 w - - "},
        {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq -", "r3k2r/8/8/8/8/8/8/R4K1R w kq - "},
        {"4k3/8/8/8/8/8/8/4K2R w -K -", "4k3/8/8/8/8/8/8/4K2R w K - "},
        {"4k3/8/8/8/8/8/8/4K3 B - -", "4k3/8/8/8/8/8/8/4K3 b - - "},
        {"4k3/8/8/8/8/8/8/4K3 x - -", "4k3/8/8/8/8/8/8/4K3 b - - "},
        {"4k3/8/8/8/4P3/8/8/4K3 b - e3", "4k3/8/8/8/4P3/8/8/4K3 b - e3 "},
        {"4k2r/8/8/8/4P3/8/8/4K3 b k e3 0 1 bm Kd7;", "4k2r/8/8/8/4P3/8/8/4K3 b k e3 "},
        {"4k3/8/8/8/8/8/8/4K3 w", "4k3/8/8/8/8/8/8/4K3 w - - "},
    };
    for (const auto& c : cases) {
        auto pos = new_position(c[0]);
        EXPECT_EQ(position_text(pos.get()), c[1]) << c[0];
        EXPECT_EQ(*pos->fifty_top, 0);
        EXPECT_EQ(pos->game->move_count, 0);
    }
    // The en-passant square stands even with no pawn to take, and is keyed.
    auto ep = new_position("4k3/8/8/8/4P3/8/8/4K3 b - e3");
    EXPECT_EQ(*ep->ep_top, 20);
    EXPECT_EQ(compute_hash_key(ep.get()), *ep->key_top);
}

TEST(BoardFen, MalformedTextLeavesPositionUntouched)
{
    const std::string huge(100000, '8');
    const std::string bad_format[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
        "",
        "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "rnbqkbnr/ppppXppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq -",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w KQkq -",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR white KQkq -",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkqKQkq -",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e4",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq i3",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e33",
        // En-passant squares on the rank of the side to move's own pawns.
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR b KQkq f6",
        "rnbqkbnr/pppp1ppp/8/8/3PpP2/8/PPP1P1PP/RNBQKBNR w KQkq d3",
        // ... with no pawn that stepped past it, or with the square taken:
        // d4xe3 would remove a white pawn that is not on e4.
        "4k3/8/8/8/3p4/8/8/4K3 b - e3",
        "4k3/8/8/8/3pN3/8/8/4K3 b - e3",
        "4k3/8/8/8/3pP3/4N3/8/4K3 b - e3",
        "4k3/8/8/4P3/8/8/8/4K3 w - f6",
        huge + " w - -", // very long fields are read bounded
        "8/8/8/8/8/8/8/8 w " + huge + " -",
    };
    // Positions play cannot reach, refused only where a position is set up
    // for play: the side not to move in check (by each kind of piece), a
    // side without its one king.
    const std::string unplayable[] = {
        "4k3/4Q3/8/8/8/8/8/4K3 w - -", "4k3/8/8/8/8/8/8/4R1K1 w - -", "4k3/8/8/1B6/8/8/8/6K1 w - -",
        "4k3/8/3N4/8/8/8/8/6K1 w - -", "4k3/3P4/8/8/8/8/8/6K1 w - -", "4k3/8/8/8/8/8/5p2/4K3 b - -",
        "8/8/8/8/8/3k4/4K3/8 w - -",   "8/8/8/8/8/8/8/8 w - -",       "4k3/8/8/8/8/8/8/8 b - -",
        "4k3/8/8/8/8/8/8/3KK3 w - -",  "4k3/8/8/8/8/8/8/4K2k w - -",
    };
    struct Case {
        std::string fen, message;
        bool for_play;
    };
    std::vector<Case> cases;
    for (const std::string& fen : bad_format)
        cases.push_back({fen, "Bad epd format", false});
    for (const std::string& fen : unplayable)
        cases.push_back({fen, "Bad epd format: " + fen + "\n", true});
    cases.push_back({"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQxq -",
                     "Setboard: Bad castle info", false});
    cases.push_back({"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha -",
                     "Setboard: Bad castle info", false});

    const char* kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - ";
    auto pos = new_position(kiwipete);
    const Move a4 = parse_move(pos.get(), "a4");
    make_move(pos.get(), a4);
    const std::string text = position_text(pos.get());
    const u64 key = *pos->key_top;
    const int material = pos->material[0];
    for (const auto& [fen, message, for_play] : cases) {
        testing::internal::CaptureStdout();
        const int done = for_play ? set_board_for_play(pos.get(), fen.c_str())
                                  : set_board(pos.get(), fen.c_str());
        EXPECT_EQ(done, 0) << fen.substr(0, 80);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.rfind(message, 0), 0u)
            << fen.substr(0, 80) << " printed " << out.substr(0, 80);
        EXPECT_EQ(position_text(pos.get()), text) << fen.substr(0, 80);
        EXPECT_EQ(*pos->key_top, key);
        EXPECT_EQ(pos->material[0], material);
    }
    // The bad-format message shows the text from its first non-blank.
    testing::internal::CaptureStdout();
    set_board(pos.get(), "  8/8");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Bad epd format: 8/8\n");
    // The side to move may be in check.
    auto checked = new_position();
    EXPECT_EQ(set_board_for_play(checked.get(), "4k3/4Q3/8/8/8/8/8/4K3 b - -"), 1);
    // The move made before the failures can still be taken back.
    unmake_move(pos.get(), a4);
    EXPECT_EQ(position_text(pos.get()), kiwipete);
}

// The set-up check against the move generator's own check test: after every
// pseudo-legal move of the suite, the position is playable exactly when the
// mover's king is not left in check.
TEST(BoardFen, PlayableMatchesCheckTest)
{
    auto pos = new_position();
    int refused = 0;
    for (const PerftCase& c : load_perft_suite("perft.epd")) {
        ASSERT_EQ(set_board(pos.get(), c.fen.c_str()), 1);
        Move list[MAX_MOVES];
        const int count = gen_all_moves(pos.get(), list);
        for (int i = 0; i < count; i++) {
            const int mover = pos->side_to_move;
            make_move(pos.get(), list[i]);
            const bool playable = board_is_playable(pos->board, pos->side_to_move);
            EXPECT_EQ(playable, !is_in_check(pos.get(), mover)) << c.fen << " " << list[i];
            refused += !playable;
            unmake_move(pos.get(), list[i]);
        }
    }
    EXPECT_GT(refused, 0);
}

TEST(BoardFen, NewGameState)
{
    auto pos = new_position("4k3/8/8/8/8/8/8/4K3 w - -");
    pos->game->result = 1;
    pos->book_misses = 3;
    pos->resign_count = 2;
    setup_new_game(pos.get());
    EXPECT_EQ(position_text(pos.get()), std::string(START_POSITION_FEN) + " ");
    EXPECT_EQ(pos->game->result, RESULT_NONE);
    EXPECT_EQ(pos->book_misses + pos->resign_count + state_depth(pos.get()), 0);
    EXPECT_EQ(pos->game_active, 1);
}

} // namespace
