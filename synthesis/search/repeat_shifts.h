#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "synthesis/search/search_team.h"

// Where an output level repeats itself: for every shift s, how many pixels p have the same source as p + s
// (wrapping around the level, which tiles), and the pixels of each source. A texture made of copies laid out
// at unrelated places has few pairs at any one shift; the exemplar tiled has nearly every pixel paired at the
// shift of one exemplar side. The coherent search adds to a candidate's distance a penalty that grows with
// the pairs it would join (RepeatShifts::pairs_at), so that copies spread out rather than line up.
//
// Where a source has many uses (a large output from a small exemplar), each pixel is paired only with every
// k-th use of its source (its partners, k = the expected uses over kMostPartners, rounded up), each pair
// counting k times, so that the work stays within kMostPartners per pixel; with fewer uses the counts are exact.
class RepeatShifts {
public:
    static constexpr int kMostPartners = 64;
    // How many times a pair beyond the steep share counts (allow).
    static constexpr int kSteepWeight = 16;

    // Starts over for a width x height output level whose sources are pixel indices of an exemplar level of
    // `exemplar_pixels` pixels, with no pixel counted.
    void reset(int width, int height, int exemplar_pixels);
    // Starts over with every pixel of `sources` (row-major; negative: unknown, not counted), the pairs counted by
    // the `team`'s threads if there is one (the same counts either way).
    void count(const std::vector<int>& sources, int width, int height, int exemplar_pixels,
               SearchTeam* team = nullptr);
    // Counts pixel (x, y) as copied from `source`: the pairs it makes with the pixels already counted.
    void add(int x, int y, int source);

    // For pixel (x, y) taking `source`: the sum, over the other pixels q counted with that source, of the pairs
    // at the shift from (x, y) to q beyond those allowed (allow). Where (x, y) is counted with `source` itself,
    // the pairs it makes are left out. Where fewer shifts have pairs beyond the share than the source has
    // partners (nearly always, once copies spread out), it looks at the pixels at those shifts instead.
    std::int64_t pairs_at(int source, int x, int y) const;

    int pixels() const { return width_ * height_; }
    // Pairs up to `share` of the level at a shift are not counted by pairs_at, and each pair beyond
    // `steep_share` counts kSteepWeight times, so that no shift runs far beyond the share even where leaving a
    // copy costs much (an exemplar of few pixels and strong contrast). Set before reset or count.
    void allow(double share, double steep_share = 1.0) {
        allowed_share_ = share;
        steep_share_ = steep_share;
    }

private:
    // An output pixel by its column and row, so that shifts between pixels need no division.
    struct Place {
        int x;
        int y;
    };
    // The shift from one pixel to another, both coordinates from 0 up (wrapped), and its index in pairs_.
    Place shift(Place from, Place to) const {
        int dx = to.x - from.x;
        int dy = to.y - from.y;
        dx += dx < 0 ? width_ : 0;
        dy += dy < 0 ? height_ : 0;
        return {dx, dy};
    }
    int shift_index(Place from, Place to) const {
        const Place s = shift(from, to);
        return s.y * width_ + s.x;
    }
    // One more pair (standing for stride_) at shift `s`.
    void pair_up(Place s) {
        std::int32_t& pairs = pairs_[static_cast<std::size_t>(s.y) * width_ + s.x];
        pairs += stride_;
        most_ = std::max(most_, pairs);
        if (pairs > counted_from() && pairs - stride_ <= counted_from()) {
            beyond_.push_back(s);
        }
    }
    // Shifts with at most this many pairs add nothing to pairs_at.
    std::int32_t counted_from() const { return std::min(allowed_, steep_); }

    int width_ = 0;
    int height_ = 0;
    double allowed_share_ = 0;
    double steep_share_ = 1.0;
    int stride_ = 1;  // every stride_-th use of a source is a partner
    std::int32_t allowed_ = 0;
    std::int32_t steep_ = 0;
    std::int32_t most_ = 0;  // the most pairs at any shift
    std::vector<std::vector<Place>> uses_;  // per exemplar pixel, the output pixels counted with it
    std::vector<int> counted_;            // per output pixel, the source it is counted with (-1: none)
    std::vector<std::uint8_t> partner_;   // per output pixel, whether it is one of its source's partners
    std::vector<Place> beyond_;           // the shifts with more pairs than counted_from()
    std::vector<std::int32_t> pairs_;     // per shift (dx, dy), dx and dy from 0 up (wrapped), row-major
    std::vector<std::vector<std::int32_t>> thread_pairs_;  // count's pairs of each thread but the first
};
