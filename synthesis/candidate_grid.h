#pragma once

// Where the candidates of an exemplar level lie: every pixel inside a border, row by row from the top, each
// row left to right, so that candidate i is pixel (border + i % columns, border + i / columns). Output pixels
// remember the exemplar pixel they came from as its index y * width + x in the exemplar level.
struct CandidateGrid {
    int border = 0;
    int columns = 0;
    int rows = 0;
    int exemplar_width = 0;  // of the level

    int count() const { return columns * rows; }

    // The exemplar pixel of candidate `index`.
    int pixel_of(int index) const {
        return (border + index / columns) * exemplar_width + border + index % columns;
    }
    // The candidate at exemplar pixel (x, y), or -1 if that pixel is no candidate.
    int candidate_at(int x, int y) const {
        const int column = x - border;
        const int row = y - border;
        return column >= 0 && column < columns && row >= 0 && row < rows ? row * columns + column : -1;
    }
};
