#include "synthesis/jobs/hole_grain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Summed-area table of a width x height grid of values, (width + 1) x (height + 1), zero along the top and
// left.
class AreaSums {
public:
    AreaSums(const std::vector<double>& values, int width, int height)
        : width_(width), height_(height), sums_(static_cast<std::size_t>(width + 1) * (height + 1), 0.0) {
        for (int y = 0; y < height; ++y) {
            double row = 0;
            for (int x = 0; x < width; ++x) {
                row += values[static_cast<std::size_t>(y) * width + x];
                at(x + 1, y + 1) = at(x + 1, y) + row;
            }
        }
    }
    // The sum over [x0, x1) x [y0, y1), clipped to the grid.
    double sum(int x0, int y0, int x1, int y1) const {
        x0 = std::clamp(x0, 0, width_);
        x1 = std::clamp(x1, 0, width_);
        y0 = std::clamp(y0, 0, height_);
        y1 = std::clamp(y1, 0, height_);
        if (x1 <= x0 || y1 <= y0) {
            return 0;
        }
        return at(x1, y1) - at(x0, y1) - at(x1, y0) + at(x0, y0);
    }

private:
    double& at(int x, int y) { return sums_[static_cast<std::size_t>(y) * (width_ + 1) + x]; }
    double at(int x, int y) const { return sums_[static_cast<std::size_t>(y) * (width_ + 1) + x]; }
    int width_;
    int height_;
    std::vector<double> sums_;
};

bool known(const std::vector<std::uint8_t>& unknown, std::size_t i) { return unknown.empty() || unknown[i] == 0; }

// Per pixel, the steps to its right and lower neighbours where both are known, and how many there are.
void pixel_steps(const std::uint8_t* rgb, const std::vector<std::uint8_t>& unknown, int width, int height,
                 std::vector<double>& steps, std::vector<double>& pairs) {
    const auto size = static_cast<std::size_t>(width) * height;
    steps.assign(size, 0.0);
    pairs.assign(size, 0.0);
    const auto step = [rgb](std::size_t a, std::size_t b) {
        int sum = 0;
        for (int c = 0; c < 3; ++c) {
            sum += std::abs(int{rgb[a * 3 + c]} - int{rgb[b * 3 + c]});
        }
        return sum;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            if (!known(unknown, i)) {
                continue;
            }
            if (x + 1 < width && known(unknown, i + 1)) {
                steps[i] += step(i, i + 1);
                pairs[i] += 1;
            }
            if (y + 1 < height && known(unknown, i + width)) {
                steps[i] += step(i, i + width);
                pairs[i] += 1;
            }
        }
    }
}

}  // namespace

double ring_step(const std::uint8_t* rgb, const std::vector<std::uint8_t>& hole, int width, int height, int reach) {
    std::vector<double> steps;
    std::vector<double> pairs;
    pixel_steps(rgb, hole, width, height, steps, pairs);
    std::vector<double> holes(hole.size());
    std::transform(hole.begin(), hole.end(), holes.begin(), [](std::uint8_t h) { return h != 0 ? 1.0 : 0.0; });
    const AreaSums near(holes, width, height);
    double step_sum = 0;
    double pair_count = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            if (pairs[i] > 0 && near.sum(x - reach, y - reach, x + reach + 1, y + reach + 1) > 0) {
                step_sum += steps[i];
                pair_count += pairs[i];
            }
        }
    }
    return pair_count > 0 ? step_sum / pair_count : 0;
}

double hole_step(const std::uint8_t* rgb, const std::vector<std::uint8_t>& hole, int width, int height) {
    std::vector<std::uint8_t> outside(hole.size());
    std::transform(hole.begin(), hole.end(), outside.begin(), [](std::uint8_t h) { return h != 0 ? 0 : 1; });
    std::vector<double> steps;
    std::vector<double> pairs;
    pixel_steps(rgb, outside, width, height, steps, pairs);
    double step_sum = 0;
    double pair_count = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        step_sum += steps[i];
        pair_count += pairs[i];
    }
    return pair_count > 0 ? step_sum / pair_count : 0;
}

std::vector<std::vector<double>> grain_costs(const std::uint8_t* rgb, const std::vector<std::uint8_t>& unknown,
                                             const LevelTable& table, int levels, int half_size, double target,
                                             double weight) {
    std::vector<std::vector<double>> costs(static_cast<std::size_t>(levels));
    if (target <= 0 || weight <= 0) {
        return costs;
    }
    const int width = table.width[0];
    const int height = table.height[0];
    std::vector<double> steps;
    std::vector<double> pairs;
    pixel_steps(rgb, unknown, width, height, steps, pairs);
    const AreaSums step_sums(steps, width, height);
    const AreaSums pair_sums(pairs, width, height);
    const double most = weight * kMostGrainLog * kMostGrainLog;
    for (int n = 0; n < levels; ++n) {
        const int block = 1 << n;
        const int reach = half_size * block + block / 2;
        std::vector<double>& level = costs[static_cast<std::size_t>(n)];
        level.assign(static_cast<std::size_t>(table.width[n]) * table.height[n], 0.0);
        for (int y = 0; y < table.height[n]; ++y) {
            for (int x = 0; x < table.width[n]; ++x) {
                const int cx = x * block + block / 2;
                const int cy = y * block + block / 2;
                const double count = pair_sums.sum(cx - reach, cy - reach, cx + reach + 1, cy + reach + 1);
                if (count == 0) {
                    continue;
                }
                const double step = step_sums.sum(cx - reach, cy - reach, cx + reach + 1, cy + reach + 1) / count;
                const double ratio = std::log(std::max(step, kLeastGrain) / target);
                level[static_cast<std::size_t>(y) * table.width[n] + x] = std::min(most, weight * ratio * ratio);
            }
        }
    }
    return costs;
}
