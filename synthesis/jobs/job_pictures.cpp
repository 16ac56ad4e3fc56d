#include "synthesis/jobs/job_pictures.h"

#include <algorithm>

std::string picture_reason(const Image& image) {
    if (image.channels != 3 && image.channels != 4) {
        return "expected 3 (RGB) or 4 (RGBA) channels";
    }
    if (image.width < 1 || image.height < 1) {
        return "the picture is empty";
    }
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * image.channels) {
        return "the pixel buffer does not match the picture's size";
    }
    if (image.width - 1 > kMaxMapCoordinate || image.height - 1 > kMaxMapCoordinate) {
        return "wider or taller than " + std::to_string(kMaxMapCoordinate + 1) + " pixels";
    }
    return "";
}

std::vector<std::uint8_t> matched_colours(const Image& image) {
    if (image.channels == 3) {
        return image.pixels;
    }
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    std::vector<std::uint8_t> rgb(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        std::copy_n(&image.pixels[i * 4], 3, &rgb[i * 3]);
    }
    return rgb;
}

void copy_pixel(const Image& source, std::size_t from, Image& target, std::size_t to) {
    const std::uint8_t* pixel = &source.pixels[from * source.channels];
    std::uint8_t* out = &target.pixels[to * target.channels];
    std::copy_n(pixel, 3, out);
    if (target.channels == 4) {
        out[3] = source.channels == 4 ? pixel[3] : 255;
    }
}
