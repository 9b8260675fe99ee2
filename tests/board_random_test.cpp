// The random sequence is part of the book file format: its first values are
// fixed for good. The sequence starts again from its seed for these checks.
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

TEST(BoardRandom, FirstDrawsAndLongRunMatchReference)
{
    restart_random_sequence();
    EXPECT_EQ(draw_random32(), 60494271u);
    EXPECT_EQ(draw_random32(), 1217451684u);
    EXPECT_EQ(draw_random32(), 928226186u);
    ReferenceRandom ref;
    for (int i = 0; i < 3; i++)
        ref.next();
    for (int i = 0; i < 10000; i++)
        ASSERT_EQ(draw_random32(), ref.next()) << "draw " << i + 3;
    // The overlapping terms of a 64-bit value carry into each other.
    EXPECT_EQ(draw_random64(), ref.next64());
}

} // namespace
