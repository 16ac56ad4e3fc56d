// What the refined synthesis does at each level.
#include <gtest/gtest.h>

#include "synthesis/levels/refined_plan.h"

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
    // A texture made with the refined search goes down to 10 pixels and sees more between the finest and the
    // coarsest level; other searches and other jobs keep the plain choice.
    SynthesisSettings open;
    open.levels = 0;
    open.match = MatchMode::refined;
    const SynthesisSettings texture = with_levels_chosen(open, 88, 88, 512, 512, true);
    EXPECT_EQ(texture.levels, 4);  // 11 x 11 at the coarsest
    const NeighbourhoodMatrix middle{{2, 1, 1, 1, 0, 3, 1, 1, 0, 0, 3, 1, 0, 0, 0, kCoarsestHalfSize}};
    EXPECT_EQ(texture.matrix.entries, middle.entries);
    EXPECT_EQ(with_levels_chosen(open, 88, 88, 512, 512).matrix.entries, three.entries);
    open.match = MatchMode::approximate;
    EXPECT_EQ(with_levels_chosen(open, 88, 88, 512, 512, true).matrix.entries, three.entries);
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
    // Copies that would repeat are penalised at every level but the finest; only the coarsest level's scan
    // weighs other candidates where they do.
    EXPECT_GT(coarsest.shift_penalty, 0);
    EXPECT_GT(coarsest.shift_escape, 0);
    const RefinedLevelPlan middle = refined_level_plan(1, 3, 2, ExemplarEdges::wrapped, ExemplarEdges::wrapped);
    EXPECT_GT(middle.shift_penalty, 0);
    EXPECT_EQ(middle.shift_escape, 0);
    EXPECT_LT(middle.shift_steep, coarsest.shift_steep);  // copies growing back together are held sooner
    // Only the coarsest level spreads a texture's copies over the exemplar: its scan starts new copies where
    // the exemplar has been copied least, and where the exemplar has few copies to spread, its later passes
    // penalise overused pixels more.
    EXPECT_GT(coarsest.usage_penalty, 0);
    EXPECT_EQ(coarsest.texture_repeat_penalty, coarsest.repeat_penalty);
    const auto large = [](int exemplar_side) {
        return refined_level_plan(3, 4, 3, ExemplarEdges::clamped, ExemplarEdges::clamped, {}, 512, 512,
                                  std::int64_t{exemplar_side} * exemplar_side);
    };
    EXPECT_GT(large(200).texture_repeat_penalty, large(200).repeat_penalty);
    EXPECT_EQ(large(128).texture_repeat_penalty, large(128).repeat_penalty);
    EXPECT_EQ(middle.usage_penalty, 0);
    EXPECT_EQ(middle.texture_repeat_penalty, middle.repeat_penalty);
    // A texture's candidates agree with the neighbours' copies, in more passes at every level but the finest.
    EXPECT_EQ(coarsest.agreeing_passes, 2 + kCoarsestExtraPasses + kCoarserAgreeingPasses);
    EXPECT_EQ(middle.agreeing_passes, 2 + kNextToFinestAgreeingPasses);
    EXPECT_EQ(refined_level_plan(2, 4, 2, ExemplarEdges::wrapped, ExemplarEdges::wrapped).agreeing_passes,
              2 + kCoarserAgreeingPasses);
    EXPECT_GT(middle.agreement, 0);
    EXPECT_EQ(coarsest.later.edges_x, ExemplarEdges::wrapped);
    EXPECT_EQ(coarsest.later.edges_y, ExemplarEdges::clamped);

    const RefinedLevelPlan finest = refined_level_plan(0, 3, 2, ExemplarEdges::wrapped, ExemplarEdges::wrapped);
    EXPECT_EQ(finest.first_pass, FirstPass::continue_parent);
    EXPECT_EQ(finest.passes, 2);
    EXPECT_EQ(finest.agreeing_passes, 2);
    // A texture's seams are settled after the finest level's passes alone, which then take one pass fewer.
    EXPECT_GT(finest.texture_seams.reach, 0);
    EXPECT_EQ(middle.texture_seams.reach, 0);
    EXPECT_EQ(finest.settled_agreeing_passes, 1);
    EXPECT_EQ(middle.settled_agreeing_passes, middle.agreeing_passes);
    EXPECT_EQ(finest.lattice, kRefinedLattice);
    EXPECT_GT(finest.repeat_penalty, 0);
    EXPECT_EQ(finest.shift_penalty, 0);
    // A texture's finest level takes its candidates from the nearest neighbours' copies alone; the others and a
    // single level, from the whole square.
    EXPECT_EQ(finest.texture_candidate_half_size, kFinestCandidateHalfSize);
    EXPECT_EQ(middle.texture_candidate_half_size, 0);
    EXPECT_EQ(refined_level_plan(0, 1, 2, ExemplarEdges::wrapped, ExemplarEdges::wrapped).texture_candidate_half_size,
              0);
    // One pass asked for is one pass everywhere.
    EXPECT_EQ(refined_level_plan(2, 3, 1, ExemplarEdges::wrapped, ExemplarEdges::wrapped).passes, 1);
    EXPECT_EQ(refined_level_plan(2, 3, 1, ExemplarEdges::wrapped, ExemplarEdges::wrapped).agreeing_passes, 1);
}

