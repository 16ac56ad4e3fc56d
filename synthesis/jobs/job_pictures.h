#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <texsynth/image.h>

// What every job asks of the pictures it is given, and how it reads their colours.

// Coordinates of a source map are 16-bit, so a picture may be at most this many pixels less one a side.
inline constexpr int kMaxMapCoordinate = 65535;

// Why `image` cannot be worked on (its channels, its size, its buffer), or "" if it can.
std::string picture_reason(const Image& image);

// The colours that are matched: R, G and B as stored. Alpha takes no part in the match (a picture and the
// same picture without its alpha channel give the same pixels); each copied pixel brings its alpha along.
std::vector<std::uint8_t> matched_colours(const Image& image);

// Copies pixel `from` of `source` to pixel `to` of `target`, adding an opaque alpha or dropping the alpha
// where their channels differ.
void copy_pixel(const Image& source, std::size_t from, Image& target, std::size_t to);
