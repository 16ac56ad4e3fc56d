#include "synthesis/jobs/seam_cut.h"

#include "synthesis/levels/noise.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <utility>

namespace {

// The draws choosing a seeded cut range over this many values, far more than the lines to choose from.
constexpr int kMostCutDraws = 1 << 30;

// The step between two pixels, summed over their first three channels.
int step(const Image& image, std::size_t a, std::size_t b) {
    const std::size_t channels = static_cast<std::size_t>(image.channels);
    int total = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        total += std::abs(image.pixels[a * channels + c] - image.pixels[b * channels + c]);
    }
    return total;
}

// Per column boundary (x to x + 1, wrapping), or per row boundary, the mean step across it.
std::vector<double> boundary_steps(const Image& image, bool columns) {
    const int lines = columns ? image.width : image.height;
    const int along = columns ? image.height : image.width;
    std::vector<double> steps(static_cast<std::size_t>(lines));
    for (int b = 0; b < lines; ++b) {
        const int next = (b + 1) % lines;
        std::int64_t total = 0;
        for (int i = 0; i < along; ++i) {
            const int x = columns ? b : i;
            const int y = columns ? i : b;
            const int x2 = columns ? next : i;
            const int y2 = columns ? i : next;
            total += step(image, static_cast<std::size_t>(y) * image.width + x,
                          static_cast<std::size_t>(y2) * image.width + x2);
        }
        steps[static_cast<std::size_t>(b)] = static_cast<double>(total) / along;
    }
    return steps;
}

// `values` (row-major, `per_pixel` values a pixel, width x height) rolled so that (dx, dy) comes first.
template <typename T>
void roll(std::vector<T>& values, int width, int height, int per_pixel, int dx, int dy) {
    if (values.empty() || (dx == 0 && dy == 0)) {
        return;
    }
    std::vector<T> rolled(values.size());
    const std::size_t n = static_cast<std::size_t>(per_pixel);
    for (int y = 0; y < height; ++y) {
        const int from_y = (y + dy) % height;
        for (int x = 0; x < width; ++x) {
            const int from_x = (x + dx) % width;
            const std::size_t to = (static_cast<std::size_t>(y) * width + x) * n;
            const std::size_t from = (static_cast<std::size_t>(from_y) * width + from_x) * n;
            std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(from), n,
                        rolled.begin() + static_cast<std::ptrdiff_t>(to));
        }
    }
    values = std::move(rolled);
}

}  // namespace

int typical_cut(const std::vector<double>& steps, int grid, std::optional<std::uint64_t> draw) {
    const int lines = static_cast<int>(steps.size());
    if (lines == 0) {
        return 0;
    }
    const double mean = std::accumulate(steps.begin(), steps.end(), 0.0) / lines;
    // The boundary before line `start`, wrapping around.
    const auto before = [&](int start) { return steps[static_cast<std::size_t>((start + lines - 1) % lines)]; };
    if (draw.has_value()) {
        double variance = 0;
        for (const double step : steps) {
            variance += (step - mean) * (step - mean);
        }
        const double spread = kTypicalSeamSpread * std::sqrt(variance / lines);
        std::vector<int> typical;
        for (int start = 0; start < lines; start += grid) {
            if (std::abs(before(start) - mean) <= spread) {
                typical.push_back(start);
            }
        }
        if (!typical.empty()) {
            return typical[static_cast<std::size_t>(*draw % typical.size())];
        }
    }
    int best = 0;
    double best_distance = std::abs(steps.back() - mean);
    for (int start = grid; start < lines; start += grid) {
        const double distance = std::abs(steps[static_cast<std::size_t>(start - 1)] - mean);
        if (distance < best_distance) {
            best = start;
            best_distance = distance;
        }
    }
    return best;
}

void roll_result(JobResult& result, int dx, int dy) {
    Image& image = result.image;
    roll(image.pixels, image.width, image.height, image.channels, dx, dy);
    SourceMap& map = result.map;
    roll(map.xy, map.width, map.height, 2, dx, dy);
    roll(map.exemplar, map.width, map.height, 1, dx, dy);
}

void cut_at_typical_seams(JobResult& result, std::optional<std::uint32_t> seed) {
    if (result.image.width <= 0 || result.image.height <= 0 || result.image.channels < 3) {
        return;
    }
    std::optional<std::uint64_t> draw_x;
    std::optional<std::uint64_t> draw_y;
    if (seed.has_value()) {
        NoiseDraws draws(seed);
        draw_x = static_cast<std::uint64_t>(draws.next(kMostCutDraws));
        draw_y = static_cast<std::uint64_t>(draws.next(kMostCutDraws));
    }
    roll_result(result, typical_cut(boundary_steps(result.image, true), kSeamCutGrid, draw_x),
                typical_cut(boundary_steps(result.image, false), kSeamCutGrid, draw_y));
}
