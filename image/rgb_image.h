#pragma once

#include <cstdint>
#include <vector>

// An RGB picture in memory: rows top to bottom, each pixel the three bytes R, G, B, rows not padded.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 3 bytes
};
