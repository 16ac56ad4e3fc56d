// The periods of regular patterns, found from how unlike an exemplar is to its own shifted copies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "image/image_file.h"
#include "support/pictures.h"
#include "support/run_program.h"
#include "synthesis/patterns/exemplar_lattice.h"

namespace {

// Square tiles of 12 x 10 pixels: joints two pixels wide (columns 0 and 1, rows 0 and 1 of every period),
// each tile of its own brightness, with a little noise everywhere.
std::vector<std::uint8_t> tiles(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<int> brightness(256);
    for (int& b : brightness) {
        b = 150 + static_cast<int>(random() % 60);
    }
    return grey_image(width, height, [&](int x, int y) {
        const int noise = static_cast<int>(random() % 9);
        if (x % 12 < 2 || y % 10 < 2) {
            return 30 + noise;
        }
        return brightness[static_cast<std::size_t>((x / 12) * 16 + y / 10) % brightness.size()] + noise;
    });
}

double length(const double v[2]) { return std::hypot(v[0], v[1]); }

TEST(ExemplarLattice, ShiftDifferenceByHand) {
    // Grey levels (R + G + B) 0, 30, 0, 30: mean 15, twice the variance 450. Shifted by one, every overlapping
    // pixel differs by 30 (900 squared); by two, by nothing; the copies of a 4-pixel row shifted by 4 do not
    // overlap at all.
    const std::vector<std::uint8_t> row = grey_image(4, 1, [](int x, int) { return x % 2 == 0 ? 0 : 10; });
    EXPECT_DOUBLE_EQ(shift_difference(row.data(), 4, 1, 1, 0), 2.0);
    EXPECT_DOUBLE_EQ(shift_difference(row.data(), 4, 1, -1, 0), 2.0);
    EXPECT_DOUBLE_EQ(shift_difference(row.data(), 4, 1, 2, 0), 0.0);
    EXPECT_DOUBLE_EQ(shift_difference(row.data(), 4, 1, 4, 0), 1.0);
    // A flat picture has no variance to compare with.
    const std::vector<std::uint8_t> flat = grey_image(8, 8, [](int, int) { return 77; });
    EXPECT_DOUBLE_EQ(shift_difference(flat.data(), 8, 8, 1, 1), 1.0);
}

// Where x lies within a period of `period` pixels (0 .. period).
double within(double x, double period) { return x - std::floor(x / period) * period; }

TEST(ExemplarLattice, SquareTilesGiveTheirPeriodsSpansAndJoints) {
    const std::vector<std::uint8_t> image = tiles(100, 84, 5);
    const PeriodLattice lattice = find_period_lattice(image.data(), 100, 84);
    ASSERT_TRUE(lattice.found);
    // The shorter period first (the rows, 10 apart), each pointing along its larger component.
    EXPECT_NEAR(lattice.a[0], 0, 0.05);
    EXPECT_NEAR(lattice.a[1], 10, 0.05);
    EXPECT_NEAR(lattice.b[0], 12, 0.05);
    EXPECT_NEAR(lattice.b[1], 0, 0.05);
    // Eight whole periods fit across (96 of 100 pixels) and down (80 of 84).
    EXPECT_NEAR(lattice.span[0], 96, 0.5);
    EXPECT_NEAR(lattice.span[1], 80, 0.5);
    // The lines where the tiles meet run along the joints: rows 0 and 1 of every period (a's coordinate) and
    // columns 0 and 1 (b's).
    EXPECT_LE(within(lattice.boundary[0] * 10 + 0.5, 10), 3.0);
    EXPECT_LE(within(lattice.boundary[1] * 12 + 0.5, 12), 3.0);
    // The output starts just past a quiet boundary (the origin is the first row or column after it): not at a
    // joint's edge, between columns 11 and 12 or 1 and 2 (rows 9 and 10 or 1 and 2).
    for (const auto& [origin, period] : {std::pair{lattice.origin[0], 12}, std::pair{lattice.origin[1], 10}}) {
        const double place = within(origin, period);
        EXPECT_GT(std::min(place, period - place), 0.5) << period;
        EXPECT_GT(std::abs(place - 2), 0.5) << period;
    }
}

TEST(ExemplarLattice, SeedsStartTheOutputPastDifferentQuietBoundaries) {
    // Each seed draws its own quiet boundary, never a joint's edge; the periods do not depend on the seed.
    const std::vector<std::uint8_t> image = tiles(100, 84, 5);
    const PeriodLattice quietest = find_period_lattice(image.data(), 100, 84);
    std::set<std::pair<double, double>> origins;
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const PeriodLattice lattice = find_period_lattice(image.data(), 100, 84, seed);
        ASSERT_TRUE(lattice.found);
        EXPECT_EQ(lattice.a[1], quietest.a[1]);
        EXPECT_EQ(lattice.b[0], quietest.b[0]);
        origins.insert({lattice.origin[0], lattice.origin[1]});
        for (const auto& [origin, period] : {std::pair{lattice.origin[0], 12}, std::pair{lattice.origin[1], 10}}) {
            const double place = within(origin, period);
            EXPECT_GT(std::min(place, period - place), 0.5) << seed;
            EXPECT_GT(std::abs(place - 2), 0.5) << seed;
        }
    }
    EXPECT_GE(origins.size(), 4u);
}

