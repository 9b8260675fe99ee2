// Perft counts of the published suite, also walked through the evasion
// generator whenever the side to move is in check (as the search does), and
// with the last ply counted from target sets (as the perft tool does).
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

enum class Walk { Generated, Evasions, Counted };

// Positions at the last ply where the counted and the generated number of
// legal moves differ.
int count_mismatches = 0;

uint64_t perft(Position* pos, int depth, Move* list, Walk walk)
{
    int n;
    if (walk == Walk::Evasions && is_in_check(pos, pos->side_to_move))
        n = pos->side_to_move == WHITE ? gen_evasions_white(pos, list)
                                       : gen_evasions_black(pos, list);
    else
        n = gen_all_moves(pos, list);
    n = remove_illegal_moves(pos, list, n);
    if (depth == 1) {
        if (walk != Walk::Counted)
            return uint64_t(n);
        const int counted = count_legal_moves_bulk(pos);
        count_mismatches += counted != n;
        return uint64_t(counted);
    }
    uint64_t nodes = 0;
    for (int i = 0; i < n; i++) {
        make_move(pos, list[i]);
        nodes += perft(pos, depth - 1, list + n, walk);
        unmake_move(pos, list[i]);
    }
    return nodes;
}

Move list[MAX_PLY * MAX_MOVES];

void run_suite(int depth_limit, Walk walk)
{
    auto cases = load_perft_suite("perft.epd");
    ASSERT_EQ(cases.size(), 159u);
    auto pos = new_position();
    int checked = 0;
    for (const PerftCase& c : cases) {
        ASSERT_EQ(set_board(pos.get(), c.fen.c_str()), 1) << c.fen;
        for (auto [depth, expected] : c.counts) {
            if (depth > depth_limit)
                continue;
            EXPECT_EQ(perft(pos.get(), depth, list, walk), expected) << c.fen << " depth " << depth;
            checked++;
        }
    }
    EXPECT_GT(checked, 300);
}

// The sanitized build checks every position's invariants after each make
// and unmake; depth 4 keeps that run to seconds, the release run takes all.
TEST(BoardPerft, SuiteCountsAtListedDepths)
{
    run_suite(board_tests_sanitized() ? 4 : 99, Walk::Generated);
}

TEST(BoardPerft, SuiteCountsThroughEvasionGenerator)
{
    run_suite(board_tests_sanitized() ? 3 : 4, Walk::Evasions);
}

TEST(BoardPerft, SuiteCountsWithCountedLastPly)
{
    count_mismatches = 0;
    run_suite(board_tests_sanitized() ? 3 : 5, Walk::Counted);
    EXPECT_EQ(count_mismatches, 0);
}

} // namespace
