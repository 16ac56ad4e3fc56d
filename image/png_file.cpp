#include "image/png_file.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image/image_size.h"

// libpng reports errors by longjmp. Every libpng call below runs inside png_step(), whose setjmp is the only
// place a jump lands; between the two there are only libpng's frames and the callbacks here, none of which
// holds an object with a destructor. What the callbacks learn goes into plain structs owned further up.

namespace {

constexpr std::size_t kMessageLength = 256;

// libpng's own limits would refuse wide files before this reader could say why; its default user limit is a
// million pixels a side. The reader's byte limit (check_image_size) is the one that binds.
constexpr png_uint_32 kLargestSide = PNG_UINT_31_MAX;
// libpng refuses any chunk but IDAT longer than this, even one it skips. Ancillary chunks are skipped unread,
// so it allocates chunk data only for PLTE and tRNS (under 1 KiB); the limit is for files with large metadata.
constexpr png_alloc_size_t kLargestChunk = 64 << 20;
constexpr png_uint_32 kMostKeptChunks = 64;

// The deepest pixel libpng's row buffer holds while decoding: 16-bit RGBA.
constexpr int kWidestStoredPixel = 8;

// zlib level 1 and the Sub filter on every row: a 512 x 512 texture takes about 6 ms of CPU and becomes a third
// of its raw size. Lazy matching (level 4 and up) makes it a quarter smaller again at two to three times the
// time; libpng's default (level 6, a filter chosen for each row) takes seven times as long.
constexpr int kCompressionLevel = 1;

void copy_message(char (&to)[kMessageLength], const char* from) {
    std::snprintf(to, sizeof to, "%s", from != nullptr ? from : "");
}

// What reading learnt, filled by the callbacks.
struct PngReadState {
    const ImageInput* input = nullptr;
    std::int64_t position = 0;
    bool read_failed = false;  // the input could not be read: errno in read_error
    int read_error = 0;
    bool ended = false;  // the file ended before libpng had what it needed
    char message[kMessageLength] = "";
};

void stop_reading(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngReadState*>(png_get_error_ptr(png));
    copy_message(state->message, message);
    png_longjmp(png, 1);
}

void read_input(png_structp png, png_bytep data, std::size_t length) {
    auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
    const std::int64_t got = state->input->read_some(state->position, data, length);
    if (got < 0) {
        state->read_failed = true;
        state->read_error = errno;
        png_error(png, "read failed");
    }
    if (static_cast<std::size_t>(got) < length) {
        state->ended = true;
        png_error(png, "the file ends early");
    }
    state->position += got;
}

// Runs `step` (libpng calls); returns false if libpng reported an error, which jumps back here.
template <typename Step>
bool png_step(png_structp png, const Step& step) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    step();
    return true;
}

// A chunk name as libpng prints it: four letters, any of them written as [xx] when it is not a letter.
bool is_chunk_name(std::string_view text) {
    int characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        const char c = text[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            ++i;
        } else if (c == '[' && i + 3 < text.size() && text[i + 3] == ']') {
            i += 4;
        } else {
            return false;
        }
    }
    return characters == 4;
}

// "Bad adaptive filter value" -> "bad adaptive filter value"; "IDAT ..." stays.
std::string sentence_part(std::string_view text) {
    std::string part(text);
    if (part.size() > 1 && part[0] >= 'A' && part[0] <= 'Z' && part[1] >= 'a' && part[1] <= 'z') {
        part[0] = static_cast<char>(part[0] - 'A' + 'a');
    }
    return part;
}

