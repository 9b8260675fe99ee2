// Every node of the perft trees, checked against from-scratch recomputation:
// after make_move the incremental keys, material, counts and bitboards equal
// their rebuilt values, and after unmake_move the board part, side and stack
// tops are bit-identical to before. Also: the fast legality filter keeps
// exactly the moves the make-and-test rule keeps, every generated move is
// accepted by is_move_valid, and the evasion generator finds every legal
// move when in check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <set>

#include "tests/board_support.h"

namespace {

constexpr size_t BOARD_PART_BYTES = offsetof(Position, phase) + sizeof(Position::phase);

struct Snapshot {
    unsigned char board_part[BOARD_PART_BYTES];
    int side;
    const void* tops[5];
    u64 key, pawn_key;
    int castle, fifty, ep;

    explicit Snapshot(const Position* pos) {
        memcpy(board_part, pos, BOARD_PART_BYTES);
        side = pos->side_to_move;
        tops[0] = pos->castle_top;
        tops[1] = pos->key_top;
        tops[2] = pos->pawn_key_top;
        tops[3] = pos->fifty_top;
        tops[4] = pos->ep_top;
        key = *pos->key_top;
        pawn_key = *pos->pawn_key_top;
        castle = *pos->castle_top;
        fifty = *pos->fifty_top;
        ep = *pos->ep_top;
    }
    bool operator==(const Snapshot& o) const {
        return memcmp(board_part, o.board_part, BOARD_PART_BYTES) == 0 && side == o.side &&
               std::equal(tops, tops + 5, o.tops) && key == o.key && pawn_key == o.pawn_key &&
               castle == o.castle && fifty == o.fifty && ep == o.ep;
    }
};

class TreeChecker {
public:
    TreeChecker() : scratch_(new_position()) {}

    // Derived data of `pos` against a rebuild from its board array.
    ::testing::AssertionResult consistent(const Position* pos) {
        Position* s = scratch_.get();
        memcpy(s->board, pos->board, sizeof s->board);
        memcpy(s->king_square, pos->king_square, sizeof s->king_square);
        rebuild_bitboards(s);
        compute_material(s);
        if (memcmp(s, pos, BOARD_PART_BYTES) != 0) return ::testing::AssertionFailure() << "board part differs from rebuild";
        if (compute_hash_key(pos) != *pos->key_top) return ::testing::AssertionFailure() << "key";
        if (compute_pawn_key(pos) != *pos->pawn_key_top) return ::testing::AssertionFailure() << "pawn key";
        return ::testing::AssertionSuccess();
    }

    void walk(Position* pos, int depth, const std::string& fen) {
        Move list[MAX_MOVES];
        const int mover = pos->side_to_move;
        const int n = gen_all_moves(pos, list);
        for (int i = 0; i < n; i++) ASSERT_NE(is_move_valid(pos, list[i]), 0) << fen;

        std::vector<Move> slow;
        for (int i = 0; i < n; i++) {
            make_move(pos, list[i]);
            if (!is_in_check(pos, mover)) slow.push_back(list[i]);
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
            if (depth > 1) walk(pos, depth - 1, fen);
            unmake_move(pos, list[i]);
            ASSERT_TRUE(Snapshot(pos) == before) << fen << " unmake " << format_move_coord(list[i]);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }

    long nodes_ = 0;

private:
    PositionPtr scratch_;
};

TEST(BoardConsistency, EveryNodeOfSuiteTreesMatchesRebuild) {
    const int depth = board_tests_sanitized() ? 2 : 3;
    auto pos = new_position();
    TreeChecker checker;
    for (const PerftCase& c : load_perft_suite("perft.epd")) {
        ASSERT_EQ(set_board(pos.get(), c.fen.c_str()), 1);
        ASSERT_TRUE(checker.consistent(pos.get())) << c.fen;
        checker.walk(pos.get(), depth, c.fen);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(checker.nodes_, depth == 2 ? 30000 : 800000);
}

TEST(BoardConsistency, KiwipeteDepthFour) {
    if (board_tests_sanitized()) GTEST_SKIP() << "too slow under sanitizers";
    auto pos = new_position("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    TreeChecker checker;
    checker.walk(pos.get(), 4, "kiwipete");
    EXPECT_EQ(checker.nodes_, 48 + 2039 + 97862 + 4085603);
}

// Codes that do not fit the position are refused, so that a stale hash or
// killer move can never corrupt the board.
TEST(BoardConsistency, IsMoveValidRefusesMisfits) {
    auto pos = new_position();
    const Move e2e4 = make_move_code(SQ_E1 + 8, 28, W_PAWN, 0, 0);
    EXPECT_NE(is_move_valid(pos.get(), e2e4), 0);
    EXPECT_EQ(is_move_valid(pos.get(), 0), 0);
    // Piece no longer on its square.
    EXPECT_EQ(is_move_valid(pos.get(), make_move_code(21, 29, W_PAWN, 0, 0)), 0);
    // Knight jumping to a square it cannot reach; pawn "capturing" far away.
    EXPECT_EQ(is_move_valid(pos.get(), make_move_code(SQ_G1, 38, W_KNIGHT, 0, 0)), 0);
    // Bishop onto its own pawn, and a move of the side not to move.
    EXPECT_EQ(is_move_valid(pos.get(), make_move_code(SQ_F1, 12, W_BISHOP, 0, 0)), 0);
    EXPECT_EQ(is_move_valid(pos.get(), make_move_code(52, 36, B_PAWN, 0, 0)), 0);
    // Captured field disagreeing with the target square.
    EXPECT_EQ(is_move_valid(pos.get(), make_move_code(12, 28, W_PAWN, B_PAWN, 0)), 0);
    // Promotion field on a move that does not promote.
    EXPECT_EQ(is_move_valid(pos.get(), make_move_code(12, 20, W_PAWN, 0, PROMO_QUEEN)), 0);
    // Castling without the path clear.
    EXPECT_EQ(is_move_valid(pos.get(), MOVE_WHITE_SHORT), 0);

    auto open = new_position("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    EXPECT_NE(is_move_valid(open.get(), MOVE_WHITE_SHORT), 0);
    EXPECT_NE(is_move_valid(open.get(), MOVE_WHITE_LONG), 0);
    EXPECT_EQ(is_move_valid(open.get(), MOVE_BLACK_SHORT), 0);
    // A bishop move whose path is open is accepted onto an empty square.
    auto bishop = new_position("4k3/8/8/8/8/8/8/2B1K3 w - -");
    EXPECT_NE(is_move_valid(bishop.get(), make_move_code(SQ_C1, 47, W_BISHOP, 0, 0)), 0);
    EXPECT_EQ(is_move_valid(bishop.get(), make_move_code(SQ_C1, 54, W_BISHOP, 0, 0)), 0);
}

}  // namespace
