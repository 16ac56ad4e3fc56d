// Exemplars that tile, and the candidates of exemplars whose edges are read past.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "pyramid/level_table.h"
#include "support/pictures.h"
#include "synthesis/search/exemplar_edges.h"
#include "synthesis/search/training_set.h"

namespace {

TEST(ExemplarEdges, SeamScoreByHand) {
    // Columns 0, 1, 2, 4: interior steps 1, 1, 2 (mean 4/3, deviation sqrt(2)/3); the seam steps 4.
    const std::vector<std::uint8_t> ramp = grey_image(4, 3, [](int x, int) { return x == 3 ? 4 : x; });
    EXPECT_NEAR(wrap_seam_z(ramp.data(), 4, 3, false), (4 - 4.0 / 3) / (std::sqrt(2.0) / 3), 1e-9);
    // Every row alike: no step anywhere, and the seam is like the rest.
    EXPECT_EQ(wrap_seam_z(ramp.data(), 4, 3, true), 0);
}

TEST(ExemplarEdges, PeriodicImagesTileAndCutOnesDoNot) {
    // A pattern whose period divides the width tiles along x; along y it brightens steadily, so that its last
    // row and its first differ far more than any two neighbouring rows.
    std::mt19937 random(3);
    std::vector<int> noise(8 * 8);
    for (int& v : noise) {
        v = static_cast<int>(random() % 40);
    }
    const std::vector<std::uint8_t> image =
        grey_image(32, 36, [&](int x, int y) { return noise[(y % 8) * 8 + x % 8] + 5 * y; });
    EXPECT_LT(wrap_seam_z(image.data(), 32, 36, false), kTilingSeamZ);
    EXPECT_GT(wrap_seam_z(image.data(), 32, 36, true), kTilingSeamZ);
    // Tiling along one axis only is not enough to wrap either.
    CandidateOptions options;
    choose_exemplar_edges(image.data(), 32, 36, options);
    EXPECT_EQ(options.edges_x, ExemplarEdges::clamped);
    EXPECT_EQ(options.edges_y, ExemplarEdges::clamped);
    const std::vector<std::uint8_t> both = grey_image(32, 40, [&](int x, int y) { return noise[(y % 8) * 8 + x % 8]; });
    choose_exemplar_edges(both.data(), 32, 40, options);
    EXPECT_EQ(options.edges_x, ExemplarEdges::wrapped);
    EXPECT_EQ(options.edges_y, ExemplarEdges::wrapped);
}

TEST(ExemplarEdges, CandidatesCoverEveryPixelAndWrapOnlyWhereAsked) {
    const LevelTable table = make_level_table(20, 12, 2);
    const int row[] = {2, 1};
    const CandidateGrid inside = training_grid(table, row, 0, 2);
    EXPECT_EQ(inside.left, training_border(table, row, 0, 2));
    EXPECT_EQ(inside.top, inside.left);

    const CandidateGrid grid = training_grid(table, row, 0, 2, ExemplarEdges::wrapped, ExemplarEdges::clamped);
    EXPECT_EQ(grid.count(), 20 * 12);
    EXPECT_EQ(grid.pixel_of(25), 25);
    EXPECT_EQ(grid.candidate_at(-1, 3), 3 * 20 + 19);   // wraps along x
    EXPECT_EQ(grid.candidate_at(41, 3), 3 * 20 + 1);
    EXPECT_EQ(grid.candidate_at(4, -1), -1);            // not along y
    EXPECT_EQ(grid.candidate_at(4, 12), -1);
    EXPECT_EQ(grid.candidate_at(4, 11), 11 * 20 + 4);
}

TEST(ExemplarEdges, WrappingBySpansMovesByWholeSpans) {
    EXPECT_EQ(wrap_coordinate(-1, 20, 14), 13);
    EXPECT_EQ(wrap_coordinate(-15, 20, 14), 13);
    EXPECT_EQ(wrap_coordinate(20, 20, 14), 6);
    EXPECT_EQ(wrap_coordinate(33, 20, 14), 19);  // one span back is inside already
    EXPECT_EQ(wrap_coordinate(35, 20, 14), 7);
    EXPECT_EQ(wrap_coordinate(7, 20, 14), 7);
    EXPECT_EQ(wrap_coordinate(-1, 20, 20), 19);  // a span of the whole size is the modulo
    EXPECT_EQ(wrap_coordinate(45, 20, 20), 5);

    CandidateGrid grid = training_grid(make_level_table(20, 12, 1), std::array<int, 1>{2}.data(), 0, 1,
                                       ExemplarEdges::wrapped, ExemplarEdges::wrapped);
    grid.span_x = 14;
    EXPECT_EQ(grid.candidate_at(-1, 3), 3 * 20 + 13);
    EXPECT_EQ(grid.candidate_at(21, 3), 3 * 20 + 7);
    EXPECT_EQ(grid.candidate_at(4, -1), 11 * 20 + 4);  // no span along y: the whole size
}

}  // namespace
