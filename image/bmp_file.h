#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "image/rgb_image.h"

// Decides whether a picture of the given size may be loaded; returns an empty string to accept it, or the
// reason for refusing it. Lets the caller refuse a valid file it cannot use before anything is allocated
// or announced.
using BmpSizeCheck = std::function<std::string(int width, int height)>;

// Reads an uncompressed 24-bit BMP. On success fills `image`, prints "load <path>:<w>x<h>" on standard
// output and returns true. Otherwise returns false with the reason in `why`, prints nothing and leaves
// `image` unchanged.
bool read_bmp(const std::string& path, RgbImage& image, std::string& why,
              const BmpSizeCheck& accept_size = {});

// Writes `pixels` (an RgbImage body of width x height) as a 24-bit BMP with the plain 54-byte header.
// The file appears under `path` only once it is complete; on success prints "write <path>:<w>x<h>" on
// standard output and returns true, otherwise returns false with the reason in `why` and leaves any
// earlier file under `path` as it was.
bool write_bmp(const std::string& path, const std::uint8_t* pixels, int width, int height,
               std::string& why);

// Removes the temporary file write_bmp is filling, if there is one, so that a run stopped by a signal leaves
// nothing half written behind. Async-signal-safe: meant for signal handlers that end the program.
void remove_unfinished_output() noexcept;
