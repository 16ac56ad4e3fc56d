#include "image/bmp_file.h"
#include "image/rgb_image.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t get_u32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

// Stores `value` little-endian in `size` bytes.
void put(Bytes& bytes, std::size_t at, std::uint32_t value, int size = 4) {
    for (int i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

RgbImage random_image(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    RgbImage image{width, height, Bytes(static_cast<std::size_t>(width) * height * 3)};
    std::generate(image.pixels.begin(), image.pixels.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return image;
}

// Encodes a BMP by hand, independently of write_bmp: an `info_bytes` long info header, rows at `offset` (the gap
// before them filled with 0xEE), stored top-down when `top_down`, padding bytes 0xCC.
Bytes encode_bmp(const RgbImage& image, std::uint32_t info_bytes = 40, std::uint32_t offset = 54,
                 bool top_down = false) {
    const std::size_t stride = (image.width * 3 + 3) & ~3;
    Bytes file(offset + stride * image.height, 0xCC);
    std::fill(file.begin(), file.begin() + offset, 0xEE);
    std::fill(file.begin(), file.begin() + 14 + info_bytes, 0);
    file[0] = 'B';
    file[1] = 'M';
    put(file, 2, static_cast<std::uint32_t>(file.size()));
    put(file, 10, offset);
    put(file, 14, info_bytes);
    put(file, 18, image.width);
    put(file, 22, top_down ? -image.height : image.height);
    put(file, 26, 1, 2);
    put(file, 28, 24, 2);
    for (int r = 0; r < image.height; ++r) {
        const int y = top_down ? r : image.height - 1 - r;
        for (int i = 0; i < image.width * 3; ++i) {  // B, G, R: each pixel's bytes reversed
            file[offset + r * stride + i] = image.pixels[y * image.width * 3 + i / 3 * 3 + 2 - i % 3];
        }
    }
    return file;
}

class BmpTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "bmp_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    std::vector<std::string> listing(const std::string& directory) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs read_bmp or write_bmp and returns what it printed (nothing: only the program prints).
    std::string read(const std::string& file, Image& image, bool expect_ok, const ImageSizeCheck& check = {}) {
        testing::internal::CaptureStdout();
        ImageInput input;
        EXPECT_EQ(input.open(file, why_) && read_bmp(input, image, why_, check), expect_ok) << why_;
        return testing::internal::GetCapturedStdout();
    }
    std::string write(const std::string& file, const RgbImage& image, bool expect_ok = true) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(write_bmp(file, image.pixels.data(), image.width, image.height, why_), expect_ok) << why_;
        return testing::internal::GetCapturedStdout();
    }

    std::string dir_;
    std::string why_;
};

TEST_F(BmpTest, WritesTheFiveByThreeExampleByteForByte) {
    RgbImage image{5, 3, Bytes(45)};
    std::iota(image.pixels.begin(), image.pixels.end(), 0);
    EXPECT_EQ(write(path("small.bmp"), image), "");
    const Bytes file = read_file(path("small.bmp"));
    ASSERT_EQ(file.size(), 102u);
    const Bytes header = {0x42, 0x4D, 0x66, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 0x28, 0, 0, 0, 5, 0, 0, 0, 3,
                          0,    0,    0,    1, 0, 0x18, 0, 0, 0, 0, 0, 0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          0,    0,    0,    0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 54), header);
    // The first stored row is the bottom row (image bytes 30..44), B, G, R per pixel; the last is the top row.
    EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 60), (Bytes{32, 31, 30, 35, 34, 33}));
    EXPECT_EQ(Bytes(file.begin() + 86, file.begin() + 89), (Bytes{2, 1, 0}));
    EXPECT_EQ(file[54 + 15] | file[54 + 31] | file[54 + 47], 0) << "padding bytes";
}

TEST_F(BmpTest, RowsArePaddedToFourBytes) {
    const struct { int width, height; std::uint32_t stride; } cases[] = {
        {1, 2, 4}, {2, 2, 8}, {3, 2, 12}, {4, 2, 12}, {256, 256, 768}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        write(path("stride.bmp"), random_image(c.width, c.height, 7));
        const Bytes file = read_file(path("stride.bmp"));
        const std::uint32_t image_bytes = c.stride * c.height;
        EXPECT_EQ(file.size(), 54 + image_bytes);
        EXPECT_EQ(get_u32(file, 2), 54 + image_bytes);
        EXPECT_EQ(get_u32(file, 34), image_bytes);
    }
}

TEST_F(BmpTest, RoundTripIsExactAndLeavesOnlyTheFile) {
    const int sizes[][2] = {{1, 1}, {1, 7}, {5, 3}, {7, 2}, {64, 33}, {3, 50}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
        const RgbImage original = random_image(size[0], size[1], size[0] * 100 + size[1]);
        write(path("round.bmp"), original);
        Image loaded;
        EXPECT_EQ(read(path("round.bmp"), loaded, true), "");
        EXPECT_EQ(loaded.channels, 3);
        EXPECT_EQ(loaded.width, original.width);
        EXPECT_EQ(loaded.height, original.height);
        EXPECT_EQ(loaded.pixels, original.pixels);
        EXPECT_EQ(listing(dir_), std::vector<std::string>{"round.bmp"});
    }
}

