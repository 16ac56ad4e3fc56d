#pragma once

#include <vector>

// The exact matcher's pruning: which candidates of a block can still beat the best distance found, and how
// far a point lies from a block's box, in plain and vector-instruction implementations.

// The exact matcher bounds candidates in blocks of this many, eight axes at a time.
inline constexpr int kBlockLanes = 8;

// Given a block's projections (axis by axis, kBlockLanes values each, `axes` a multiple of kBlockLanes) and
// a point's, returns as bits the lanes whose squared distance to the point does not exceed `allowed`. The
// sums are built up eight axes at a time, and the block is given up as soon as no lane is left.
using SurvivingLanesFunction = unsigned (*)(const float* block, const float* point, int axes, float allowed);

// The fastest implementation this processor runs.
SurvivingLanesFunction surviving_lanes_function();

// Every implementation this processor runs, the plain one last (for comparison).
std::vector<SurvivingLanesFunction> surviving_lanes_functions();

// The squared distance from a point to a box, on the first kBlockLanes axes (the box given by its lower and
// upper corners).
using BoxDistanceFunction = float (*)(const float* lower, const float* upper, const float* point);

// The fastest implementation this processor runs, and every one, the plain one last.
BoxDistanceFunction box_distance_function();
std::vector<BoxDistanceFunction> box_distance_functions();
