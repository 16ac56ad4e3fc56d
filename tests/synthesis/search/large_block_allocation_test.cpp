#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "synthesis/search/large_pages.h"

// The test program is linked with the program's new and delete.

TEST(LargeBlockAllocation, LargeBlocksStartOnALargePageAndSmallOnesStayPlain) {
    for (const std::size_t bytes : {2 * kLargePageBytes, 5 * kLargePageBytes + 123, 36'000'054 + std::size_t{0}}) {
        std::vector<std::uint8_t> block(bytes);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.data()) % kLargePageBytes, 0U) << bytes;
        // Every byte is there to be written and read back.
        std::iota(block.begin(), block.end(), std::uint8_t{0});
        EXPECT_EQ(block.back(), static_cast<std::uint8_t>(bytes - 1));
    }
    // Small blocks, arrays and the nothrow form go through the same pair and come back whole.
    auto small = std::make_unique<int[]>(10);
    small[9] = 7;
    EXPECT_EQ(small[9], 7);
    int* nothrow = new (std::nothrow) int(3);
    ASSERT_NE(nothrow, nullptr);
    EXPECT_EQ(*nothrow, 3);
    delete nothrow;
}
