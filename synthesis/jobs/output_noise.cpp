#include "synthesis/jobs/output_noise.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "synthesis/levels/noise.h"

namespace {

// Guides are sorted into bins of this many levels a channel: a grey guide's, a coloured one's.
constexpr int kGreyBinLevels = 16;
constexpr int kColourBinLevels = 8;

// Squared distance between two bins' values, `levels` to a channel.
std::int64_t bin_distance(int a, int b, int channels, int levels) {
    std::int64_t d = 0;
    for (int c = 0; c < channels; ++c) {
        const int step = a % levels - b % levels;
        d += step * step;
        a /= levels;
        b /= levels;
    }
    return d;
}

}  // namespace

NoisePools::NoisePools(const ExemplarSet& set, int first_guide, int guide_channels)
    : set_(set), first_guide_(first_guide), guide_channels_(guide_channels),
      bin_levels_(guide_channels == 1 ? kGreyBinLevels : kColourBinLevels) {
    if (guide_channels_ > 0) {
        int bins = 1;
        for (int c = 0; c < guide_channels_; ++c) {
            bins *= bin_levels_;
        }
        bins_.resize(static_cast<std::size_t>(bins));
        for (const int p : set.allowed) {
            bins_[static_cast<std::size_t>(bin_of(&set.pyramid[static_cast<std::size_t>(p) * set.levels.channels]))]
                .push_back(p);
        }
        nearest_bin_.resize(bins_.size());
        for (int b = 0; b < bins; ++b) {
            std::int64_t best = INT64_MAX;
            for (int other = 0; other < bins; ++other) {
                const std::int64_t d = bin_distance(b, other, guide_channels_, bin_levels_);
                if (!bins_[static_cast<std::size_t>(other)].empty() && d < best) {
                    best = d;
                    nearest_bin_[static_cast<std::size_t>(b)] = other;
                }
            }
        }
    }
}

int NoisePools::bin_of(const std::uint8_t* pixel) const {
    int bin = 0;
    for (int c = 0; c < guide_channels_; ++c) {
        bin = bin * bin_levels_ + pixel[first_guide_ + c] * bin_levels_ / 256;
    }
    return bin;
}

const std::vector<int>& NoisePools::pool(const std::uint8_t* pixel) const {
    if (guide_channels_ > 0) {
        return bins_[static_cast<std::size_t>(nearest_bin_[static_cast<std::size_t>(bin_of(pixel))])];
    }
    return set_.allowed;
}