TEST(ExemplarLattice, PeriodsNeedNotBeWhole) {
    // Waves 10.5 pixels apart across, 7.25 down.
    const double pi = std::acos(-1.0);
    const std::vector<std::uint8_t> image = grey_image(96, 80, [&](int x, int y) {
        return 128 + 60 * std::sin(2 * pi * x / 10.5) + 40 * std::sin(2 * pi * y / 7.25);
    });
    const PeriodLattice lattice = find_period_lattice(image.data(), 96, 80);
    ASSERT_TRUE(lattice.found);
    EXPECT_NEAR(length(lattice.a), 7.25, 0.1);
    EXPECT_NEAR(length(lattice.b), 10.5, 0.1);
    EXPECT_NEAR(lattice.a[0], 0, 0.1);
    EXPECT_NEAR(lattice.b[1], 0, 0.1);
    // Nine periods of 10.5 across: 94.5 of 96 pixels.
    EXPECT_NEAR(lattice.span[0], 94.5, 1.0);
}

TEST(ExemplarLattice, DrawnPatternsOfUnevenRowsAndExactColumns) {
    // Columns exactly 16 pixels apart; rows shaded top to bottom, drawn 8 to 10 pixels high (64 / 7 on
    // average), so that no whole shift down but the side brings all of them onto rows. The columns' period
    // is exact (a parabola through the differences beside it would move it), the rows' is found although
    // it differs from the picture markedly more.
    constexpr int kRowHeights[] = {9, 9, 10, 9, 9, 10, 8};
    const std::vector<std::uint8_t> image = grey_image(64, 64, [&](int x, int y) {
        int down = y;
        for (const int height : kRowHeights) {
            if (down < height) {
                break;
            }
            down -= height;
        }
        return x % 16 == 0 ? 20 : 30 + 22 * down + 2 * (x % 16);
    });
    const PeriodLattice lattice = find_period_lattice(image.data(), 64, 64);
    ASSERT_TRUE(lattice.found);
    EXPECT_NEAR(length(lattice.a), 64.0 / 7, 0.25);
    EXPECT_EQ(lattice.b[0], 16.0);
    EXPECT_EQ(lattice.span[0], 64.0);
}

TEST(ExemplarLattice, AlternatingHolesKeepTheirAlternation) {
    // Holes every 8 pixels along both axes, large and small ones alternating like the squares of a
    // chessboard: the pattern repeats along the diagonals (8, 8) and (8, -8), not along (8, 0), which moves
    // large holes onto small ones.
    const std::vector<std::uint8_t> image = grey_image(96, 96, [](int x, int y) {
        const int cx = (x + 4) / 8 * 8;
        const int cy = (y + 4) / 8 * 8;
        const bool large = (cx / 8 + cy / 8) % 2 == 0;
        const double r = std::hypot(x - cx, y - cy);
        return r < (large ? 3.2 : 1.5) ? 20 : 170 + (x * 7 + y * 3) % 11;
    });
    EXPECT_GT(shift_difference(image.data(), 96, 96, 8, 0), kPeriodDifference);
    EXPECT_LT(shift_difference(image.data(), 96, 96, 8, 8), kPeriodDifference);
    const PeriodLattice lattice = find_period_lattice(image.data(), 96, 96);
    ASSERT_TRUE(lattice.found);
    EXPECT_NEAR(length(lattice.a), std::hypot(8, 8), 0.1);
    EXPECT_NEAR(length(lattice.b), std::hypot(8, 8), 0.1);
    EXPECT_NEAR(std::abs(lattice.a[0] * lattice.b[0] + lattice.a[1] * lattice.b[1]), 0, 0.5);  // at right angles
    // Along the axes, the pattern repeats every 16 pixels (a - b or a + b): six of them fit.
    EXPECT_NEAR(lattice.span[0], 96, 0.5);
    EXPECT_NEAR(lattice.span[1], 96, 0.5);
}

