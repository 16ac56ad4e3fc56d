#pragma once

#include "synthesis/hole_geometry.h"
#include "synthesis/job.h"

// Filling a hole and making a picture tile: the part of the job that only these do. A fill works in a region
// around the hole (the hole's bounding box and a margin); unless an exemplar is given, its candidates are the
// region's pixels whose neighbourhoods stay clear of the hole. Making a picture tile fills the band along its
// edges from the rest of it, with reads that wrap around.

// The margin around a hole's bounding box, as a multiple of its larger side, and at least this many pixels.
inline constexpr int kFillMarginFloor = 32;
// Where the levels are chosen, a hole gets at most this many: at a fourth level the hole's surroundings are
// too coarse to guide it (on 42 holes in seven pictures, before the edge's search was made sparser on large
// levels, the edge's z-score stayed below 2 in 35 with three levels, in 28 with four).
inline constexpr int kMostChosenHoleLevels = 3;

// The default band of a tiling: an eighth of the picture's shorter side (at least one pixel), and the widest:
// a quarter, so that at least the central half stays as it is in each direction.
int default_tile_band(int width, int height);
int widest_tile_band(int width, int height);

// The region a fill works in: the mask's marked pixels' bounding box grown by a margin as wide as its larger
// side (at least kFillMarginFloor), narrower where the region would exceed the exemplar's limits when it is
// its own exemplar. Width 0 if even the narrowest margin does not fit.
Rect fill_region(const std::vector<std::uint8_t>& mask, int width, int height, const SynthesisSettings& settings,
                 bool own_exemplar);

// Checks a fill or a tiling and decides its levels.
bool check_hole_job(const Job& job, SynthesisSettings& settings, JobError& error);

// Does a checked fill or tiling.
bool run_hole_job(const Job& job, const SynthesisSettings& settings, JobResult& result, JobError& error,
                  const JobHooks& hooks);
