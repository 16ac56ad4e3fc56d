#pragma once

#include <texsynth/job.h>

#include <vector>

// Where a texture that tiles is cut open. Every place on it is as good a start as any other, so the result is
// rolled to begin where its wrap-around boundary is like its others: a single boundary among hundreds may
// stand out by chance (one in twenty lies beyond two standard deviations on our textures, the first
// synthesized one as often as any), and none then lies on the tile's edge.

// Starts are kept to multiples of this many pixels, so that the grids the coarser levels leave (their pixels
// are up to 8 x 8 at the finest) keep their phase.
inline constexpr int kSeamCutGrid = 8;

// Of a line of `steps.size()` boundaries (steps[b]: the mean step between line b and line b + 1, the last
// between the last line and the first), the first line of the cut: a multiple of `grid` whose boundary before
// it (wrapping around) has the step nearest the mean of all; the lowest such line on ties.
int typical_cut(const std::vector<double>& steps, int grid);

// The result's image and source map rolled so that pixel (dx, dy) comes first.
void roll_result(JobResult& result, int dx, int dy);

// Rolls the result to start at the typical cut along each axis (its first three channels measured).
void cut_at_typical_seams(JobResult& result);
