#include "synthesis/jobs/seeded_preferences.h"

#include "synthesis/levels/noise.h"

std::vector<std::vector<double>> seeded_preferences(std::uint32_t seed, const LevelTable& table, int levels,
                                                    double most) {
    constexpr int kSteps = 1 << 16;
    NoiseDraws draws(seed);
    std::vector<std::vector<double>> costs(static_cast<std::size_t>(levels));
    for (int n = 0; n < levels; ++n) {
        costs[n].resize(static_cast<std::size_t>(table.width[n]) * table.height[n]);
        for (double& cost : costs[n]) {
            cost = most * draws.next(kSteps) / kSteps;
        }
    }
    return costs;
}
