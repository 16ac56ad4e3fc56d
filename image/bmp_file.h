#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <texsynth/image.h>

#include "image/image_input.h"

// Reads an uncompressed 24-bit BMP into a 3-channel image. On failure returns false with the reason in `why`
// and leaves `image` unchanged. Never prints.
bool read_bmp(const ImageInput& input, Image& image, std::string& why, const ImageSizeCheck& accept_size = {});

// Writes `pixels` (width x height pixels of 3 bytes, R, G, B) as a 24-bit BMP with the plain 54-byte header,
// as write_file_atomically does: complete or not at all. On failure returns false with the reason in `why`.
// Never prints.
bool write_bmp(const std::string& path, const std::uint8_t* pixels, int width, int height, std::string& why);

// The bytes write_bmp writes, the whole file in `file`. Same refusals as write_bmp.
bool encode_bmp(const std::uint8_t* pixels, int width, int height, std::vector<std::uint8_t>& file, std::string& why);
