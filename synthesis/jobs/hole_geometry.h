#pragma once

#include <cstdint>
#include <vector>

#include "pyramid/level_table.h"

// Where a fill or a tiling works: which pixels of each pyramid level lie in the hole, and which exemplar
// pixels may be copied into it. Masks hold one byte a pixel, row-major, non-zero where the mask says yes.

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The smallest rectangle holding every marked pixel of a width x height mask (width 0 if none is marked).
Rect marked_bounds(const std::uint8_t* mask, int width, int height);

// `inner` grown by `margin` pixels on every side, within a width x height picture.
Rect grown(const Rect& inner, int margin, int width, int height);

// The `region` of a width x height mask, as a mask of its own.
std::vector<std::uint8_t> crop_mask(const std::uint8_t* mask, int width, const Rect& region);

// For every level of a pyramid over a mask (level 0 the mask itself, `table` its layout), the pixels whose
// block of level-0 pixels (2^n x 2^n at level n) holds a marked pixel.
std::vector<std::vector<std::uint8_t>> hole_levels(const std::uint8_t* mask, const LevelTable& table, int levels);

// The exemplar pixels of level n whose neighbourhood reads a hole pixel at some level: the full square of
// half-size matrix_row[n] around the pixel at level n, and the square of half-size matrix_row[v] around it at
// every coarser level v < levels_read (its coordinates halved v - n times). Reads past an edge take the nearest
// pixel inside.
std::vector<std::uint8_t> excluded_candidates(const std::vector<std::vector<std::uint8_t>>& holes,
                                              const LevelTable& table, const int* matrix_row, int n, int levels_read);

// The pixels of a width x height hole level that have a pixel outside the hole within `reach` (in the square
// around them): the hole's rim, where what surrounds it shows.
std::vector<std::uint8_t> hole_rim(const std::vector<std::uint8_t>& hole, int width, int height, int reach);

// How deep a width x height hole reaches: the most steps, each to one of the eight neighbours, from a hole
// pixel to the nearest pixel outside the hole (1: every hole pixel touches one; 0: no hole; width + height:
// nothing outside it). The picture's edge is no way out.
int hole_depth(const std::vector<std::uint8_t>& hole, int width, int height);

// The band of a width x height picture within `band` pixels of one of its edges, as a mask.
std::vector<std::uint8_t> edge_band(int width, int height, int band);
