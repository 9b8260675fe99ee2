// Published values and fixed generator orders: Zobrist entries and keys
// (stored in book files), and the order in which moves are generated (move
// ordering and node counts depend on it).
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

std::vector<std::string> coords(const Move* list, int n)
{
    std::vector<std::string> out;
    for (int i = 0; i < n; i++) {
        std::string s = square_name[move_from(list[i])];
        s += square_name[move_to(list[i])];
        if (move_promo(list[i]))
            s += " nbrq"[move_promo(list[i])];
        out.push_back(s);
    }
    return out;
}

// The keys are the random sequence's first draws, in this order.
TEST(BoardValues, ZobristEntriesStartKeysAndCounts)
{
    board_tests_init();
    restart_random_sequence();
    init_hash_keys();
    auto pos = new_position();
    EXPECT_EQ(zobrist_piece[17][0], 0x91AF3D2D038DDDD4ull);
    EXPECT_EQ(zobrist_side, 0x2387EC79D104E7D0ull);
    EXPECT_EQ(*pos->key_top, 0xABC98F6D28D98B82ull);
    EXPECT_EQ(*pos->pawn_key_top, 0x8A5491BA118D5635ull);
    for (int c = 0; c < 2; c++) {
        const int got[] = {pos->phase[c],        pos->major_count[c], pos->knight_count[c],
                           pos->bishop_count[c], pos->pawn_count[c],  pos->material[c]};
        EXPECT_EQ(std::vector<int>(got, got + 6), std::vector<int>({32, 4, 2, 2, 8, 3970})) << c;
    }
}

