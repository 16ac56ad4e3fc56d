#pragma once

#include <climits>
#include <cstdint>
#include <string>

// The sizes a reader accepts, and sizes as text.

// Downstream code indexes pixel bytes with int, so no reader makes a picture of more than INT_MAX bytes; that
// also bounds what any file can make a reader allocate.
constexpr std::int64_t kMaxImageBytes = INT_MAX;

// "17x13".
std::string size_text(std::int64_t width, std::int64_t height);

// The reason a picture of width x height pixels, `bytes_per_pixel` bytes each while it is decoded, cannot be
// held, or "" if it can: sizes below 1 and totals above kMaxImageBytes are refused.
std::string check_image_size(std::int64_t width, std::int64_t height, int bytes_per_pixel);
