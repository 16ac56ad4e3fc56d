#include "image/bmp_file.h"

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "image/image_size.h"
#include "image/output_file.h"

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoHeaderBytes = 40;
constexpr int kHeaderBytes = kFileHeaderBytes + kInfoHeaderBytes;  // what the writer produces: 54

// Field offsets within the file.
constexpr int kPixelOffsetField = 10;
constexpr int kInfoSizeField = 14;
constexpr int kWidthField = 18;
constexpr int kHeightField = 22;
constexpr int kBitsPerPixelField = 28;
constexpr int kCompressionField = 30;

std::uint16_t get_u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t get_u32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::int32_t get_s32(const std::uint8_t* p) { return static_cast<std::int32_t>(get_u32(p)); }

void put_u16(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void put_u32(std::uint8_t* p, std::uint32_t value) {
    put_u16(p, value);
    put_u16(p + 2, value >> 16);
}

// Bytes per stored row: three per pixel, padded to a multiple of four.
std::int64_t row_stride(std::int64_t width) { return (width * 3 + 3) & ~std::int64_t{3}; }

// "1 byte", "2 bytes".
std::string count_text(std::int64_t count, const char* unit) {
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

// Checks the 54 header bytes against the file's real length. On success gives the picture's size, whether its
// rows are stored top-down, and where the pixel rows start.
struct PixelLayout {
    int width = 0;
    int height = 0;
    bool top_down = false;
    std::int64_t offset = 0;
    std::int64_t stride = 0;
};

std::string check_header(const std::uint8_t* header, std::int64_t file_bytes, PixelLayout& layout) {
    if (file_bytes >= 2 && (header[0] != 'B' || header[1] != 'M')) {
        return "not a BMP file (it does not start with \"BM\")";
    }
    if (file_bytes < kHeaderBytes) {
        return "the file is too short for a BMP header: it has " + count_text(file_bytes, "byte") +
               ", the header takes " + std::to_string(kHeaderBytes);
    }
    const std::uint32_t info_bytes = get_u32(header + kInfoSizeField);
    if (info_bytes < kInfoHeaderBytes) {
        return "the info header is " + std::to_string(info_bytes) + " bytes long; only BMP files with an info " +
               "header of at least " + std::to_string(kInfoHeaderBytes) + " bytes are supported";
    }
    if (kFileHeaderBytes + std::int64_t{info_bytes} > file_bytes) {
        return "the info header claims " + std::to_string(info_bytes) + " bytes, more than the file holds (" +
               std::to_string(file_bytes) + " bytes in all)";
    }
    const int bits = get_u16(header + kBitsPerPixelField);
    if (bits != 24) {
        return "24-bit colour is required, but the file has " + count_text(bits, "bit") + " per pixel";
    }
    const std::uint32_t compression = get_u32(header + kCompressionField);
    if (compression != 0) {
        return "compressed BMP files are not supported (compression method " + std::to_string(compression) + ")";
    }
    const std::int64_t width = get_s32(header + kWidthField);
    const std::int64_t stored_height = get_s32(header + kHeightField);
    if (width < 1) {
        return "the width must be at least 1, but the file says " + std::to_string(width);
    }
    if (stored_height == 0) {
        return "the height is 0, so the image has no rows";
    }
    // A negative height means the rows are stored top-down; kept in 64 bits so INT_MIN negates safely.
    const std::int64_t height = stored_height < 0 ? -stored_height : stored_height;
    const std::string size_refusal = check_image_size(width, height, 3);
    if (!size_refusal.empty()) {
        return size_refusal;
    }

    // An offset short of a plain 40-byte info header is taken to mean the rows follow the header, as this
    // reader has always done; a larger header must say where its rows are.
    const std::int64_t header_end = kFileHeaderBytes + std::int64_t{info_bytes};
    std::int64_t offset = get_u32(header + kPixelOffsetField);
    if (offset < header_end) {
        if (info_bytes > kInfoHeaderBytes) {
            return "the pixel data offset " + std::to_string(offset) + " points inside the " +
                   std::to_string(header_end) + "-byte header";
        }
        offset = kHeaderBytes;
    }
    if (offset == file_bytes) {
        return "the file ends where its pixel data should start (byte " + std::to_string(offset) + ")";
    }
    if (offset > file_bytes) {
        return "the pixel data offset " + std::to_string(offset) + " is past the end of the file (" +
               std::to_string(file_bytes) + " bytes)";
    }
    // Some writers leave out the padding after the very last row, so only its pixel bytes are required.
    const std::int64_t stride = row_stride(width);
    const std::int64_t needed = offset + stride * (height - 1) + width * 3;
    if (file_bytes < needed) {
        return "the file is too short: its header promises " + std::to_string(offset + stride * height) +
               " bytes, it has " + std::to_string(file_bytes);
    }

    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.top_down = stored_height < 0;
    layout.offset = offset;
    layout.stride = stride;
    return "";
}

// Turns stored rows (B, G, R, padded) into Image rows (R, G, B, top row first).
void convert_rows(const std::uint8_t* stored, const PixelLayout& layout, std::uint8_t* pixels) {
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t height = static_cast<std::size_t>(layout.height);
    const std::size_t stride = static_cast<std::size_t>(layout.stride);
    for (std::size_t r = 0; r < height; ++r) {
        const std::size_t y = layout.top_down ? r : height - 1 - r;
        const std::uint8_t* from = stored + r * stride;
        std::uint8_t* to = pixels + y * width * 3;
        for (std::size_t x = 0; x < width; ++x) {
            to[3 * x + 0] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x + 0];
        }
    }
}

// The whole file as it goes to disk: the 54-byte header, then the rows bottom-up, padding bytes zero.
std::vector<std::uint8_t> encode(const std::uint8_t* pixels, int width, int height) {
    const std::size_t stride = static_cast<std::size_t>(row_stride(width));
    const std::size_t image_bytes = stride * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> file(kHeaderBytes + image_bytes, 0);
    std::uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    put_u32(h + 2, static_cast<std::uint32_t>(file.size()));
    put_u32(h + kPixelOffsetField, kHeaderBytes);
    put_u32(h + kInfoSizeField, kInfoHeaderBytes);
    put_u32(h + kWidthField, static_cast<std::uint32_t>(width));
    put_u32(h + kHeightField, static_cast<std::uint32_t>(height));
    put_u16(h + 26, 1);  // planes
    put_u16(h + kBitsPerPixelField, 24);
    put_u32(h + 34, static_cast<std::uint32_t>(image_bytes));
    // Compression, resolution and colour counts stay 0.

    const std::size_t w = static_cast<std::size_t>(width);
    for (std::size_t r = 0; r < static_cast<std::size_t>(height); ++r) {
        const std::uint8_t* from = pixels + (static_cast<std::size_t>(height) - 1 - r) * w * 3;
        std::uint8_t* to = file.data() + kHeaderBytes + r * stride;
        for (std::size_t x = 0; x < w; ++x) {
            to[3 * x + 0] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x + 0];
        }
    }
    return file;
}

}  // namespace

