// The writers (PNG, 16-bit PNG, BMP through write_image) and the raw PNG sample reader. Written PNG files are
// checked against a plain decoder here (zlib and the five row filters, written out) and, where it is
// installed, against ImageMagick.
#include "image/image_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Image random_image(int width, int height, int channels, unsigned seed) {
    std::mt19937 random(seed);
    Image image{width, height, channels, Bytes(static_cast<std::size_t>(width) * height * channels)};
    std::generate(image.pixels.begin(), image.pixels.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return image;
}

std::vector<std::uint16_t> random_samples(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint16_t> samples(count);
    std::generate(samples.begin(), samples.end(), [&] { return static_cast<std::uint16_t>(random()); });
    return samples;
}

std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::uint32_t big_endian(const Bytes& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

// What a PNG file holds, decoded the plain way: every chunk's checksum checked, the image data inflated in one
// piece and every row unfiltered by the definitions of the five filters. Only what the writer produces: no
// interlacing, no palette.
struct PlainPng {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bit_depth = 0;
    int colour_type = 0;
    std::vector<std::string> chunks;
    Bytes samples;  // rows as stored, filter bytes removed
};

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

bool decode_plainly(const Bytes& file, PlainPng& png) {
    const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || !std::equal(signature.begin(), signature.end(), file.begin())) {
        return false;
    }
    Bytes compressed;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = big_endian(file, at);
        const std::string kind(file.begin() + at + 4, file.begin() + at + 8);
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, file.data() + at + 4, length + 4));
        if (big_endian(file, at + 8 + length) != crc) {
            return false;
        }
        png.chunks.push_back(kind);
        if (kind == "IHDR") {
            png.width = big_endian(file, at + 8);
            png.height = big_endian(file, at + 12);
            png.bit_depth = file[at + 16];
            png.colour_type = file[at + 17];
        } else if (kind == "IDAT") {
            compressed.insert(compressed.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
        }
        at += 12 + length;
    }
    const int channels = png.colour_type == 0 ? 1 : png.colour_type == 4 ? 2 : png.colour_type == 2 ? 3 : 4;
    const std::size_t pixel_bytes = static_cast<std::size_t>(channels * png.bit_depth / 8);
    const std::size_t row_bytes = png.width * pixel_bytes;
    Bytes filtered((row_bytes + 1) * png.height);
    uLongf filtered_size = static_cast<uLongf>(filtered.size());
    if (uncompress(filtered.data(), &filtered_size, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK ||
        filtered_size != filtered.size()) {
        return false;
    }
    png.samples.assign(row_bytes * png.height, 0);
    for (std::size_t y = 0; y < png.height; ++y) {
        const std::uint8_t filter = filtered[y * (row_bytes + 1)];
        for (std::size_t x = 0; x < row_bytes; ++x) {
            const int a = x >= pixel_bytes ? png.samples[y * row_bytes + x - pixel_bytes] : 0;
            const int b = y > 0 ? png.samples[(y - 1) * row_bytes + x] : 0;
            const int c = x >= pixel_bytes && y > 0 ? png.samples[(y - 1) * row_bytes + x - pixel_bytes] : 0;
            const int predictions[] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
            if (filter > 4) {
                return false;
            }
            png.samples[y * row_bytes + x] =
                static_cast<std::uint8_t>(filtered[y * (row_bytes + 1) + 1 + x] + predictions[filter]);
        }
    }
    return true;
}

Bytes file_bytes(const std::string& path) {
    const std::string text = read_file(path);
    return Bytes(text.begin(), text.end());
}

class ImageFileTest : public testing::Test {
protected:
    // Writes and returns what the writer printed (nothing: only the program prints).
    std::string write(const std::string& path, const Image& image, bool expect_ok = true) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(write_image(path, image, why_), expect_ok) << why_;
        return testing::internal::GetCapturedStdout();
    }

    const ScratchDir dir_;
    std::string why_;
};

