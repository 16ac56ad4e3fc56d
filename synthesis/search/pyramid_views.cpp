#include "synthesis/search/pyramid_views.h"

#include <algorithm>

#include "synthesis/search/candidate_grid.h"

namespace {

int place(int coordinate, int size, EdgeRule rule, int span) {
    if (rule == EdgeRule::clamp) {
        return std::clamp(coordinate, 0, size - 1);
    }
    if (span > 0 && span < size) {
        return wrap_coordinate(coordinate, size, span);
    }
    const int r = coordinate % size;
    return r < 0 ? r + size : r;
}

// A span of level n at level v >= n, rounded to whole pixels (0 stays 0).
int span_at(int span, int n, int v) {
    const int divisor = 1 << (v - n);
    return (span + divisor / 2) / divisor;
}

}  // namespace

EdgePyramidView::EdgePyramidView(const std::uint8_t* pyramid, const LevelTable& table, const int* matrix_row, int n,
                                 int levels, EdgeRule columns, EdgeRule rows, int column_span, int row_span)
    : pyramid_(pyramid) {
    for (int v = n; v < levels; ++v) {
        // A pixel of level n maps to coordinates 0 .. size at a coarser level (an odd last row or
        // column of the finer level lands one past the end), and the square reaches s beyond that.
        const int reach = matrix_row[v];
        const int width = table.width[v];
        const int height = table.height[v];
        reach_[v] = reach;
        column_offsets_[v].resize(static_cast<std::size_t>(width) + 2 * reach + 1);
        for (int c = -reach; c <= width + reach; ++c) {
            column_offsets_[v][c + reach] = place(c, width, columns, span_at(column_span, n, v)) * table.channels;
        }
        row_offsets_[v].resize(static_cast<std::size_t>(height) + 2 * reach + 1);
        for (int r = -reach; r <= height + reach; ++r) {
            row_offsets_[v][r + reach] =
                table.offset[v] + place(r, height, rows, span_at(row_span, n, v)) * width * table.channels;
        }
    }
}
