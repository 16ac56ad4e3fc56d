// Seam scores, coherence, completeness and histogram distance on pictures small enough to check by hand.
#include "bench/quality/quality_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "bench/quality/patch_search.h"

namespace {

// A grey picture whose columns hold `levels`, left to right, in every row.
RgbImage columns_of(const std::vector<int>& levels, int height) {
    RgbImage image{static_cast<int>(levels.size()), height, {}};
    for (int y = 0; y < height; ++y) {
        for (int level : levels) {
            image.pixels.insert(image.pixels.end(), 3, static_cast<std::uint8_t>(level));
        }
    }
    return image;
}

RgbImage transposed(const RgbImage& image) {
    RgbImage result{image.height, image.width, std::vector<std::uint8_t>(image.pixels.size())};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                result.pixels[(static_cast<std::size_t>(x) * image.height + y) * 3 + c] =
                    image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 3 + c];
            }
        }
    }
    return result;
}

RgbImage random_image(int width, int height, unsigned seed, int top = 255) {
    std::mt19937 random(seed);
    RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (std::uint8_t& value : image.pixels) {
        value = static_cast<std::uint8_t>(random() % (top + 1));
    }
    return image;
}

TEST(SeamScores, PeriodicPictureHasAnOrdinarySeam) {
    // Steps 10 20 10 10 20 inside, and 10 back across the seam: mean 14, deviation sqrt(24).
    const RgbImage image = columns_of({0, 10, 30, 40, 30, 10}, 4);
    const SeamScores scores = seam_scores(image);
    EXPECT_NEAR(scores.columns, -4 / std::sqrt(24.0), 1e-9);
    EXPECT_EQ(scores.rows, 0.0);  // identical rows: no step anywhere, the seam included
    EXPECT_EQ(scores.worst(), 0.0);

    const SeamScores across = seam_scores(transposed(image));
    EXPECT_NEAR(across.rows, -4 / std::sqrt(24.0), 1e-9);
    EXPECT_EQ(across.columns, 0.0);
}

TEST(SeamScores, HardEdgeAtTheSeamStandsOut) {
    // Steps 10 20 10 10 10 inside (mean 12, deviation 4) and 60 across the seam: z = 12.
    const SeamScores scores = seam_scores(columns_of({0, 10, 30, 40, 50, 60}, 3));
    EXPECT_NEAR(scores.columns, 12.0, 1e-9);
    EXPECT_NEAR(scores.worst(), 12.0, 1e-9);
    // A plain ramp: every inside step the same, so any other step at the seam is infinitely unusual.
    EXPECT_EQ(seam_scores(columns_of({0, 10, 20, 30}, 2)).columns, std::numeric_limits<double>::infinity());
}

TEST(HistogramDistance, ZeroForEqualHistogramsAndTheShiftForShiftedOnes) {
    const RgbImage image = random_image(16, 9, 1, 200);
    EXPECT_NEAR(histogram_distance(image, image), 0.0, 1e-12);
    // The same pixels in the opposite order, in another shape.
    RgbImage reshaped{4, 36, {}};
    for (std::size_t i = image.pixels.size(); i > 0; i -= 3) {
        reshaped.pixels.insert(reshaped.pixels.end(), image.pixels.begin() + i - 3, image.pixels.begin() + i);
    }
    EXPECT_NEAR(histogram_distance(image, reshaped), 0.0, 1e-12);

    RgbImage shifted = image;
    for (std::uint8_t& value : shifted.pixels) {
        value = static_cast<std::uint8_t>(value + 7);
    }
    EXPECT_NEAR(histogram_distance(image, shifted), 7.0, 1e-9);
    EXPECT_NEAR(histogram_distance(shifted, image), 7.0, 1e-9);
}

TEST(HistogramDistance, AveragesTheChannels) {
    // Red: half the pixels move from 0 to 10, a distance of 5; green and blue agree.
    const RgbImage black{2, 1, {0, 0, 0, 0, 0, 0}};
    const RgbImage half_red{2, 1, {10, 0, 0, 0, 0, 0}};
    EXPECT_NEAR(histogram_distance(black, half_red), 5.0 / 3.0, 1e-12);
}

TEST(BlockRatio, EdgeStepsOverTheOthersBothDirectionsPooled) {
    // One row 0 10 30 40: steps 10 (inside a 2-block), 20 (across an edge), 10 (inside).
    EXPECT_NEAR(block_ratio(columns_of({0, 10, 30, 40}, 1), 2), 20.0 / 10.0, 1e-12);
    // Two such rows add four vertical steps of 0 inside the blocks: inside 40 / 8, edges 40 / 2.
    EXPECT_NEAR(block_ratio(columns_of({0, 10, 30, 40}, 2), 2), 20.0 / 5.0, 1e-12);
    EXPECT_NEAR(block_ratio(transposed(columns_of({0, 10, 30, 40}, 2)), 2), 20.0 / 5.0, 1e-12);

    // Steps 1 1 1 10 1 1 1: for 4-blocks only the 10 is on an edge; for 2-blocks the edges are 1, 10, 1.
    const RgbImage ramp = columns_of({0, 1, 2, 3, 13, 14, 15, 16}, 1);
    EXPECT_NEAR(block_ratio(ramp, 4), 10.0, 1e-12);
    EXPECT_NEAR(block_ratio(ramp, 2), 4.0, 1e-12);
    const BlockRatios both = block_ratios(ramp);
    EXPECT_NEAR(both.two, 4.0, 1e-12);
    EXPECT_NEAR(both.four, 10.0, 1e-12);
}

