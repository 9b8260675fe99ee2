// Table memory: every block comes zeroed and writable end to end, large ones
// on a huge-page boundary, and is given back the way it was got, mapped or
// from calloc (small blocks, and large ones once the mapping records run out).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "board/tablemem.h"

namespace {

constexpr size_t HUGE_PAGE = size_t(2) << 20;

TEST(TableMemory, BlocksAreZeroedAlignedAndGivenBack)
{
    const size_t sizes[] = {1, 30, HUGE_PAGE - 1, HUGE_PAGE, 5 * HUGE_PAGE + 30};
    std::vector<unsigned char*> live;
    // Three rounds, more blocks alive than there are mapping records, each
    // round given back in a different order: reused memory must read zero.
    for (int round = 0; round < 3; round++) {
        for (int copy = 0; copy < 3; copy++)
            for (size_t bytes : sizes) {
                auto* p = static_cast<unsigned char*>(alloc_table_mem(bytes));
                ASSERT_NE(p, nullptr);
                for (size_t i = 0; i < bytes; i += 97)
                    ASSERT_EQ(p[i], 0) << bytes << " round " << round;
                ASSERT_EQ(p[bytes - 1], 0) << bytes;
#ifdef __linux__
                ASSERT_TRUE(bytes < HUGE_PAGE || uintptr_t(p) % HUGE_PAGE == 0) << bytes;
#endif
                std::memset(p, 0xA5, bytes);
                live.push_back(p);
            }
        for (size_t i = round % 2; i < live.size(); i += 2)
            free_table_mem(live[i]);
        for (size_t i = 1 - round % 2; i < live.size(); i += 2)
            free_table_mem(live[i]);
        live.clear();
    }
    free_table_mem(nullptr);
}

} // namespace
