#pragma once

#include <cstdint>
#include <span>

#include "pyramid/level_table.h"

// Copies the width x height RGB image into `buffer` as level 0 and derives levels 1 .. levels-1, each by
// averaging 2 x 2 blocks of the level above it (an odd last row or column is dropped). Fills `table`.
// Precondition: 1 <= levels <= kLevelTableCapacity and pyramid_bytes(width, height, levels) <= buffer size.
void build_exemplar_pyramid(const std::uint8_t* image, int width, int height, std::span<std::uint8_t> buffer,
                            LevelTable& table, int levels);
