// The random sequence is part of the book file format: its first values are
// fixed for good. This process draws nothing before these checks.
#include <gtest/gtest.h>

#include "board/zobrist.h"

namespace {

// Reference generator written from the description: additive lagged
// Fibonacci over the seed table, lags 24 and 55.
struct ReferenceRandom {
    uint32_t state[55];
    int j = 23, k = 54;
    ReferenceRandom() {
        for (int i = 0; i < 55; i++) state[i] = RANDOM_SEED_TABLE[i];
    }
    uint32_t next() {
        state[k] += state[j];
        uint32_t r = state[k];
        j = j == 0 ? 54 : j - 1;
        k = k == 0 ? 54 : k - 1;
        return r;
    }
};

TEST(BoardRandom, FirstDrawsAndLongRunMatchReference) {
    EXPECT_EQ(draw_random32(), 60494271u);
    EXPECT_EQ(draw_random32(), 1217451684u);
    EXPECT_EQ(draw_random32(), 928226186u);
    ReferenceRandom ref;
    for (int i = 0; i < 3; i++) ref.next();
    for (int i = 0; i < 10000; i++) ASSERT_EQ(draw_random32(), ref.next()) << "draw " << i + 3;
    // Eight draws make one 64-bit value, first draw in the top byte, with
    // the overlapping terms carrying into each other.
    uint64_t expected = 0;
    for (int shift = 56; shift >= 0; shift -= 8) expected += uint64_t(ref.next()) << shift;
    EXPECT_EQ(draw_random64(), expected);
}

}  // namespace