TEST(BoardValues, KeyRules)
{
    auto a = new_position("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    auto b = new_position("r3k2r/8/8/8/8/8/8/R3K2R w - -");
    EXPECT_EQ(*a->key_top, *b->key_top); // rights are not in the key
    auto black = new_position("r3k2r/8/8/8/8/8/8/R3K2R b - -");
    EXPECT_EQ(*a->key_top ^ *black->key_top, zobrist_side);
    auto ep = new_position("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    auto no_ep = new_position("4k3/8/8/3pP3/8/8/8/4K3 w - -");
    EXPECT_EQ(*ep->key_top ^ *no_ep->key_top, zobrist_ep[43]);
    EXPECT_EQ(*a->pawn_key_top, 0u);

    // A double step with no enemy pawn beside it sets no en-passant square.
    auto start = new_position();
    make_move(start.get(), parse_move(start.get(), "e4"));
    EXPECT_EQ(*start->ep_top, 0);
    auto same = new_position("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -");
    EXPECT_EQ(*start->key_top, *same->key_top);
    // Beside an enemy pawn it does, and the next move removes it again.
    auto beside = new_position("4k3/8/8/8/3p4/8/4P3/4K3 w - -");
    make_move(beside.get(), parse_move(beside.get(), "e4"));
    EXPECT_EQ(*beside->ep_top, 20);
    EXPECT_EQ(compute_hash_key(beside.get()), *beside->key_top);
    make_move(beside.get(), parse_move(beside.get(), "Kd7"));
    EXPECT_EQ(*beside->ep_top, 0);
    EXPECT_EQ(compute_hash_key(beside.get()), *beside->key_top);
}

TEST(BoardValues, StartPositionOrder)
{
    auto pos = new_position();
    Move list[MAX_MOVES];
    EXPECT_EQ(coords(list, gen_all_moves(pos.get(), list)),
              split_words("a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 "
                          "h2h3 h2h4 b1a3 b1c3 g1f3 g1h3"));
    make_move(pos.get(), 0x2200031C); // e2e4
    const auto black = coords(list, gen_quiet_black(pos.get(), list));
    ASSERT_GE(black.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(black.begin(), black.begin() + 4),
              split_words("h7h6 h7h5 g7g6 g7g5"));
}

int generate(Position* pos, int generator, Move* list)
{
    const bool white = pos->side_to_move == WHITE;
    switch (generator) {
        case 1: return white ? gen_captures_white(pos, list) : gen_captures_black(pos, list);
        case 2: return white ? gen_evasions_white(pos, list) : gen_evasions_black(pos, list);
        case 3: return white ? gen_quiet_white(pos, list) : gen_quiet_black(pos, list);
        default: return gen_all_moves(pos, list);
    }
}

TEST(BoardValues, GeneratorOrders)
{
    const struct {
        const char* fen;
        int generator; // 0 all, 1 captures, 2 evasions, 3 quiet
        const char* expected;
    } cases[] = {
        // Push promotions before capture promotions, queen first.
        {"r3k3/1P6/8/8/8/8/8/4K3 w - -", 1, "b7b8q b7b8r b7b8b b7b8n b7a8q b7a8r b7a8b b7a8n"},
        // White capture targets descending, black ascending.
        {"r3k2r/8/8/8/8/8/8/R3K3 w - -", 1, "a1a8"},
        {"4k3/8/8/8/8/8/8/Rr2K2R b - -", 1, "b1a1 b1e1"},
        {"r2R3r/8/8/8/8/8/8/K6k w - -", 1, "d8h8 d8a8"},
        {"4k3/8/8/8/8/8/8/R2r3R b - -", 1, "d1a1 d1h1"},
        // Castling last, short before long, even into an attacked square.
        {"4k3/8/8/8/8/8/6r1/R3K2R w KQ -", 3,
         "a1b1 a1c1 a1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 a1a8 h1f1 h1g1 h1h2 h1h3 h1h4 h1h5 h1h6 "
         "h1h7 h1h8 "
         "e1d1 e1f1 e1d2 e1e2 e1f2 e1g1 e1c1"},
        // No castling through an attacked square or out of check.
        {"4k3/8/8/8/8/8/5r2/R3K2R w K -", 3, nullptr},
        {"4k3/8/8/8/8/8/4r3/R3K2R w KQ -", 3, nullptr},
        // Double check: king moves only.
        {"4k3/8/8/8/1b6/8/8/r3K3 w - -", 2, "e1e2 e1f2"},
        // Retreat along the checking line is not generated; away from a
        // pawn's check it is.
        {"4r1k1/8/8/8/8/8/4K3/8 w - -", 2, "e2d1 e2f1 e2d2 e2f2 e2d3 e2f3"},
        {"6k1/8/8/8/8/3p4/4K3/8 w - -", 2, "e2d3 e2d1 e2e1 e2f1 e2d2 e2f2 e2e3 e2f3"},
    };
    for (const auto& c : cases) {
        auto pos = new_position(c.fen);
        Move list[MAX_MOVES];
        const auto got = coords(list, generate(pos.get(), c.generator, list));
        if (c.expected) {
            EXPECT_EQ(got, split_words(c.expected)) << c.fen;
        } else {
            for (const std::string& m : got)
                EXPECT_TRUE(m != "e1g1" && m != "e1c1") << c.fen;
        }
    }
    auto castle = new_position("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    Move list[MAX_MOVES];
    int n = gen_quiet_white(castle.get(), list);
    ASSERT_GE(n, 2);
    EXPECT_EQ(list[n - 2], MOVE_WHITE_SHORT);
    EXPECT_EQ(list[n - 1], MOVE_WHITE_LONG);
    make_move(castle.get(), parse_move(castle.get(), "Ra2"));
    n = gen_quiet_black(castle.get(), list);
    EXPECT_EQ(list[n - 2], MOVE_BLACK_SHORT);
    EXPECT_EQ(list[n - 1], MOVE_BLACK_LONG);
}

TEST(BoardValues, LegalMoveCounts)
{
    const std::pair<const char*, int> cases[] = {
        {"7k/6Q1/6K1/8/8/8/8/8 b - -", 0}, // mate
        {"7k/8/6QK/8/8/8/8/8 b - -", 0},   // stalemate
        {START_POSITION_FEN, 20},
    };
    for (const auto& [fen, n] : cases)
        EXPECT_EQ(count_legal_moves(new_position(fen).get()), n) << fen;
    // Far more pseudo-legal moves than any real game position still fit.
    auto pos = new_position("1QQQQQQK/Q6Q/2Q4Q/Q5Q1/Q5Q1/Q2Q4/QQ5Q/k1Q1QQQQ w - -");
    Move list[MAX_MOVES];
    const int n = gen_all_moves(pos.get(), list);
    EXPECT_GT(n, 256);
    EXPECT_LE(n, MAX_MOVES);
    EXPECT_GT(count_legal_moves(pos.get()), 256);
}

} // namespace
