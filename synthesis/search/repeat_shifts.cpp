#include "synthesis/search/repeat_shifts.h"

#include <algorithm>
#include <cstddef>

void RepeatShifts::reset(int width, int height, int exemplar_pixels) {
    width_ = width;
    height_ = height;
    uses_.resize(static_cast<std::size_t>(exemplar_pixels));
    for (std::vector<Place>& uses : uses_) {
        uses.clear();
    }
    pairs_.assign(static_cast<std::size_t>(width) * height, 0);
    most_ = 0;
    counted_.assign(static_cast<std::size_t>(width) * height, -1);
    allowed_ = static_cast<std::int32_t>(allowed_share_ * width * height);
    steep_ = static_cast<std::int32_t>(std::min(1.0, steep_share_) * width * height);
    const std::int64_t uses = (std::int64_t{width} * height + exemplar_pixels - 1) / exemplar_pixels;
    stride_ = static_cast<int>(std::max<std::int64_t>(1, (uses + kMostPartners - 1) / kMostPartners));
}

void RepeatShifts::count(const std::vector<int>& sources, int width, int height, int exemplar_pixels) {
    reset(width, height, exemplar_pixels);
    for (std::size_t p = 0; p < sources.size(); ++p) {
        if (sources[p] >= 0) {
            const int x = static_cast<int>(p % static_cast<std::size_t>(width));
            const int y = static_cast<int>(p / static_cast<std::size_t>(width));
            uses_[static_cast<std::size_t>(sources[p])].push_back({x, y});
            counted_[p] = sources[p];
        }
    }
    // Every pixel with every partner: each partner's pairs stand for those of the `stride_` uses it samples.
    for (const std::vector<Place>& uses : uses_) {
        for (std::size_t i = 0; i < uses.size(); ++i) {
            for (std::size_t j = 0; j < uses.size(); j += static_cast<std::size_t>(stride_)) {
                if (j != i) {
                    std::int32_t& pairs = pairs_[static_cast<std::size_t>(shift_index(uses[i], uses[j]))];
                    pairs += stride_;
                    most_ = std::max(most_, pairs);
                }
            }
        }
    }
}

void RepeatShifts::add(int x, int y, int source) {
    const Place p{x, y};
    std::vector<Place>& uses = uses_[static_cast<std::size_t>(source)];
    const bool partner = uses.size() % static_cast<std::size_t>(stride_) == 0;
    for (std::size_t j = 0; j < uses.size(); ++j) {
        if (j % static_cast<std::size_t>(stride_) == 0) {
            std::int32_t& pairs = pairs_[static_cast<std::size_t>(shift_index(p, uses[j]))];
            pairs += stride_;
            most_ = std::max(most_, pairs);
        }
        if (partner) {
            std::int32_t& pairs = pairs_[static_cast<std::size_t>(shift_index(uses[j], p))];
            pairs += stride_;
            most_ = std::max(most_, pairs);
        }
    }
    uses.push_back(p);
    counted_[static_cast<std::size_t>(y) * width_ + x] = source;
}

std::int64_t RepeatShifts::pairs_at(int source, int x, int y) const {
    if (most_ <= std::min(allowed_, steep_)) {
        return 0;
    }
    const Place p{x, y};
    const std::int32_t own_pair = counted_[static_cast<std::size_t>(y) * width_ + x] == source ? stride_ : 0;
    const std::vector<Place>& uses = uses_[static_cast<std::size_t>(source)];
    std::int64_t total = 0;
    for (std::size_t j = 0; j < uses.size(); j += static_cast<std::size_t>(stride_)) {
        if (uses[j].x != x || uses[j].y != y) {
            const std::int32_t pairs = pairs_[static_cast<std::size_t>(shift_index(p, uses[j]))] - own_pair;
            total += pairs > allowed_ ? pairs - allowed_ : 0;
            total += pairs > steep_ ? std::int64_t{kSteepWeight - 1} * (pairs - steep_) : 0;
        }
    }
    return total * stride_;
}
