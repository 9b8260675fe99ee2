// FEN set-up and position text: round trips over the suite, the documented
// oddities of the reader, and malformed text that must leave the previous
// position untouched.
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

std::string first_four_fields(const std::string& fen) {
    std::string out;
    size_t p = 0;
    for (int i = 0; i < 4; i++) {
        size_t q = fen.find(' ', p);
        out += fen.substr(p, q - p) + " ";
        if (q == std::string::npos) break;
        p = q + 1;
    }
    return out;
}

TEST(BoardFen, SuiteRoundTrips) {
    auto pos = new_position();
    auto again = new_position();
    for (const PerftCase& c : load_perft_suite("perft.epd")) {
        ASSERT_EQ(set_board(pos.get(), c.fen.c_str()), 1);
        const std::string text = position_text(pos.get());
        EXPECT_EQ(text, first_four_fields(c.fen)) << c.fen;
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

TEST(BoardFen, ReaderRules) {
    struct Case {
        const char* fen;
        const char* text;
    } cases[] = {
        {"8/8/8/8/8/8/8/8 w - -", "8/8/8/8/8/8/8/8 w - - "},
        {"   8/8/8/8/8/8/8/8 w - -", "8/8/8/8/8/8/8/8 w - - "},
        {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq -", "r3k2r/8/8/8/8/8/8/R4K1R w kq - "},
        {"4k3/8/8/8/8/8/8/4K2R w -K -", "4k3/8/8/8/8/8/8/4K2R w K - "},
        {"4k3/8/8/8/8/8/8/4K3 b - -", "4k3/8/8/8/8/8/8/4K3 b - - "},
        {"4k3/8/8/8/8/8/8/4K3 B - -", "4k3/8/8/8/8/8/8/4K3 b - - "},
        {"4k3/8/8/8/8/8/8/4K3 x - -", "4k3/8/8/8/8/8/8/4K3 b - - "},
        {"4k3/8/8/8/4P3/8/8/4K3 b - e3", "4k3/8/8/8/4P3/8/8/4K3 b - e3 "},
        {"4k2r/8/8/8/8/8/8/4K3 b k e3 0 1 bm Kd7;", "4k2r/8/8/8/8/8/8/4K3 b k e3 "},
        {"4k3/8/8/8/8/8/8/4K3 w", "4k3/8/8/8/8/8/8/4K3 w - - "},
    };
    for (const Case& c : cases) {
        auto pos = new_position(c.fen);
        EXPECT_EQ(position_text(pos.get()), c.text) << c.fen;
        EXPECT_EQ(*pos->fifty_top, 0);
        EXPECT_EQ(pos->game->move_count, 0);
    }
    // The en-passant square stands even with no pawn to take, and is keyed.
    auto ep = new_position("4k3/8/8/8/4P3/8/8/4K3 b - e3");
    EXPECT_EQ(*ep->ep_top, 20);
    EXPECT_EQ(compute_hash_key(ep.get()), *ep->key_top);
}

TEST(BoardFen, MalformedTextLeavesPositionUntouched) {
    struct Case {
        const char* fen;
        const char* message;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "Bad epd format"},
        {"", "Bad epd format"},
        {"rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "Bad epd format"},
        {"rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "Bad epd format"},
        {"rnbqkbnr/ppppXppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq -", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w KQkq -", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR white KQkq -", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkqKQkq -", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e4", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq i3", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e33", "Bad epd format"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQxq -", "Setboard: Bad castle info"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha -", "Setboard: Bad castle info"},
    };
    auto pos = new_position("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    const Move a4 = parse_move(pos.get(), "a4");
    make_move(pos.get(), a4);
    const std::string text = position_text(pos.get());
    const u64 key = *pos->key_top;
    const int material = pos->material[0];
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(set_board(pos.get(), c.fen), 0) << c.fen;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.rfind(c.message, 0), 0u) << c.fen << " printed " << out;
        EXPECT_EQ(position_text(pos.get()), text) << c.fen;
        EXPECT_EQ(*pos->key_top, key);
        EXPECT_EQ(pos->material[0], material);
    }
    // The bad-format message shows the text from its first non-blank.
    testing::internal::CaptureStdout();
    set_board(pos.get(), "  8/8");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Bad epd format: 8/8\n");
    // Very long fields are read bounded.
    std::string huge(100000, '8');
    testing::internal::CaptureStdout();
    EXPECT_EQ(set_board(pos.get(), (huge + " w - -").c_str()), 0);
    EXPECT_EQ(set_board(pos.get(), ("8/8/8/8/8/8/8/8 w " + huge + " -").c_str()), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(position_text(pos.get()), text);
    // The move made before the failures can still be taken back.
    unmake_move(pos.get(), a4);
    EXPECT_EQ(position_text(pos.get()), "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - ");
}

TEST(BoardFen, NewGameState) {
    auto pos = new_position("4k3/8/8/8/8/8/8/4K3 w - -");
    pos->game->result = 1;
    pos->book_misses = 3;
    pos->resign_count = 2;
    setup_new_game(pos.get());
    EXPECT_EQ(position_text(pos.get()), std::string(START_POSITION_FEN) + " ");
    EXPECT_EQ(pos->game->result, RESULT_NONE);
    EXPECT_EQ(pos->book_misses, 0);
    EXPECT_EQ(pos->resign_count, 0);
    EXPECT_EQ(pos->game_active, 1);
    EXPECT_EQ(state_depth(pos.get()), 0);
}

}  // namespace