TEST_F(ImageFileTest, PngRoundTripsAreExact) {
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {17, 13}, {64, 33}, {300, 2}};
    for (const int channels : {3, 4}) {
        for (const auto& size : sizes) {
            SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << "x" << channels);
            const Image original = random_image(size[0], size[1], channels, size[0] * 100 + size[1] + channels);
            const std::string path = dir_ / "round.png";
            EXPECT_EQ(write(path, original), "");
            Image read;
            ASSERT_TRUE(read_image(path, read, why_)) << why_;
            EXPECT_EQ(read.width, original.width);
            EXPECT_EQ(read.height, original.height);
            EXPECT_EQ(read.channels, channels);
            EXPECT_TRUE(read.pixels == original.pixels);
            EXPECT_EQ(listing(dir_.path()), std::vector<std::string>{"round.png"});
        }
    }
}

// The plain decoder must find exactly the samples written, in an 8-bit RGB or RGBA file with no chunk beyond
// the three every PNG has: nothing (gamma, profiles) that could make a viewer show other colours.
TEST_F(ImageFileTest, WrittenPngMatchesThePlainDecoder) {
    for (const int channels : {3, 4}) {
        SCOPED_TRACE(channels);
        const Image original = random_image(37, 21, channels, 3 + channels);
        write(dir_ / "plain.png", original);
        PlainPng png;
        ASSERT_TRUE(decode_plainly(file_bytes(dir_ / "plain.png"), png));
        EXPECT_EQ(png.width, 37u);
        EXPECT_EQ(png.height, 21u);
        EXPECT_EQ(png.bit_depth, 8);
        EXPECT_EQ(png.colour_type, channels == 3 ? 2 : 6);
        EXPECT_EQ(png.chunks.front(), "IHDR");
        EXPECT_EQ(png.chunks.back(), "IEND");
        for (const std::string& chunk : png.chunks) {
            EXPECT_TRUE(chunk == "IHDR" || chunk == "IDAT" || chunk == "IEND") << chunk;
        }
        EXPECT_TRUE(png.samples == original.pixels);
    }
}

TEST_F(ImageFileTest, SixteenBitPngRoundTripsAndReadsRounded) {
    for (int channels = 1; channels <= 4; ++channels) {
        SCOPED_TRACE(channels);
        const int width = 19;
        const int height = 11;
        const std::vector<std::uint16_t> samples =
            random_samples(static_cast<std::size_t>(width) * height * channels, 40 + channels);
        const std::string path = dir_ / "deep.png";
        testing::internal::CaptureStdout();
        ASSERT_TRUE(write_png16(path, samples.data(), width, height, channels, why_)) << why_;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

        PngSamples read;
        ASSERT_TRUE(read_png_samples(path, read, why_)) << why_;
        EXPECT_EQ(read.width, width);
        EXPECT_EQ(read.height, height);
        EXPECT_EQ(read.channels, channels);
        EXPECT_EQ(read.bit_depth, 16);
        EXPECT_TRUE(read.samples == samples);

        PlainPng png;
        ASSERT_TRUE(decode_plainly(file_bytes(path), png));
        EXPECT_EQ(png.bit_depth, 16);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            ASSERT_EQ(png.samples[2 * i] << 8 | png.samples[2 * i + 1], samples[i]) << "sample " << i;
        }

        // As colours: 8 bits each, rounded (v / 257 to the nearest), grey to R = G = B, alpha kept.
        Image image;
        ASSERT_TRUE(read_image(path, image, why_)) << why_;
        const bool alpha = channels % 2 == 0;
        ASSERT_EQ(image.channels, alpha ? 4 : 3);
        for (std::size_t p = 0; p < static_cast<std::size_t>(width) * height; ++p) {
            for (int c = 0; c < image.channels; ++c) {
                const int sample = channels <= 2 ? (c < 3 ? 0 : 1) : c;
                const unsigned v = samples[p * channels + static_cast<std::size_t>(sample)];
                ASSERT_EQ(image.pixels[p * image.channels + c], (2 * v + 257) / 514) << "pixel " << p << " channel " << c;
            }
        }
    }
}

