// What the refined synthesis does at each level.
#include <gtest/gtest.h>

#include "synthesis/refined_plan.h"

namespace {

TEST(RefinedPlan, LevelsKeepTheCoarsestExemplarLevelAtLeastTwelvePixels) {
    EXPECT_EQ(automatic_levels(128, 128), 4);  // 16 x 16 at the coarsest
    EXPECT_EQ(automatic_levels(96, 200), 4);   // 12 x 25
    EXPECT_EQ(automatic_levels(95, 95), 3);    // 23 x 23; 11 x 11 would be too small
    EXPECT_EQ(automatic_levels(64, 300), 3);
    EXPECT_EQ(automatic_levels(24, 24), 2);
    EXPECT_EQ(automatic_levels(23, 23), 1);
    EXPECT_EQ(automatic_levels(900, 900), 4);
    const NeighbourhoodMatrix three = automatic_matrix(3);
    const NeighbourhoodMatrix expected{{2, 1, 1, 0, 2, 1, 0, 0, kCoarsestHalfSize}};
    EXPECT_EQ(three.entries, expected.entries);
    EXPECT_EQ(automatic_matrix(1).entries[0], kCoarsestHalfSize);
}

TEST(RefinedPlan, CoarsestScansAndCorrectsLongerFinerLevelsCarryTheParentOver) {
    const RefinedLevelPlan coarsest = refined_level_plan(2, 3, 2, ExemplarEdges::wrapped, ExemplarEdges::clamped);
    EXPECT_EQ(coarsest.first_pass, FirstPass::scan);
    EXPECT_EQ(coarsest.passes, 2 + kCoarsestExtraPasses);
    EXPECT_EQ(coarsest.first.shape, NeighbourhoodShape::causal);
    EXPECT_TRUE(coarsest.first.coarser_levels);
    EXPECT_EQ(coarsest.later.shape, NeighbourhoodShape::full);
    EXPECT_FALSE(coarsest.later.coarser_levels);
    EXPECT_TRUE(coarsest.first.indexed);
    EXPECT_FALSE(coarsest.later.indexed);
    EXPECT_EQ(coarsest.later.edges_x, ExemplarEdges::wrapped);
    EXPECT_EQ(coarsest.later.edges_y, ExemplarEdges::clamped);

    const RefinedLevelPlan finest = refined_level_plan(0, 3, 2, ExemplarEdges::wrapped, ExemplarEdges::wrapped);
    EXPECT_EQ(finest.first_pass, FirstPass::continue_parent);
    EXPECT_EQ(finest.passes, 2);
    EXPECT_EQ(finest.lattice, kRefinedLattice);
    EXPECT_GT(finest.repeat_penalty, 0);
    // One pass asked for is one pass everywhere.
    EXPECT_EQ(refined_level_plan(2, 3, 1, ExemplarEdges::wrapped, ExemplarEdges::wrapped).passes, 1);
}

}  // namespace
