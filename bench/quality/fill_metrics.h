#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/rgb_image.h"

// Figures for how well a hole was filled: the result against the original picture and the mask of the hole.
// The hole is every pixel whose mask pixel is not black (any channel above 0).

// The hole as one flag per pixel, row-major.
std::vector<bool> hole_of(const RgbImage& mask);

// A pair of 4-neighbours: (x, y) and its right neighbour, or its lower one when `down`.
struct PixelPair {
    int x = 0;
    int y = 0;
    bool down = false;
};

// Every pair of 4-neighbours inside the picture with exactly one of the two in the hole: the hole's edge.
std::vector<PixelPair> edge_pairs(const std::vector<bool>& hole, int width, int height);

// How much the hole's edge stands out in `result`, as a z-score comparable with the seam scores.
// A pair's step is the mean absolute difference over the three channels. The edge's mean step is compared
// with the mean steps of the same set of pairs moved elsewhere: every shift (dx, dy), both multiples of
// `stride` and each less than the picture's size in magnitude, for which at least half of the moved pairs
// lie inside the picture with both pixels outside the hole (a shift's mean is over those pairs only). With
// mean m and population deviation s over those shifts, z = (edge mean - m) / s. The seam score does the same
// with one line of pairs against the other lines. Fewer than two usable shifts give NaN; when s is 0, a
// difference gives +/- infinity and none 0.
struct BoundaryScore {
    double z = 0;
    double edge_step = 0;       // the edge's mean step
    double reference_step = 0;  // m
    int shifts = 0;             // usable shifts
};
BoundaryScore boundary_score(const RgbImage& result, const std::vector<bool>& hole, int stride);

// The mean step over pairs of 4-neighbours both in the hole, and over those both outside it (NaN without such
// pairs).
struct PairSteps {
    double inside = 0;
    double outside = 0;
};
PairSteps mean_steps(const RgbImage& image, const std::vector<bool>& hole);

// The mean step over pairs of 4-neighbours both in the hole over that over pairs both outside it.
double detail_ratio(const RgbImage& image, const std::vector<bool>& hole);

// The stride that boundary_score is given by measure_fill: the smallest that leaves at most about 4096
// shifts, ceil(sqrt(4 width height / 4096)), at least 1.
int shift_stride(int width, int height);

struct FillFigures {
    std::int64_t hole_pixels = 0;
    std::int64_t edge_pairs = 0;
    BoundaryScore boundary;
    // For every 5 x 5 patch lying inside the picture and holding at least one hole pixel, the RMS per
    // component, sqrt(squared distance / 75), to the nearest 5 x 5 patch lying inside the picture and fully
    // outside the hole; the mean over those patches, in `result` and, for reference, in `original` (what a
    // perfect fill would score). NaN without such patches.
    double hole_coherence = 0;
    double original_hole_coherence = 0;
    // How much detail the fill has: the mean step over pairs of 4-neighbours both in the hole, over the mean
    // step over pairs both outside it, in `result` and in `original`. A blurred fill scores below the
    // original, one that is noisier than its surroundings above. NaN without such pairs.
    double hole_detail = 0;
    double original_hole_detail = 0;
    // The grain of the fill: the mean step over pairs of 4-neighbours both in the hole in `result`, over the
    // same in `original` (the true content). 1 is the true grain; below it the fill is smoother. NaN without
    // such pairs or where the true content is flat.
    double hole_step_ratio = 0;
    // Pixels outside the hole that differ from `original` in any channel.
    std::int64_t outside_changed = 0;
};

// All the fill figures, searching patches on up to `threads` threads (0: one per core). Returns false, with
// the reason, when the three pictures are not of one size.
bool measure_fill(const RgbImage& original, const RgbImage& mask, const RgbImage& result, int threads,
                  FillFigures& figures, std::string& why);

// The figures as one line of name=value pairs.
std::string format_fill_figures(const FillFigures& figures);
