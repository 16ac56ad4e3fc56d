#pragma once

#include <cstdint>
#include <vector>

// What a matched pixel holds, and how much each of its bytes counts in a neighbourhood's distance. Every pyramid
// of a job holds `count` bytes a pixel: R, G, B, then the channels of the structure maps matched with the colour
// (copied with the pixel, as its colour is), then those of the guides (never copied: the exemplar's guide on the
// exemplar's side, the target guide on the output's). A job without maps or guides has R, G and B alone, each
// counting once.
struct MatchedChannels {
    int count = 3;
    int copied = 3;  // the leading channels, which a pixel brings along when it is copied
    // Per channel, the component each of its 256 values becomes in a neighbourhood vector: the value times the
    // square root of the channel's weight, rounded (count x 256 entries). Empty: every value as it is.
    std::vector<std::int16_t> components;

    // The guides: known on both sides at every pixel, the pixel itself included.
    int guides() const { return count - copied; }
    // R, G and B as they are: the layout every job had before maps and guides.
    bool plain() const { return count == 3 && components.empty(); }
    std::int16_t component(int channel, std::uint8_t value) const {
        return components[static_cast<std::size_t>(channel) * 256 + value];
    }
};

// Components a weighted channel may reach at most (a weight of 257 per channel): the exact matcher's bounds stay
// safe from rounding, and the squared distance's kernels from overflow, up to this.
inline constexpr int kMaxComponent = 4'095;

// The channels of a job: `maps` channels copied with the colour and `guides` fixed ones, with a weight for each
// of these (the colour's weigh 1). Weights are clamped so that no component exceeds kMaxComponent.
MatchedChannels weighted_channels(const std::vector<double>& map_weights, const std::vector<double>& guide_weights);