// Our wording for libpng's messages: the common ones by name, the rest quoted.
std::string png_reason(std::string_view message) {
    // Chunk errors come as "<chunk>: <what>".
    std::string chunk;
    std::string_view what = message;
    const std::size_t colon = message.find(": ");
    if (colon != std::string_view::npos && is_chunk_name(message.substr(0, colon))) {
        chunk = message.substr(0, colon);
        what = message.substr(colon + 2);
    }
    if (what == "CRC error") {
        return "bad checksum in PNG chunk " + chunk;
    }
    if (what == "chunk data is too large") {
        return "the PNG chunk " + chunk + " is larger than this reader accepts (" + std::to_string(kLargestChunk) +
               " bytes)";
    }
    if (what == "unhandled critical chunk") {
        return "the PNG file has a critical chunk " + chunk + " that this reader does not know";
    }
    const struct {
        std::string_view libpng;
        const char* ours;
    } known[] = {
        {"Not a PNG file", "not a PNG file (its signature is wrong)"},
        {"PNG file corrupted by ASCII conversion", "the PNG signature is damaged, as by a transfer in text mode"},
        {"Image width is zero in IHDR", "the width must be at least 1, but the file says 0"},
        {"Image height is zero in IHDR", "the height must be at least 1, but the file says 0"},
        {"PNG unsigned integer out of range", "a length or size in the PNG file is larger than PNG allows"},
        {"Invalid bit depth in IHDR", "the PNG header has an invalid bit depth"},
        {"Invalid color type in IHDR", "the PNG header has an invalid colour type"},
        {"Invalid color type/bit depth combination in IHDR",
         "the PNG header has a bit depth its colour type does not allow"},
        {"Unknown interlace method in IHDR", "the PNG header has an unknown interlace method"},
        {"Unknown compression method in IHDR", "the PNG header has an unknown compression method"},
        {"Unknown filter method in IHDR", "the PNG header has an unknown filter method"},
        {"Missing IHDR before IDAT", "the PNG file has no header chunk (IHDR) before its image data"},
        {"Missing PLTE before IDAT", "the PNG palette image has no palette (PLTE chunk)"},
        {"ignored in grayscale PNG", "the grey PNG image has a palette (PLTE chunk), which grey images may not have"},
        {"Not enough image data", "the PNG image data ends before the last row"},
        {"Too much image data", "the PNG image data goes on after the last row"},
        {"Extra compressed data", "the PNG image data goes on after the last row"},
    };
    for (const auto& entry : known) {
        if (what == entry.libpng) {
            return entry.ours;
        }
    }
    if (!chunk.empty()) {
        return "damaged PNG chunk " + chunk + " (" + sentence_part(what) + ")";
    }
    return "damaged PNG file (" + sentence_part(what) + ")";
}

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bit_depth = 0;
    int colour_type = 0;
    bool interlaced = false;
    bool has_transparency_table = false;
};

