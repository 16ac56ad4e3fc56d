#include "bench/quality/repeat_share.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numeric>

RepeatShare repeat_share(const std::vector<std::int64_t>& labels, int width, int height) {
    RepeatShare result;
    result.width = width;
    result.height = height;
    result.counts.assign(static_cast<std::size_t>(width) * height, 0);
    // Every pixel by label, then each label's pixels pairwise.
    std::vector<int> order(labels.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return labels[a] != labels[b] ? labels[a] < labels[b] : a < b;
    });
    const int half_x = width / 2;
    const int half_y = height / 2;
    for (std::size_t first = 0; first < order.size();) {
        std::size_t end = first + 1;
        while (end < order.size() && labels[order[end]] == labels[order[first]]) {
            ++end;
        }
        if (labels[order[first]] >= 0) {
            for (std::size_t i = first; i < end; ++i) {
                const int px = order[i] % width;
                const int py = order[i] / width;
                for (std::size_t j = first; j < end; ++j) {
                    if (i == j) {
                        continue;
                    }
                    // The shift from p to q, wrapped into -half .. size - half - 1, then moved to the middle.
                    int x = order[j] % width - px + half_x;
                    int y = order[j] / width - py + half_y;
                    x = x < 0 ? x + width : x >= width ? x - width : x;
                    y = y < 0 ? y + height : y >= height ? y - height : y;
                    ++result.counts[static_cast<std::size_t>(y) * width + x];
                }
            }
        }
        first = end;
    }
    std::int64_t best = -1;
    const std::int64_t min_squared = std::int64_t{kMinRepeatShift} * kMinRepeatShift;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::int64_t dx = x - half_x;
            const std::int64_t dy = y - half_y;
            const std::int64_t count = result.counts[static_cast<std::size_t>(y) * width + x];
            if (dx * dx + dy * dy >= min_squared && count > best) {
                best = count;
                result.dx = static_cast<int>(dx);
                result.dy = static_cast<int>(dy);
            }
        }
    }
    result.share = best > 0 ? static_cast<double>(best) / (static_cast<double>(width) * height) : 0.0;
    return result;
}

std::vector<std::int64_t> labels_of_map(const std::vector<std::uint16_t>& xy) {
    std::vector<std::int64_t> labels(xy.size() / 2);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i] = std::int64_t{xy[2 * i + 1]} * 65'536 + xy[2 * i];
    }
    return labels;
}

std::vector<std::int64_t> labels_of_pixels(const RgbImage& image) {
    const int width = image.width;
    const int height = image.height;
    using Block = std::array<std::uint8_t, 27>;
    std::vector<Block> blocks(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Block& block = blocks[static_cast<std::size_t>(y) * width + x];
            std::size_t c = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = (x + dx + width) % width;
                    const int yy = (y + dy + height) % height;
                    const std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(yy) * width + xx) * 3];
                    block[c++] = p[0];
                    block[c++] = p[1];
                    block[c++] = p[2];
                }
            }
        }
    }
    std::vector<int> order(blocks.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return blocks[a] < blocks[b]; });
    std::vector<std::int64_t> labels(blocks.size());
    std::int64_t label = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && blocks[order[i]] != blocks[order[i - 1]]) {
            ++label;
        }
        labels[order[i]] = label;
    }
    return labels;
}

double same_position_share(const std::vector<std::int64_t>& a, const std::vector<std::int64_t>& b) {
    if (a.empty() || a.size() != b.size()) {
        return 0.0;
    }
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        same += a[i] == b[i] ? 1 : 0;
    }
    return static_cast<double>(same) / static_cast<double>(a.size());
}

RgbImage repeat_heat_map(const RepeatShare& repeats) {
    RgbImage heat;
    heat.width = repeats.width;
    heat.height = repeats.height;
    heat.pixels.assign(static_cast<std::size_t>(heat.width) * heat.height * 3, 0);
    const double pixels = static_cast<double>(heat.width) * heat.height;
    for (std::size_t i = 0; i < repeats.counts.size(); ++i) {
        const double share = std::min(1.0, static_cast<double>(repeats.counts[i]) / pixels / kHeatMapWhite);
        std::fill_n(&heat.pixels[i * 3], 3, static_cast<std::uint8_t>(std::lround(255 * std::sqrt(share))));
    }
    return heat;
}
