#include "synthesis/search/repeat_shifts.h"

#include <cstddef>

void RepeatShifts::reset(int width, int height, int exemplar_pixels) {
    width_ = width;
    height_ = height;
    uses_.resize(static_cast<std::size_t>(exemplar_pixels));
    for (std::vector<int>& uses : uses_) {
        uses.clear();
    }
    pairs_.assign(static_cast<std::size_t>(width) * height, 0);
    counted_.assign(static_cast<std::size_t>(width) * height, -1);
    allowed_ = static_cast<std::int32_t>(allowed_share_ * width * height);
}

void RepeatShifts::count(const std::vector<int>& sources, int width, int height, int exemplar_pixels) {
    reset(width, height, exemplar_pixels);
    for (std::size_t p = 0; p < sources.size(); ++p) {
        if (sources[p] >= 0) {
            uses_[static_cast<std::size_t>(sources[p])].push_back(static_cast<int>(p));
            counted_[p] = sources[p];
        }
    }
    for (const std::vector<int>& uses : uses_) {
        for (std::size_t i = 0; i < uses.size(); ++i) {
            for (std::size_t j = i + 1; j < uses.size(); ++j) {
                ++pairs_[static_cast<std::size_t>(shift_index(uses[i], uses[j]))];
                ++pairs_[static_cast<std::size_t>(shift_index(uses[j], uses[i]))];
            }
        }
    }
}

void RepeatShifts::add(int x, int y, int source) {
    const int p = y * width_ + x;
    std::vector<int>& uses = uses_[static_cast<std::size_t>(source)];
    for (const int q : uses) {
        ++pairs_[static_cast<std::size_t>(shift_index(p, q))];
        ++pairs_[static_cast<std::size_t>(shift_index(q, p))];
    }
    uses.push_back(p);
    counted_[static_cast<std::size_t>(p)] = source;
}

std::int64_t RepeatShifts::pairs_at(int source, int x, int y) const {
    const int p = y * width_ + x;
    const std::int32_t own_pair = counted_[static_cast<std::size_t>(p)] == source ? 1 : 0;
    std::int64_t total = 0;
    for (const int q : uses_[static_cast<std::size_t>(source)]) {
        if (q != p) {
            const std::int32_t pairs = pairs_[static_cast<std::size_t>(shift_index(p, q))] - own_pair;
            total += pairs > allowed_ ? pairs - allowed_ : 0;
        }
    }
    return total;
}

int RepeatShifts::shift_index(int from, int to) const {
    int dx = to % width_ - from % width_;
    int dy = to / width_ - from / width_;
    dx += dx < 0 ? width_ : 0;
    dy += dy < 0 ? height_ : 0;
    return dy * width_ + dx;
}
