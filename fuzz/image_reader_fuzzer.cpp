// Feeds every input to read_image's twin for memory, which tells the format by the first bytes and hands the
// file to its reader. It must read it or refuse it with a one-line reason and the image untouched; what it reads
// must survive a round trip through the PNG writer unchanged. The format readers have fuzzers of their own; this
// one covers the telling apart. Sanitizers catch the rest.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "image/png_file.h"

namespace {

// Large enough for every seed, small enough that no input makes a run slow or large.
std::string accept_size(int width, int height) {
    return static_cast<std::int64_t>(width) * height <= 1 << 20 ? "" : "too large for fuzzing";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Image image;
    std::string why;
    if (!decode_image(std::span<const std::uint8_t>(data, size), image, why, accept_size)) {
        if (why.empty() || why.find('\n') != std::string::npos || !image.pixels.empty()) {
            std::abort();
        }
        return 0;
    }
    const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (image.width < 1 || image.height < 1 || (image.channels != 3 && image.channels != 4) ||
        image.pixels.size() != pixels * static_cast<std::size_t>(image.channels)) {
        std::abort();
    }
    std::vector<std::uint8_t> file;
    Image again;
    if (!encode_png(image, file, why) || !decode_image(file, again, why) || again.width != image.width ||
        again.height != image.height || again.channels != image.channels || again.pixels != image.pixels) {
        std::abort();
    }
    return 0;
}
