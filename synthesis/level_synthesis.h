#pragma once

#include <cstdint>

#include "synthesis/exact_matcher.h"
#include "synthesis/level_profile.h"
#include "synthesis/search_team.h"
#include "synthesis/training_set.h"

// Size and byte offset of one level inside the output pyramid.
struct LevelGeometry {
    int width = 0;
    int height = 0;
    int offset = 0;
};

// Rewrites level n of the output pyramid (level 0 is output_width x output_height) in place, in raster
// order: every pixel's neighbourhood is read from the output pyramid as it stands, wrapping around every
// level's edges, the kd-tree of `set` is asked for an approximate nearest neighbour (error bound `eps`),
// and the pixel takes that neighbour's colour at once, so the pixels after it see it.
// Returns the size and offset of level n. `hooks` may ask for the time of every stage of every pixel, and
// for a call after every row.
// Precondition: `set` was built for level n with the same matrix row, and every output level is non-empty.
LevelGeometry synthesize_level(const TrainingSet& set, const int* matrix_row, std::uint8_t* output_pyramid,
                               int output_width, int output_height, int n, int levels, double eps,
                               const ScanHooks& hooks = {});

// The same scan with the exact nearest candidate of `matcher` (built for level n with the same matrix row).
// The threads of `team` share each search; the result is the same for any number of them.
LevelGeometry synthesize_level_exact(const ExactMatcher& matcher, const int* matrix_row,
                                     std::uint8_t* output_pyramid, int output_width, int output_height, int n,
                                     int levels, SearchTeam& team, const ScanHooks& hooks = {});
