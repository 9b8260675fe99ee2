// position_is_ok against sane positions and hand-made corruptions of each
// kept value, move_is_sane against generated and broken move codes, and
// ASSERT live exactly in builds without NDEBUG.
#include <gtest/gtest.h>

#include <functional>

#include "board/assert.h"
#include "board/invariants.h"
#include "tests/board_support.h"

namespace {

const char* const SANE_FENS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
    "8/8/8/8/8/8/8/8 w - -", // no kings: the editor and FEN allow it
};

// A position three moves into a game, so the stacks are above their base.
PositionPtr played_position()
{
    auto pos = new_position();
    play(pos.get(), "e4 d5 exd5");
    return pos;
}

TEST(BoardInvariants, SanePositionsPass)
{
    for (const char* fen : SANE_FENS) {
        auto pos = new_position(fen);
        EXPECT_EQ(position_fault(pos.get()), nullptr) << fen;
        for (Move m : legal_moves(pos.get())) {
            EXPECT_TRUE(move_is_sane(pos.get(), m)) << fen << " " << m;
            make_move(pos.get(), m);
            EXPECT_EQ(position_fault(pos.get()), nullptr) << fen << " " << m;
            unmake_move(pos.get(), m);
        }
    }
    EXPECT_TRUE(position_is_ok(played_position().get()));
}

TEST(BoardInvariants, EachCorruptionIsNamed)
{
    const struct {
        const char* fault;
        std::function<void(Position*)> corrupt;
    } cases[] = {
        {"key", [](Position* p) { *p->key_top ^= 1; }},
        {"pawn key", [](Position* p) { *p->pawn_key_top ^= u64(1) << 40; }},
        {"material", [](Position* p) { p->material[BLACK] += 100; }},
        {"piece counts", [](Position* p) { p->knight_count[WHITE]--; }},
        {"phase", [](Position* p) { p->phase[BLACK]++; }},
        {"occupied", [](Position* p) { p->occupied |= u64(1) << 28; }},
        {"side occupancy", [](Position* p) { p->pieces[WHITE] ^= u64(1) << SQ_E1; }},
        {"piece sets", [](Position* p) { p->rooks[BLACK] = 0; }},
        {"rotated occupancy", [](Position* p) { p->occupied_rot45 ^= 1; }},
        {"king square", [](Position* p) { p->king_square[WHITE] = SQ_D1; }},
        {"king square", [](Position* p) { p->king_square[BLACK] = 64; }},
        {"piece code", [](Position* p) { p->board[40] = 7; }},
        // A piece on the board the sets do not know of.
        {"piece sets", [](Position* p) { p->board[27] = W_QUEEN; }},
        {"side to move", [](Position* p) { p->side_to_move = 2; }},
        {"state stack tops", [](Position* p) { p->ep_top = p->ep_stack - 1; }},
    };
    for (const auto& c : cases) {
        auto pos = played_position();
        c.corrupt(pos.get());
        const char* fault = position_fault(pos.get());
        EXPECT_STREQ(fault ? fault : "none", c.fault);
        EXPECT_FALSE(position_is_ok(pos.get()));
    }
}

TEST(BoardInvariants, BrokenMoveCodesAreNotSane)
{
    // White to move; black pawn just played d7-d5 beside the e5 pawn.
    auto pos = new_position("r3k2r/3p4/8/4P3/8/8/1p6/R3K2R w Kq -");
    play(pos.get(), "Kd1 d5");
    const Position* p = pos.get();
    const Move e5d6 = make_move_code(36, 43, W_PAWN, B_PAWN, 0);
    ASSERT_TRUE(move_is_sane(p, e5d6)); // en passant is fine
    const Move broken[] = {
        0,
        make_move_code(3, 3, W_KING, 0, 0),                  // from == to
        make_move_code(3, 4, W_QUEEN, 0, 0),                 // not the piece there
        make_move_code(59, 51, B_KING, 0, 0),                // not the side to move
        make_move_code(0, 8, W_ROOK, B_PAWN, 0),             // captures an empty square
        make_move_code(0, 56, W_ROOK, B_KING, 0),            // captures a piece not there
        make_move_code(36, 44, W_PAWN, 0, PROMO_QUEEN),      // promotes mid-board
        make_move_code(0, 9, W_ROOK, B_PAWN, 0) | (1 << 22), // stray bits
        MOVE_WHITE_SHORT,                                    // the king has moved
    };
    for (Move m : broken)
        EXPECT_FALSE(move_is_sane(p, m)) << std::hex << m;
}

TEST(BoardInvariants, AssertIsLiveOnlyWithoutNdebug)
{
    int evaluated = 0;
    ASSERT(++evaluated > 0);
#ifdef NDEBUG
    EXPECT_EQ(evaluated, 0);
#else
    EXPECT_EQ(evaluated, 1);
    auto pos = new_position();
    EXPECT_DEATH(make_move(pos.get(), make_move_code(SQ_E1, SQ_E8, W_KING, B_KING, 0)),
                 "assertion failed: move_is_sane");
#endif
}

} // namespace
