// Every node of the perft trees against from-scratch recomputation: after
// make_move the incremental keys, material, counts and bitboards equal their
// rebuilt values; after unmake_move the board part, side and stack tops are
// bit-identical to before. Also: the fast legality filter keeps exactly what
// make-and-test keeps, every generated move passes is_move_valid, and the
// evasion generator finds every legal move when in check.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <set>

#include "tests/board_support.h"

namespace {

constexpr size_t BOARD_PART_BYTES = offsetof(Position, phase) + sizeof(Position::phase);

struct Snapshot {
    std::array<unsigned char, BOARD_PART_BYTES> board_part;
    std::array<const void*, 5> tops;
    std::array<long long, 6> values;

    explicit Snapshot(const Position* pos)
        : tops{pos->castle_top, pos->key_top, pos->pawn_key_top, pos->fifty_top, pos->ep_top},
          values{pos->side_to_move, (long long)*pos->key_top, (long long)*pos->pawn_key_top,
                 *pos->castle_top,  *pos->fifty_top,          *pos->ep_top}
    {
        memcpy(board_part.data(), pos, BOARD_PART_BYTES);
    }
    bool operator==(const Snapshot& o) const
    {
        return board_part == o.board_part && tops == o.tops && values == o.values;
    }
};

class TreeChecker {
  public:
    // Derived data of `pos` against a rebuild from its board array.
    ::testing::AssertionResult consistent(const Position* pos)
    {
        Position* s = scratch_.get();
        memcpy(s->board, pos->board, sizeof s->board);
        memcpy(s->king_square, pos->king_square, sizeof s->king_square);
        rebuild_bitboards(s);
        compute_material(s);
        if (memcmp(s, pos, BOARD_PART_BYTES) != 0)
            return ::testing::AssertionFailure() << "board part differs";
        if (compute_hash_key(pos) != *pos->key_top)
            return ::testing::AssertionFailure() << "key";
        if (compute_pawn_key(pos) != *pos->pawn_key_top)
            return ::testing::AssertionFailure() << "pawn key";
        return ::testing::AssertionSuccess();
    }

    void walk(Position* pos, int depth, const std::string& fen)
    {
        Move list[MAX_MOVES];
        const int mover = pos->side_to_move;
        const int n = gen_all_moves(pos, list);
        std::vector<Move> slow;
        for (int i = 0; i < n; i++) {
            ASSERT_NE(is_move_valid(pos, list[i]), 0) << fen;
            make_move(pos, list[i]);
            if (!is_in_check(pos, mover))
                slow.push_back(list[i]);
            unmake_move(pos, list[i]);
        }
        const int legal = remove_illegal_moves(pos, list, n);
        ASSERT_EQ(std::vector<Move>(list, list + legal), slow) << fen;

        if (is_in_check(pos, mover)) {
            Move ev[MAX_MOVES];
            int m = mover == WHITE ? gen_evasions_white(pos, ev) : gen_evasions_black(pos, ev);
            m = remove_illegal_moves(pos, ev, m);
            ASSERT_EQ(std::set<Move>(ev, ev + m), std::set<Move>(slow.begin(), slow.end())) << fen;
        }

        for (int i = 0; i < legal; i++) {
            const Snapshot before(pos);
            make_move(pos, list[i]);
            nodes_++;
            ASSERT_TRUE(consistent(pos)) << fen << " after " << format_move_coord(list[i]);
            if (depth > 1)
                walk(pos, depth - 1, fen);
            unmake_move(pos, list[i]);
            ASSERT_TRUE(Snapshot(pos) == before) << fen << " unmake " << format_move_coord(list[i]);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }

    long nodes_ = 0;

  private:
    PositionPtr scratch_ = new_position();
};

TEST(BoardConsistency, EveryNodeOfSuiteTreesMatchesRebuild)
{
    const int depth = board_tests_sanitized() ? 2 : 3;
    auto pos = new_position();
    TreeChecker checker;
    for (const PerftCase& c : load_perft_suite("perft.epd")) {
        ASSERT_EQ(set_board(pos.get(), c.fen.c_str()), 1);
        ASSERT_TRUE(checker.consistent(pos.get())) << c.fen;
        checker.walk(pos.get(), depth, c.fen);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(checker.nodes_, depth == 2 ? 30000 : 800000);
}

TEST(BoardConsistency, KiwipeteDepthFour)
{
    if (board_tests_sanitized())
        GTEST_SKIP() << "too slow under sanitizers";
    auto pos = new_position("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    TreeChecker checker;
    checker.walk(pos.get(), 4, "kiwipete");
    EXPECT_EQ(checker.nodes_, 48 + 2039 + 97862 + 4085603);
}

// Codes that do not fit the position are refused, so that a stale hash or
// killer move can never corrupt the board.
TEST(BoardConsistency, IsMoveValidRefusesMisfits)
{
    const char* start = START_POSITION_FEN;
    const char* open = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -";
    const char* bishop = "4k3/8/8/8/8/8/8/2B1K3 w - -";
    const struct {
        const char* fen;
        Move move;
        bool valid;
    } cases[] = {
        {start, make_move_code(12, 28, W_PAWN, 0, 0), true},
        {start, 0, false},
        {start, make_move_code(21, 29, W_PAWN, 0, 0), false},           // no piece on the square
        {start, make_move_code(SQ_G1, 38, W_KNIGHT, 0, 0), false},      // out of the knight's reach
        {start, make_move_code(SQ_F1, 12, W_BISHOP, 0, 0), false},      // onto its own pawn
        {start, make_move_code(52, 36, B_PAWN, 0, 0), false},           // side not to move
        {start, make_move_code(12, 28, W_PAWN, B_PAWN, 0), false},      // captured field wrong
        {start, make_move_code(12, 20, W_PAWN, 0, PROMO_QUEEN), false}, // promotion that is none
        {start, MOVE_WHITE_SHORT, false},                               // path not clear
        {open, MOVE_WHITE_SHORT, true},
        {open, MOVE_WHITE_LONG, true},
        {open, MOVE_BLACK_SHORT, false},
        {bishop, make_move_code(SQ_C1, 47, W_BISHOP, 0, 0), true},
        {bishop, make_move_code(SQ_C1, 54, W_BISHOP, 0, 0), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_move_valid(new_position(c.fen).get(), c.move) != 0, c.valid)
            << c.fen << " " << c.move;
}

} // namespace
