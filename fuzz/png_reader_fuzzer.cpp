// Feeds every input to the PNG readers from memory. Each must read it or refuse it with a one-line reason, and
// both must agree: a file read as colours is read as raw samples too, and the colours are what the samples say
// (grey spread to R = G = B, samples below 8 bits scaled up, 16-bit ones rounded). What is read must survive a
// round trip through the writer unchanged. Sanitizers catch the rest.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "image/png_file.h"

namespace {

// Large enough for every seed, small enough that no input makes a run slow or large.
std::string accept_size(int width, int height) {
    return static_cast<std::int64_t>(width) * height <= 1 << 20 ? "" : "too large for fuzzing";
}

void check_refusal(bool read, const std::string& why, bool untouched) {
    if (!read && (why.empty() || why.find('\n') != std::string::npos || !untouched)) {
        std::abort();
    }
}

// The 8-bit colour a raw sample stands for.
unsigned colour_of(unsigned sample, int bit_depth) {
    if (bit_depth == 16) {
        return (2 * sample + 257) / 514;
    }
    return sample * 255 / ((1u << bit_depth) - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ImageInput input(std::span<const std::uint8_t>(data, size));
    Image image;
    std::string why;
    const bool read = read_png(input, image, why, accept_size);
    check_refusal(read, why, image.pixels.empty());
    PngSamples samples;
    std::string samples_why;
    const bool samples_read = read_png_samples(input, samples, samples_why, accept_size);
    check_refusal(samples_read, samples_why, samples.samples.empty());
    if (read != samples_read) {
        std::abort();
    }
    if (!read) {
        return 0;
    }
    const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (image.width < 1 || image.height < 1 || (image.channels != 3 && image.channels != 4) ||
        image.pixels.size() != pixels * static_cast<std::size_t>(image.channels) || samples.width != image.width ||
        samples.height != image.height || samples.samples.size() != pixels * static_cast<std::size_t>(samples.channels)) {
        std::abort();
    }
    // Grey or RGB with a transparency table: alpha made from it, not in the raw samples.
    const bool alpha_from_table = image.channels == 4 && samples.channels % 2 == 1;
    for (std::size_t p = 0; p < pixels; ++p) {
        const std::uint8_t* pixel = &image.pixels[p * static_cast<std::size_t>(image.channels)];
        const std::uint16_t* sampled = &samples.samples[p * static_cast<std::size_t>(samples.channels)];
        for (int c = 0; c < image.channels; ++c) {
            if (c == 3 && alpha_from_table) {
                if (pixel[3] != 0 && pixel[3] != 255) {
                    std::abort();
                }
                continue;
            }
            const int sample = samples.channels <= 2 ? (c < 3 ? 0 : 1) : c;
            if (pixel[c] != colour_of(sampled[sample], samples.bit_depth)) {
                std::abort();
            }
        }
    }
    std::vector<std::uint8_t> file;
    Image again;
    if (!encode_png(image, file, why) || !read_png(ImageInput(file), again, why) || again.width != image.width ||
        again.height != image.height || again.channels != image.channels || again.pixels != image.pixels) {
        std::abort();
    }
    return 0;
}
