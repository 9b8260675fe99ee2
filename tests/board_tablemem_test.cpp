// Table memory: every block comes zeroed, writable end to end and given back
// the way it was got, whether mapped on a huge-page boundary or taken from
// calloc (small blocks, and large ones once the mapping records run out).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "board/tablemem.h"

namespace {

constexpr size_t HUGE_PAGE = size_t(2) << 20;

bool all_zero(const unsigned char* p, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (p[i] != 0)
            return false;
    return true;
}

TEST(TableMemory, BlocksAreZeroedWritableAndAligned)
{
    const size_t sizes[] = {
        1, 30, 4096, HUGE_PAGE - 1, HUGE_PAGE, HUGE_PAGE + 12, 5 * HUGE_PAGE + 30};
    // Twice round: the second pass gets blocks where the first ones were
    // given back, which must again read as zero.
    for (int pass = 0; pass < 2; pass++) {
        for (size_t bytes : sizes) {
            auto* p = static_cast<unsigned char*>(alloc_table_mem(bytes));
            ASSERT_NE(p, nullptr) << bytes;
            EXPECT_TRUE(all_zero(p, bytes)) << bytes << " pass " << pass;
#ifdef __linux__
            if (bytes >= HUGE_PAGE) {
                EXPECT_EQ(uintptr_t(p) % HUGE_PAGE, 0u) << bytes;
            }
#endif
            std::memset(p, 0xA5, bytes);
            EXPECT_EQ(p[bytes - 1], 0xA5);
            free_table_mem(p);
        }
    }
    free_table_mem(nullptr);
}

TEST(TableMemory, ManyLiveLargeBlocksOutlastTheMappingRecords)
{
    std::vector<unsigned char*> blocks;
    for (int i = 0; i < 20; i++) {
        auto* p = static_cast<unsigned char*>(alloc_table_mem(HUGE_PAGE + size_t(i)));
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(all_zero(p, HUGE_PAGE + size_t(i))) << i;
        p[0] = p[HUGE_PAGE + size_t(i) - 1] = static_cast<unsigned char>(i + 1);
        blocks.push_back(p);
    }
    for (size_t i = 0; i < blocks.size(); i++)
        EXPECT_EQ(blocks[i][0], i + 1) << "blocks overlap";
    // Given back in an order unlike the taking, mapped and calloc'd mixed.
    for (size_t i = 0; i < blocks.size(); i += 2)
        free_table_mem(blocks[i]);
    for (size_t i = 1; i < blocks.size(); i += 2)
        free_table_mem(blocks[i]);
    auto* again = static_cast<unsigned char*>(alloc_table_mem(3 * HUGE_PAGE));
    EXPECT_TRUE(all_zero(again, 3 * HUGE_PAGE));
    free_table_mem(again);
}

} // namespace
