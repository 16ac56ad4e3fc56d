#include "synthesis/pyramid_views.h"

#include <algorithm>

namespace {

int place(int coordinate, int size, EdgeRule rule) {
    if (rule == EdgeRule::clamp) {
        return std::clamp(coordinate, 0, size - 1);
    }
    const int r = coordinate % size;
    return r < 0 ? r + size : r;
}

}  // namespace

EdgePyramidView::EdgePyramidView(const std::uint8_t* pyramid, const LevelTable& table, const int* matrix_row, int n,
                                 int levels, EdgeRule columns, EdgeRule rows)
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
            column_offsets_[v][c + reach] = place(c, width, columns) * 3;
        }
        row_offsets_[v].resize(static_cast<std::size_t>(height) + 2 * reach + 1);
        for (int r = -reach; r <= height + reach; ++r) {
            row_offsets_[v][r + reach] = table.offset[v] + place(r, height, rows) * width * 3;
        }
    }
}
