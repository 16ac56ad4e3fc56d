#include "synthesis/jobs/transfer_guides.h"

#include <algorithm>
#include <cmath>

namespace {

struct Spread {
    double mean = 0;
    double deviation = 0;
};

Spread spread_of(const Image& grey) {
    const std::size_t pixels = static_cast<std::size_t>(grey.width) * grey.height;
    double sum = 0;
    double squares = 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        const double v = grey.pixels[i * 3];
        sum += v;
        squares += v * v;
    }
    const double mean = sum / static_cast<double>(pixels);
    return {mean, std::sqrt(std::max(0.0, squares / static_cast<double>(pixels) - mean * mean))};
}

}  // namespace

Image luminance(const Image& picture) {
    Image grey{picture.width, picture.height, 3, {}};
    const std::size_t pixels = static_cast<std::size_t>(picture.width) * picture.height;
    grey.pixels.resize(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* p = &picture.pixels[i * picture.channels];
        const auto y = static_cast<std::uint8_t>(std::lround(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]));
        std::fill_n(&grey.pixels[i * 3], 3, y);
    }
    return grey;
}

Image matched_to(const Image& grey, const Image& reference) {
    const Spread from = spread_of(grey);
    const Spread to = spread_of(reference);
    const double scale = from.deviation > 0 ? to.deviation / from.deviation : 0.0;
    Image matched = grey;
    for (std::size_t i = 0; i < matched.pixels.size(); ++i) {
        const double v = to.mean + (grey.pixels[i] - from.mean) * scale;
        matched.pixels[i] = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }
    return matched;
}
