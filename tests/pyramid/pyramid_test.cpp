// Level tables, the exemplar pyramid and enlargement.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <texsynth/image.h>

#include "pyramid/exemplar_pyramid.h"
#include "pyramid/level_table.h"

namespace {

struct LevelCase {
    int width, height, levels, n;
    int level_width, level_height, level_offset;
};

TEST(LevelTable, SizesAndOffsetsFollowTheHalvingRule) {
    const LevelCase cases[] = {
        {256, 256, 3, 2, 64, 64, 196'608 + 49'152},
        {256, 256, 3, 1, 128, 128, 196'608},
        {256, 256, 3, 0, 256, 256, 0},
        {16, 12, 3, 1, 8, 6, 576},
        {101, 64, 3, 1, 50, 32, 101 * 64 * 3},
        {101, 64, 3, 2, 25, 16, 101 * 64 * 3 + 50 * 32 * 3},
        {102, 64, 3, 2, 25, 16, 102 * 64 * 3 + 51 * 32 * 3},
        {5, 3, 3, 2, 1, 0, 51},
        {128, 128, 3, 2, 32, 32, 61'440},
    };
    for (const LevelCase& c : cases) {
        const LevelTable table = make_level_table(c.width, c.height, c.levels);
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " level " << c.n);
        EXPECT_EQ(table.width[c.n], c.level_width);
        EXPECT_EQ(table.height[c.n], c.level_height);
        EXPECT_EQ(table.offset[c.n], c.level_offset);
    }
}

TEST(LevelTable, PyramidBytesDoNotOverflow) {
    EXPECT_EQ(pyramid_bytes(128, 128, 3), 49'152 + 12'288 + 3'072);
    EXPECT_EQ(pyramid_bytes(5, 3, 3), 45 + 6 + 0);
    EXPECT_EQ(pyramid_bytes(100'000, 100'000, 1), std::int64_t{30'000'000'000});
}

std::vector<std::uint8_t> numbered_image(int width, int height) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 % 256);
    }
    return image;
}

TEST(ExemplarPyramid, FiveByThreeDropsTheOddColumnAndRow) {
    const std::vector<std::uint8_t> image = numbered_image(5, 3);
    std::vector<std::uint8_t> buffer(64, 0xEE);
    LevelTable table;
    build_exemplar_pyramid(image.data(), 5, 3, buffer, table, 2);

    EXPECT_EQ(table.width[1], 2);
    EXPECT_EQ(table.height[1], 1);
    EXPECT_EQ(table.offset[1], 45);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), buffer.begin()));
    for (int x = 0; x < 2; ++x) {
        for (int c = 0; c < 3; ++c) {
            auto at = [&](int px, int py) { return int{image[(py * 5 + px) * 3 + c]}; };
            const int expected = (at(2 * x, 0) + at(2 * x + 1, 0) + at(2 * x, 1) + at(2 * x + 1, 1)) / 4;
            EXPECT_EQ(buffer[45 + x * 3 + c], expected) << "x " << x << " channel " << c;
        }
    }
    // Nothing is written past the last level.
    EXPECT_EQ(buffer[51], 0xEE);
}

TEST(ExemplarPyramid, AveragesTruncateAndDoNotOverflow) {
    // A 2 x 2 image whose channels hold 1,1,1,2 (red), 255 everywhere (green) and 0,0,0,3 (blue).
    const std::vector<std::uint8_t> image = {1, 255, 0, 1, 255, 0, 1, 255, 0, 2, 255, 3};
    std::vector<std::uint8_t> buffer(15);
    LevelTable table;
    build_exemplar_pyramid(image.data(), 2, 2, buffer, table, 2);
    EXPECT_EQ(buffer[12], 1);
    EXPECT_EQ(buffer[13], 255);
    EXPECT_EQ(buffer[14], 0);
}

TEST(ExemplarPyramid, LevelCountShapesTheTable) {
    const std::vector<std::uint8_t> image = numbered_image(5, 3);
    std::vector<std::uint8_t> buffer(64);
    LevelTable table;
    build_exemplar_pyramid(image.data(), 5, 3, buffer, table, 3);
    EXPECT_EQ(table.width, (std::array<int, 5>{5, 2, 1, 0, 0}));
    EXPECT_EQ(table.height, (std::array<int, 5>{3, 1, 0, 0, 0}));
    EXPECT_EQ(table.offset, (std::array<int, 5>{0, 45, 51, 0, 0}));

    build_exemplar_pyramid(image.data(), 5, 3, buffer, table, 1);
    EXPECT_EQ(table.width[0], 5);
    EXPECT_EQ(table.height[0], 3);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), buffer.begin()));
}

TEST(Enlarge, FactorOneCopiesAndLargerFactorsRepeatBlocks) {
    const std::vector<std::uint8_t> source = numbered_image(3, 2);
    std::vector<std::uint8_t> destination(6 * 4 * 3 * 4);
    int width = 0;
    int height = 0;
    enlarge_by_replication(source.data(), 3, 2, destination.data(), width, height, 1);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), destination.begin()));

    enlarge_by_replication(source.data(), 3, 2, destination.data(), width, height, 4);
    ASSERT_EQ(width, 12);
    ASSERT_EQ(height, 8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(destination[(y * width + x) * 3 + c], source[((y / 4) * 3 + x / 4) * 3 + c])
                    << "at " << x << "," << y;
            }
        }
    }
}

TEST(Enlarge, EmptySourceWritesNothingButReportsTheSize) {
    const std::vector<std::uint8_t> source(3, 9);
    std::vector<std::uint8_t> destination(12, 0xEE);
    int width = -1;
    int height = -1;
    enlarge_by_replication(source.data(), 1, 0, destination.data(), width, height, 4);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 0);
    EXPECT_EQ(destination, std::vector<std::uint8_t>(12, 0xEE));
}

}  // namespace
