#pragma once

#include <cstddef>
#include <cstdint>

// The squared difference between pixels a and b of an exemplar level holding `channels` bytes a pixel, over the
// first `compared` of them (the colour, and what is copied with it).
inline std::int64_t pixel_difference(const std::uint8_t* exemplar, int channels, int compared, int a, int b) {
    const std::uint8_t* pa = exemplar + static_cast<std::size_t>(a) * channels;
    const std::uint8_t* pb = exemplar + static_cast<std::size_t>(b) * channels;
    std::int64_t sum = 0;
    for (int c = 0; c < compared; ++c) {
        const int d = pa[c] - pb[c];
        sum += d * d;
    }
    return sum;
}
