#include "pyramid/level_table.h"

LevelTable make_level_table(int width, int height, int levels, int channels) {
    LevelTable table;
    table.channels = channels;
    table.width[0] = width;
    table.height[0] = height;
    table.offset[0] = 0;
    for (int k = 1; k < levels; ++k) {
        table.width[k] = table.width[k - 1] / 2;
        table.height[k] = table.height[k - 1] / 2;
        table.offset[k] = table.offset[k - 1] + table.width[k - 1] * table.height[k - 1] * channels;
    }
    return table;
}

std::int64_t pyramid_bytes(int width, int height, int levels, int channels) {
    std::int64_t total = 0;
    std::int64_t w = width;
    std::int64_t h = height;
    for (int k = 0; k < levels; ++k) {
        total += w * h * channels;
        w /= 2;
        h /= 2;
    }
    return total;
}