// One file being read: libpng's two structs, freed with it.
class PngReader {
public:
    explicit PngReader(const ImageInput& input) {
        state_.input = &input;
        // A warning means the file breaks the format somewhere; since every chunk that only describes the
        // picture is skipped unread, nothing harmless is left to warn about, so a warning stops reading too.
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state_, stop_reading, stop_reading);
        if (png_ != nullptr) {
            info_ = png_create_info_struct(png_);
        }
    }
    ~PngReader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    // Reads everything up to the image data.
    bool read_header(PngHeader& header, std::string& why) {
        if (png_ == nullptr || info_ == nullptr) {
            why = "not enough memory to read a PNG file";
            return false;
        }
        // libpng checks the first chunk only by what it finds in it, and skipped chunks find nothing.
        std::uint8_t start[16];
        if (state_.input->size() >= 16) {
            if (!state_.input->read_exactly(0, start, sizeof start, why)) {
                return false;
            }
            if (png_sig_cmp(start, 0, 8) == 0 && std::memcmp(start + 12, "IHDR", 4) != 0) {
                why = "the PNG file does not start with its header chunk (IHDR)";
                return false;
            }
        }
        png_structp png = png_;
        png_infop info = info_;
        const bool read = png_step(png, [&] {
            png_set_read_fn(png, &state_, read_input);
            png_set_user_limits(png, kLargestSide, kLargestSide);
            png_set_chunk_malloc_max(png, kLargestChunk);
            png_set_chunk_cache_max(png, kMostKeptChunks);
            png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
            // Every chunk but IHDR, PLTE, tRNS, IDAT and IEND is skipped (its checksum still checked): gamma,
            // colour profiles and text change nothing here.
            png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
            png_read_info(png, info);
            header.width = png_get_image_width(png, info);
            header.height = png_get_image_height(png, info);
            header.bit_depth = png_get_bit_depth(png, info);
            header.colour_type = png_get_color_type(png, info);
            header.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
            header.has_transparency_table = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        });
        if (!read) {
            why = reason();
        }
        return read;
    }

    // Asks libpng for the row layout `set_transforms` makes and checks it is the one expected.
    template <typename SetTransforms>
    bool start_rows(const SetTransforms& set_transforms, std::size_t expected_row_bytes, std::string& why) {
        png_structp png = png_;
        png_infop info = info_;
        std::size_t row_bytes = 0;
        int passes = 0;
        const bool started = png_step(png, [&] {
            set_transforms(png);
            passes = png_set_interlace_handling(png);
            png_read_update_info(png, info);
            row_bytes = png_get_rowbytes(png, info);
        });
        if (!started) {
            why = reason();
            return false;
        }
        if (row_bytes != expected_row_bytes) {
            why = "cannot decode this PNG file: rows of " + std::to_string(row_bytes) + " bytes, expected " +
                  std::to_string(expected_row_bytes);
            return false;
        }
        passes_ = passes;
        return true;
    }

    // Decodes every row into `bytes`, then reads the rest of the file up to IEND. Without interlacing the rows
    // arrive one at a time, so that a file cut short uses little memory whatever size it claims.
    bool read_rows(const PngHeader& header, std::size_t row_bytes, std::vector<std::uint8_t>& bytes, std::string& why) {
        const std::size_t height = header.height;
        try {
            bytes.reserve(row_bytes * height);
            if (passes_ > 1) {
                bytes.resize(row_bytes * height);  // every pass adds pixels to rows decoded before
            }
        } catch (const std::bad_alloc&) {
            why = "not enough memory for a " + size_text(header.width, header.height) + " image";
            return false;
        }
        png_structp png = png_;
        for (int pass = 0; pass < passes_; ++pass) {
            for (std::size_t y = 0; y < height; ++y) {
                if (passes_ == 1) {
                    bytes.resize(bytes.size() + row_bytes);  // within the reserved room: no allocation
                }
                png_bytep row = bytes.data() + y * row_bytes;
                if (!png_step(png, [&] { png_read_row(png, row, nullptr); })) {
                    why = reason();
                    return false;
                }
            }
        }
        if (!png_step(png, [&] { png_read_end(png, nullptr); })) {
            why = reason();
            return false;
        }
        return true;
    }

    // The palette, each entry R, G, B, A (A from the transparency table, else opaque).
    std::vector<std::array<std::uint8_t, 4>> palette() const {
        png_colorp colours = nullptr;
        int count = 0;
        png_bytep alphas = nullptr;
        int alpha_count = 0;
        png_get_PLTE(png_, info_, &colours, &count);
        png_get_tRNS(png_, info_, &alphas, &alpha_count, nullptr);
        std::vector<std::array<std::uint8_t, 4>> entries(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            entries[i] = {colours[i].red, colours[i].green, colours[i].blue, i < alpha_count ? alphas[i] : std::uint8_t{255}};
        }
        return entries;
    }

private:
    std::string reason() const {
        if (state_.read_failed) {
            return read_failure_reason(state_.read_error);
        }
        if (state_.ended) {
            return "the file ends early (PNG data cut short)";
        }
        return png_reason(state_.message);
    }

    PngReadState state_;
    int passes_ = 1;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Checks the size from the header: the reader's own limit, then the caller's.
bool accept_header_size(const PngHeader& header, int bytes_per_pixel, const ImageSizeCheck& accept_size,
                        std::string& why) {
    why = check_image_size(header.width, header.height, bytes_per_pixel);
    if (why.empty() && header.width > kMaxImageBytes / kWidestStoredPixel) {
        why = "the image is too large: a row of " + std::to_string(header.width) +
              " pixels is wider than this reader decodes (at most " +
              std::to_string(kMaxImageBytes / kWidestStoredPixel) + " pixels)";
    }
    if (why.empty() && accept_size) {
        why = accept_size(static_cast<int>(header.width), static_cast<int>(header.height));
    }
    return why.empty();
}

// Looks every palette index up, refusing one past the palette's end (libpng would read it as black).
bool expand_palette(const std::vector<std::uint8_t>& indices, const std::vector<std::array<std::uint8_t, 4>>& entries,
                    int channels, std::vector<std::uint8_t>& pixels, std::string& why) {
    try {
        pixels.resize(indices.size() * static_cast<std::size_t>(channels));
    } catch (const std::bad_alloc&) {
        why = "not enough memory to expand the PNG palette";
        return false;
    }
    std::uint8_t* to = pixels.data();
    for (const std::uint8_t index : indices) {
        if (index >= entries.size()) {
            why = "the PNG image uses palette entry " + std::to_string(index) + ", but its palette has only " +
                  std::to_string(entries.size()) + (entries.size() == 1 ? " entry" : " entries");
            return false;
        }
        std::copy_n(entries[index].data(), channels, to);
        to += channels;
    }
    return true;
}

