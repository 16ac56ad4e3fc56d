#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <texsynth/api.h>
#include <texsynth/image.h>

// Pictures as files. Nothing here prints: on failure a function returns false with the reason in `why` (one
// line, no file name: the caller adds it) and leaves its output unchanged.

// Reads a BMP, PNG or JPEG file, recognised by its first bytes (never by its name). `accept_size` is asked with
// the size from the header before any pixel is decoded or large buffer allocated.
TEXSYNTH_API bool read_image(const std::string& path, Image& image, std::string& why,
                             const ImageSizeCheck& accept_size = {});

// read_image for a file already in memory.
TEXSYNTH_API bool decode_image(std::span<const std::uint8_t> bytes, Image& image, std::string& why,
                               const ImageSizeCheck& accept_size = {});

// Writes by the extension (of any case): ".png" (8-bit RGB or RGBA PNG) or ".bmp" (24-bit; 4 channels are
// refused). Any other extension: false with a reason. The file appears only when complete, and a failure leaves
// any earlier file under `path` as it was and nothing else behind.
TEXSYNTH_API bool write_image(const std::string& path, const Image& image, std::string& why);

// The bytes write_image writes to a file whose extension is `format` ("png" or "bmp", of any case), the
// whole file in `file`. Same refusals as write_image.
TEXSYNTH_API bool encode_image(std::string format, const Image& image, std::vector<std::uint8_t>& file, std::string& why);

// Removes the temporary file that a writer is filling, if there is one, so that a program stopped by a signal
// leaves nothing half written behind. Async-signal-safe: meant for signal handlers that end the program.
TEXSYNTH_API void remove_unfinished_output() noexcept;
