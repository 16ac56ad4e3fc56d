#pragma once

#include <cstdint>
#include <vector>

#include "image/rgb_image.h"

// How much of a texture is the same content repeated at one shift: the figure a tiled exemplar scores high on
// (whole columns the exemplar again one exemplar height further down) and a texture made of copies laid out
// at unrelated places scores low on.
//
// Each output pixel has a label saying what it shows: where it was copied from (a source map), or, for a
// picture without a map, its 3 x 3 neighbourhood byte for byte. For a shift s, the share is the share of
// pixels p whose label equals that of p + s, the shift wrapping around the output (which tiles). Every pair
// of pixels with one label adds to its shift's count, so the work grows with the sum over labels of their
// uses squared (about 4 million pairs for 512 x 512 pixels from 128 x 128).

// Shifts shorter than this (in the Euclidean length of their shortest wrapped form) are neighbours within a
// copy, not repetition.
inline constexpr int kMinRepeatShift = 16;

struct RepeatShare {
    double share = 0;  // the largest share over the shifts at least kMinRepeatShift long
    int dx = 0;        // that shift (the first in row-major order of the heat map among equal ones)
    int dy = 0;
    // Per shift, the count of pixels p whose label equals that of p + (dx, dy), width x height row-major with
    // the zero shift in the middle, at (width / 2, height / 2): entry (x, y) is the shift (x - width / 2,
    // y - height / 2).
    std::vector<std::int64_t> counts;
    int width = 0;
    int height = 0;
};

// The repeat share of a width x height picture whose pixel i shows `labels[i]` (negative: unknown, in no pair).
RepeatShare repeat_share(const std::vector<std::int64_t>& labels, int width, int height);

// Labels from a source map of 16-bit exemplar columns and rows (x, y interleaved, row-major).
std::vector<std::int64_t> labels_of_map(const std::vector<std::uint16_t>& xy);

// Labels from the pixels: equal labels for equal 3 x 3 neighbourhoods (wrapping around the picture's edges).
std::vector<std::int64_t> labels_of_pixels(const RgbImage& image);

// The share of pixels of two maps of one size that have the same label at the same position.
double same_position_share(const std::vector<std::int64_t>& a, const std::vector<std::int64_t>& b);

// The shares of every shift as a grey picture of the counts' layout (the zero shift in the middle): the square
// root of share / kHeatMapWhite, black for none, white from kHeatMapWhite up, so that pictures of several
// textures compare (a share of 0.05 is a dark grey, 80). A tiled exemplar shows a grid of bright dots around the
// middle, a texture without repetition a dark field with one bright spot, its copies' own neighbours, there.
inline constexpr double kHeatMapWhite = 0.5;
RgbImage repeat_heat_map(const RepeatShare& repeats);
