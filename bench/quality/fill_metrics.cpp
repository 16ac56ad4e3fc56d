#include "bench/quality/fill_metrics.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "bench/quality/patch_search.h"

namespace {

const std::uint8_t* pixel_at(const RgbImage& image, int x, int y) {
    return &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 3];
}

// The step of a pair, times 3: the sum over the channels of the absolute differences.
int step3(const RgbImage& image, int x, int y, bool down) {
    const std::uint8_t* a = pixel_at(image, x, y);
    const std::uint8_t* b = down ? pixel_at(image, x, y + 1) : pixel_at(image, x + 1, y);
    return std::abs(int{a[0]} - int{b[0]}) + std::abs(int{a[1]} - int{b[1]}) + std::abs(int{a[2]} - int{b[2]});
}

// The number of hole pixels in each 5 x 5 window, by top-left corner, from a table of partial sums.
class HoleCounts {
public:
    HoleCounts(const std::vector<bool>& hole, int width, int height)
        : width_(width), sums_(static_cast<std::size_t>(width + 1) * (height + 1), 0) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                sums_[index(x + 1, y + 1)] = sums_[index(x, y + 1)] + sums_[index(x + 1, y)] - sums_[index(x, y)] +
                                             (hole[static_cast<std::size_t>(y) * width + x] ? 1 : 0);
            }
        }
    }

    int in_patch(int left, int top) const {
        const int right = left + kPatchSide;
        const int bottom = top + kPatchSide;
        return sums_[index(right, bottom)] - sums_[index(left, bottom)] - sums_[index(right, top)] +
               sums_[index(left, top)];
    }

private:
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * (width_ + 1) + x; }

    int width_;
    std::vector<int> sums_;
};

double mean_rms(const std::vector<PatchMatch>& matches) {
    if (matches.empty() || matches.front().index < 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double total = 0;
    for (const PatchMatch& match : matches) {
        total += std::sqrt(match.distance / double{kPatchComponents});
    }
    return total / static_cast<double>(matches.size());
}

}  // namespace

std::vector<bool> hole_of(const RgbImage& mask) {
    std::vector<bool> hole(static_cast<std::size_t>(mask.width) * mask.height);
    for (std::size_t i = 0; i < hole.size(); ++i) {
        hole[i] = mask.pixels[i * 3] != 0 || mask.pixels[i * 3 + 1] != 0 || mask.pixels[i * 3 + 2] != 0;
    }
    return hole;
}

std::vector<PixelPair> edge_pairs(const std::vector<bool>& hole, int width, int height) {
    std::vector<PixelPair> pairs;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool here = hole[static_cast<std::size_t>(y) * width + x];
            if (x + 1 < width && hole[static_cast<std::size_t>(y) * width + x + 1] != here) {
                pairs.push_back({x, y, false});
            }
            if (y + 1 < height && hole[static_cast<std::size_t>(y + 1) * width + x] != here) {
                pairs.push_back({x, y, true});
            }
        }
    }
    return pairs;
}

PairSteps mean_steps(const RgbImage& image, const std::vector<bool>& hole) {
    std::int64_t sums[2] = {0, 0};  // [0]: pairs outside the hole, [1]: pairs inside it
    std::int64_t counts[2] = {0, 0};
    const int width = image.width;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool here = hole[static_cast<std::size_t>(y) * width + x];
            if (x + 1 < width && hole[static_cast<std::size_t>(y) * width + x + 1] == here) {
                sums[here] += step3(image, x, y, false);
                ++counts[here];
            }
            if (y + 1 < image.height && hole[static_cast<std::size_t>(y + 1) * width + x] == here) {
                sums[here] += step3(image, x, y, true);
                ++counts[here];
            }
        }
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto mean = [&](int i) {
        return counts[i] == 0 ? nan : static_cast<double>(sums[i]) / static_cast<double>(counts[i]);
    };
    return {mean(1), mean(0)};
}

double detail_ratio(const RgbImage& image, const std::vector<bool>& hole) {
    const PairSteps steps = mean_steps(image, hole);
    return steps.outside > 0 ? steps.inside / steps.outside : std::numeric_limits<double>::quiet_NaN();
}

int shift_stride(int width, int height) {
    const double shifts = 4.0 * width * height / 4096.0;
    return std::max(1, static_cast<int>(std::ceil(std::sqrt(shifts))));
}

