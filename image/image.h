#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A picture in memory: rows top to bottom, `channels` bytes a pixel (3: R, G, B; 4: R, G, B, A), rows not padded.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<std::uint8_t> pixels;  // width * height * channels bytes
};

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

// Decides whether a picture of the given size may be loaded; returns an empty string to accept it, or the
// reason for refusing it. Readers ask it with the size from the file's header, before they decode a pixel or
// allocate a large buffer, so that a caller can refuse a file it cannot use at once.
using ImageSizeCheck = std::function<std::string(int width, int height)>;
