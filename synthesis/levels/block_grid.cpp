#include "synthesis/levels/block_grid.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <limits>

double block_grid_ratio(const std::uint8_t* pixels, int width, int height, int channels, int block_side) {
    std::int64_t sums[2] = {0, 0};  // [0]: steps inside the blocks, [1]: steps across their edges
    std::int64_t counts[2] = {0, 0};
    auto step = [&](const std::uint8_t* a, const std::uint8_t* b, int before) {
        const int on_edge = before % block_side == block_side - 1 ? 1 : 0;
        sums[on_edge] += std::abs(int{a[0]} - int{b[0]}) + std::abs(int{a[1]} - int{b[1]}) +
                         std::abs(int{a[2]} - int{b[2]});
        ++counts[on_edge];
    };
    const std::size_t row_bytes = static_cast<std::size_t>(width) * channels;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * row_bytes;
        for (int x = 0; x + 1 < width; ++x) {
            step(row + static_cast<std::size_t>(x) * channels, row + static_cast<std::size_t>(x + 1) * channels, x);
        }
        if (y + 1 < height) {
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* pixel = row + static_cast<std::size_t>(x) * channels;
                step(pixel, pixel + row_bytes, y);
            }
        }
    }
    if (counts[0] == 0 || counts[1] == 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (sums[0] == 0) {
        return sums[1] == 0 ? 1.0 : std::numeric_limits<double>::infinity();
    }
    return (static_cast<double>(sums[1]) / static_cast<double>(counts[1])) /
           (static_cast<double>(sums[0]) / static_cast<double>(counts[0]));
}

bool shows_block_grid(const std::uint8_t* pixels, int width, int height, int channels,
                      const std::uint8_t* exemplar, int exemplar_width, int exemplar_height, int exemplar_channels,
                      double tolerance) {
    for (const int side : {2, 4}) {
        const double own = block_grid_ratio(exemplar, exemplar_width, exemplar_height, exemplar_channels, side);
        const double ratio = block_grid_ratio(pixels, width, height, channels, side);
        // (NaN, from a picture too small to have a grid, compares false.)
        if (ratio > tolerance * std::max(1.0, own)) {
            return true;
        }
    }
    return false;
}
