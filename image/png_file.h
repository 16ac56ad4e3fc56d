#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <texsynth/image.h>

#include "image/image_input.h"
#include "image/png_samples.h"

// Reads a PNG of any colour type, bit depth and interlacing into an 8-bit image: 3 channels, or 4 when the
// file has alpha (an alpha channel or a transparency table). Grey becomes R = G = B, 16-bit samples are
// rounded to 8 bits (v / 257), and gamma and colour profile chunks are ignored: the samples are the picture.
// On failure returns false with the reason in `why` and leaves `image` unchanged. Never prints.
bool read_png(const ImageInput& input, Image& image, std::string& why, const ImageSizeCheck& accept_size = {});

// Reads a PNG's samples as stored (see PngSamples). Same failures as read_png.
bool read_png_samples(const ImageInput& input, PngSamples& samples, std::string& why,
                      const ImageSizeCheck& accept_size = {});

// Encodes an image of 3 (RGB) or 4 (RGBA) channels as an 8-bit PNG, the whole file in `file`. On failure
// returns false with the reason in `why`.
bool encode_png(const Image& image, std::vector<std::uint8_t>& file, std::string& why);

// Encodes width x height pixels of `channels` 16-bit samples (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA) as a
// 16-bit PNG, the whole file in `file`.
bool encode_png16(const std::uint16_t* samples, int width, int height, int channels, std::vector<std::uint8_t>& file,
                  std::string& why);
