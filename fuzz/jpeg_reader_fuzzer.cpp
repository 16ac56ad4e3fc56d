// Feeds every input to the JPEG reader from memory. It must read it, as 3 channels of the size its header gives,
// or refuse it with a one-line reason and the image untouched. Sanitizers catch the rest.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "image/jpeg_file.h"

namespace {

// Large enough for every seed, small enough that no input makes a run slow or large.
std::string accept_size(int width, int height) {
    return static_cast<std::int64_t>(width) * height <= 1 << 20 ? "" : "too large for fuzzing";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ImageInput input(std::span<const std::uint8_t>(data, size));
    Image image;
    std::string why;
    if (!read_jpeg(input, image, why, accept_size)) {
        if (why.empty() || why.find('\n') != std::string::npos || !image.pixels.empty()) {
            std::abort();
        }
        return 0;
    }
    const std::size_t expected = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3;
    if (image.width < 1 || image.height < 1 || image.channels != 3 || image.pixels.size() != expected) {
        std::abort();
    }
    return 0;
}
