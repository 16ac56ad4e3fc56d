#include "synthesis/jobs/hole_grain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "synthesis/levels/area_sums.h"

namespace {

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
    const AreaSums<int> near(width, height, [&](int x, int y) {
        return hole[static_cast<std::size_t>(y) * width + x] != 0 ? 1 : 0;
    });
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
    const auto of = [width](const std::vector<double>& grid) {
        return [&grid, width](int x, int y) { return grid[static_cast<std::size_t>(y) * width + x]; };
    };
    const AreaSums<double> step_sums(width, height, of(steps));
    const AreaSums<double> pair_sums(width, height, of(pairs));
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
