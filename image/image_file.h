#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <texsynth/image_files.h>

#include "image/png_samples.h"
#include "image/rgb_image.h"

// The picture files of <texsynth/image_files.h>, and what the library itself and its tools read and write
// besides. Never prints; on failure returns false with the reason in `why` and leaves the output unchanged.

// read_image for callers that work in RGB: an alpha channel is dropped.
bool read_rgb_image(const std::string& path, RgbImage& image, std::string& why, const ImageSizeCheck& accept_size = {});

// Raw PNG samples (see PngSamples), for files whose samples are data rather than colours. Refuses other formats.
bool read_png_samples(const std::string& path, PngSamples& out, std::string& why,
                      const ImageSizeCheck& accept_size = {});

// read_png_samples for a file already in memory.
bool decode_png_samples(std::span<const std::uint8_t> bytes, PngSamples& out, std::string& why,
                        const ImageSizeCheck& accept_size = {});

// Writes width x height pixels of `channels` 16-bit samples (1 to 4) as a 16-bit PNG, as write_image does.
bool write_png16(const std::string& path, const std::uint16_t* samples, int width, int height, int channels,
                 std::string& why);
