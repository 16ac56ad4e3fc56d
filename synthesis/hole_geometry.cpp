#include "synthesis/hole_geometry.h"

#include <algorithm>

namespace {

// `mask` (width x height) with every pixel within `reach` of a marked one marked too, along one axis at a
// time: a square of side 2 * reach + 1.
std::vector<std::uint8_t> dilated(const std::vector<std::uint8_t>& mask, int width, int height, int reach) {
    if (reach <= 0) {
        return mask;
    }
    // Runs of marked pixels found by prefix counts: a pixel is marked if its window counts any.
    std::vector<std::uint8_t> across(mask.size());
    std::vector<int> counts(static_cast<std::size_t>(std::max(width, height)) + 1);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = &mask[static_cast<std::size_t>(y) * width];
        for (int x = 0; x < width; ++x) {
            counts[x + 1] = counts[x] + (row[x] != 0 ? 1 : 0);
        }
        for (int x = 0; x < width; ++x) {
            const int first = std::max(0, x - reach);
            const int last = std::min(width - 1, x + reach);
            across[static_cast<std::size_t>(y) * width + x] = counts[last + 1] > counts[first] ? 1 : 0;
        }
    }
    std::vector<std::uint8_t> result(mask.size());
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            counts[y + 1] = counts[y] + (across[static_cast<std::size_t>(y) * width + x] != 0 ? 1 : 0);
        }
        for (int y = 0; y < height; ++y) {
            const int first = std::max(0, y - reach);
            const int last = std::min(height - 1, y + reach);
            result[static_cast<std::size_t>(y) * width + x] = counts[last + 1] > counts[first] ? 1 : 0;
        }
    }
    return result;
}

}  // namespace

Rect marked_bounds(const std::uint8_t* mask, int width, int height) {
    int left = width;
    int top = height;
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (mask[static_cast<std::size_t>(y) * width + x] != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return {};
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

Rect grown(const Rect& inner, int margin, int width, int height) {
    const int left = std::max(0, inner.x - margin);
    const int top = std::max(0, inner.y - margin);
    const int right = std::min(width, inner.x + inner.width + margin);
    const int bottom = std::min(height, inner.y + inner.height + margin);
    return {left, top, right - left, bottom - top};
}

std::vector<std::uint8_t> crop_mask(const std::uint8_t* mask, int width, const Rect& region) {
    std::vector<std::uint8_t> cropped(static_cast<std::size_t>(region.width) * region.height);
    for (int y = 0; y < region.height; ++y) {
        const std::uint8_t* row = mask + static_cast<std::size_t>(region.y + y) * width + region.x;
        std::copy_n(row, region.width, &cropped[static_cast<std::size_t>(y) * region.width]);
    }
    return cropped;
}

std::vector<std::vector<std::uint8_t>> hole_levels(const std::uint8_t* mask, const LevelTable& table, int levels) {
    std::vector<std::vector<std::uint8_t>> holes(static_cast<std::size_t>(levels));
    holes[0].assign(mask, mask + static_cast<std::size_t>(table.width[0]) * table.height[0]);
    for (std::uint8_t& pixel : holes[0]) {
        pixel = pixel != 0 ? 1 : 0;
    }
    // A pixel of level n + 1 covers the 2 x 2 block under it at level n (an odd last row or column of level n
    // belongs to none).
    for (int n = 1; n < levels; ++n) {
        const int width = table.width[n];
        const std::vector<std::uint8_t>& finer = holes[n - 1];
        const int finer_width = table.width[n - 1];
        holes[n].assign(static_cast<std::size_t>(width) * table.height[n], 0);
        for (int y = 0; y < table.height[n]; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t top_left = static_cast<std::size_t>(2 * y) * finer_width + 2 * x;
                holes[n][static_cast<std::size_t>(y) * width + x] =
                    finer[top_left] | finer[top_left + 1] | finer[top_left + finer_width] |
                    finer[top_left + finer_width + 1];
            }
        }
    }
    return holes;
}

std::vector<std::uint8_t> excluded_candidates(const std::vector<std::vector<std::uint8_t>>& holes,
                                              const LevelTable& table, const int* matrix_row, int n, int levels) {
    const int width = table.width[n];
    const int height = table.height[n];
    std::vector<std::uint8_t> excluded(static_cast<std::size_t>(width) * height, 0);
    for (int v = n; v < levels; ++v) {
        // A level-n pixel reads the square around its coordinates halved v - n times, clamped into level v.
        const std::vector<std::uint8_t> reached = dilated(holes[v], table.width[v], table.height[v], matrix_row[v]);
        const int shift = v - n;
        for (int y = 0; y < height; ++y) {
            const int yv = std::min(y >> shift, table.height[v] - 1);
            for (int x = 0; x < width; ++x) {
                const int xv = std::min(x >> shift, table.width[v] - 1);
                excluded[static_cast<std::size_t>(y) * width + x] |=
                    reached[static_cast<std::size_t>(yv) * table.width[v] + xv];
            }
        }
    }
    return excluded;
}

std::vector<std::uint8_t> edge_band(int width, int height, int band) {
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool near_edge = x < band || y < band || x >= width - band || y >= height - band;
            mask[static_cast<std::size_t>(y) * width + x] = near_edge ? 1 : 0;
        }
    }
    return mask;
}
