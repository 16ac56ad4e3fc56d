// The geometry of fills and tilings: hole levels, excluded candidates and rims, against plainly written twins.
#include "synthesis/jobs/hole_geometry.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<std::uint8_t> random_mask(int width, int height, double share, unsigned seed) {
    std::mt19937 random(seed);
    std::bernoulli_distribution marked(share);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height);
    for (auto& pixel : mask) {
        pixel = marked(random) ? 255 : 0;
    }
    return mask;
}

TEST(HoleGeometry, BoundsAndGrowingStayInsideThePicture) {
    std::vector<std::uint8_t> mask(10 * 8, 0);
    EXPECT_EQ(marked_bounds(mask.data(), 10, 8).width, 0);
    mask[2 * 10 + 3] = 1;
    mask[5 * 10 + 7] = 9;
    const Rect bounds = marked_bounds(mask.data(), 10, 8);
    EXPECT_EQ(bounds.x, 3);
    EXPECT_EQ(bounds.y, 2);
    EXPECT_EQ(bounds.width, 5);
    EXPECT_EQ(bounds.height, 4);
    const Rect region = grown(bounds, 3, 10, 8);
    EXPECT_EQ(region.x, 0);
    EXPECT_EQ(region.y, 0);
    EXPECT_EQ(region.width, 10);
    EXPECT_EQ(region.height, 8);
    EXPECT_EQ(grown(bounds, 1, 10, 8).width, 7);
    const std::vector<std::uint8_t> cropped = crop_mask(mask.data(), 10, bounds);
    EXPECT_EQ(cropped.size(), 20u);
    EXPECT_EQ(cropped.front(), 1);
    EXPECT_EQ(cropped.back(), 9);
}

// A coarse pixel is in the hole if any level-0 pixel of its block is; the odd last row and column belong to no
// coarser pixel.
TEST(HoleGeometry, HoleLevelsFollowTheBlocks) {
    const int width = 11;
    const int height = 9;
    const LevelTable table = make_level_table(width, height, 3);
    for (unsigned seed = 0; seed < 20; ++seed) {
        const std::vector<std::uint8_t> mask = random_mask(width, height, 0.05, seed);
        const auto holes = hole_levels(mask.data(), table, 3);
        for (int n = 0; n < 3; ++n) {
            for (int y = 0; y < table.height[n]; ++y) {
                for (int x = 0; x < table.width[n]; ++x) {
                    bool any = false;
                    for (int y0 = y << n; y0 < (y + 1) << n; ++y0) {
                        for (int x0 = x << n; x0 < (x + 1) << n; ++x0) {
                            any = any || mask[static_cast<std::size_t>(y0) * width + x0] != 0;
                        }
                    }
                    ASSERT_EQ(holes[n][static_cast<std::size_t>(y) * table.width[n] + x], any ? 1 : 0)
                        << "seed " << seed << ", level " << n << " (" << x << ", " << y << ")";
                }
            }
        }
    }
}

// Excluded: a pixel whose neighbourhood at any level read, its coordinates clamped into the level, meets the
// hole: compared with walking every read of every pixel.
TEST(HoleGeometry, ExcludedCandidatesAreThoseWhoseReadsMeetTheHole) {
    const int width = 23;
    const int height = 17;
    const int levels = 3;
    const LevelTable table = make_level_table(width, height, levels);
    const int row[] = {2, 1, 3};
    for (unsigned seed = 0; seed < 20; ++seed) {
        const auto holes = hole_levels(random_mask(width, height, 0.01, seed).data(), table, levels);
        for (int levels_read = 1; levels_read <= levels; ++levels_read) {
            const auto excluded = excluded_candidates(holes, table, row, 0, levels_read);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    bool reads_hole = false;
                    for (int v = 0; v < levels_read; ++v) {
                        for (int dy = -row[v]; dy <= row[v]; ++dy) {
                            for (int dx = -row[v]; dx <= row[v]; ++dx) {
                                const int xv = std::clamp((x >> v) + dx, 0, table.width[v] - 1);
                                const int yv = std::clamp((y >> v) + dy, 0, table.height[v] - 1);
                                reads_hole = reads_hole || holes[v][static_cast<std::size_t>(yv) * table.width[v] + xv] != 0;
                            }
                        }
                    }
                    ASSERT_EQ(excluded[static_cast<std::size_t>(y) * width + x] != 0, reads_hole)
                        << "seed " << seed << ", " << levels_read << " levels read, (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(HoleGeometry, TheRimIsTheHoleNextToWhatSurroundsIt) {
    // A 3 x 3 hole in a 7 x 7 picture: with reach 1 only its centre is not on the rim.
    std::vector<std::uint8_t> hole(49, 0);
    for (int y = 2; y <= 4; ++y) {
        for (int x = 2; x <= 4; ++x) {
            hole[static_cast<std::size_t>(y) * 7 + x] = 1;
        }
    }
    std::vector<std::uint8_t> rim = hole_rim(hole, 7, 7, 1);
    hole[3 * 7 + 3] = 0;
    EXPECT_EQ(rim, hole);
    // With reach 2 the whole hole is rim.
    hole[3 * 7 + 3] = 1;
    EXPECT_EQ(hole_rim(hole, 7, 7, 2), hole);
}

TEST(HoleGeometry, HoleDepthCountsStepsToTheNearestKeptPixel) {
    // A 7 x 5 hole in a 9 x 7 picture: its middle row is 3 steps from the nearest kept pixel.
    std::vector<std::uint8_t> hole(63, 0);
    for (int y = 1; y <= 5; ++y) {
        for (int x = 1; x <= 7; ++x) {
            hole[static_cast<std::size_t>(y) * 9 + x] = 1;
        }
    }
    EXPECT_EQ(hole_depth(hole, 9, 7), 3);
    // A diagonal step counts as one; the picture's edge is no way out: the hole run up to the top edge is
    // as deep as its distance from the kept pixels below and beside it.
    for (int x = 1; x <= 7; ++x) {
        hole[x] = 1;
    }
    EXPECT_EQ(hole_depth(hole, 9, 7), 4);
    EXPECT_EQ(hole_depth(std::vector<std::uint8_t>(63, 0), 9, 7), 0);
}

TEST(HoleGeometry, TheEdgeBandOfOddSizes) {
    const std::vector<std::uint8_t> band = edge_band(7, 5, 2);
    const char* expected =
        "1111111"
        "1111111"
        "1100011"
        "1111111"
        "1111111";
    for (int i = 0; i < 35; ++i) {
        EXPECT_EQ(band[i], expected[i] - '0') << i;
    }
}

}  // namespace
