#pragma once

#include <array>
#include <cstdint>

// Where the levels of a packed pyramid lie in its buffer, and what a pyramid of a given size takes.

// Room for this many levels in every level table.
inline constexpr int kLevelTableCapacity = 5;

// Where each level of a packed pyramid lives: the levels sit back to back in one byte buffer, level 0
// (the full image) at offset 0, each further level half the size of the one before it (truncating), as
// row-major pixels of `channels` bytes (R, G, B, then whatever else a job matches on) with no padding.
struct LevelTable {
    std::array<int, kLevelTableCapacity> width{};
    std::array<int, kLevelTableCapacity> height{};
    std::array<int, kLevelTableCapacity> offset{};
    int channels = 3;
};

// Fills entries 0 .. levels-1 for a pyramid whose level 0 is width x height, `channels` bytes a pixel.
// Precondition: 1 <= levels <= kLevelTableCapacity and pyramid_bytes(width, height, levels, channels) fits an int.
LevelTable make_level_table(int width, int height, int levels, int channels = 3);

// Total bytes of a pyramid of `levels` levels over a width x height image, computed without overflow.
std::int64_t pyramid_bytes(int width, int height, int levels, int channels = 3);

// Byte index of pixel (column, row) of `level`.
inline int pixel_index(const LevelTable& table, int level, int column, int row) {
    return table.offset[level] + (row * table.width[level] + column) * table.channels;
}
