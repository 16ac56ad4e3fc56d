#include "synthesis/refined_plan.h"

#include <algorithm>

RefinedLevelPlan refined_level_plan(int n, int levels, int passes, ExemplarEdges edges_x, ExemplarEdges edges_y) {
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
    plan.passes = coarsest && passes > 1 ? passes + kCoarsestExtraPasses : passes;
    plan.first_pass = coarsest ? FirstPass::scan : FirstPass::continue_parent;
    plan.lattice = kRefinedLattice;
    plan.repeat_penalty = kRefinedRepeatPenalty;
    return plan;
}

int automatic_levels(int exemplar_width, int exemplar_height) {
    const int side = std::min(exemplar_width, exemplar_height);
    int levels = 1;
    while (levels < 4 && (side >> levels) >= kCoarsestExemplarSide) {
        ++levels;
    }
    return levels;
}

NeighbourhoodMatrix automatic_matrix(int levels) {
    NeighbourhoodMatrix matrix;
    for (int n = 0; n < levels; ++n) {
        for (int v = n; v < levels; ++v) {
            int half_size = 1;
            if (v == n) {
                half_size = n == levels - 1 ? kCoarsestHalfSize : 2;
            }
            matrix.entries[static_cast<std::size_t>(n * levels + v)] = half_size;
        }
    }
    return matrix;
}
