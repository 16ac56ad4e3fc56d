// The hole's edge, its boundary score, the patch coherence around it and the pixels changed outside it, on
// pictures small enough to check by hand.
#include "bench/quality/fill_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

RgbImage grey(int width, int height, int level) {
    return {width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3,
                                                     static_cast<std::uint8_t>(level))};
}

void set(RgbImage& image, int x, int y, int r, int g, int b) {
    std::uint8_t* pixel = &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 3];
    pixel[0] = static_cast<std::uint8_t>(r);
    pixel[1] = static_cast<std::uint8_t>(g);
    pixel[2] = static_cast<std::uint8_t>(b);
}

// A grey row with these levels, left to right, or a grey column top to bottom.
RgbImage line_of(const std::vector<int>& levels, bool column) {
    const int n = static_cast<int>(levels.size());
    RgbImage image = grey(column ? 1 : n, column ? n : 1, 0);
    for (int i = 0; i < n; ++i) {
        set(image, column ? 0 : i, column ? i : 0, levels[i], levels[i], levels[i]);
    }
    return image;
}

std::vector<bool> single_hole(int width, int height, int x, int y) {
    std::vector<bool> hole(static_cast<std::size_t>(width) * height, false);
    hole[static_cast<std::size_t>(y) * width + x] = true;
    return hole;
}

TEST(HoleOf, AnyChannelAboveZeroMarksTheHole) {
    RgbImage mask = grey(3, 1, 0);
    set(mask, 1, 0, 0, 0, 1);
    set(mask, 2, 0, 255, 0, 0);
    EXPECT_EQ(hole_of(mask), (std::vector<bool>{false, true, true}));
}

TEST(EdgePairs, FourPairsAroundOnePixel) {
    const std::vector<PixelPair> pairs = edge_pairs(single_hole(4, 3, 1, 1), 4, 3);
    ASSERT_EQ(pairs.size(), 4u);
    // Raster order of the first pixel; right before down.
    EXPECT_EQ(pairs[0].x, 1);
    EXPECT_EQ(pairs[0].y, 0);
    EXPECT_TRUE(pairs[0].down);
    EXPECT_EQ(pairs[1].x, 0);
    EXPECT_EQ(pairs[1].y, 1);
    EXPECT_FALSE(pairs[1].down);
    EXPECT_EQ(pairs[2].x, 1);
    EXPECT_EQ(pairs[2].y, 1);
    EXPECT_FALSE(pairs[2].down);
    EXPECT_TRUE(pairs[3].down);
    // A hole at the picture's edge has no pairs leaving the picture; a full hole has none at all.
    EXPECT_EQ(edge_pairs(single_hole(3, 3, 0, 0), 3, 3).size(), 2u);
    EXPECT_TRUE(edge_pairs(std::vector<bool>(6, true), 3, 2).empty());
}

TEST(BoundaryScore, TheEdgeAgainstItsShiftedCopies) {
    // Levels 0 10 [20] 50 70 with the hole in brackets: edge steps 10 and 30, a mean of 20. Shifted by -2 and
    // -1 only the step 0-10 stays outside the hole (10 each), by +1 and +2 only 50-70 (20 each); other shifts
    // keep no pair. Reference 15 with deviation 5: z = 1.
    for (bool column : {false, true}) {
        SCOPED_TRACE(column ? "column" : "row");
        const RgbImage line = line_of({0, 10, 20, 50, 70}, column);
        const std::vector<bool> hole = single_hole(line.width, line.height, column ? 0 : 2, column ? 2 : 0);
        const BoundaryScore score = boundary_score(line, hole, 1);
        EXPECT_NEAR(score.edge_step, 20.0, 1e-12);
        EXPECT_NEAR(score.reference_step, 15.0, 1e-12);
        EXPECT_EQ(score.shifts, 4);
        EXPECT_NEAR(score.z, 1.0, 1e-12);
        // Every second shift: -2 and +2 remain, the same figures.
        const BoundaryScore strided = boundary_score(line, hole, 2);
        EXPECT_EQ(strided.shifts, 2);
        EXPECT_NEAR(strided.z, 1.0, 1e-12);
    }
}

