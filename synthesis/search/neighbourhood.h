#pragma once

#include <cstdint>

#include <texsynth/settings.h>

#include "synthesis/search/matched_channels.h"

// Which pixels of its own level a neighbourhood takes. The causal part is what a raster scan has already
// written (s rows of 2s+1 pixels above the pixel, s pixels to its left); the full square is the whole
// (2s+1) x (2s+1) square around the pixel less the pixel itself, for passes over a level that is already
// written all around.
enum class NeighbourhoodShape { causal, full };

// The matched pixels of jobs without maps or guides: R, G and B, each counting once.
const MatchedChannels& rgb_channels();

// Number of components of a level-n neighbourhood vector: one per matched channel of every pixel of the
// own-level part and of every coarser square, and one per guide channel of the pixel itself.
int neighbourhood_dimension(const int* row, int n, int levels, NeighbourhoodShape shape = NeighbourhoodShape::causal,
                            const MatchedChannels& channels = rgb_channels());

// Walks the neighbourhood of pixel (x, y) of level n in vector order and appends the components of every
// pixel to `out`, converted to T; returns the end of what was written. This one walk serves the exemplar and
// the output alike; they differ only in `view`, which locates pixels:
//   view.row(level, r)    -> pointer to the first byte of row r of that level,
//   view.column(level, c) -> byte offset of column c within a row.
// The order is: the causal rows above the pixel, top first, each left to right; the pixels left of it
// in its own row; with the full shape, the pixels right of it and the rows below, likewise; then for every
// coarser level v = n+1 .. L-1 the square around (x, y) halved v-n times,
// top to bottom, left to right, centre included. The pixel itself is never part of its own vector, but for its
// guides, which come last. Each pixel gives its channels in order (R, G, B for a plain job), as `channels`
// turns them into components.
template <class T, class View>
T* gather_neighbourhood(const int* row, int n, int levels, int x, int y, const View& view, T* out,
                        NeighbourhoodShape shape = NeighbourhoodShape::causal,
                        const MatchedChannels& channels = rgb_channels()) {
    // Both ways of reading a pixel are written out in full, so that the plain one keeps its tight loop.
    auto walk = [&](auto append_pixel) {
        auto append_run = [&](int level, int r, int first_column, int last_column) {
            const std::uint8_t* pixels = view.row(level, r);
            for (int c = first_column; c <= last_column; ++c) {
                append_pixel(pixels + view.column(level, c));
            }
        };
        const int s = row[n];
        for (int dy = -s; dy <= -1; ++dy) {
            append_run(n, y + dy, x - s, x + s);
        }
        append_run(n, y, x - s, x - 1);
        if (shape == NeighbourhoodShape::full) {
            append_run(n, y, x + 1, x + s);
            for (int dy = 1; dy <= s; ++dy) {
                append_run(n, y + dy, x - s, x + s);
            }
        }
        int xv = x;
        int yv = y;
        for (int v = n + 1; v < levels; ++v) {
            xv /= 2;
            yv /= 2;
            const int sv = row[v];
            for (int dy = -sv; dy <= sv; ++dy) {
                append_run(v, yv + dy, xv - sv, xv + sv);
            }
        }
    };
    if (channels.plain()) {
        walk([&out](const std::uint8_t* pixel) {
            *out++ = static_cast<T>(pixel[0]);
            *out++ = static_cast<T>(pixel[1]);
            *out++ = static_cast<T>(pixel[2]);
        });
        return out;
    }
    const int count = channels.count;
    walk([&out, &channels, count](const std::uint8_t* pixel) {
        for (int c = 0; c < count; ++c) {
            *out++ = static_cast<T>(channels.component(c, pixel[c]));
        }
    });
    const std::uint8_t* centre = view.row(n, y) + view.column(n, x);
    for (int c = channels.copied; c < count; ++c) {
        *out++ = static_cast<T>(channels.component(c, centre[c]));
    }
    return out;
}
