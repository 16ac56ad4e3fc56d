// Every implementation of the block bounds against a computation in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "synthesis/search/block_bounds.h"

namespace {

TEST(BlockBounds, EveryImplementationKeepsExactlyTheLanesWithinReach) {
    std::mt19937 random(4);
    std::uniform_real_distribution<float> coordinate(-300.0F, 300.0F);
    const auto functions = surviving_lanes_functions();
    for (int trial = 0; trial < 300; ++trial) {
        const int axes = kBlockLanes * (1 + trial % 4);
        std::vector<float> block(static_cast<std::size_t>(axes) * kBlockLanes);
        std::vector<float> point(static_cast<std::size_t>(axes));
        for (float& value : block) {
            value = coordinate(random);
        }
        for (float& value : point) {
            value = coordinate(random);
        }
        // Squared distances of every lane on the first 8, 16, ... axes.
        std::vector<std::vector<double>> partial(static_cast<std::size_t>(axes / kBlockLanes),
                                                 std::vector<double>(kBlockLanes, 0.0));
        for (int lane = 0; lane < kBlockLanes; ++lane) {
            double sum = 0;
            for (int a = 0; a < axes; ++a) {
                const double d = double{block[a * kBlockLanes + lane]} - point[a];
                sum += d * d;
                if ((a + 1) % kBlockLanes == 0) {
                    partial[a / kBlockLanes][lane] = sum;
                }
            }
        }
        // A limit around the median lane, kept clear of every sum so rounding cannot decide.
        std::vector<double> totals = partial.back();
        std::sort(totals.begin(), totals.end());
        const double allowed = (totals[3] + totals[4]) / 2;
        bool clear = std::abs(totals[3] - allowed) > 1.0 && std::abs(totals[4] - allowed) > 1.0;
        for (const auto& sums : partial) {
            for (const double sum : sums) {
                clear = clear && std::abs(sum - allowed) > 1.0;
            }
        }
        if (!clear) {
            continue;
        }
        unsigned expected = 0;
        for (const auto& sums : partial) {
            expected = 0;
            for (int lane = 0; lane < kBlockLanes; ++lane) {
                expected |= (sums[lane] <= allowed ? 1U : 0U) << lane;
            }
            if (expected == 0) {
                break;
            }
        }
        for (std::size_t f = 0; f < functions.size(); ++f) {
            EXPECT_EQ(functions[f](block.data(), point.data(), axes, static_cast<float>(allowed)), expected)
                << "implementation " << f << " trial " << trial;
        }
    }
}

}  // namespace
