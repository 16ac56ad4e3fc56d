#include "synthesis/levels/noise.h"

namespace {

constexpr int kLag = 31;
constexpr int kShortLag = 3;
// The classic generator throws away its first 310 outputs after seeding.
constexpr int kDiscarded = 310;

}  // namespace

NoiseDraws::NoiseDraws(std::optional<std::uint32_t> seed) : seeded_(seed.has_value()) {
    if (seeded_) {
        state_ = *seed;
        return;
    }
    // Seed 1, spread over 31 words by the minimal standard generator (16807 x mod 2^31 - 1).
    std::int64_t word = 1;
    table_[0] = 1;
    for (int i = 1; i < kLag; ++i) {
        word = (16807 * word) % 2147483647;
        table_[i] = static_cast<std::uint32_t>(word);
    }
    // r[31] .. r[33] repeat r[0] .. r[2], which their ring slots already hold; sums start at r[34].
    position_ = kLag + kShortLag;
    for (int i = 0; i < kDiscarded; ++i) {
        next_classic();
    }
}

std::uint32_t NoiseDraws::next_classic() {
    // table_ is a ring of the last 31 values; the slot of r[i-31] is overwritten by r[i].
    const int slot = position_ % kLag;
    const int short_slot = (position_ - kShortLag) % kLag;
    const std::uint32_t value = table_[slot] + table_[short_slot];
    table_[slot] = value;
    ++position_;
    return value >> 1;
}

std::uint64_t NoiseDraws::next_seeded() {
    // SplitMix64: a fixed increment mixed by two multiply-xorshift rounds.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int NoiseDraws::next(int pixels) {
    if (!seeded_) {
        return static_cast<int>(next_classic() % static_cast<std::uint32_t>(pixels));
    }
    // The high 32 bits scaled to the range: no division, and a bias far below anything visible.
    return static_cast<int>(((next_seeded() >> 32) * static_cast<std::uint64_t>(pixels)) >> 32);
}
