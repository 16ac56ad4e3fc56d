#pragma once

#include <cstdint>

// How much the edges of a grid of square blocks stand out in a picture, as a level that copies blocks of 2 x 2 or
// 4 x 4 pixels from the coarser levels could leave them. A step is the mean absolute difference over the first
// three channels between two neighbours in a row or a column (none wraps around). For blocks of side b whose grid
// starts at the top left, the edge steps are those between column b k + b - 1 and b k + b (rows likewise); the
// ratio is the mean of the edge steps over the mean of all the other steps, both directions pooled. 1 means no
// grid; a uniform picture scores 1, one whose only steps lie on the grid +infinity, and one with no edge step or
// no other step (narrower and lower than b + 1 pixels) NaN. `pixels` holds `channels` bytes a pixel (at least 3),
// row-major.
double block_grid_ratio(const std::uint8_t* pixels, int width, int height, int channels, int block_side);

// Whether the blocks of 2 x 2 or of 4 x 4 pixels of a picture stand out more than `tolerance` times as much as
// those of its exemplar, or than no grid at all where the exemplar's stand out less (both as block_grid_ratio).
bool shows_block_grid(const std::uint8_t* pixels, int width, int height, int channels,
                      const std::uint8_t* exemplar, int exemplar_width, int exemplar_height, int exemplar_channels,
                      double tolerance);
