#pragma once

#include <cstdint>
#include <span>

#include "pyramid/level_table.h"

// Copies the width x height image of `channels` bytes a pixel (3: RGB) into `buffer` as level 0 and derives
// levels 1 .. levels-1, each by averaging 2 x 2 blocks of the level above it, channel by channel (an odd last
// row or column is dropped). Fills `table`.
// Precondition: 1 <= levels <= kLevelTableCapacity and pyramid_bytes(width, height, levels, channels) <= buffer
// size.
void build_exemplar_pyramid(const std::uint8_t* image, int width, int height, std::span<std::uint8_t> buffer,
                            LevelTable& table, int levels, int channels = 3);
