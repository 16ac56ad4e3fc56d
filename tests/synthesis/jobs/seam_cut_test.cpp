// Where a texture that tiles is cut open: the choice of the cut, and the result rolled as a whole.
#include "synthesis/jobs/seam_cut.h"

#include <gtest/gtest.h>

namespace {

TEST(SeamCut, TheCutLiesOnTheGridWhereTheStepIsNearestTheMean) {
    // 24 boundaries, mean 10.28: the wrap-around one (the last) stands out at 34; on the grid of 8, the one
    // before line 8 is 12, the one before line 16 is 10.5; off the grid, one lies nearer still, at 10.25.
    std::vector<double> steps(24, 9.0);
    steps[23] = 34.0;
    steps[7] = 12.0;
    steps[15] = 10.5;
    steps[4] = 10.25;
    EXPECT_EQ(typical_cut(steps, 8), 16);
    // Ties go to the lowest line, the uncut texture first.
    EXPECT_EQ(typical_cut(std::vector<double>(24, 5.0), 8), 0);
    // A grid wider than the line leaves only the wrap-around boundary.
    EXPECT_EQ(typical_cut(steps, 32), 0);
    // A draw picks among the grid's lines whose boundary lies within a standard deviation (4.99) of the mean:
    // lines 8 and 16, never the uncut texture, whose boundary stands out.
    EXPECT_EQ(typical_cut(steps, 8, 0), 8);
    EXPECT_EQ(typical_cut(steps, 8, 1), 16);
    EXPECT_EQ(typical_cut(steps, 8, 1'000'000'002), 8);
    // Where no line of the grid is typical, the nearest.
    EXPECT_EQ(typical_cut(steps, 32, 5), 0);
}

TEST(SeamCut, TheImageAndItsMapRollTogether) {
    // A 5 x 3 picture whose every pixel holds its own position, mapped to the same position of a second exemplar.
    JobResult result;
    result.image = {5, 3, 4, {}};
    result.map = {5, 3, {}, {}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            result.image.pixels.insert(result.image.pixels.end(), {static_cast<std::uint8_t>(x),
                                                                   static_cast<std::uint8_t>(y), 7, 255});
            result.map.xy.insert(result.map.xy.end(), {static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y)});
            result.map.exemplar.push_back(static_cast<std::uint16_t>(y * 5 + x));
        }
    }
    roll_result(result, 3, 2);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * 5 + x;
            const int from_x = (x + 3) % 5;
            const int from_y = (y + 2) % 3;
            EXPECT_EQ(result.image.pixels[i * 4], from_x);
            EXPECT_EQ(result.image.pixels[i * 4 + 1], from_y);
            EXPECT_EQ(result.image.pixels[i * 4 + 3], 255);
            EXPECT_EQ(result.map.xy[i * 2], from_x);
            EXPECT_EQ(result.map.xy[i * 2 + 1], from_y);
            EXPECT_EQ(result.map.exemplar[i], from_y * 5 + from_x);
        }
    }
}

}  // namespace
