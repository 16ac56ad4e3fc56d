#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// Sums of a width x height grid of values over rectangles, from its summed-area table ((width + 1) x
// (height + 1), zero along the top and the left).
template <typename Sum>
class AreaSums {
public:
    // `value(x, y)`: the grid's value at column x, row y.
    template <typename Value>
    AreaSums(int width, int height, Value value)
        : width_(width), height_(height), sums_(static_cast<std::size_t>(width + 1) * (height + 1), Sum{}) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                at(x + 1, y + 1) = static_cast<Sum>(value(x, y)) + at(x, y + 1) + at(x + 1, y) - at(x, y);
            }
        }
    }

    // The sum over columns x0 to x1 - 1 and rows y0 to y1 - 1, clipped to the grid (nothing left: zero).
    Sum sum(int x0, int y0, int x1, int y1) const {
        x0 = std::clamp(x0, 0, width_);
        x1 = std::clamp(x1, 0, width_);
        y0 = std::clamp(y0, 0, height_);
        y1 = std::clamp(y1, 0, height_);
        if (x1 <= x0 || y1 <= y0) {
            return Sum{};
        }
        return at(x1, y1) - at(x0, y1) - at(x1, y0) + at(x0, y0);
    }

private:
    Sum& at(int x, int y) { return sums_[static_cast<std::size_t>(y) * (width_ + 1) + x]; }
    const Sum& at(int x, int y) const { return sums_[static_cast<std::size_t>(y) * (width_ + 1) + x]; }

    int width_;
    int height_;
    std::vector<Sum> sums_;
};