BoundaryScore boundary_score(const RgbImage& result, const std::vector<bool>& hole, int stride) {
    const int width = result.width;
    const int height = result.height;
    const std::vector<PixelPair> edge = edge_pairs(hole, width, height);
    BoundaryScore score;
    score.z = score.edge_step = score.reference_step = std::numeric_limits<double>::quiet_NaN();
    if (edge.empty()) {
        return score;
    }
    std::int64_t edge_total = 0;
    for (const PixelPair& pair : edge) {
        edge_total += step3(result, pair.x, pair.y, pair.down);
    }
    score.edge_step = static_cast<double>(edge_total) / (3.0 * static_cast<double>(edge.size()));

    auto outside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < width && y < height && !hole[static_cast<std::size_t>(y) * width + x];
    };
    std::vector<double> means;
    for (int dy = -(height - 1) / stride * stride; dy < height; dy += stride) {
        for (int dx = -(width - 1) / stride * stride; dx < width; dx += stride) {
            std::int64_t total = 0;
            std::size_t used = 0;
            for (const PixelPair& pair : edge) {
                const int x = pair.x + dx;
                const int y = pair.y + dy;
                if (outside(x, y) && (pair.down ? outside(x, y + 1) : outside(x + 1, y))) {
                    total += step3(result, x, y, pair.down);
                    ++used;
                }
            }
            if (2 * used >= edge.size()) {
                means.push_back(static_cast<double>(total) / (3.0 * static_cast<double>(used)));
            }
        }
    }
    score.shifts = static_cast<int>(means.size());
    if (means.size() < 2) {
        return score;
    }
    double mean = 0;
    for (double m : means) {
        mean += m;
    }
    mean /= static_cast<double>(means.size());
    double variance = 0;
    for (double m : means) {
        variance += (m - mean) * (m - mean);
    }
    variance /= static_cast<double>(means.size());
    score.reference_step = mean;
    const double excess = score.edge_step - mean;
    // Means are multiples of 1 / (3 * pairs); anything far below that is rounding.
    if (variance < 1e-18) {
        score.z = std::abs(excess) < 1e-9 ? 0.0 : std::copysign(std::numeric_limits<double>::infinity(), excess);
    } else {
        score.z = excess / std::sqrt(variance);
    }
    return score;
}

bool measure_fill(const RgbImage& original, const RgbImage& mask, const RgbImage& result, int threads,
                  FillFigures& figures, std::string& why) {
    for (const RgbImage* other : {&mask, &result}) {
        if (other->width != original.width || other->height != original.height) {
            why = std::string(other == &mask ? "the mask" : "the result") + " is " + std::to_string(other->width) +
                  "x" + std::to_string(other->height) + ", the original " + std::to_string(original.width) + "x" +
                  std::to_string(original.height);
            return false;
        }
    }
    const int width = original.width;
    const int height = original.height;
    const std::vector<bool> hole = hole_of(mask);

    figures = FillFigures{};
    for (std::size_t i = 0; i < hole.size(); ++i) {
        if (hole[i]) {
            ++figures.hole_pixels;
        } else if (original.pixels[i * 3] != result.pixels[i * 3] ||
                   original.pixels[i * 3 + 1] != result.pixels[i * 3 + 1] ||
                   original.pixels[i * 3 + 2] != result.pixels[i * 3 + 2]) {
            ++figures.outside_changed;
        }
    }
    figures.edge_pairs = static_cast<std::int64_t>(edge_pairs(hole, width, height).size());
    figures.boundary = boundary_score(result, hole, shift_stride(width, height));
    figures.hole_detail = detail_ratio(result, hole);
    figures.original_hole_detail = detail_ratio(original, hole);
    const double true_step = mean_steps(original, hole).inside;
    figures.hole_step_ratio = true_step > 0 ? mean_steps(result, hole).inside / true_step
                                            : std::numeric_limits<double>::quiet_NaN();

    std::vector<PatchCorner> touching;
    std::vector<PatchCorner> outside;
    if (width >= kPatchSide && height >= kPatchSide) {
        const HoleCounts counts(hole, width, height);
        for (int top = 0; top + kPatchSide <= height; ++top) {
            for (int left = 0; left + kPatchSide <= width; ++left) {
                (counts.in_patch(left, top) > 0 ? touching : outside).push_back({left, top});
            }
        }
    }
    figures.hole_coherence = std::numeric_limits<double>::quiet_NaN();
    figures.original_hole_coherence = std::numeric_limits<double>::quiet_NaN();
    if (!touching.empty() && !outside.empty()) {
        figures.hole_coherence = mean_rms(nearest_patches_among(result, outside, touching, threads));
        figures.original_hole_coherence = mean_rms(nearest_patches_among(original, outside, touching, threads));
    }
    return true;
}

std::string format_fill_figures(const FillFigures& figures) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "boundary_z=%.3f hole_coherence=%.3f outside_changed=%lld original_hole_coherence=%.3f "
                  "hole_detail=%.3f original_hole_detail=%.3f hole_step_ratio=%.3f boundary_step=%.3f reference_step=%.3f "
                  "reference_shifts=%d hole_pixels=%lld edge_pairs=%lld",
                  figures.boundary.z, figures.hole_coherence, static_cast<long long>(figures.outside_changed),
                  figures.original_hole_coherence, figures.hole_detail, figures.original_hole_detail, figures.hole_step_ratio,
                  figures.boundary.edge_step, figures.boundary.reference_step,
                  figures.boundary.shifts, static_cast<long long>(figures.hole_pixels),
                  static_cast<long long>(figures.edge_pairs));
    return line;
}
