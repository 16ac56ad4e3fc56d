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
    partner_.assign(static_cast<std::size_t>(width) * height, 0);
    beyond_.clear();
    allowed_ = static_cast<std::int32_t>(allowed_share_ * width * height);
    steep_ = static_cast<std::int32_t>(std::min(1.0, steep_share_) * width * height);
    const std::int64_t uses = (std::int64_t{width} * height + exemplar_pixels - 1) / exemplar_pixels;
    stride_ = static_cast<int>(std::max<std::int64_t>(1, (uses + kMostPartners - 1) / kMostPartners));
}

void RepeatShifts::count(const std::vector<int>& sources, int width, int height, int exemplar_pixels,
                         SearchTeam* team) {
    reset(width, height, exemplar_pixels);
    for (std::size_t p = 0; p < sources.size(); ++p) {
        if (sources[p] >= 0) {
            const int x = static_cast<int>(p % static_cast<std::size_t>(width));
            const int y = static_cast<int>(p / static_cast<std::size_t>(width));
            uses_[static_cast<std::size_t>(sources[p])].push_back({x, y});
            counted_[p] = sources[p];
        }
    }
    // Every pixel with every partner: each partner's pairs stand for those of the `stride_` uses it samples. The
    // threads take the exemplar pixels in turns, each counting into pairs of its own, summed after.
    constexpr int kSourcesPerShare = 64;
    const int threads = team != nullptr ? team->size() : 1;
    thread_pairs_.resize(static_cast<std::size_t>(threads - 1));
    for (std::vector<std::int32_t>& pairs : thread_pairs_) {
        pairs.assign(pairs_.size(), 0);
    }
    auto work = [&](int thread, int share) {
        std::vector<std::int32_t>& pairs = thread == 0 ? pairs_ : thread_pairs_[static_cast<std::size_t>(thread - 1)];
        const std::size_t first = static_cast<std::size_t>(share) * kSourcesPerShare;
        const std::size_t end = std::min(first + kSourcesPerShare, uses_.size());
        for (std::size_t source = first; source < end; ++source) {
            const std::vector<Place>& uses = uses_[source];
            for (std::size_t i = 0; i < uses.size(); ++i) {
                if (i % static_cast<std::size_t>(stride_) == 0) {
                    partner_[static_cast<std::size_t>(uses[i].y) * width + uses[i].x] = 1;
                }
                for (std::size_t j = 0; j < uses.size(); j += static_cast<std::size_t>(stride_)) {
                    if (j != i) {
                        pairs[static_cast<std::size_t>(shift_index(uses[i], uses[j]))] += stride_;
                    }
                }
            }
        }
        return end < uses_.size();
    };
    if (team != nullptr) {
        team->share(work);
    } else {
        for (int share = 0; work(0, share); ++share) {
        }
    }
    for (const std::vector<std::int32_t>& pairs : thread_pairs_) {
        for (std::size_t s = 0; s < pairs_.size(); ++s) {
            pairs_[s] += pairs[s];
        }
    }
    for (std::size_t s = 0; s < pairs_.size(); ++s) {
        most_ = std::max(most_, pairs_[s]);
        if (pairs_[s] > counted_from()) {
            beyond_.push_back({static_cast<int>(s % static_cast<std::size_t>(width)),
                               static_cast<int>(s / static_cast<std::size_t>(width))});
        }
    }
}

void RepeatShifts::add(int x, int y, int source) {
    const Place p{x, y};
    std::vector<Place>& uses = uses_[static_cast<std::size_t>(source)];
    const bool partner = uses.size() % static_cast<std::size_t>(stride_) == 0;
    for (std::size_t j = 0; j < uses.size(); ++j) {
        if (j % static_cast<std::size_t>(stride_) == 0) {
            pair_up(shift(p, uses[j]));
        }
        if (partner) {
            pair_up(shift(uses[j], p));
        }
    }
    uses.push_back(p);
    counted_[static_cast<std::size_t>(y) * width_ + x] = source;
    partner_[static_cast<std::size_t>(y) * width_ + x] = partner ? 1 : 0;
}

std::int64_t RepeatShifts::pairs_at(int source, int x, int y) const {
    if (most_ <= std::min(allowed_, steep_)) {
        return 0;
    }
    const Place p{x, y};
    const std::int32_t own_pair = counted_[static_cast<std::size_t>(y) * width_ + x] == source ? stride_ : 0;
    const auto beyond = [&](std::size_t shift) -> std::int64_t {
        const std::int32_t pairs = pairs_[shift] - own_pair;
        return (pairs > allowed_ ? pairs - allowed_ : 0) +
               (pairs > steep_ ? std::int64_t{kSteepWeight - 1} * (pairs - steep_) : 0);
    };
    const std::vector<Place>& uses = uses_[static_cast<std::size_t>(source)];
    std::int64_t total = 0;
    if (beyond_.size() < uses.size() / static_cast<std::size_t>(stride_)) {
        // Fewer shifts to look at than partners: the partners of the source that lie at one of them, the same
        // sum.
        for (const Place s : beyond_) {
            const int qx = x + s.x - (x + s.x >= width_ ? width_ : 0);
            const int qy = y + s.y - (y + s.y >= height_ ? height_ : 0);
            const std::size_t q = static_cast<std::size_t>(qy) * width_ + qx;
            if (counted_[q] == source && partner_[q] != 0) {
                total += beyond(static_cast<std::size_t>(s.y) * width_ + s.x);
            }
        }
        return total * stride_;
    }
    for (std::size_t j = 0; j < uses.size(); j += static_cast<std::size_t>(stride_)) {
        if (uses[j].x != x || uses[j].y != y) {
            total += beyond(static_cast<std::size_t>(shift_index(p, uses[j])));
        }
    }
    return total * stride_;
}