TEST(ExemplarLattice, IrregularPicturesHaveNone) {
    std::mt19937 random(7);
    const std::vector<std::uint8_t> noise = grey_image(64, 64, [&](int, int) { return random() % 256; });
    EXPECT_FALSE(find_period_lattice(noise.data(), 64, 64).found);
    // Stripes repeat along x but not along y: one period is not a lattice.
    std::vector<int> column_noise(80);
    for (int& v : column_noise) {
        v = static_cast<int>(random() % 100);
    }
    const std::vector<std::uint8_t> stripes =
        grey_image(72, 80, [&](int x, int y) { return (x % 9 < 3 ? 40 : 200) + column_noise[y] / 4 * ((x % 9) % 2); });
    EXPECT_FALSE(find_period_lattice(stripes.data(), 72, 80).found);
    // A smooth ramp is most like itself shifted a little, at no period.
    const std::vector<std::uint8_t> ramp = grey_image(64, 64, [](int x, int y) { return 2 * x + y; });
    EXPECT_FALSE(find_period_lattice(ramp.data(), 64, 64).found);
    const std::vector<std::uint8_t> flat = grey_image(64, 64, [](int, int) { return 90; });
    EXPECT_FALSE(find_period_lattice(flat.data(), 64, 64).found);
    // Too small to hold two periods of the least length.
    const std::vector<std::uint8_t> tiny = tiles(6, 6, 1);
    EXPECT_FALSE(find_period_lattice(tiny.data(), 6, 6).found);
}

TEST(ExemplarLattice, LargeExemplarsAreSearchedReducedAndRefinedAtFullSize) {
    // 220 pixels: the search runs on a copy halved once (110), the periods are refined on the exemplar.
    const std::vector<std::uint8_t> image = tiles(220, 200, 9);
    const PeriodLattice lattice = find_period_lattice(image.data(), 220, 200);
    ASSERT_TRUE(lattice.found);
    EXPECT_NEAR(length(lattice.a), 10, 0.05);
    EXPECT_NEAR(length(lattice.b), 12, 0.05);
}

// The shipped exemplars: the bricks are laid in courses, each brick over the joint between two below it (a
// period of one brick along the course, half a brick and a course up); cork and the pebbles are irregular.
TEST(ExemplarLattice, ShippedBricksAreRegularAndTheOthersNot) {
    for (const char* name : {"demo/bricks.bmp", "demo/cork.bmp", "demo/demo2.bmp"}) {
        RgbImage image;
        std::string why;
        ASSERT_TRUE(read_rgb_image(source_file(name), image, why)) << why;
        const PeriodLattice lattice = find_period_lattice(image.pixels.data(), image.width, image.height);
        EXPECT_EQ(lattice.found, std::string(name) == "demo/bricks.bmp") << name;
        if (lattice.found) {
            // Half a brick across (16 pixels) and a course up (21.3), either way; their difference is one brick.
            EXPECT_NEAR(std::abs(lattice.a[0]), 16, 0.3);
            EXPECT_NEAR(std::abs(lattice.a[1]), 21.3, 0.3);
            EXPECT_NEAR(std::abs(lattice.a[0] - lattice.b[0]), 32, 0.3);
            EXPECT_NEAR(std::abs(lattice.a[1] - lattice.b[1]), 0, 0.3);
        }
    }
}

}  // namespace
