#pragma once

#include <cstdint>
#include <vector>

// The samples of a PNG file as stored, for files whose samples are data rather than colours (such as 16-bit
// coordinate maps): `channels` samples a pixel (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA), each a value from 0
// to 2^bit_depth - 1, rows top to bottom. Palette images give their palette's 8-bit RGB (RGBA with a
// transparency table) entries.
struct PngSamples {
    int width = 0;
    int height = 0;
    int channels = 0;
    int bit_depth = 0;
    std::vector<std::uint16_t> samples;  // width * height * channels values
};
