#include <cstdint>
#include <vector>

#include <texsynth/source_map_files.h>

#include "image/image_file.h"
#include "image/output_file.h"
#include "image/png_file.h"

namespace {

// Source maps are at most this many pixels, the most an output may have.
constexpr std::int64_t kMaxMapPixels = 536'870'911;

std::string size_text(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

std::string accept_map_size(int width, int height) {
    if (static_cast<std::int64_t>(width) * height > kMaxMapPixels) {
        return "a source map of " + size_text(width, height) + " is larger than any output can be";
    }
    return "";
}

// The map held in a PNG's samples, refusing samples that are not a source map's.
bool map_from_samples(const PngSamples& png, SourceMap& map, std::string& why) {
    if (png.bit_depth != 16 || png.channels != 3) {
        why = "is a " + std::to_string(png.bit_depth) + "-bit PNG with " + std::to_string(png.channels) +
              (png.channels == 1 ? " channel" : " channels") +
              "; a source map is a 16-bit RGB PNG, as --save-map writes it";
        return false;
    }
    const std::size_t pixels = static_cast<std::size_t>(png.width) * png.height;
    SourceMap read{png.width, png.height, std::vector<std::uint16_t>(pixels * 2), {}};
    for (std::size_t i = 0; i < pixels; ++i) {
        read.xy[i * 2] = png.samples[i * 3];
        read.xy[i * 2 + 1] = png.samples[i * 3 + 1];
        if (png.samples[i * 3 + 2] != 0 && read.exemplar.empty()) {
            read.exemplar.resize(pixels, 0);
        }
        if (!read.exemplar.empty()) {
            read.exemplar[i] = png.samples[i * 3 + 2];
        }
    }
    map = std::move(read);
    return true;
}

}  // namespace

bool encode_source_map(const SourceMap& map, std::vector<std::uint8_t>& file, std::string& why) {
    const std::size_t pixels = static_cast<std::size_t>(map.width) * map.height;
    if (map.xy.size() != pixels * 2) {
        why = "cannot write: the source map's coordinates do not match its size";
        return false;
    }
    if (!map.exemplar.empty() && map.exemplar.size() != pixels) {
        why = "cannot write: the source map's exemplar numbers do not match its size";
        return false;
    }
    std::vector<std::uint16_t> samples(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        samples[i * 3] = map.xy[i * 2];
        samples[i * 3 + 1] = map.xy[i * 2 + 1];
        samples[i * 3 + 2] = map.exemplar.empty() ? 0 : map.exemplar[i];
    }
    return encode_png16(samples.data(), map.width, map.height, 3, file, why);
}

bool write_source_map(const std::string& path, const SourceMap& map, std::string& why) {
    std::vector<std::uint8_t> file;
    return encode_source_map(map, file, why) && write_file_atomically(path, file.data(), file.size(), why);
}

bool read_source_map(const std::string& path, SourceMap& map, std::string& why) {
    PngSamples png;
    return read_png_samples(path, png, why, accept_map_size) && map_from_samples(png, map, why);
}

bool decode_source_map(std::span<const std::uint8_t> bytes, SourceMap& map, std::string& why) {
    PngSamples png;
    return decode_png_samples(bytes, png, why, accept_map_size) && map_from_samples(png, map, why);
}
