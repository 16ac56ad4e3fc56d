#include "image/image_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "image/bmp_file.h"
#include "image/image_input.h"
#include "image/image_size.h"
#include "image/jpeg_file.h"
#include "image/output_file.h"
#include "image/png_file.h"

namespace {

enum class Format { empty, bmp, png, jpeg, other };

struct Recognised {
    Format format = Format::other;
    std::string description;  // for formats this reader does not read: "a GIF image", "text"; "" if unknown
};

// How many leading bytes are looked at to tell text from binary data.
constexpr std::size_t kHeadBytes = 256;

bool starts_with(std::string_view head, std::string_view prefix) { return head.starts_with(prefix); }

// The `count` bytes at `offset`, or fewer where the head ends (substr would throw past the end).
std::string_view part(std::string_view head, std::size_t offset, std::size_t count) {
    return offset <= head.size() ? head.substr(offset, count) : std::string_view();
}

// Text is ASCII or UTF-8 without control characters other than tab and line ends; binary formats break that
// within their first bytes. `cut` says the head stops before the file does, perhaps within a character.
bool looks_like_text(std::string_view head, bool cut) {
    for (std::size_t i = 0; i < head.size();) {
        const auto byte = static_cast<unsigned char>(head[i]);
        if (byte < 0x80) {
            if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F) {
                return false;
            }
            ++i;
            continue;
        }
        const std::size_t following = byte >= 0xC2 && byte <= 0xDF ? 1 : byte >= 0xE0 && byte <= 0xEF ? 2
                                      : byte >= 0xF0 && byte <= 0xF4 ? 3 : 0;
        if (following == 0) {
            return false;  // a continuation byte first, or a byte UTF-8 never uses
        }
        for (std::size_t k = 1; k <= following; ++k) {
            if (i + k == head.size()) {
                return cut;
            }
            if ((static_cast<unsigned char>(head[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += following + 1;
    }
    return true;
}

Recognised recognise(std::string_view head, bool cut) {
    if (head.empty()) {
        return {Format::empty, ""};
    }
    if (starts_with(head, "BM")) {
        return {Format::bmp, ""};
    }
    // The full signature is libpng's to check: it tells a damaged signature from another format.
    if (starts_with(head, "\x89PNG")) {
        return {Format::png, ""};
    }
    if (starts_with(head, "\xFF\xD8")) {
        return {Format::jpeg, ""};
    }
    if (starts_with(head, "GIF87a") || starts_with(head, "GIF89a")) {
        return {Format::other, "a GIF image"};
    }
    if (starts_with(head, std::string_view("II*\0", 4)) || starts_with(head, std::string_view("MM\0*", 4))) {
        return {Format::other, "a TIFF image"};
    }
    if (starts_with(head, "RIFF") && part(head, 8, 4) == "WEBP") {
        return {Format::other, "a WebP image"};
    }
    // ISO media files ("ftyp" box first) with the brands phones use for photos.
    if (part(head, 4, 4) == "ftyp") {
        const std::string_view brand = part(head, 8, 4);
        if (brand == "avif" || brand == "avis") {
            return {Format::other, "an AVIF image"};
        }
        if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1" || brand == "hevc") {
            return {Format::other, "a HEIF image"};
        }
    }
    if (looks_like_text(head, cut)) {
        return {Format::other, "text"};
    }
    return {Format::other, ""};
}

std::string not_readable_reason(const Recognised& recognised) {
    if (recognised.description.empty()) {
        return "not a BMP, PNG or JPEG file (the format is not recognised)";
    }
    return "not a BMP, PNG or JPEG file (it is " + recognised.description + ")";
}

bool read_head(const ImageInput& input, Recognised& recognised, std::string& why) {
    char head[kHeadBytes];
    const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(input.size(), kHeadBytes));
    if (!input.read_exactly(0, reinterpret_cast<std::uint8_t*>(head), count, why)) {
        return false;
    }
    recognised = recognise(std::string_view(head, count), static_cast<std::int64_t>(count) < input.size());
    return true;
}

bool read_from(const ImageInput& input, Image& image, std::string& why, const ImageSizeCheck& accept_size) {
    Recognised recognised;
    if (!read_head(input, recognised, why)) {
        return false;
    }
    switch (recognised.format) {
    case Format::empty:
        why = "empty file";
        return false;
    case Format::bmp:
        return read_bmp(input, image, why, accept_size);
    case Format::png:
        return read_png(input, image, why, accept_size);
    case Format::jpeg:
        return read_jpeg(input, image, why, accept_size);
    case Format::other:
        break;
    }
    why = not_readable_reason(recognised);
    return false;
}

// ASCII letters in lower case (file name extensions).
std::string lowercase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// ".PNG" -> "png"; "" when the file name has no extension.
std::string extension_of(const std::string& path) {
    const std::size_t name_start = path.rfind('/') + 1;  // 0 when there is no '/'
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name_start) {
        return "";
    }
    return lowercase(path.substr(dot + 1));
}

bool encode_bmp_image(const Image& image, std::vector<std::uint8_t>& file, std::string& why) {
    if (image.channels == 4) {
        why = "cannot write an image with an alpha channel as BMP (only 24-bit BMP files are written); use .png";
        return false;
    }
    if (image.channels != 3) {
        why = "cannot write an image of " + std::to_string(image.channels) + " channels as BMP (3 are needed)";
        return false;
    }
    if (image.width >= 1 && image.height >= 1) {
        const std::uint64_t expected = static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) * 3;
        if (image.pixels.size() != expected) {
            why = "cannot write: the image has " + std::to_string(image.pixels.size()) +
                  " bytes of pixels, its size needs " + std::to_string(expected);
            return false;
        }
    }
    return encode_bmp(image.pixels.data(), image.width, image.height, file, why);
}

// read_png_samples on an opened input: PNG files only, the others refused with what they are.
bool png_samples_from(const ImageInput& input, PngSamples& out, std::string& why, const ImageSizeCheck& accept_size) {
    Recognised recognised;
    if (!read_head(input, recognised, why)) {
        return false;
    }
    if (recognised.format == Format::png) {
        return read_png_samples(input, out, why, accept_size);
    }
    std::string description = recognised.description;
    if (recognised.format == Format::bmp) {
        description = "a BMP image";
    } else if (recognised.format == Format::jpeg) {
        description = "a JPEG image";
    }
    if (recognised.format == Format::empty) {
        why = "empty file";
    } else if (description.empty()) {
        why = "not a PNG file (the format is not recognised)";
    } else {
        why = "not a PNG file (it is " + description + ")";
    }
    return false;
}

}  // namespace

