#pragma once

#include <cstddef>

// Where the pixels of an output level came from, as exemplar pixel indices of the matching exemplar level
// (y * width + x), for the searches that continue them; -1 where it is not known (a pixel a job keeps from a
// picture that is not the exemplar).
struct SourceMaps {
    const int* level = nullptr;  // per pixel of the output level; nullptr if not kept
    int width = 0;               // of the output level
    int height = 0;
    const int* coarser = nullptr;  // per pixel of the next coarser output level, if there is one
    int coarser_width = 0;
    int coarser_height = 0;
    int exemplar_width = 0;  // of the exemplar level

    // The exemplar pixel that pixel (x, y) of the level came from, with wrap-around.
    int at(int x, int y) const {
        x = ((x % width) + width) % width;
        y = ((y % height) + height) % height;
        return level[static_cast<std::size_t>(y) * width + x];
    }
    // The exemplar pixel that the parent of pixel (x, y) came from. The parent of an odd last column lies one
    // past the coarser level's row, read as the next entry in memory (the start of the next row, as the
    // coherent search has always read it); past the last row it wraps around to the top.
    int parent_at(int x, int y) const { return coarser[parent_entry(x, y)]; }
    // Where in the coarser level's row-major entries parent_at reads.
    std::size_t parent_entry(int x, int y) const {
        const std::size_t entry = static_cast<std::size_t>(y / 2) * coarser_width + x / 2;
        const std::size_t entries = static_cast<std::size_t>(coarser_width) * coarser_height;
        return entry < entries ? entry : entry % entries;
    }
};
