#pragma once

#include <cstddef>

// Where the pixels of an output level came from, as exemplar pixel indices of the matching exemplar level
// (y * width + x), for the searches that continue them.
struct SourceMaps {
    const int* level = nullptr;  // per pixel of the output level; nullptr if not kept
    int width = 0;               // of the output level
    int height = 0;
    const int* coarser = nullptr;  // per pixel of the next coarser output level, if there is one
    int coarser_width = 0;
    int exemplar_width = 0;  // of the exemplar level

    // The exemplar pixel that pixel (x, y) of the level came from, with wrap-around.
    int at(int x, int y) const {
        x = ((x % width) + width) % width;
        y = ((y % height) + height) % height;
        return level[static_cast<std::size_t>(y) * width + x];
    }
};