TEST(RefinedPlan, RegularPatternsKeepInStepAndRepeatOverWholePeriods) {
    // Periods of 24 and 20 pixels: resolved down to level 2 (6 and 5), not at level 3 (3 and 2.5).
    PeriodLattice periods;
    periods.found = true;
    periods.a[1] = 20;
    periods.b[0] = 24;
    periods.span[0] = 96;
    periods.span[1] = 0;  // no whole period fits down the exemplar, say
    for (int n = 0; n < 4; ++n) {
        const RefinedLevelPlan plan =
            refined_level_plan(n, 4, 3, ExemplarEdges::clamped, ExemplarEdges::clamped, periods, 512, 512);
        SCOPED_TRACE(n);
        EXPECT_EQ(plan.phase.active(), n <= 2);
        EXPECT_EQ(plan.parent_phase.active(), n + 1 <= 2);
        EXPECT_EQ(plan.repeat_penalty, kRegularRepeatPenalty);
        // Copies repeating at one shift are penalised at every level but the finest, beyond a larger share
        // at the middle ones.
        EXPECT_EQ(plan.shift_penalty, n > 0 ? kRegularShiftPenalty : 0);
        EXPECT_EQ(plan.shift_allowed, n == 3 ? kRegularShiftAllowed : n > 0 ? kRegularMiddleShiftAllowed : 0);
        EXPECT_EQ(plan.usage_penalty, 0);  // its copies take whole cells
        EXPECT_EQ(plan.texture_repeat_penalty, kRegularRepeatPenalty);
        // Fewer passes, and the finest level's seams held to a smaller share.
        EXPECT_EQ(plan.passes, n == 3 ? 3 + kRegularCoarsestExtraPasses : 3);
        if (n == 1) {
            EXPECT_EQ(plan.agreeing_passes, 3 + kRegularNextToFinestAgreeingPasses);
        }
        EXPECT_EQ(plan.texture_seams.shift_allowed, n == 0 ? kRegularSeamShiftAllowed : 0);
        for (const CandidateOptions& options : {plan.first, plan.later}) {
            // Across, reads and copies past an edge go on 96 pixels (halved at each level) back; down they
            // stay clamped. Levels that do not resolve the pattern keep the exemplar's own edges.
            EXPECT_EQ(options.edges_x, n <= 2 ? ExemplarEdges::wrapped : ExemplarEdges::clamped);
            EXPECT_EQ(options.span_x, n <= 2 ? 96 >> n : 0);
            EXPECT_EQ(options.edges_y, ExemplarEdges::clamped);
        }
    }
    // An exemplar that tiles by itself keeps its own wrap-around.
    const RefinedLevelPlan tiling =
        refined_level_plan(0, 4, 3, ExemplarEdges::wrapped, ExemplarEdges::wrapped, periods, 512, 512);
    EXPECT_EQ(tiling.later.span_x, 0);
    // Without a lattice, nothing of it.
    const RefinedLevelPlan plain = refined_level_plan(0, 4, 3, ExemplarEdges::clamped, ExemplarEdges::clamped);
    EXPECT_FALSE(plain.phase.active());
    EXPECT_FALSE(plain.parent_phase.active());
    EXPECT_EQ(plain.repeat_penalty, kRefinedRepeatPenalty);
    EXPECT_EQ(plain.later.edges_x, ExemplarEdges::clamped);
}

}  // namespace
