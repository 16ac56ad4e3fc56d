#include "synthesis/jobs/matched_pictures.h"

#include <algorithm>

namespace {

bool is_grey(const Image& picture) {
    const std::size_t pixels = static_cast<std::size_t>(picture.width) * picture.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* p = &picture.pixels[i * picture.channels];
        if (p[0] != p[1] || p[0] != p[2]) {
            return false;
        }
    }
    return true;
}

// Writes the first `channels` channels (1: the grey's R) of every pixel of `picture` into the pixels of
// `stride` bytes of `out`, from channel `first` on.
void put_channels(const Image& picture, int channels, std::uint8_t* out, int stride, int first) {
    const std::size_t pixels = static_cast<std::size_t>(picture.width) * picture.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::copy_n(&picture.pixels[i * picture.channels], channels, out + i * stride + first);
    }
}

}  // namespace

int kind_channels(const std::vector<const Image*>& pictures) {
    return std::all_of(pictures.begin(), pictures.end(), [](const Image* p) { return is_grey(*p); }) ? 1 : 3;
}

ChannelPlan plan_channels(const std::vector<MatchedMaps>& maps, const std::vector<const Image*>& guides,
                          double guide_weight) {
    ChannelPlan plan;
    std::vector<double> map_weights;
    for (const MatchedMaps& kind : maps) {
        const int channels = kind_channels(kind.maps);
        plan.map_channels.push_back(channels);
        map_weights.insert(map_weights.end(), static_cast<std::size_t>(channels), 3.0 * kind.weight / channels);
    }
    std::vector<double> guide_weights;
    if (!guides.empty()) {
        plan.guide_channels = kind_channels(guides);
        guide_weights.assign(static_cast<std::size_t>(plan.guide_channels), 3.0 * guide_weight / plan.guide_channels);
    }
    plan.channels = weighted_channels(map_weights, guide_weights);
    return plan;
}

std::vector<std::uint8_t> matched_exemplar(const Image& exemplar, const std::vector<MatchedMaps>& maps, int index,
                                           const Image* guide, const ChannelPlan& plan) {
    const int stride = plan.channels.count;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(exemplar.width) * exemplar.height * stride);
    put_channels(exemplar, 3, pixels.data(), stride, 0);
    int first = 3;
    for (std::size_t k = 0; k < maps.size(); ++k) {
        const Image& map = *maps[k].maps[static_cast<std::size_t>(index)];
        put_channels(map, plan.map_channels[k], pixels.data(), stride, first);
        first += plan.map_channels[k];
    }
    if (guide != nullptr) {
        put_channels(*guide, plan.guide_channels, pixels.data(), stride, first);
    }
    return pixels;
}

std::vector<std::uint8_t> matched_target(const Image& target_guide, const ChannelPlan& plan) {
    const int stride = plan.channels.count;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(target_guide.width) * target_guide.height * stride, 0);
    put_channels(target_guide, plan.guide_channels, pixels.data(), stride, plan.channels.copied);
    return pixels;
}
