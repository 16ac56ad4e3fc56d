#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/image.h"
#include "image/rgb_image.h"

// Reads a BMP, PNG or JPEG file, recognised by its first bytes (never by its name). Never prints.
// On failure returns false with the reason in `why` (one line, no file name: the caller adds it) and leaves
// `image` unchanged. `accept_size` is asked with the size from the header before any pixel is decoded or large
// buffer allocated.
bool read_image(const std::string& path, Image& image, std::string& why, const ImageSizeCheck& accept_size = {});

// read_image for a file already in memory (fuzzers, tests).
bool decode_image(std::span<const std::uint8_t> bytes, Image& image, std::string& why,
                  const ImageSizeCheck& accept_size = {});

// read_image for callers that work in RGB: an alpha channel is dropped.
bool read_rgb_image(const std::string& path, RgbImage& image, std::string& why, const ImageSizeCheck& accept_size = {});

// Writes by the extension (of any case): ".png" (8-bit RGB or RGBA PNG) or ".bmp" (24-bit; 4 channels are
// refused). Any other extension: false with a reason. The file appears only when complete, and a failure leaves
// any earlier file under `path` as it was and nothing else behind. Never prints.
bool write_image(const std::string& path, const Image& image, std::string& why);

// Raw PNG samples (see PngSamples), for files whose samples are data rather than colours. Refuses other formats.
bool read_png_samples(const std::string& path, PngSamples& out, std::string& why,
                      const ImageSizeCheck& accept_size = {});

// Writes width x height pixels of `channels` 16-bit samples (1 to 4) as a 16-bit PNG, as write_image does.
bool write_png16(const std::string& path, const std::uint16_t* samples, int width, int height, int channels,
                 std::string& why);