TEST(BoundaryScore, UniformSurroundings) {
    RgbImage picture = grey(7, 6, 100);
    const std::vector<bool> hole = single_hole(7, 6, 3, 2);
    EXPECT_EQ(boundary_score(picture, hole, 1).z, 0.0);
    set(picture, 3, 2, 160, 100, 100);  // a filled pixel that stands out: every edge step 20, elsewhere 0
    const BoundaryScore score = boundary_score(picture, hole, 1);
    EXPECT_NEAR(score.edge_step, 20.0, 1e-12);
    EXPECT_EQ(score.z, std::numeric_limits<double>::infinity());
    // No hole, no edge: nothing to score.
    EXPECT_TRUE(std::isnan(boundary_score(picture, std::vector<bool>(42, false), 1).z));
}

TEST(DetailRatio, StepsInsideTheHoleOverStepsOutside) {
    // Levels 0 10 | 30 60 90 with the last three in the hole: outside one step of 10, inside two of 30; the
    // step across the edge counts for neither.
    const RgbImage line = line_of({0, 10, 30, 60, 90}, false);
    std::vector<bool> hole = {false, false, true, true, true};
    EXPECT_NEAR(detail_ratio(line, hole), 3.0, 1e-12);
    // The fill's grain against the true content's: the hole flattened to 30 30 45 keeps a quarter of its mean step.
    const RgbImage original = line;
    const RgbImage smoother = line_of({0, 10, 30, 30, 45}, false);
    FillFigures figures;
    std::string why;
    RgbImage mask = line_of({0, 0, 255, 255, 255}, false);
    ASSERT_TRUE(measure_fill(original, mask, smoother, 1, figures, why)) << why;
    EXPECT_NEAR(figures.hole_step_ratio, 0.25, 1e-12);
    // A hole of one pixel has no pair inside it.
    EXPECT_TRUE(std::isnan(detail_ratio(line, single_hole(5, 1, 2, 0))));
}

TEST(ShiftStride, AboutFourThousandShifts) {
    EXPECT_EQ(shift_stride(32, 32), 1);
    EXPECT_EQ(shift_stride(320, 240), 9);    // sqrt(4 * 320 * 240 / 4096) = 8.66
    EXPECT_EQ(shift_stride(4000, 3000), 109);  // sqrt(11718.75) = 108.3
}

TEST(MeasureFill, CoherenceAndChangedPixelsByHand) {
    // An 11 x 11 grey picture with a one-pixel hole in the middle, filled 30 too bright. The 25 patches over
    // the hole each hold that one pixel; all the others lie outside it and are uniform, so each distance is
    // 3 * 30 * 30 and its RMS per component sqrt(2700 / 75) = 6. One changed pixel outside the hole, by 1,
    // does not change the nearest distance.
    const RgbImage original = grey(11, 11, 100);
    RgbImage mask = grey(11, 11, 0);
    set(mask, 5, 5, 0, 9, 0);
    RgbImage result = original;
    set(result, 5, 5, 130, 130, 130);
    set(result, 0, 0, 99, 100, 100);
    FillFigures figures;
    std::string why;
    ASSERT_TRUE(measure_fill(original, mask, result, 1, figures, why)) << why;
    EXPECT_EQ(figures.hole_pixels, 1);
    EXPECT_EQ(figures.edge_pairs, 4);
    EXPECT_NEAR(figures.hole_coherence, 6.0, 1e-12);
    EXPECT_EQ(figures.original_hole_coherence, 0.0);
    EXPECT_EQ(figures.outside_changed, 1);
    EXPECT_NEAR(figures.boundary.edge_step, 30.0, 1e-12);
    EXPECT_TRUE(std::isnan(figures.hole_detail));

    // A hole so large that no patch lies outside it.
    ASSERT_TRUE(measure_fill(original, grey(11, 11, 1), result, 1, figures, why));
    EXPECT_TRUE(std::isnan(figures.hole_coherence));
    EXPECT_EQ(figures.outside_changed, 0);
}

TEST(MeasureFill, PicturesOfDifferentSizesAreRefused) {
    FillFigures figures;
    std::string why;
    EXPECT_FALSE(measure_fill(grey(4, 3, 0), grey(4, 4, 0), grey(4, 3, 0), 1, figures, why));
    EXPECT_EQ(why, "the mask is 4x4, the original 4x3");
    EXPECT_FALSE(measure_fill(grey(4, 3, 0), grey(4, 3, 0), grey(3, 3, 0), 1, figures, why));
    EXPECT_EQ(why, "the result is 3x3, the original 4x3");
}

}  // namespace