// What writing learnt, filled by the callbacks.
struct PngWriteState {
    std::vector<std::uint8_t>* file = nullptr;
    bool out_of_memory = false;
    char message[kMessageLength] = "";
};

void stop_writing(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngWriteState*>(png_get_error_ptr(png));
    copy_message(state->message, message);
    png_longjmp(png, 1);
}

bool append(std::vector<std::uint8_t>& file, const std::uint8_t* data, std::size_t length) noexcept {
    try {
        file.insert(file.end(), data, data + length);
        return true;
    } catch (...) {
        return false;
    }
}

void write_output(png_structp png, png_bytep data, std::size_t length) {
    auto* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
    if (!append(*state->file, data, length)) {
        state->out_of_memory = true;
        png_error(png, "out of memory");
    }
}

void flush_output(png_structp) {}

// Encodes `height` rows of `row_bytes` bytes each, starting at `rows` (16-bit samples big-endian, as PNG stores
// them).
bool encode(const std::uint8_t* rows, int width, int height, int colour_type, int bit_depth, std::size_t row_bytes,
            std::vector<std::uint8_t>& file, std::string& why) {
    std::vector<std::uint8_t> encoded;
    PngWriteState state;
    state.file = &encoded;
    try {
        // Room for the worst case, rows that do not compress at all, so that writing hardly ever reallocates.
        const std::size_t raw_bytes = (row_bytes + 1) * static_cast<std::size_t>(height);
        encoded.reserve(raw_bytes + raw_bytes / 1000 + 4096);
    } catch (const std::bad_alloc&) {
        why = "not enough memory to write a " + size_text(width, height) + " image";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, stop_writing, stop_writing);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && png_step(png, [&] {
        png_set_write_fn(png, &state, write_output, flush_output);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bit_depth,
                     colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(png, kCompressionLevel);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y) {
            png_write_row(png, rows + static_cast<std::size_t>(y) * row_bytes);
        }
        png_write_end(png, nullptr);
    });
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    if (!written) {
        why = png == nullptr || info == nullptr || state.out_of_memory
                  ? "not enough memory to write a PNG file"
                  : "cannot encode the PNG file: " + std::string(state.message);
        return false;
    }
    file = std::move(encoded);
    return true;
}

std::string write_size_refusal(int width, int height, int bytes_per_pixel) {
    if (width < 1 || height < 1) {
        return "cannot write a " + size_text(width, height) + " image: width and height must be at least 1";
    }
    if (height > kMaxImageBytes / bytes_per_pixel / width) {
        return "cannot write a " + size_text(width, height) + " image: it would take more than " +
               std::to_string(kMaxImageBytes) + " bytes of pixels";
    }
    return "";
}

}  // namespace

bool read_png(const ImageInput& input, Image& image, std::string& why, const ImageSizeCheck& accept_size) {
    PngReader reader(input);
    PngHeader header;
    if (!reader.read_header(header, why)) {
        return false;
    }
    const bool palette = header.colour_type == PNG_COLOR_TYPE_PALETTE;
    const bool has_alpha = (header.colour_type & PNG_COLOR_MASK_ALPHA) != 0 || header.has_transparency_table;
    const int channels = has_alpha ? 4 : 3;
    if (!accept_header_size(header, palette ? channels + 1 : channels, accept_size, why)) {
        return false;
    }
    std::vector<std::uint8_t> pixels;
    if (palette) {
        std::vector<std::uint8_t> indices;
        const auto as_indices = [](png_structp png) { png_set_packing(png); };
        if (!reader.start_rows(as_indices, header.width, why) || !reader.read_rows(header, header.width, indices, why) ||
            !expand_palette(indices, reader.palette(), channels, pixels, why)) {
            return false;
        }
    } else {
        const std::size_t row_bytes = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(channels);
        const auto to_8_bit_rgb = [](png_structp png) {
            png_set_expand(png);  // grey below 8 bits to 8, transparency table to alpha
            png_set_scale_16(png);
            png_set_gray_to_rgb(png);
        };
        if (!reader.start_rows(to_8_bit_rgb, row_bytes, why) || !reader.read_rows(header, row_bytes, pixels, why)) {
            return false;
        }
    }
    image.width = static_cast<int>(header.width);
    image.height = static_cast<int>(header.height);
    image.channels = channels;
    image.pixels = std::move(pixels);
    return true;
}