// Raw samples against the colours read_image makes of the same corpus files.
TEST_F(ImageFileTest, RawSamplesAgreeWithColours) {
    const struct {
        const char* name;
        int channels;
        int bit_depth;
        int scale;  // 8-bit colour = sample * scale (0: sample / 257, rounded)
    } cases[] = {
        {"grey-1.png", 1, 1, 255}, {"grey-2.png", 1, 2, 85}, {"grey-4.png", 1, 4, 17}, {"grey-8.png", 1, 8, 1},
        {"grey-16.png", 1, 16, 0}, {"grey-alpha-8.png", 2, 8, 1}, {"rgb-8.png", 3, 8, 1}, {"rgb-16.png", 3, 16, 0},
        {"rgba-16.png", 4, 16, 0}, {"palette-8-alpha.png", 4, 8, 1}, {"palette-2.png", 3, 8, 1},
        {"rgb-8-interlaced.png", 3, 8, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = source_file(std::string("tests/corpus/png/") + c.name);
        PngSamples samples;
        ASSERT_TRUE(read_png_samples(path, samples, why_)) << why_;
        EXPECT_EQ(samples.channels, c.channels);
        EXPECT_EQ(samples.bit_depth, c.bit_depth);
        Image image;
        ASSERT_TRUE(read_image(path, image, why_)) << why_;
        ASSERT_EQ(samples.samples.size(), static_cast<std::size_t>(image.width) * image.height * c.channels);
        for (std::size_t p = 0; p < static_cast<std::size_t>(image.width) * image.height; ++p) {
            for (int k = 0; k < image.channels; ++k) {
                const int sample = c.channels <= 2 ? (k < 3 ? 0 : 1) : k;
                const unsigned v = samples.samples[p * c.channels + static_cast<std::size_t>(sample)];
                const unsigned colour = c.scale == 0 ? (2 * v + 257) / 514 : v * static_cast<unsigned>(c.scale);
                ASSERT_EQ(image.pixels[p * image.channels + k], colour) << "pixel " << p << " channel " << k;
            }
        }
    }
    PngSamples samples;
    EXPECT_FALSE(read_png_samples(source_file("tests/corpus/jpeg/baseline-420.jpg"), samples, why_));
    EXPECT_EQ(why_, "not a PNG file (it is a JPEG image)");
    EXPECT_FALSE(read_png_samples(source_file("tests/corpus/png/crc-idat.png"), samples, why_));
    EXPECT_EQ(why_, "bad checksum in PNG chunk IDAT");
    EXPECT_TRUE(samples.samples.empty());
}

TEST_F(ImageFileTest, ReadRgbImageDropsAlpha) {
    Image rgba;
    ASSERT_TRUE(read_image(source_file("tests/corpus/png/rgba-8.png"), rgba, why_)) << why_;
    ASSERT_EQ(rgba.channels, 4);
    RgbImage rgb;
    ASSERT_TRUE(read_rgb_image(source_file("tests/corpus/png/rgba-8.png"), rgb, why_)) << why_;
    ASSERT_EQ(rgb.pixels.size(), rgba.pixels.size() / 4 * 3);
    for (std::size_t p = 0; p < rgb.pixels.size() / 3; ++p) {
        ASSERT_TRUE(std::equal(&rgb.pixels[3 * p], &rgb.pixels[3 * p + 3], &rgba.pixels[4 * p])) << "pixel " << p;
    }
}

TEST_F(ImageFileTest, WritesBmpAndPngByTheExtension) {
    const Image image = random_image(5, 3, 3, 9);
    for (const char* name : {"a.png", "b.PNG", "c.bmp", "d.Bmp", "dotted.name.png"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(write(dir_ / name, image), "");
        const std::string bytes = read_file(dir_ / name);
        const bool png = std::string(name).find("png") != std::string::npos || std::string(name).find("PNG") != std::string::npos;
        EXPECT_EQ(bytes.substr(0, 2), png ? "\x89P" : "BM");
        Image read;
        ASSERT_TRUE(read_image(dir_ / name, read, why_)) << why_;
        EXPECT_TRUE(read.pixels == image.pixels);
    }
}

TEST_F(ImageFileTest, FailedWritesLeaveNothingBehind) {
    fs::create_directory(dir_ / "sub.png");
    write_file(dir_ / "plain", "a file");
    const Image rgb = random_image(4, 4, 3, 19);
    const Image rgba = random_image(4, 4, 4, 19);
    Image short_pixels = rgb;
    short_pixels.pixels.pop_back();
    Image two_channels = random_image(4, 4, 2, 19);
    Image empty = rgb;
    empty.width = 0;
    const struct {
        std::string target;
        const Image& image;
        const char* reason;
    } cases[] = {
        {dir_ / "out.jpg", rgb, "cannot write a .jpg file: only .png and .bmp are written"},
        {dir_ / "out", rgb, "cannot write: the file name has no extension; use .png or .bmp"},
        {dir_ / "sub.png/out", rgb, "cannot write: the file name has no extension; use .png or .bmp"},
        {dir_ / ".png", rgb, "cannot write: the file name has no extension; use .png or .bmp"},
        {dir_ / "alpha.bmp", rgba, "cannot write an image with an alpha channel as BMP (only 24-bit BMP files are "
                                   "written); use .png"},
        {dir_ / "two.png", two_channels, "cannot write an image of 2 channels as PNG (3 or 4 are supported)"},
        {dir_ / "two.bmp", two_channels, "cannot write an image of 2 channels as BMP (3 are needed)"},
        {dir_ / "short.png", short_pixels, "cannot write: the image has 47 bytes of pixels, its size needs 48"},
        {dir_ / "short.bmp", short_pixels, "cannot write: the image has 47 bytes of pixels, its size needs 48"},
        {dir_ / "empty.png", empty, "cannot write a 0x4 image: width and height must be at least 1"},
        {dir_ / "missing/out.png", rgb, "cannot create: No such file or directory"},
        {dir_ / "plain/out.png", rgba, "cannot create: Not a directory"},
        {dir_ / "sub.png", rgb, "cannot replace: Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(write(c.target, c.image, false), "");
        EXPECT_EQ(why_, c.reason);
        EXPECT_EQ(listing(dir_.path()), (std::vector<std::string>{"plain", "sub.png"}));
        EXPECT_TRUE(listing(dir_ / "sub.png").empty());
    }
    const std::vector<std::uint16_t> samples(16, 7);
    const struct {
        int channels;
        const char* reason;
    } deep_cases[] = {
        {0, "cannot write 0 samples a pixel as PNG (1 to 4 are supported)"},
        {5, "cannot write 5 samples a pixel as PNG (1 to 4 are supported)"},
    };
    for (const auto& c : deep_cases) {
        EXPECT_FALSE(write_png16(dir_ / "deep.png", samples.data(), 2, 2, c.channels, why_));
        EXPECT_EQ(why_, c.reason);
    }
    EXPECT_FALSE(write_png16(dir_ / "missing/deep.png", samples.data(), 2, 2, 4, why_));
    EXPECT_EQ(why_, "cannot create: No such file or directory");
    EXPECT_EQ(listing(dir_.path()), (std::vector<std::string>{"plain", "sub.png"}));
}

// A write cut short (here by the file size limit, which binds root too) must not disturb the file already there.
TEST_F(ImageFileTest, FailedPngWriteKeepsTheEarlierFile) {
    write(dir_ / "keep.png", random_image(3, 3, 3, 23));
    const std::string before = read_file(dir_ / "keep.png");

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1000;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string printed = write(dir_ / "keep.png", random_image(100, 100, 4, 29), false);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(printed, "");
    EXPECT_EQ(why_, "cannot write: File too large");
    EXPECT_EQ(read_file(dir_ / "keep.png"), before);
    EXPECT_EQ(listing(dir_.path()), std::vector<std::string>{"keep.png"});
}

// Another decoder must see the same pixels: ImageMagick (/usr/bin/convert), when it is installed.
TEST_F(ImageFileTest, ImageMagickReadsTheSamePixels) {
    if (!command_succeeds("/usr/bin/convert -version")) {
        GTEST_SKIP() << "ImageMagick is not installed; the plain decoder above checks the same";
    }
    for (const int channels : {3, 4}) {
        SCOPED_TRACE(channels);
        const Image original = random_image(23, 9, channels, 31 + channels);
        write(dir_ / "check.png", original);
        const std::string format = channels == 3 ? "RGB" : "RGBA";
        ASSERT_TRUE(command_succeeds("/usr/bin/convert " + shell_quoted(dir_ / "check.png") + " -depth 8 " + format +
                                     ":" + shell_quoted(dir_ / "check.raw")));
        const std::string raw = read_file(dir_ / "check.raw");
        EXPECT_TRUE(Bytes(raw.begin(), raw.end()) == original.pixels);
    }
}

}  // namespace
