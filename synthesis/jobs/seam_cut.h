#pragma once

#include <texsynth/job.h>

#include <cstdint>
#include <optional>
#include <vector>

// Where a texture that tiles is cut open. Every place on it is as good a start as any other, so the result is
// rolled to begin where its wrap-around boundary is like its others: a single boundary among hundreds may
// stand out by chance (one in twenty lies beyond two standard deviations on our textures, the first
// synthesized one as often as any), and none then lies on the tile's edge.

// Starts are kept to multiples of this many pixels, so that the 2 x 2 and 4 x 4 grids the coarser levels may
// leave keep their phase. Not 8: a photo saved as JPEG carries a grid of 8 x 8 blocks, which copies laid out at
// the coarsest level (8 x 8 pixels at the finest) keep in step, and every multiple of 8 lies on it (a wood
// grain's seam z was 1.9 to 2.0 at the most typical of them, 0.0 at a multiple of 4).
inline constexpr int kSeamCutGrid = 4;

// A seeded cut lies where the boundary before it is within this many standard deviations of the mean step.
inline constexpr double kTypicalSeamSpread = 1.0;

// Of a line of `steps.size()` boundaries (steps[b]: the mean step between line b and line b + 1, the last
// between the last line and the first), the first line of the cut: a multiple of `grid` whose boundary before
// it (wrapping around) has the step nearest the mean of all; the lowest such line on ties. With a `draw`, one
// of the multiples whose boundary lies within kTypicalSeamSpread of the mean instead, the draw-th modulo their
// number (the nearest if there is none).
int typical_cut(const std::vector<double>& steps, int grid, std::optional<std::uint64_t> draw = std::nullopt);

// The result's image and source map rolled so that pixel (dx, dy) comes first.
void roll_result(JobResult& result, int dx, int dy);

// Rolls the result to start at the typical cut along each axis (its first three channels measured). With a
// seed, the cuts are drawn from it: a regular pattern's copies are in step with its lattice, and cut where
// the step is nearest the mean they would begin at the same place in the pattern for every seed, and share
// their sources wherever they took the same cell.
void cut_at_typical_seams(JobResult& result, std::optional<std::uint32_t> seed = std::nullopt);