TEST(BlockRatio, ChannelsAreAveragedAndTheSeamIsLeftOut) {
    // Red steps 30 across the edge, green 0, blue 0: a mean step of 10; inside, 3 in every channel.
    const RgbImage image{3, 1, {0, 0, 0, 3, 3, 3, 33, 3, 3}};
    EXPECT_NEAR(block_ratio(image, 2), 10.0 / 3.0, 1e-12);
    // A ramp: every step 10, but 70 from the last column back to the first, an edge step if it counted.
    EXPECT_NEAR(block_ratio(columns_of({0, 10, 20, 30, 40, 50, 60, 70}, 1), 2), 1.0, 1e-12);
}

TEST(BlockRatio, EnlargedPicturesUniformPicturesAndTooSmallOnes) {
    // A random picture enlarged twice by repeating pixels has steps only on the 2-grid.
    const RgbImage small = random_image(6, 5, 9);
    RgbImage enlarged{12, 10, {}};
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 12; ++x) {
            const std::uint8_t* pixel = &small.pixels[((y / 2) * 6 + x / 2) * 3];
            enlarged.pixels.insert(enlarged.pixels.end(), pixel, pixel + 3);
        }
    }
    EXPECT_EQ(block_ratio(enlarged, 2), std::numeric_limits<double>::infinity());
    EXPECT_EQ(block_ratio(RgbImage{6, 6, std::vector<std::uint8_t>(108, 77)}, 2), 1.0);
    EXPECT_TRUE(std::isnan(block_ratio(RgbImage{4, 4, std::vector<std::uint8_t>(48, 1)}, 4)));  // no edge step
    EXPECT_TRUE(std::isnan(block_ratio(RgbImage{1, 1, {1, 2, 3}}, 2)));
}

TEST(BlockRatio, PassesWithinFivePercentOfOneOrOfTheExemplar) {
    EXPECT_TRUE(blocks_pass(1.05, 0.9));
    EXPECT_FALSE(blocks_pass(1.06, 1.0));
    EXPECT_TRUE(blocks_pass(2.1, 2.0));
    EXPECT_FALSE(blocks_pass(2.2, 2.0));
    EXPECT_FALSE(blocks_pass(std::numeric_limits<double>::infinity(), 2.0));
    EXPECT_FALSE(blocks_pass(std::nan(""), 1.0));
}

TEST(MeasureQuality, OnePeriodOfAPeriodicExemplarIsFullyCoherent) {
    // The exemplar repeats a 6 x 5 tile; the output is that tile, so every wrapped output patch is also an
    // exemplar patch. Each is nearest to its first copy: 30 of the exemplar's 14 x 11 patches.
    const RgbImage tile = random_image(6, 5, 2);
    RgbImage exemplar{18, 15, {}};
    for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 18; ++x) {
            const std::uint8_t* pixel = &tile.pixels[((y % 5) * 6 + x % 6) * 3];
            exemplar.pixels.insert(exemplar.pixels.end(), pixel, pixel + 3);
        }
    }
    const std::vector<PatchMatch> matches = nearest_exemplar_patches(exemplar, tile);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            // The first copy of the patch centred on (x, y) is centred on (x, y) plus whole tiles, at least 2.
            const int left = (x < 2 ? x + 6 : x) - 2;
            const int top = (y < 2 ? y + 5 : y) - 2;
            EXPECT_EQ(matches[y * 6 + x].index, top * 14 + left) << x << "," << y;
            EXPECT_EQ(matches[y * 6 + x].distance, 0u);
        }
    }
    const QualityFigures figures = measure_quality(exemplar, tile);
    EXPECT_EQ(figures.coherence_mean, 0.0);
    EXPECT_EQ(figures.coherence_p95, 0.0);
    EXPECT_NEAR(figures.completeness, 30.0 / 154.0, 1e-12);
    EXPECT_NEAR(figures.histogram, 0.0, 1e-12);
    EXPECT_EQ(figures.output_blocks.two, block_ratio(tile, 2));
    EXPECT_EQ(figures.exemplar_blocks.four, block_ratio(exemplar, 4));
}

TEST(MeasureQuality, CoherenceIsTheRmsPerComponent) {
    // A black one-patch exemplar against a black 60 x 1 strip with two grey pixels of 50. The five patches
    // over each grey pixel hold five of them (the strip's one row wraps to all five), so their RMS is
    // sqrt(5 * 3 * 2500 / 75) = sqrt(500); the other 50 patches are black.
    const RgbImage exemplar{5, 5, std::vector<std::uint8_t>(75, 0)};
    RgbImage strip{60, 1, std::vector<std::uint8_t>(180, 0)};
    for (int x : {0, 30}) {
        for (int c = 0; c < 3; ++c) {
            strip.pixels[x * 3 + c] = 50;
        }
    }
    const QualityFigures figures = measure_quality(exemplar, strip);
    EXPECT_NEAR(figures.coherence_mean, 10 * std::sqrt(500.0) / 60, 1e-9);
    EXPECT_NEAR(figures.coherence_p95, std::sqrt(500.0), 1e-9);
    EXPECT_EQ(figures.completeness, 1.0);
    // The error map: 8 grey levels per unit, sqrt(500) * 8 = 178.9 on the pixels within 2 of a grey one.
    const RgbImage map = coherence_error_map(figures, 60, 1);
    for (int x : {58, 59, 0, 1, 2, 28, 32}) {
        EXPECT_EQ(map.pixels[static_cast<std::size_t>(x) * 3], 179) << x;
    }
    EXPECT_EQ(map.pixels[3 * 3], 0);
}

}  // namespace
