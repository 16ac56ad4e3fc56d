#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <texsynth/api.h>

// Pictures in memory: the Image every call takes and gives, the check a reader asks before decoding, and
// enlarging a picture by a whole factor.

// A picture in memory: rows top to bottom, `channels` bytes a pixel (3: R, G, B; 4: R, G, B, A), rows not padded.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<std::uint8_t> pixels;  // width * height * channels bytes
};

// Decides whether a picture of the given size may be loaded; returns an empty string to accept it, or the
// reason for refusing it. Readers ask it with the size from the file's header, before they decode a pixel or
// allocate a large buffer, so that a caller can refuse a file it cannot use at once.
using ImageSizeCheck = std::function<std::string(int width, int height)>;

// Scales a width x height RGB image up by the whole factor `factor`, repeating each pixel in a
// factor x factor block. Sets width_out and height_out to the enlarged size, then fills `destination`,
// which must hold width_out * height_out * 3 bytes.
TEXSYNTH_API void enlarge_by_replication(const std::uint8_t* source, int width, int height,
                                         std::uint8_t* destination, int& width_out, int& height_out, int factor);
