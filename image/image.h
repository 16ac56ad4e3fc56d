#pragma once

#include <cstdint>
#include <vector>

// A picture in memory: rows top to bottom, `channels` bytes a pixel (3: R, G, B; 4: R, G, B, A), rows not padded.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<std::uint8_t> pixels;
};
