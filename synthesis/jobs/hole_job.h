#pragma once

#include <texsynth/job.h>

#include "synthesis/jobs/hole_geometry.h"
#include "synthesis/levels/noise.h"
#include "synthesis/search/pyramid_views.h"

// Filling a hole and making a picture tile: the part of the job that only these do. A fill works in a region
// around the hole (the hole's bounding box and a margin); unless an exemplar is given, its candidates are the
// region's pixels whose neighbourhoods stay clear of the hole. Making a picture tile fills the band along its
// edges from the rest of it, with reads that wrap around.

// The margin around a hole's bounding box, as a multiple of its larger side, and at least this many pixels.
inline constexpr int kFillMarginFloor = 32;

// A fill chooses fewer levels while its hole is less than this deep (hole_depth) at the coarsest level, but
// not fewer than kLeastLevelsForDepth. A hole that thin there is all rim: each of its pixels is matched to
// both sides at once, and the best match of both is smooth content bridging them (on a paving photo, stone
// across the joints), which the finer levels carry on; the grain inside the thin strokes of the benchmarks'
// photos was 0.65 to 0.93 of the true content's with three levels, 0.82 to 0.95 with two. One level has no
// coarser one to lay the fill out (a rectangle on the wall photo 0.75, against 0.82 with three).
inline constexpr int kMinCoarsestHoleDepth = 3;
inline constexpr int kLeastLevelsForDepth = 2;

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

// One run of the level loop over a region of a picture: the part of a fill, a tiling or a grown picture
// that they share.
struct RegionFill {
    const Image* picture = nullptr;  // whose region is worked on
    Rect region;
    // One byte per pixel of the region, row-major; non-zero marks a pixel to synthesize, the others stay.
    const std::vector<std::uint8_t>* hole = nullptr;
    // Where the hole's pixels come from; none (nullptr): the region's pixels whose neighbourhoods stay clear
    // of the hole.
    const Image* exemplar = nullptr;
    EdgeRule edges = EdgeRule::clamp;  // how reads past the region's edges are brought back
    // One byte per pixel of the exemplar (of the region where it is its own), non-zero where its pixels may be
    // copied; none (nullptr): every pixel may.
    const std::vector<std::uint8_t>* sample_mask = nullptr;
    // Whether the hole keeps the grain of the pixels around it (synthesis/jobs/hole_grain.h), where the region is
    // its own exemplar: a fill from another exemplar takes that exemplar's grain.
    bool keep_grain = false;
    // Whether a seed (SynthesisSettings::seed) weighs the candidates (synthesis/jobs/seeded_preferences.h): a
    // hole surrounded by kept pixels is filled without reading its noise, so the seed acts there instead.
    bool seeded_choices = false;
};

// Synthesizes the hole of a checked region, its noise taken from `draws`. On return `region_sources` holds,
// for every pixel of the region, where it was copied from: an index y * width + x of the exemplar, or of the
// region itself where it is its own exemplar (for kept pixels: themselves, or -1 with an exemplar).
bool synthesize_region(const RegionFill& fill, const SynthesisSettings& settings, NoiseDraws& draws,
                       std::vector<int>& region_sources, JobError& error, const JobHooks& hooks);
