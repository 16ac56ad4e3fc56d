#include "synthesis/jobs/hole_geometry.h"

#include <algorithm>
#include <cstdint>

#include "synthesis/levels/area_sums.h"

namespace {

// Whether a width x height mask marks any pixel over rectangles, from its summed-area table.
class MarkedCounts {
public:
    MarkedCounts(const std::vector<std::uint8_t>& mask, int width, int height)
        : width_(width), height_(height), sums_(width, height, [&mask, width](int x, int y) {
              return mask[static_cast<std::size_t>(y) * width + x] != 0 ? 1 : 0;
          }) {}

    // Whether any pixel of columns x0 .. x1 and rows y0 .. y1 (clamped into the mask) is marked.
    bool any(int x0, int y0, int x1, int y1) const {
        x0 = std::clamp(x0, 0, width_ - 1);
        x1 = std::clamp(x1, 0, width_ - 1);
        y0 = std::clamp(y0, 0, height_ - 1);
        y1 = std::clamp(y1, 0, height_ - 1);
        return sums_.sum(x0, y0, x1 + 1, y1 + 1) > 0;
    }

private:
    int width_;
    int height_;
    AreaSums<std::int64_t> sums_;
};

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
                                              const LevelTable& table, const int* matrix_row, int n, int levels_read) {
    const int width = table.width[n];
    const int height = table.height[n];
    std::vector<std::uint8_t> excluded(static_cast<std::size_t>(width) * height, 0);
    for (int v = n; v < levels_read; ++v) {
        // A level-n pixel reads the square around its coordinates halved v - n times, clamped into level v.
        const MarkedCounts hole(holes[v], table.width[v], table.height[v]);
        const int reach = matrix_row[v];
        const int shift = v - n;
        for (int y = 0; y < height; ++y) {
            const int yv = y >> shift;
            for (int x = 0; x < width; ++x) {
                const int xv = x >> shift;
                if (hole.any(xv - reach, yv - reach, xv + reach, yv + reach)) {
                    excluded[static_cast<std::size_t>(y) * width + x] = 1;
                }
            }
        }
    }
    return excluded;
}

std::vector<std::uint8_t> hole_rim(const std::vector<std::uint8_t>& hole, int width, int height, int reach) {
    std::vector<std::uint8_t> outside(hole.size());
    std::transform(hole.begin(), hole.end(), outside.begin(), [](std::uint8_t h) { return h == 0 ? 1 : 0; });
    const MarkedCounts kept(outside, width, height);
    std::vector<std::uint8_t> rim(hole.size(), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            rim[i] = hole[i] != 0 && kept.any(x - reach, y - reach, x + reach, y + reach) ? 1 : 0;
        }
    }
    return rim;
}

int hole_depth(const std::vector<std::uint8_t>& hole, int width, int height) {
    // Two sweeps over the picture, each taking the distances of the neighbours it has passed.
    const int far = width + height;
    std::vector<int> depth(hole.size());
    std::transform(hole.begin(), hole.end(), depth.begin(), [far](std::uint8_t h) { return h != 0 ? far : 0; });
    const auto sweep = [&](int step) {
        const int first = step > 0 ? 0 : height - 1;
        for (int y = first; y >= 0 && y < height; y += step) {
            const int first_x = step > 0 ? 0 : width - 1;
            for (int x = first_x; x >= 0 && x < width; x += step) {
                int& d = depth[static_cast<std::size_t>(y) * width + x];
                if (d == 0) {
                    continue;
                }
                const int passed[][2] = {{-step, 0}, {-step, -step}, {0, -step}, {step, -step}};
                for (const auto& [dx, dy] : passed) {
                    const int xx = x + dx;
                    const int yy = y + dy;
                    if (xx >= 0 && yy >= 0 && xx < width && yy < height) {
                        d = std::min(d, depth[static_cast<std::size_t>(yy) * width + xx] + 1);
                    }
                }
            }
        }
    };
    sweep(1);
    sweep(-1);
    return depth.empty() ? 0 : *std::max_element(depth.begin(), depth.end());
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
