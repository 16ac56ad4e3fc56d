#include "bench/quality/quality_metrics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "synthesis/levels/block_grid.h"

#include "bench/quality/patch_search.h"

namespace {

// The mean absolute difference across each boundary: entry b is between columns b and b + 1 (or rows, when
// `across_rows`), the last entry the wrap-around seam back to the first.
std::vector<double> boundary_differences(const RgbImage& image, bool across_rows) {
    const int lines = across_rows ? image.height : image.width;
    const int along = across_rows ? image.width : image.height;
    std::vector<double> means(lines);
    for (int b = 0; b < lines; ++b) {
        const int next = (b + 1) % lines;
        std::int64_t total = 0;
        for (int i = 0; i < along; ++i) {
            const int x0 = across_rows ? i : b;
            const int y0 = across_rows ? b : i;
            const int x1 = across_rows ? i : next;
            const int y1 = across_rows ? next : i;
            const std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(y0) * image.width + x0) * 3];
            const std::uint8_t* q = &image.pixels[(static_cast<std::size_t>(y1) * image.width + x1) * 3];
            for (int c = 0; c < 3; ++c) {
                total += std::abs(int{p[c]} - int{q[c]});
            }
        }
        means[b] = static_cast<double>(total) / (3.0 * along);
    }
    return means;
}

double seam_z(const std::vector<double>& differences) {
    if (differences.size() < 2) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const std::size_t interior = differences.size() - 1;
    double mean = 0;
    for (std::size_t b = 0; b < interior; ++b) {
        mean += differences[b];
    }
    mean /= static_cast<double>(interior);
    double variance = 0;
    for (std::size_t b = 0; b < interior; ++b) {
        variance += (differences[b] - mean) * (differences[b] - mean);
    }
    variance /= static_cast<double>(interior);
    const double excess = differences.back() - mean;
    // Differences are multiples of 1 / (3 * along); anything far below that is rounding.
    if (variance < 1e-18) {
        return std::abs(excess) < 1e-9 ? 0.0 : std::copysign(std::numeric_limits<double>::infinity(), excess);
    }
    return excess / std::sqrt(variance);
}

std::array<std::array<double, 256>, 3> channel_shares(const RgbImage& image) {
    std::array<std::array<std::int64_t, 256>, 3> counts{};
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        ++counts[i % 3][image.pixels[i]];
    }
    const double pixels = static_cast<double>(image.pixels.size() / 3);
    std::array<std::array<double, 256>, 3> shares{};
    for (int c = 0; c < 3; ++c) {
        for (int level = 0; level < 256; ++level) {
            shares[c][level] = static_cast<double>(counts[c][level]) / pixels;
        }
    }
    return shares;
}

// The value at `fraction` of the way through the sorted values, interpolating linearly between ranks.
double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const double rank = fraction * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(rank);
    const std::size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (rank - static_cast<double>(below)) * (values[above] - values[below]);
}

}  // namespace

double block_ratio(const RgbImage& image, int block_side) {
    return block_grid_ratio(image.pixels.data(), image.width, image.height, 3, block_side);
}

BlockRatios block_ratios(const RgbImage& image) {
    return {block_ratio(image, 2), block_ratio(image, 4)};
}

bool blocks_pass(double output_ratio, double exemplar_ratio) {
    return output_ratio <= 1.05 * std::max(1.0, exemplar_ratio);
}

SeamScores seam_scores(const RgbImage& image) {
    return {seam_z(boundary_differences(image, false)), seam_z(boundary_differences(image, true))};
}

double histogram_distance(const RgbImage& a, const RgbImage& b) {
    const auto shares_a = channel_shares(a);
    const auto shares_b = channel_shares(b);
    double total = 0;
    for (int c = 0; c < 3; ++c) {
        double cumulative_a = 0;
        double cumulative_b = 0;
        for (int level = 0; level < 256; ++level) {
            cumulative_a += shares_a[c][level];
            cumulative_b += shares_b[c][level];
            total += std::abs(cumulative_a - cumulative_b);
        }
    }
    return total / 3.0;
}

QualityFigures measure_quality(const RgbImage& exemplar, const RgbImage& output, int threads) {
    QualityFigures figures;
    figures.seam = seam_scores(output);
    figures.histogram = histogram_distance(exemplar, output);
    figures.output_blocks = block_ratios(output);
    figures.exemplar_blocks = block_ratios(exemplar);

    const int patches = exemplar_patch_count(exemplar.width, exemplar.height);
    if (patches == 0 || output.pixels.empty()) {
        figures.coherence_mean = figures.coherence_p95 = figures.completeness = std::nan("");
        return figures;
    }
    const std::vector<PatchMatch> matches = nearest_exemplar_patches(exemplar, output, threads);
    std::vector<double> errors;
    errors.reserve(matches.size());
    std::vector<bool> used(patches, false);
    double total = 0;
    for (const PatchMatch& match : matches) {
        errors.push_back(std::sqrt(match.distance / double{kPatchComponents}));
        total += errors.back();
        used[match.index] = true;
    }
    figures.coherence_mean = total / static_cast<double>(errors.size());
    figures.coherence_errors = errors;
    figures.coherence_p95 = percentile(std::move(errors), 0.95);
    figures.completeness =
        static_cast<double>(std::count(used.begin(), used.end(), true)) / static_cast<double>(used.size());
    return figures;
}

RgbImage coherence_error_map(const QualityFigures& figures, int width, int height) {
    RgbImage map{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, 0)};
    for (std::size_t p = 0; p < figures.coherence_errors.size() && p * 3 < map.pixels.size(); ++p) {
        const double grey = std::min(255.0, std::round(figures.coherence_errors[p] * kErrorMapScale));
        std::fill_n(map.pixels.begin() + static_cast<std::ptrdiff_t>(p * 3), 3, static_cast<std::uint8_t>(grey));
    }
    return map;
}

std::string format_figures(const QualityFigures& figures) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "seam_z=%.3f seam_z_columns=%.3f seam_z_rows=%.3f coherence_mean=%.3f coherence_p95=%.3f "
                  "completeness=%.4f histogram=%.3f block_ratio=%.4f block_ratio_4=%.4f "
                  "exemplar_block_ratio=%.4f exemplar_block_ratio_4=%.4f",
                  figures.seam.worst(), figures.seam.columns, figures.seam.rows, figures.coherence_mean,
                  figures.coherence_p95, figures.completeness, figures.histogram, figures.output_blocks.two,
                  figures.output_blocks.four, figures.exemplar_blocks.two, figures.exemplar_blocks.four);
    return line;
}
