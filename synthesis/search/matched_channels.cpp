#include "synthesis/search/matched_channels.h"

#include <algorithm>
#include <cmath>

MatchedChannels weighted_channels(const std::vector<double>& map_weights, const std::vector<double>& guide_weights) {
    MatchedChannels channels;
    channels.copied = 3 + static_cast<int>(map_weights.size());
    channels.count = channels.copied + static_cast<int>(guide_weights.size());
    if (channels.count == 3) {
        return channels;
    }
    std::vector<double> weights = {1.0, 1.0, 1.0};
    weights.insert(weights.end(), map_weights.begin(), map_weights.end());
    weights.insert(weights.end(), guide_weights.begin(), guide_weights.end());
    channels.components.resize(static_cast<std::size_t>(channels.count) * 256);
    const double largest_scale = static_cast<double>(kMaxComponent) / 255.0;
    for (int c = 0; c < channels.count; ++c) {
        const double scale = std::min(std::sqrt(std::max(0.0, weights[static_cast<std::size_t>(c)])), largest_scale);
        for (int value = 0; value < 256; ++value) {
            channels.components[static_cast<std::size_t>(c) * 256 + value] =
                static_cast<std::int16_t>(std::lround(value * scale));
        }
    }
    return channels;
}
