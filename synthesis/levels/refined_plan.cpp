#include "synthesis/levels/refined_plan.h"

#include <algorithm>
#include <cmath>

RefinedLevelPlan refined_level_plan(int n, int levels, int passes, ExemplarEdges edges_x, ExemplarEdges edges_y,
                                    const PeriodLattice& periods, int output_width, int output_height,
                                    std::int64_t exemplar_pixels) {
    RefinedLevelPlan plan;
    plan.first.shape = NeighbourhoodShape::causal;
    plan.first.edges_x = edges_x;
    plan.first.edges_y = edges_y;
    plan.later = plan.first;
    plan.later.shape = NeighbourhoodShape::full;
    plan.later.coarser_levels = false;
    // Every later pass weighs each pixel's own source, so its candidates are never none.
    plan.later.indexed = false;
    const bool coarsest = n == levels - 1;
    // A regular pattern's copies, held in step, leave less to correct: its passes stop sooner.
    const int extra_passes = periods.found ? kRegularCoarsestExtraPasses : kCoarsestExtraPasses;
    plan.passes = coarsest && passes > 1 ? passes + extra_passes : passes;
    plan.agreement = kRefinedAgreement;
    const int next_to_finest = periods.found ? kRegularNextToFinestAgreeingPasses : kNextToFinestAgreeingPasses;
    const int more_passes = n == 1 && !coarsest ? next_to_finest : kCoarserAgreeingPasses;
    plan.agreeing_passes = n > 0 && passes > 1 ? plan.passes + more_passes : plan.passes;
    plan.settled_agreeing_passes = plan.agreeing_passes;
    plan.first_pass = coarsest ? FirstPass::scan : FirstPass::continue_parent;
    plan.lattice = kRefinedLattice;
    plan.repeat_penalty = kRefinedRepeatPenalty;
    plan.phase = LatticePhase(periods, n, output_width, output_height);
    // Copies must not line up (synthesis/search/repeat_shifts.h): the coarsest level lays them out, its scan
    // weighing the candidates most like each where the best would repeat; the middle levels keep them from
    // growing back together (on a regular pattern, whose copies in step with its lattice leave fewer ways out,
    // only beyond a larger share); the finest level follows its parent.
    if (coarsest || n > 0) {
        plan.shift_penalty = periods.found ? kRegularShiftPenalty : kShiftPenalty;
        plan.shift_allowed = !periods.found ? kShiftAllowed
                             : coarsest     ? kRegularShiftAllowed
                                            : kRegularMiddleShiftAllowed;
        plan.shift_steep = periods.found ? 1.0 : coarsest ? kShiftSteep : kMiddleShiftSteep;
        plan.shift_escape = coarsest ? kShiftEscape : 0;
        plan.usage_penalty = coarsest && !periods.found ? kScanUsagePenalty : 0;
    }
    if (periods.found) {
        plan.repeat_penalty = kRegularRepeatPenalty;
    }
    plan.texture_candidate_half_size = n == 0 && levels > 1 ? kFinestCandidateHalfSize : 0;
    if (n == 0) {
        // The seams settled after the finest level's passes, which then take one pass fewer.
        plan.texture_seams.reach = kSeamReach;
        plan.texture_seams.sweeps = kSeamSweeps;
        plan.texture_seams.least_copy = kSeamLeastCopy;
        plan.texture_seams.outer_weight = kSeamOuterWeight;
        plan.texture_seams.shift_penalty = kSeamShiftPenalty;
        plan.texture_seams.shift_allowed = periods.found ? kRegularSeamShiftAllowed : kSeamShiftAllowed;
        plan.texture_seams.shift_steep = periods.found ? 1.0 : kSeamShiftSteep;
        plan.texture_seams.last_use = kSeamLastUse;
        plan.settled_agreeing_passes = std::max(1, plan.agreeing_passes - 1);
    }
    if (n > 0 && n >= levels - kGraftedLevels && !periods.found) {
        // Parts of the exemplar left out grafted in, not at the finest level, which follows the coarser ones.
        plan.texture_grafts.side = kGraftSide;
        plan.texture_grafts.unused_share = kGraftUnusedShare;
        plan.texture_grafts.least_unused = kGraftLeastUnused;
    }
    const bool few_copies =
        exemplar_pixels > 0 && static_cast<double>(output_width) * output_height <= kFewCopies * exemplar_pixels;
    plan.texture_repeat_penalty = plan.usage_penalty > 0 && few_copies ? kCoarsestRepeatPenalty : plan.repeat_penalty;
    if (n + 1 < levels) {
        plan.parent_phase = LatticePhase(periods, n + 1, output_width, output_height);
    }
    if (plan.phase.active()) {
        // Where the exemplar does not tile by itself, a regular pattern still repeats over whole periods:
        // reads and copies past an edge go on from one span back, in step.
        auto repeat = [&](ExemplarEdges& edges, int& span, double full_size_span) {
            if (edges != ExemplarEdges::wrapped && full_size_span > 0) {
                edges = ExemplarEdges::wrapped;
                span = static_cast<int>(std::lround(std::ldexp(full_size_span, -n)));
            }
        };
        for (CandidateOptions* options : {&plan.first, &plan.later}) {
            repeat(options->edges_x, options->span_x, periods.span[0]);
            repeat(options->edges_y, options->span_y, periods.span[1]);
        }
    }
    return plan;
}

int automatic_levels(int exemplar_width, int exemplar_height, int coarsest_side) {
    const int side = std::min(exemplar_width, exemplar_height);
    int levels = 1;
    while (levels < 4 && (side >> levels) >= coarsest_side) {
        ++levels;
    }
    return levels;
}

NeighbourhoodMatrix automatic_matrix(int levels, int middle_half_size) {
    NeighbourhoodMatrix matrix;
    for (int n = 0; n < levels; ++n) {
        for (int v = n; v < levels; ++v) {
            int half_size = 1;
            if (v == n) {
                half_size = n == levels - 1 ? kCoarsestHalfSize : n > 0 ? middle_half_size : 2;
            }
            matrix.entries[static_cast<std::size_t>(n * levels + v)] = half_size;
        }
    }
    return matrix;
}