bool read_png_samples(const ImageInput& input, PngSamples& samples, std::string& why,
                      const ImageSizeCheck& accept_size) {
    PngReader reader(input);
    PngHeader header;
    if (!reader.read_header(header, why)) {
        return false;
    }
    const bool palette = header.colour_type == PNG_COLOR_TYPE_PALETTE;
    int channels = 0;
    switch (header.colour_type) {
    case PNG_COLOR_TYPE_GRAY: channels = 1; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: channels = 2; break;
    case PNG_COLOR_TYPE_RGB: channels = 3; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: channels = 4; break;
    default: channels = header.has_transparency_table ? 4 : 3; break;  // palette entries
    }
    const int bit_depth = palette ? 8 : header.bit_depth;
    const int sample_bytes = bit_depth == 16 ? 2 : 1;
    // Held at once: the decoded bytes (indices and their colours, for a palette) and the 16-bit values.
    const int bytes_per_pixel = palette ? 1 + channels + 2 * channels : channels * sample_bytes + 2 * channels;
    if (!accept_header_size(header, bytes_per_pixel, accept_size, why)) {
        return false;
    }
    // Samples below 8 bits come one to a byte, not scaled.
    const auto as_stored = [](png_structp png) { png_set_packing(png); };
    const std::size_t row_bytes = static_cast<std::size_t>(header.width) * (palette ? 1 : channels * sample_bytes);
    std::vector<std::uint8_t> bytes;
    if (!reader.start_rows(as_stored, row_bytes, why) || !reader.read_rows(header, row_bytes, bytes, why)) {
        return false;
    }
    if (palette) {
        std::vector<std::uint8_t> colours;
        if (!expand_palette(bytes, reader.palette(), channels, colours, why)) {
            return false;
        }
        bytes = std::move(colours);
    }
    std::vector<std::uint16_t> values;
    try {
        values.resize(static_cast<std::size_t>(header.width) * header.height * static_cast<std::size_t>(channels));
    } catch (const std::bad_alloc&) {
        why = "not enough memory for a " + size_text(header.width, header.height) + " image";
        return false;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = sample_bytes == 2 ? static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]) : bytes[i];
    }
    samples.width = static_cast<int>(header.width);
    samples.height = static_cast<int>(header.height);
    samples.channels = channels;
    samples.bit_depth = bit_depth;
    samples.samples = std::move(values);
    return true;
}

bool encode_png(const Image& image, std::vector<std::uint8_t>& file, std::string& why) {
    if (image.channels != 3 && image.channels != 4) {
        why = "cannot write an image of " + std::to_string(image.channels) + " channels as PNG (3 or 4 are supported)";
        return false;
    }
    why = write_size_refusal(image.width, image.height, image.channels);
    if (!why.empty()) {
        return false;
    }
    const std::size_t row_bytes = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels);
    if (image.pixels.size() != row_bytes * static_cast<std::size_t>(image.height)) {
        why = "cannot write: the image has " + std::to_string(image.pixels.size()) + " bytes of pixels, its size needs " +
              std::to_string(row_bytes * static_cast<std::size_t>(image.height));
        return false;
    }
    return encode(image.pixels.data(), image.width, image.height,
                  image.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 8, row_bytes, file, why);
}

bool encode_png16(const std::uint16_t* samples, int width, int height, int channels, std::vector<std::uint8_t>& file,
                  std::string& why) {
    static constexpr int kColourTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                           PNG_COLOR_TYPE_RGB_ALPHA};
    if (channels < 1 || channels > 4) {
        why = "cannot write " + std::to_string(channels) + " samples a pixel as PNG (1 to 4 are supported)";
        return false;
    }
    why = write_size_refusal(width, height, channels * 2);
    if (!why.empty()) {
        return false;
    }
    if (samples == nullptr) {
        why = "cannot write: no samples given";
        return false;
    }
    const std::size_t row_samples = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    std::vector<std::uint8_t> big_endian;
    try {
        big_endian.resize(row_samples * 2 * static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        why = "not enough memory to write a " + size_text(width, height) + " image";
        return false;
    }
    for (std::size_t i = 0; i < row_samples * static_cast<std::size_t>(height); ++i) {
        big_endian[2 * i] = static_cast<std::uint8_t>(samples[i] >> 8);
        big_endian[2 * i + 1] = static_cast<std::uint8_t>(samples[i]);
    }
    return encode(big_endian.data(), width, height, kColourTypes[channels - 1], 16, row_samples * 2, file, why);
}
