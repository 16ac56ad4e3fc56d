#pragma once

#include <cstdint>
#include <vector>

#include "pyramid/level_table.h"

// The grain of a picture around a hole, which a fill keeps: copies taken from the smooth parts of a photo (a
// blurred band, a shadow) carry their smoothness into the hole, however well their coarse layout fits. The
// grain is measured as the mean step between adjacent pixels (the sum of the absolute differences of their
// R, G and B), over pairs of pixels that are both known.

// The mean step between adjacent kept pixels (`hole` zero) of a width x height RGB picture that lie within
// `reach` pixels (in the square around them) of a hole pixel; 0 if there are none.
double ring_step(const std::uint8_t* rgb, const std::vector<std::uint8_t>& hole, int width, int height, int reach);

// The mean step between adjacent pixels both in the hole (`hole` non-zero) of a width x height RGB picture; 0 if
// there are none.
double hole_step(const std::uint8_t* rgb, const std::vector<std::uint8_t>& hole, int width, int height);

// For every level n of an exemplar pyramid (`table`; level 0 is `rgb`, RGB), a cost per exemplar pixel of that
// level: `weight` times the squared natural logarithm of how much more or less detailed its surroundings are
// than `target`, at most `weight` times kMostGrainLog squared. Its surroundings: the pixels of level 0 within
// half_size * 2^n + 2^(n-1) of its block's middle, over the pairs of them not in `unknown` (empty: every pixel
// is known); no cost where there are none.
std::vector<std::vector<double>> grain_costs(const std::uint8_t* rgb, const std::vector<std::uint8_t>& unknown,
                                             const LevelTable& table, int levels, int half_size, double target,
                                             double weight);

// The most a candidate pays is for surroundings e^1.5 (4.5) times more or less detailed than the target.
inline constexpr double kMostGrainLog = 1.5;
// Steps below this count as this (a flat patch has no logarithm).
inline constexpr double kLeastGrain = 1e-3;

// A fill whose grain is less than kGrainRetry times its surroundings' (within kGrainRingReach pixels of the hole)
// is made again with every candidate paying kGrainWeight times the squared logarithm of how far the grain within
// kGrainHalfSize pixels of its level around it lies from the surroundings', and the fill whose grain lies nearer
// to theirs is kept (the variants: bench/quality-research-log.md, "Grain of fills"). Measured on 147 holes (the bench's 21,
// 36 cut from three of its photos with their masks flipped, flopped and turned, 90 in ten pictures of 128 pixels):
// with the step ratio to the true content outside 0.8 to 1.25 on 0, 5 and 34 before, 0, 1 and 12 after. A smooth
// fill's copies come from the smooth parts of the picture (a blurred band of a wall, the plain stone between a
// marble's veins); a hole's surroundings tell its grain within 0.64 to 1.24 of the true content's.
inline constexpr double kGrainRetry = 0.9;
inline constexpr double kGrainWeight = 1600.0;
inline constexpr int kGrainHalfSize = 4;
inline constexpr int kGrainRingReach = 24;
