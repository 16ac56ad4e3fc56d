#include <cstdint>
#include <vector>

#include <texsynth/source_map_files.h>

#include "image/image_file.h"

namespace {

// Source maps are at most this many pixels, the most an output may have.
constexpr std::int64_t kMaxMapPixels = 536'870'911;

std::string size_text(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

bool write_source_map(const std::string& path, const SourceMap& map, std::string& why) {
    const std::size_t pixels = static_cast<std::size_t>(map.width) * map.height;
    if (map.xy.size() != pixels * 2) {
        why = "cannot write: the source map's coordinates do not match its size";
        return false;
    }
    std::vector<std::uint16_t> samples(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        samples[i * 3] = map.xy[i * 2];
        samples[i * 3 + 1] = map.xy[i * 2 + 1];
    }
    return write_png16(path, samples.data(), map.width, map.height, 3, why);
}

bool read_source_map(const std::string& path, SourceMap& map, std::string& why) {
    PngSamples png;
    const auto accept_size = [](int width, int height) -> std::string {
        if (static_cast<std::int64_t>(width) * height > kMaxMapPixels) {
            return "a source map of " + size_text(width, height) + " is larger than any output can be";
        }
        return "";
    };
    if (!read_png_samples(path, png, why, accept_size)) {
        return false;
    }
    if (png.bit_depth != 16 || png.channels != 3) {
        why = "is a " + std::to_string(png.bit_depth) + "-bit PNG with " + std::to_string(png.channels) +
              (png.channels == 1 ? " channel" : " channels") +
              "; a source map is a 16-bit RGB PNG, as --save-map writes it";
        return false;
    }
    const std::size_t pixels = static_cast<std::size_t>(png.width) * png.height;
    SourceMap read{png.width, png.height, std::vector<std::uint16_t>(pixels * 2)};
    for (std::size_t i = 0; i < pixels; ++i) {
        if (png.samples[i * 3 + 2] != 0) {
            why = "pixel (" + std::to_string(i % png.width) + ", " + std::to_string(i / png.width) + ") has blue " +
                  std::to_string(png.samples[i * 3 + 2]) + "; a source map's blue is 0 (is this a source map?)";
            return false;
        }
        read.xy[i * 2] = png.samples[i * 3];
        read.xy[i * 2 + 1] = png.samples[i * 3 + 1];
    }
    map = std::move(read);
    return true;
}
