// The grain a fill keeps: the steps around a hole and in it, and what a candidate pays for its surroundings'.
#include "synthesis/jobs/hole_grain.h"

#include <gtest/gtest.h>

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 6;

// Flat on the left half; on the right, a checkerboard whose every step between neighbours is 3 x 30.
std::vector<std::uint8_t> half_rough() {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3, 50);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = kWidth / 2; x < kWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3 + c] = (x + y) % 2 != 0 ? 80 : 50;
            }
        }
    }
    return rgb;
}

// A 2 x 2 hole in the rough half.
std::vector<std::uint8_t> rough_hole() {
    std::vector<std::uint8_t> hole(static_cast<std::size_t>(kWidth) * kHeight, 0);
    for (int y = 2; y < 4; ++y) {
        for (int x = 11; x < 13; ++x) {
            hole[static_cast<std::size_t>(y) * kWidth + x] = 1;
        }
    }
    return hole;
}

TEST(HoleGrain, StepsAroundAndInsideTheHole) {
    std::vector<std::uint8_t> rgb = half_rough();
    const std::vector<std::uint8_t> hole = rough_hole();
    // Near the hole only the rough half counts; pairs reaching into the hole do not.
    EXPECT_DOUBLE_EQ(ring_step(rgb.data(), hole, kWidth, kHeight, 2), 90.0);
    const double wide = ring_step(rgb.data(), hole, kWidth, kHeight, 8);
    EXPECT_GT(wide, 0.0);
    EXPECT_LT(wide, 90.0);
    EXPECT_DOUBLE_EQ(hole_step(rgb.data(), hole, kWidth, kHeight), 90.0);
    // A flat fill has no grain, whatever surrounds it.
    for (std::size_t p = 0; p < hole.size(); ++p) {
        if (hole[p] != 0) {
            std::fill_n(&rgb[p * 3], 3, 50);
        }
    }
    EXPECT_DOUBLE_EQ(hole_step(rgb.data(), hole, kWidth, kHeight), 0.0);
    EXPECT_DOUBLE_EQ(ring_step(rgb.data(), hole, kWidth, kHeight, 2), 90.0);
    const std::vector<std::uint8_t> no_hole(hole.size(), 0);
    EXPECT_EQ(ring_step(rgb.data(), no_hole, kWidth, kHeight, 2), 0.0);
}

TEST(HoleGrain, CandidatesPayForGrainUnlikeTheTarget) {
    const std::vector<std::uint8_t> rgb = half_rough();
    const LevelTable table = make_level_table(kWidth, kHeight, 2);
    const double weight = 10.0;
    const auto costs = grain_costs(rgb.data(), {}, table, 2, 1, 90.0, weight);
    ASSERT_EQ(costs.size(), 2u);
    ASSERT_EQ(costs[0].size(), static_cast<std::size_t>(kWidth) * kHeight);
    const auto at = [](int x, int y) { return static_cast<std::size_t>(y) * kWidth + x; };
    EXPECT_DOUBLE_EQ(costs[0][at(12, 2)], 0.0);  // as rough as the target
    EXPECT_DOUBLE_EQ(costs[0][at(3, 2)], weight * kMostGrainLog * kMostGrainLog);  // flat: the most
    // Half rough, half flat: between.
    EXPECT_GT(costs[0][at(8, 2)], 0.0);
    EXPECT_LT(costs[0][at(8, 2)], costs[0][at(3, 2)]);
    // A coarser level's pixel looks at the level-0 pixels under and around its block.
    ASSERT_EQ(costs[1].size(), static_cast<std::size_t>(table.width[1]) * table.height[1]);
    EXPECT_LT(costs[1][static_cast<std::size_t>(table.width[1]) - 1], costs[1][0]);
    // Unknown pixels take no part: a pixel whose surroundings are all unknown pays nothing.
    std::vector<std::uint8_t> unknown(static_cast<std::size_t>(kWidth) * kHeight, 1);
    const auto none = grain_costs(rgb.data(), unknown, table, 2, 1, 90.0, weight);
    EXPECT_DOUBLE_EQ(none[0][at(3, 2)], 0.0);
    EXPECT_TRUE(grain_costs(rgb.data(), {}, table, 2, 1, 0.0, weight)[0].empty());
}

}  // namespace
