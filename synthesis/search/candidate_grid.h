#pragma once

#include <cstddef>
#include <cstdint>

#include "synthesis/search/matched_channels.h"
#include "synthesis/search/neighbourhood.h"

// Which exemplar pixels are candidates along one axis, and what their neighbourhoods read beyond its edges.
enum class ExemplarEdges {
    inside,   // only pixels whose every read lies inside its level (a border as wide as the reads need)
    clamped,  // every pixel, reads past an edge taking the nearest pixel inside: an edge pixel's neighbourhood is
              // then partly made up, but it can be copied at all, and so can its surroundings
    wrapped,  // every pixel, reads wrapping around every level: for an exemplar that tiles along the axis
};

// What a set of candidates is made of: the shape of their neighbourhoods and how the exemplar's edges are
// read, along its columns (x) and its rows (y).
struct CandidateOptions {
    NeighbourhoodShape shape = NeighbourhoodShape::causal;
    ExemplarEdges edges_x = ExemplarEdges::inside;
    ExemplarEdges edges_y = ExemplarEdges::inside;
    // Whether the neighbourhoods take the squares at the coarser levels too, or only the own level's pixels.
    bool coarser_levels = true;
    // Whether the exact matcher builds its index for searches over every candidate. A coherent search whose
    // candidates always include the pixel's own source never needs it (its rare searches then try all).
    bool indexed = true;
    // Exemplar pixels of the level that may not be copied (non-zero), row-major, or none: the hole of a
    // picture that fills itself, and every pixel whose neighbourhood reaches into it.
    const std::uint8_t* excluded = nullptr;
    // Along an axis with wrapped edges, the span by which positions past an edge are brought back, in pixels
    // of the candidates' level: a regular pattern repeats over a few whole periods that need not fill the
    // exemplar. 0 (or the level's size or more): the level's size, a true wrap-around.
    int span_x = 0;
    int span_y = 0;
    // What each pixel holds and how its bytes become components (none: R, G and B as they are). The queries
    // are made the same way.
    const MatchedChannels* channels = nullptr;
};

// Coordinate c of an axis of `size` pixels that wraps around by `span` (0 < span <= size): moved by whole spans
// into 0 .. size - 1. With span == size, c modulo size.
inline int wrap_coordinate(int c, int size, int span) {
    if (c < 0) {
        return c + span * ((span - 1 - c) / span);
    }
    return c >= size ? c - span * ((c - size) / span + 1) : c;
}

// Where the candidates of an exemplar level lie: every pixel inside a margin, row by row from the top, each
// row left to right, so that candidate i is pixel (left + i % columns, top + i / columns); the margins are
// as wide on the far side. Output pixels remember the exemplar pixel they came from as its index
// y * width + x in the exemplar level.
struct CandidateGrid {
    int left = 0;
    int top = 0;
    int columns = 0;
    int rows = 0;
    int exemplar_width = 0;  // of the level
    int exemplar_height = 0;
    // Along an axis that wraps, every pixel is a candidate, and positions past an edge wrap around (by the
    // span, if it is set: CandidateOptions).
    bool wraps_x = false;
    bool wraps_y = false;
    int span_x = 0;
    int span_y = 0;
    // Pixels inside the margins that are no candidates all the same (CandidateOptions::excluded), or none.
    const std::uint8_t* excluded = nullptr;

    int count() const { return columns * rows; }

    // The exemplar pixel of candidate `index`.
    int pixel_of(int index) const { return (top + index / columns) * exemplar_width + left + index % columns; }
    // The candidate at exemplar pixel (x, y), or -1 if that pixel is no candidate.
    int candidate_at(int x, int y) const {
        // Nearly every position asked for lies inside: the division only for those that do not.
        if (wraps_x && (x < 0 || x >= exemplar_width)) {
            if (span_x > 0) {
                x = wrap_coordinate(x, exemplar_width, span_x);
            } else {
                x %= exemplar_width;
                x = x < 0 ? x + exemplar_width : x;
            }
        }
        if (wraps_y && (y < 0 || y >= exemplar_height)) {
            if (span_y > 0) {
                y = wrap_coordinate(y, exemplar_height, span_y);
            } else {
                y %= exemplar_height;
                y = y < 0 ? y + exemplar_height : y;
            }
        }
        const int column = x - left;
        const int row = y - top;
        if (column < 0 || column >= columns || row < 0 || row >= rows ||
            (excluded != nullptr && excluded[static_cast<std::size_t>(y) * exemplar_width + x] != 0)) {
            return -1;
        }
        return row * columns + column;
    }
};