bool read_bmp(const ImageInput& input, Image& image, std::string& why, const ImageSizeCheck& accept_size) {
    const std::int64_t file_bytes = input.size();
    std::uint8_t header[kHeaderBytes] = {};
    const std::size_t header_bytes = file_bytes < kHeaderBytes ? static_cast<std::size_t>(file_bytes) : kHeaderBytes;
    if (!input.read_exactly(0, header, header_bytes, why)) {
        return false;
    }
    PixelLayout layout;
    why = check_header(header, file_bytes, layout);
    if (!why.empty()) {
        return false;
    }
    if (accept_size) {
        why = accept_size(layout.width, layout.height);
        if (!why.empty()) {
            return false;
        }
    }

    // Every size below has been checked against the file's length and the int range.
    const std::size_t stored_bytes =
        static_cast<std::size_t>(layout.stride * (layout.height - 1) + std::int64_t{layout.width} * 3);
    std::vector<std::uint8_t> stored;
    std::vector<std::uint8_t> pixels;
    try {
        stored.resize(stored_bytes);
        pixels.resize(static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height) * 3);
    } catch (const std::bad_alloc&) {
        why = "not enough memory for a " + size_text(layout.width, layout.height) + " image";
        return false;
    }
    if (!input.read_exactly(layout.offset, stored.data(), stored_bytes, why)) {
        return false;
    }
    convert_rows(stored.data(), layout, pixels.data());

    image.width = layout.width;
    image.height = layout.height;
    image.channels = 3;
    image.pixels = std::move(pixels);
    return true;
}

bool encode_bmp(const std::uint8_t* pixels, int width, int height, std::vector<std::uint8_t>& file, std::string& why) {
    if (width < 1 || height < 1) {
        why = "cannot write a " + size_text(width, height) + " image: width and height must be at least 1";
        return false;
    }
    if (height > kMaxImageBytes / 3 / width) {
        why = "cannot write a " + size_text(width, height) + " image: it would take more than " +
              std::to_string(kMaxImageBytes) + " bytes of pixels";
        return false;
    }
    if (pixels == nullptr) {
        why = "cannot write: no pixels given";
        return false;
    }
    try {
        file = encode(pixels, width, height);
    } catch (const std::bad_alloc&) {
        why = "not enough memory to write a " + size_text(width, height) + " image";
        return false;
    }
    return true;
}

bool write_bmp(const std::string& path, const std::uint8_t* pixels, int width, int height, std::string& why) {
    std::vector<std::uint8_t> contents;
    return encode_bmp(pixels, width, height, contents, why) &&
           write_file_atomically(path, contents.data(), contents.size(), why);
}