bool read_image(const std::string& path, Image& image, std::string& why, const ImageSizeCheck& accept_size) {
    ImageInput input;
    return input.open(path, why) && read_from(input, image, why, accept_size);
}

bool decode_image(std::span<const std::uint8_t> bytes, Image& image, std::string& why,
                  const ImageSizeCheck& accept_size) {
    const ImageInput input(bytes);
    return read_from(input, image, why, accept_size);
}

bool read_rgb_image(const std::string& path, RgbImage& image, std::string& why, const ImageSizeCheck& accept_size) {
    Image read;
    if (!read_image(path, read, why, accept_size)) {
        return false;
    }
    if (read.channels == 4) {
        // In place: each pixel moves to a lower or equal offset than it came from.
        const std::size_t pixels = read.pixels.size() / 4;
        for (std::size_t i = 0; i < pixels; ++i) {
            std::memmove(&read.pixels[3 * i], &read.pixels[4 * i], 3);
        }
        read.pixels.resize(pixels * 3);
        read.pixels.shrink_to_fit();
    }
    image.width = read.width;
    image.height = read.height;
    image.pixels = std::move(read.pixels);
    return true;
}

bool encode_image(std::string format, const Image& image, std::vector<std::uint8_t>& file, std::string& why) {
    format = lowercase(std::move(format));
    if (format == "png") {
        return encode_png(image, file, why);
    }
    if (format == "bmp") {
        return encode_bmp_image(image, file, why);
    }
    why = "cannot write a ." + format + " file: only .png and .bmp are written";
    return false;
}

bool write_image(const std::string& path, const Image& image, std::string& why) {
    const std::string extension = extension_of(path);
    if (extension.empty()) {
        why = "cannot write: the file name has no extension; use .png or .bmp";
        return false;
    }
    std::vector<std::uint8_t> file;
    return encode_image(extension, image, file, why) && write_file_atomically(path, file.data(), file.size(), why);
}

bool read_png_samples(const std::string& path, PngSamples& out, std::string& why, const ImageSizeCheck& accept_size) {
    ImageInput input;
    return input.open(path, why) && png_samples_from(input, out, why, accept_size);
}

bool decode_png_samples(std::span<const std::uint8_t> bytes, PngSamples& out, std::string& why,
                        const ImageSizeCheck& accept_size) {
    const ImageInput input(bytes);
    return png_samples_from(input, out, why, accept_size);
}

bool write_png16(const std::string& path, const std::uint16_t* samples, int width, int height, int channels,
                 std::string& why) {
    std::vector<std::uint8_t> file;
    return encode_png16(samples, width, height, channels, file, why) &&
           write_file_atomically(path, file.data(), file.size(), why);
}