std::vector<int> remix_cells(const std::vector<ExemplarPlace>& places, int width, int height,
                             std::optional<std::uint32_t> seed) {
    const std::size_t exemplars = places.size();
    // A grid of about the exemplars' mean size, each cell's centre placed at random inside it, every pixel in
    // the cell of the nearest centre (around the edges too: the texture wraps around). The cells take the
    // exemplars in a random order, one each, then at random by their shares of the pixels.
    std::int64_t area = 0;
    for (const ExemplarPlace& place : places) {
        area += std::int64_t{place.width} * place.height;
    }
    // (Smaller where the output would otherwise hold fewer cells than there are exemplars.)
    const double pitch = std::min(std::sqrt(static_cast<double>(area) / static_cast<double>(exemplars)),
                                  std::sqrt(static_cast<double>(width) * height / static_cast<double>(exemplars)));
    int columns = std::clamp(static_cast<int>(std::lround(width / pitch)), 1, width);
    int rows = std::clamp(static_cast<int>(std::lround(height / pitch)), 1, height);
    while (static_cast<std::size_t>(columns) * rows < exemplars && (columns < width || rows < height)) {
        if ((columns < width && std::int64_t{columns} * height <= std::int64_t{rows} * width) || rows == height) {
            ++columns;
        } else {
            ++rows;
        }
    }
    const int cells = columns * rows;
    NoiseDraws draws(seed);
    std::vector<int> order(static_cast<std::size_t>(cells));
    std::iota(order.begin(), order.end(), 0);
    for (int c = cells - 1; c > 0; --c) {
        std::swap(order[static_cast<std::size_t>(c)], order[static_cast<std::size_t>(draws.next(c + 1))]);
    }
    std::vector<int> exemplar_of(static_cast<std::size_t>(cells));
    std::vector<std::int64_t> centre_x(static_cast<std::size_t>(cells));
    std::vector<std::int64_t> centre_y(static_cast<std::size_t>(cells));
    for (int k = 0; k < cells; ++k) {
        const int c = order[static_cast<std::size_t>(k)];
        int exemplar = k;
        if (k >= static_cast<int>(exemplars)) {
            std::int64_t pick = draws.next(static_cast<int>(std::min<std::int64_t>(area, INT32_MAX)));
            exemplar = 0;
            while (pick >= std::int64_t{places[static_cast<std::size_t>(exemplar)].width} *
                               places[static_cast<std::size_t>(exemplar)].height) {
                pick -= std::int64_t{places[static_cast<std::size_t>(exemplar)].width} *
                        places[static_cast<std::size_t>(exemplar)].height;
                ++exemplar;
            }
        }
        exemplar_of[static_cast<std::size_t>(c)] = exemplar;
        const std::int64_t left = std::int64_t{c % columns} * width / columns;
        const std::int64_t top = std::int64_t{c / columns} * height / rows;
        const std::int64_t right = std::int64_t{c % columns + 1} * width / columns;
        const std::int64_t bottom = std::int64_t{c / columns + 1} * height / rows;
        const auto span = [](std::int64_t from, std::int64_t to) {
            return static_cast<int>(std::max<std::int64_t>(1, to - from));
        };
        centre_x[static_cast<std::size_t>(c)] = left + draws.next(span(left, right));
        centre_y[static_cast<std::size_t>(c)] = top + draws.next(span(top, bottom));
    }
    const auto wrapped = [](std::int64_t d, std::int64_t span) {
        d = d < 0 ? -d : d;
        return std::min(d, span - d);
    };
    std::vector<int> cell_of(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const int row = static_cast<int>(std::int64_t{y} * rows / height);
        for (int x = 0; x < width; ++x) {
            const int column = static_cast<int>(std::int64_t{x} * columns / width);
            std::int64_t best = INT64_MAX;
            int exemplar = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int c = ((row + dy + rows) % rows) * columns + (column + dx + columns) % columns;
                    const std::int64_t ex = wrapped(x - centre_x[static_cast<std::size_t>(c)], width);
                    const std::int64_t ey = wrapped(y - centre_y[static_cast<std::size_t>(c)], height);
                    if (ex * ex + ey * ey < best) {
                        best = ex * ex + ey * ey;
                        exemplar = exemplar_of[static_cast<std::size_t>(c)];
                    }
                }
            }
            cell_of[static_cast<std::size_t>(y) * width + x] = exemplar;
        }
    }
    return cell_of;
}

void fill_with_noise(const ExemplarSet& set, const NoisePools& pools, int copied, int levels,
                     std::optional<std::uint32_t> seed, std::vector<std::uint8_t>& output_pyramid,
                     const LevelTable& output, std::vector<int>* drawn) {
    NoiseDraws draws(seed);
    const int channels = set.levels.channels;
    if (drawn != nullptr) {
        drawn->resize(output_pyramid.size() / static_cast<std::size_t>(channels));
    }
    std::size_t i = 0;
    for (int n = 0; n < levels; ++n) {
        for (int p = 0; p < output.width[n] * output.height[n]; ++p, ++i) {
            {
                std::uint8_t* pixel = &output_pyramid[i * channels];
                const std::vector<int>& from = pools.pool(pixel);
                const int p = from[static_cast<std::size_t>(draws.next(static_cast<int>(from.size())))];
                std::copy_n(&set.pyramid[static_cast<std::size_t>(p) * channels], copied, pixel);
                if (drawn != nullptr) {
                    (*drawn)[i] = p;
                }
            }
        }
    }
}
