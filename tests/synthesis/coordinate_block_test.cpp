// The memory a training set keeps its coordinates in.
#include <gtest/gtest.h>

#include <cstddef>
#include <utility>

#include "synthesis/coordinate_block.h"

namespace {

// Every coordinate of a block can be written and read back, around each size where the block changes how it
// is mapped (whole 4 KiB pages, then whole 2 MiB pages on a 2 MiB boundary).
TEST(CoordinateBlock, EveryCoordinateIsUsable) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    for (const std::size_t count : {std::size_t{1}, std::size_t{513}, kMiB / 8 - 1, kMiB / 8, 2 * kMiB / 8 + 1,
                                    std::size_t{12'544} * 90}) {
        SCOPED_TRACE(count);
        const CoordinateBlock block(count * sizeof(ANNcoord));
        ANNcoord* coordinates = block.data();
        ASSERT_NE(coordinates, nullptr);
        EXPECT_EQ(coordinates[0], 0.0);
        EXPECT_EQ(coordinates[count - 1], 0.0);
        for (std::size_t i = 0; i < count; ++i) {
            coordinates[i] = static_cast<ANNcoord>(i);
        }
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < count; ++i) {
            wrong += coordinates[i] != static_cast<ANNcoord>(i) ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u);
    }
}

TEST(CoordinateBlock, MovingHandsOverTheMemory) {
    CoordinateBlock first(4 * 1024 * 1024);
    first.data()[7] = 7.5;
    CoordinateBlock second(std::move(first));
    EXPECT_EQ(first.data(), nullptr);
    EXPECT_EQ(second.data()[7], 7.5);
    first = std::move(second);
    EXPECT_EQ(second.data(), nullptr);
    EXPECT_EQ(first.data()[7], 7.5);
    EXPECT_EQ(CoordinateBlock().data(), nullptr);
}

}  // namespace