TEST_F(BmpTest, ReadsRowsWhereTheHeaderSaysTheyStart) {
    const RgbImage image = random_image(5, 4, 11);  // stride 16: one padding byte per row
    const struct {
        const char* what;
        std::uint32_t info_bytes, rows_at;
        bool top_down;
        std::uint32_t offset_field;  // 0: rows_at
        std::size_t trim;            // bytes cut from the end
    } cases[] = {
        {"large info header, offset 138", 124, 138, false, 0, 0},
        {"offset 122", 108, 122, false, 0, 0},
        {"gap after a plain header", 40, 70, false, 0, 0},
        {"top-down rows", 40, 54, true, 0, 0},
        {"top-down rows after a large header", 124, 138, true, 0, 0},
        {"offset below a plain header", 40, 54, false, 14, 0},
        {"offset 53", 40, 54, false, 53, 0},
        {"last row without its padding", 40, 54, false, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = encode_bmp(image, c.info_bytes, c.rows_at, c.top_down);
        if (c.offset_field != 0) {
            put(file, 10, c.offset_field);
        }
        file.resize(file.size() - c.trim);
        write_file(path("in.bmp"), file);
        Image loaded;
        read(path("in.bmp"), loaded, true);
        EXPECT_EQ(loaded.width, 5);
        EXPECT_EQ(loaded.height, 4);
        EXPECT_EQ(loaded.pixels, image.pixels);
    }
}

// Each case damages a valid 4 x 2 file; the reader must refuse it quietly and leave the image alone.
TEST_F(BmpTest, RefusesFilesItCannotRead) {
    const Bytes good = encode_bmp(random_image(4, 2, 13));  // 54 + 2 x 12 bytes
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
        const char* reason;  // a part of the expected reason
    } cases[] = {
        {"wrong signature", [](Bytes& f) { f[0] = 'M'; }, "not a BMP file (it does not start with \"BM\")"},
        {"empty file", [](Bytes& f) { f.clear(); }, "too short for a BMP header: it has 0 bytes"},
        {"truncated header", [](Bytes& f) { f.resize(30); }, "too short for a BMP header: it has 30 bytes"},
        {"one byte", [](Bytes& f) { f.resize(1); }, "too short for a BMP header: it has 1 byte,"},
        {"12-byte info header", [](Bytes& f) { put(f, 14, 12); }, "info header is 12 bytes long"},
        {"32 bits per pixel", [](Bytes& f) { put(f, 28, 32, 2); }, "the file has 32 bits per pixel"},
        {"8 bits per pixel", [](Bytes& f) { put(f, 28, 8, 2); }, "the file has 8 bits per pixel"},
        {"1 bit per pixel", [](Bytes& f) { put(f, 28, 1, 2); }, "the file has 1 bit per pixel"},
        {"compression 1", [](Bytes& f) { put(f, 30, 1); }, "not supported (compression method 1)"},
        {"width 0", [](Bytes& f) { put(f, 18, 0); }, "width must be at least 1, but the file says 0"},
        {"width -1", [](Bytes& f) { put(f, 18, -1); }, "width must be at least 1, but the file says -1"},
        {"height 0", [](Bytes& f) { put(f, 22, 0); }, "height is 0"},
        {"truncated rows", [](Bytes& f) { f.resize(70); }, "too short: its header promises 78 bytes, it has 70"},
        {"last row short of pixels", [](Bytes& f) { f.resize(77); }, "promises 78 bytes, it has 77"},
        {"offset past the end", [](Bytes& f) { put(f, 10, 100000); }, "offset 100000 is past the end of the file (78"},
        {"offset inside a larger header", [](Bytes& f) { put(f, 14, 56); put(f, 10, 60); },
         "offset 60 points inside the 70-byte header"},
        {"info header longer than the file", [](Bytes& f) { put(f, 14, 124); put(f, 10, 138); },
         "the info header claims 124 bytes, more than the file holds (78 bytes in all)"},
        {"no room for pixels", [](Bytes& f) { f.resize(54); }, "the file ends where its pixel data should start"},
        {"100000 x 100000", [](Bytes& f) { put(f, 18, 100000); put(f, 22, 100000); }, "too large: 100000x100000"},
        {"huge width", [](Bytes& f) { put(f, 18, 0x7FFFFFFF); put(f, 22, 1); }, "too large: 2147483647x1"},
        {"most negative height", [](Bytes& f) { put(f, 22, 0x80000000); }, "too large: 4x2147483648"},
        {"largest size of all", [](Bytes& f) { put(f, 18, 0x7FFFFFFF); put(f, 22, 0x80000000); },
         "would take 13835058048839712768 bytes"},
        {"huge top-down height", [](Bytes& f) { put(f, 22, -300000000); }, "too large: 4x300000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = good;
        c.damage(file);
        write_file(path("bad.bmp"), file);
        Image image{7, 1, 3, Bytes(21, 0x55)};
        EXPECT_EQ(read(path("bad.bmp"), image, false), "");
        EXPECT_NE(why_.find(c.reason), std::string::npos) << why_;
        EXPECT_TRUE(image.width == 7 && image.height == 1 && image.pixels == Bytes(21, 0x55)) << "image changed";
    }
    Image image;
    EXPECT_EQ(read(path("missing.bmp"), image, false), "");
    EXPECT_EQ(why_, "cannot open: No such file or directory");
    EXPECT_EQ(read(dir_, image, false), "");
    EXPECT_EQ(why_, "cannot read: Is a directory");
}

TEST_F(BmpTest, SizeCheckCanRefuseBeforeLoading) {
    const RgbImage picture = random_image(6, 5, 17);
    write_file(path("in.bmp"), encode_bmp(picture, 40, 54, /*top_down=*/true));
    std::string seen;
    const ImageSizeCheck refuse = [&](int width, int height) {
        seen = std::to_string(width) + "x" + std::to_string(height);
        return std::string("the exemplar is too large");
    };
    Image image;
    EXPECT_EQ(read(path("in.bmp"), image, false, refuse), "");
    EXPECT_EQ(why_, "the exemplar is too large");
    EXPECT_EQ(seen, "6x5");
    EXPECT_TRUE(image.pixels.empty());

    read(path("in.bmp"), image, true, [](int, int) { return std::string(); });
    EXPECT_EQ(image.pixels, picture.pixels);
}

// The reader's own limit, 2^31 - 1 bytes of pixels, is far above what a run takes, but it is what keeps sizes
// in range for everything after it. A sparse file holds a picture at the limit without taking the space.
TEST_F(BmpTest, LargestPictureTheReaderAccepts) {
    const struct { std::int32_t width, height; const char* refusal; } cases[] = {
        {715'827'882, 1, nullptr},  // 2,147,483,646 bytes
        {715'827'883, 1, "the image is too large: 715827883x1 pixels would take 2147483649 bytes, at most "
                         "2147483647 are supported"},
        {1, 715'827'882, nullptr},
        {1, -715'827'883, "the image is too large: 1x715827883"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        Bytes header = encode_bmp(random_image(1, 1, 3));
        header.resize(54);
        put(header, 18, static_cast<std::uint32_t>(c.width));
        put(header, 22, static_cast<std::uint32_t>(c.height));
        write_file(path("huge.bmp"), header);
        const std::int64_t height = c.height < 0 ? -std::int64_t{c.height} : c.height;
        fs::resize_file(path("huge.bmp"), 54 + ((std::int64_t{c.width} * 3 + 3) & ~3) * height);
        std::string seen;
        const ImageSizeCheck stop = [&](int width, int rows) {
            seen = std::to_string(width) + "x" + std::to_string(rows);
            return std::string("stopped before loading");
        };
        Image image;
        read(path("huge.bmp"), image, false, stop);
        if (c.refusal == nullptr) {
            EXPECT_EQ(why_, "stopped before loading");
            EXPECT_EQ(seen, std::to_string(c.width) + "x" + std::to_string(height));
        } else {
            EXPECT_EQ(why_.rfind(c.refusal, 0), 0u) << why_;
            EXPECT_EQ(seen, "");
        }
    }
}

TEST_F(BmpTest, FailedWritesLeaveNothingBehind) {
    fs::create_directory(path("sub"));
    write_file(path("plain"), Bytes{1, 2, 3});
    const struct { std::string target; int width, height; const char* reason; } cases[] = {
        {path("missing/out.bmp"), 4, 4, "cannot create: No such file or directory"},
        {path("plain/out.bmp"), 4, 4, "cannot create: Not a directory"},
        {path("sub"), 4, 4, "cannot replace: Is a directory"},
        {path("zero.bmp"), 0, 4, "width and height must be at least 1"},
        {path("flat.bmp"), 4, -1, "width and height must be at least 1"},
        {path("huge.bmp"), 50000, 50000, "cannot write a 50000x50000 image"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        RgbImage image = random_image(4, 4, 19);
        image.width = c.width;
        image.height = c.height;
        EXPECT_EQ(write(c.target, image, false), "");
        EXPECT_NE(why_.find(c.reason), std::string::npos) << why_;
        EXPECT_EQ(listing(dir_), (std::vector<std::string>{"plain", "sub"}));
        EXPECT_TRUE(listing(path("sub")).empty());
    }
}

// A write cut short (here by the file size limit, which binds root too) must not disturb the file already there.
TEST_F(BmpTest, FailedWriteKeepsTheEarlierFile) {
    write(path("keep.bmp"), random_image(3, 3, 23));
    const Bytes before = read_file(path("keep.bmp"));

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1000;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string printed = write(path("keep.bmp"), random_image(100, 100, 29), false);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(printed, "");
    EXPECT_EQ(why_, "cannot write: File too large");
    EXPECT_EQ(read_file(path("keep.bmp")), before);
    EXPECT_EQ(listing(dir_), std::vector<std::string>{"keep.bmp"});
}

}  // namespace
