// The corpus of odd and broken PNG and JPEG files in tests/corpus/png and tests/corpus/jpeg, and of files in
// other formats in tests/corpus/other (made by scripts/make-image-corpus.py), run through read_image, its twin
// for memory and the real program. Each valid file reads exactly like a plain file of the corpus, and each
// plain file like its twin in tests/corpus/twins: a 24-bit BMP (and raw alpha samples) written by ImageMagick,
// for JPEG also what djpeg and Pillow decode, as the script checks. Each broken file is refused with its
// reason: by the program in one line naming the file, with nothing loaded and nothing written.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string kCorpus = source_file("tests/corpus");
// A run that any readable 17 x 13 exemplar passes: one level, half-size 1.
const std::string kRun = " out 8 8 1 1";
// What the program says of a file that claims 20000 x 20000 pixels: its own size check, asked before the reader
// decodes anything.
const char* const kExemplarTooLarge =
    "the exemplar is too large: 20000x20000 with 1 level needs a pyramid of 1200000000 bytes, at most 3145728 are "
    "allowed (a square exemplar may be up to 1024x1024): every search compares against nearly every exemplar pixel";

struct CorpusFile {
    const char* name;                       // under tests/corpus
    const char* like;                       // the plain file it reads like (itself if plain); nullptr: refused
    const char* refusal = nullptr;          // read_image's reason
    const char* program_refusal = nullptr;  // the program's, where its size check speaks first
};

// Each refusal: one file, its reason.
CorpusFile refused(const char* name, const char* refusal, const char* program_refusal = nullptr) {
    return {name, nullptr, refusal, program_refusal};
}

const std::vector<CorpusFile> kFiles = {
    // PNG, plain: every colour type and bit depth, with and without a transparency table.
    {"png/rgb-8.png", "png/rgb-8.png"},
    {"png/rgb-16.png", "png/rgb-16.png"},  // samples with low bytes of their own: rounded, v / 257
    {"png/rgba-8.png", "png/rgba-8.png"},
    {"png/rgba-16.png", "png/rgba-16.png"},
    {"png/grey-1.png", "png/grey-1.png"},
    {"png/grey-2.png", "png/grey-2.png"},
    {"png/grey-4.png", "png/grey-4.png"},
    {"png/grey-8.png", "png/grey-8.png"},
    {"png/grey-16.png", "png/grey-16.png"},
    {"png/grey-alpha-8.png", "png/grey-alpha-8.png"},
    {"png/grey-alpha-16.png", "png/grey-alpha-16.png"},
    {"png/palette-1.png", "png/palette-1.png"},
    {"png/palette-2.png", "png/palette-2.png"},
    {"png/palette-4.png", "png/palette-4.png"},
    {"png/palette-8-alpha.png", "png/palette-8-alpha.png"},
    {"png/grey-8-trns.png", "png/grey-8-trns.png"},
    {"png/grey-2-trns.png", "png/grey-2-trns.png"},
    {"png/grey-16-trns.png", "png/grey-16-trns.png"},
    {"png/rgb-8-trns.png", "png/rgb-8-trns.png"},
    {"png/rgb-16-trns.png", "png/rgb-16-trns.png"},
    // PNG, odd but valid: interlacing, every row filter, how the data is split and compressed, chunks that change
    // nothing here (gamma, colour profiles, text, unknown ones).
    {"png/rgb-8-interlaced.png", "png/rgb-8.png"},
    {"png/rgb-16-interlaced.png", "png/rgb-16.png"},
    {"png/rgba-8-interlaced.png", "png/rgba-8.png"},
    {"png/grey-2-interlaced.png", "png/grey-2.png"},
    {"png/grey-alpha-16-interlaced.png", "png/grey-alpha-16.png"},
    {"png/palette-4-interlaced.png", "png/palette-4.png"},
    {"png/rgb-16-exact.png", "png/rgb-8.png"},
    {"png/palette-8.png", "png/rgb-8.png"},
    {"png/palette-8-interlaced.png", "png/rgb-8.png"},
    {"png/rgb-8-every-filter.png", "png/rgb-8.png"},
    {"png/rgb-8-interlaced-every-filter.png", "png/rgb-8.png"},
    {"png/grey-4-every-filter.png", "png/grey-4.png"},
    {"png/rgba-16-every-filter.png", "png/rgba-16.png"},
    {"png/rgb-8-stored.png", "png/rgb-8.png"},
    {"png/rgb-8-idat-split.png", "png/rgb-8.png"},
    {"png/rgb-8-empty-idat.png", "png/rgb-8.png"},
    {"png/rgb-8-gamma-1.png", "png/rgb-8.png"},
    {"png/rgb-8-gamma-srgb-chrm.png", "png/rgb-8.png"},
    {"png/rgb-8-iccp.png", "png/rgb-8.png"},
    {"png/rgb-8-iccp-broken.png", "png/rgb-8.png"},
    {"png/rgb-8-sbit.png", "png/rgb-8.png"},
    {"png/rgb-8-text.png", "png/rgb-8.png"},
    {"png/rgb-8-unknown-chunk.png", "png/rgb-8.png"},
    {"png/rgb-8-trailing-bytes.png", "png/rgb-8.png"},
    {"png/idat-after-iend.png", "png/rgb-8.png"},
    {"png/imagemagick-rgb.png", "png/rgb-8.png"},
    {"png/imagemagick-palette.png", "png/rgb-8.png"},
    {"png/imagemagick-interlaced.png", "png/rgb-8.png"},
    {"png/imagemagick-48.png", "png/rgb-8.png"},
    {"png/imagemagick-rgba.png", "png/rgba-8.png"},
    {"png/imagemagick-grey.png", "png/grey-8.png"},
    {"png/pillow-rgb.png", "png/rgb-8.png"},
    // PNG, cut short.
    refused("png/cut-in-signature.png", "the file ends early (PNG data cut short)"),
    refused("png/cut-after-signature.png", "the file ends early (PNG data cut short)"),
    refused("png/cut-in-ihdr.png", "the file ends early (PNG data cut short)"),
    refused("png/cut-after-ihdr.png", "the file ends early (PNG data cut short)"),
    refused("png/cut-in-idat.png", "the file ends early (PNG data cut short)"),
    refused("png/cut-before-iend.png", "the file ends early (PNG data cut short)"),
    refused("png/cut-in-iend.png", "the file ends early (PNG data cut short)"),
    // PNG, damaged.
    refused("png/signature-text-mode.png", "the PNG signature is damaged, as by a transfer in text mode"),
    refused("png/crc-ihdr.png", "bad checksum in PNG chunk IHDR"),
    refused("png/crc-idat.png", "bad checksum in PNG chunk IDAT"),
    refused("png/crc-iend.png", "bad checksum in PNG chunk IEND"),
    refused("png/crc-text.png", "bad checksum in PNG chunk tEXt"),
    refused("png/crc-gamma.png", "bad checksum in PNG chunk gAMA"),
    refused("png/zlib-header.png", "damaged PNG chunk IDAT (incorrect header check)"),
    refused("png/zlib-data.png", "damaged PNG chunk IDAT (invalid code -- missing end-of-block)"),
    refused("png/zlib-checksum.png", "damaged PNG chunk IDAT (incorrect data check)"),
    refused("png/zlib-cut.png", "the PNG image data ends before the last row"),
    refused("png/rows-missing.png", "the PNG image data ends before the last row"),
    refused("png/rows-extra.png", "the PNG image data goes on after the last row"),
    refused("png/filter-type-5.png", "damaged PNG file (bad adaptive filter value)"),
    refused("png/idat-missing.png", "damaged PNG chunk IEND (out of place)"),
    refused("png/width-zero.png", "the width must be at least 1, but the file says 0"),
    refused("png/height-zero.png", "the height must be at least 1, but the file says 0"),
    refused("png/width-2147483648.png", "a length or size in the PNG file is larger than PNG allows"),
    refused("png/claims-100000x100000.png",
            "the image is too large: 100000x100000 pixels would take 30000000000 bytes, at most 2147483647 are "
            "supported"),
    refused("png/claims-2147483647x2147483647.png",
            "the image is too large: 2147483647x2147483647 pixels would take 13835058042397261827 bytes, at most "
            "2147483647 are supported"),
    refused("png/claims-20000x20000.png", "the PNG image data ends before the last row", kExemplarTooLarge),
    refused("png/claims-300000000x1-rgba-16.png",
            "the image is too large: a row of 300000000 pixels is wider than this reader decodes (at most 268435455 "
            "pixels)"),
    refused("png/depth-4-rgb.png", "the PNG header has a bit depth its colour type does not allow"),
    refused("png/depth-3.png", "the PNG header has an invalid bit depth"),
    refused("png/colour-type-5.png", "the PNG header has an invalid colour type"),
    refused("png/interlace-method-2.png", "the PNG header has an unknown interlace method"),
    refused("png/compression-method-1.png", "the PNG header has an unknown compression method"),
    refused("png/filter-method-1.png", "the PNG header has an unknown filter method"),
    refused("png/palette-missing.png", "the PNG palette image has no palette (PLTE chunk)"),
    refused("png/palette-index-too-large.png", "the PNG image uses palette entry 123, but its palette has only 100 entries"),
    refused("png/palette-too-long.png", "damaged PNG chunk PLTE (invalid)"),
    refused("png/palette-in-grey.png", "the grey PNG image has a palette (PLTE chunk), which grey images may not have"),
    refused("png/trns-wrong-length.png", "damaged PNG chunk tRNS (invalid)"),
    refused("png/trns-on-alpha.png", "damaged PNG chunk tRNS (invalid with alpha channel)"),
    refused("png/critical-chunk-unknown.png", "the PNG file has a critical chunk CRIT that this reader does not know"),
    refused("png/chunk-length-huge.png", "the PNG chunk tEXt is larger than this reader accepts (67108864 bytes)"),
    refused("png/chunk-length-too-large.png", "a length or size in the PNG file is larger than PNG allows"),
    refused("png/chunk-name-bad.png", "damaged PNG chunk ID[00]T (invalid chunk type)"),
    refused("png/ihdr-not-first.png", "the PNG file does not start with its header chunk (IHDR)"),
    refused("png/ihdr-twice.png", "damaged PNG chunk IHDR (out of place)"),
    refused("png/ihdr-long.png", "damaged PNG chunk IHDR (invalid)"),
    refused("png/iend-with-data.png", "damaged PNG chunk IEND (invalid)"),

    // JPEG, plain: chroma subsampled 4:2:0, 4:2:2 and not at all, grey, and RGB stored without the YCbCr transform.
    {"jpeg/baseline-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/baseline-422.jpg", "jpeg/baseline-422.jpg"},
    {"jpeg/baseline-444.jpg", "jpeg/baseline-444.jpg"},
    {"jpeg/grey.jpg", "jpeg/grey.jpg"},
    {"jpeg/rgb-no-transform.jpg", "jpeg/rgb-no-transform.jpg"},
    // JPEG, odd but valid: lossless rewrites (the same DCT coefficients) and segments that change nothing here.
    {"jpeg/progressive-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/progressive-444.jpg", "jpeg/baseline-444.jpg"},
    {"jpeg/progressive-grey.jpg", "jpeg/grey.jpg"},
    {"jpeg/restart-every-mcu-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/restart-every-row-444.jpg", "jpeg/baseline-444.jpg"},
    {"jpeg/arithmetic-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/arithmetic-progressive-422.jpg", "jpeg/baseline-422.jpg"},
    {"jpeg/optimized-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/scans-100.jpg", "jpeg/baseline-444.jpg"},
    {"jpeg/exif-rotated-420.jpg", "jpeg/baseline-420.jpg"},  // the orientation tag is not applied
    {"jpeg/comment-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/icc-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/no-jfif-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/fill-bytes-420.jpg", "jpeg/baseline-420.jpg"},
    {"jpeg/trailing-bytes-420.jpg", "jpeg/baseline-420.jpg"},
    // JPEG, cut short: refused rather than filled with grey.
    refused("jpeg/cut-after-soi.jpg", "the file ends early (JPEG data cut short)"),
    refused("jpeg/cut-in-header.jpg", "the file ends early (JPEG data cut short)"),
    refused("jpeg/cut-after-header.jpg", "the file ends early (JPEG data cut short)"),
    refused("jpeg/cut-mid-scan.jpg", "the file ends early (JPEG data cut short)"),
    refused("jpeg/cut-before-eoi.jpg", "the file ends early (JPEG data cut short)"),
    refused("jpeg/cut-progressive.jpg", "the file ends early (JPEG data cut short)"),
    refused("jpeg/not-jpeg-after-soi.jpg", "the file ends early (JPEG data cut short)"),
    // JPEG, damaged or unsupported: the library's warnings about corrupt data refuse the file too.
    refused("jpeg/cmyk.jpg", "CMYK JPEG images are not supported; convert it to RGB first"),
    refused("jpeg/ycck.jpg", "CMYK JPEG images are not supported; convert it to RGB first"),
    refused("jpeg/huffman-bad.jpg", "damaged JPEG data: bad Huffman code"),
    refused("jpeg/marker-mid-scan.jpg", "damaged JPEG data: premature end of data segment"),
    refused("jpeg/restart-out-of-order.jpg", "damaged JPEG data: found marker 0xd5 instead of RST0"),
    refused("jpeg/extraneous-bytes.jpg", "damaged JPEG data: 4 extraneous bytes before marker 0xc0"),
    refused("jpeg/width-zero.jpg", "the JPEG header gives the image no pixels (a width or height of 0)"),
    refused("jpeg/height-zero.jpg", "the JPEG header gives the image no pixels (a width or height of 0)"),
    refused("jpeg/claims-65500x65500.jpg",
            "the image is too large: 65500x65500 pixels would take 12870750000 bytes, at most 2147483647 are "
            "supported"),
    refused("jpeg/claims-65535x65535.jpg", "the image is too large: this JPEG decoder takes at most 65500 pixels a side"),
    refused("jpeg/claims-20000x20000.jpg", "damaged JPEG data: premature end of data segment", kExemplarTooLarge),
    refused("jpeg/claims-20000x20000-progressive.jpg",
            "not enough memory to decode this JPEG file (it would need more than 1073741824 bytes of working memory)",
            kExemplarTooLarge),
    refused("jpeg/precision-12.jpg", "unsupported JPEG file: unsupported JPEG data precision 12"),
    refused("jpeg/lossless.jpg", "unsupported JPEG file: unsupported JPEG process: SOF type 0xc3"),
    refused("jpeg/no-image.jpg", "damaged JPEG file: JPEG datastream contains no image"),
    refused("jpeg/marker-length-bad.jpg", "damaged JPEG file: bogus marker length"),
    refused("jpeg/sampling-bad.jpg", "damaged JPEG file: sampling factors too large for interleaved scan"),
    refused("jpeg/scan-before-frame.jpg", "damaged JPEG file: invalid JPEG file structure: SOS before SOF"),

    // Other formats, recognised by their first bytes whatever the name.
    {"other/png-named.jpg", "png/rgb-8.png"},
    {"other/jpeg-named.png", "jpeg/baseline-420.jpg"},
    refused("other/empty.png", "empty file"),
    refused("other/gif-87a.gif", "not a BMP, PNG or JPEG file (it is a GIF image)"),
    refused("other/gif-89a.gif", "not a BMP, PNG or JPEG file (it is a GIF image)"),
    refused("other/tiff-little-endian.tif", "not a BMP, PNG or JPEG file (it is a TIFF image)"),
    refused("other/tiff-big-endian.tif", "not a BMP, PNG or JPEG file (it is a TIFF image)"),
    refused("other/webp.webp", "not a BMP, PNG or JPEG file (it is a WebP image)"),
    refused("other/heic.heic", "not a BMP, PNG or JPEG file (it is a HEIF image)"),
    refused("other/avif.avif", "not a BMP, PNG or JPEG file (it is an AVIF image)"),
    refused("other/text.png", "not a BMP, PNG or JPEG file (it is text)"),
    refused("other/utf8-text.jpg", "not a BMP, PNG or JPEG file (it is text)"),
    refused("other/binary.png", "not a BMP, PNG or JPEG file (the format is not recognised)"),
    refused("other/one-byte.jpg", "not a BMP, PNG or JPEG file (the format is not recognised)"),
    refused("other/png-signature-start.png", "not a BMP, PNG or JPEG file (the format is not recognised)"),
};

std::string corpus(const std::string& name) { return kCorpus + "/" + name; }

// "png/rgb-8.png" -> tests/corpus/twins/png/rgb-8 (add .bmp or .alpha).
std::string twin_stem(const std::string& name) {
    return kCorpus + "/twins/" + fs::path(name).parent_path().string() + "/" + fs::path(name).stem().string();
}

bool is_plain(const CorpusFile& file) { return file.like != nullptr && std::string(file.like) == file.name; }

Image read_or_fail(const std::string& path) {
    Image image;
    std::string why;
    EXPECT_TRUE(read_image(path, image, why)) << path << ": " << why;
    return image;
}

// The RGB samples of an image, without alpha.
std::vector<std::uint8_t> colours_of(const Image& image) {
    std::vector<std::uint8_t> colours;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        if (image.channels != 4 || i % 4 != 3) {
            colours.push_back(image.pixels[i]);
        }
    }
    return colours;
}

std::vector<std::uint8_t> alpha_of(const Image& image) {
    std::vector<std::uint8_t> alpha;
    for (std::size_t i = 3; image.channels == 4 && i < image.pixels.size(); i += 4) {
        alpha.push_back(image.pixels[i]);
    }
    return alpha;
}

std::string run_arguments(const std::string& path) { return shell_quoted(path) + kRun; }

TEST(ImageCorpus, EveryFileIsListed) {
    std::set<std::string> listed;
    std::set<std::string> plain;
    for (const CorpusFile& file : kFiles) {
        EXPECT_TRUE(listed.insert(file.name).second) << file.name << " is listed twice";
        if (is_plain(file)) {
            plain.insert(file.name);
        }
    }
    for (const CorpusFile& file : kFiles) {
        EXPECT_TRUE(file.like == nullptr || plain.count(file.like) == 1) << file.name << ": no plain file " << file.like;
        EXPECT_EQ(file.like == nullptr, file.refusal != nullptr) << file.name;
    }
    std::set<std::string> present;
    std::set<std::string> twins;
    for (const char* folder : {"png", "jpeg", "other"}) {
        for (const auto& entry : fs::directory_iterator(corpus(folder))) {
            present.insert(std::string(folder) + "/" + entry.path().filename().string());
        }
    }
    for (const char* folder : {"png", "jpeg"}) {
        for (const auto& entry : fs::directory_iterator(corpus(std::string("twins/") + folder))) {
            twins.insert(entry.path().string());
        }
    }
    EXPECT_EQ(present, listed);
    std::set<std::string> expected_twins;
    for (const std::string& name : plain) {
        expected_twins.insert(twin_stem(name) + ".bmp");
        if (fs::exists(twin_stem(name) + ".alpha")) {
            expected_twins.insert(twin_stem(name) + ".alpha");
        }
    }
    EXPECT_EQ(twins, expected_twins);
}

TEST(ImageCorpus, PlainFilesReadLikeTheirTwins) {
    for (const CorpusFile& file : kFiles) {
        if (!is_plain(file)) {
            continue;
        }
        SCOPED_TRACE(file.name);
        const Image image = read_or_fail(corpus(file.name));
        const Image twin = read_or_fail(twin_stem(file.name) + ".bmp");
        EXPECT_EQ(image.width, 17);
        EXPECT_EQ(image.height, 13);
        EXPECT_TRUE(colours_of(image) == twin.pixels) << "colours differ from the twin";
        const bool has_alpha = fs::exists(twin_stem(file.name) + ".alpha");
        EXPECT_EQ(image.channels, has_alpha ? 4 : 3);
        if (has_alpha) {
            const std::string alpha = read_file(twin_stem(file.name) + ".alpha");
            EXPECT_TRUE(alpha_of(image) == std::vector<std::uint8_t>(alpha.begin(), alpha.end())) << "alpha differs";
        }
    }
}

TEST(ImageCorpus, EachFileIsReadLikeItsPlainFileOrRefusedCleanly) {
    std::map<std::string, std::string> outputs;  // the program's texture from each plain file's twin
    for (const CorpusFile& file : kFiles) {
        if (is_plain(file)) {
            const ScratchDir dir;
            const ProgramRun run = run_texsynth(dir.path(), run_arguments(twin_stem(file.name) + ".bmp"));
            ASSERT_EQ(run.status, 0) << run.err;
            outputs[file.name] = read_file(dir / "out_0.bmp");
        }
    }
    for (const CorpusFile& file : kFiles) {
        SCOPED_TRACE(file.name);
        const std::string path = corpus(file.name);
        Image image{7, 1, 3, std::vector<std::uint8_t>(21, 0x55)};
        std::string why;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool read = read_image(path, image, why);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the libraries must not print";
        // The same bytes from memory, as the fuzzers read them.
        const std::string bytes = read_file(path);
        Image from_memory;
        std::string memory_why;
        const bool decoded = decode_image({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                                          from_memory, memory_why);
        EXPECT_EQ(decoded, read);
        EXPECT_EQ(memory_why, why);

        const ScratchDir dir;
        const ProgramRun run = run_texsynth(dir.path(), run_arguments(path));
        if (file.like != nullptr) {
            ASSERT_TRUE(read) << why;
            const Image plain = read_or_fail(corpus(file.like));
            EXPECT_EQ(image.width, plain.width);
            EXPECT_EQ(image.height, plain.height);
            EXPECT_EQ(image.channels, plain.channels);
            EXPECT_TRUE(image.pixels == plain.pixels) << "pixels differ from " << file.like;
            EXPECT_TRUE(from_memory.pixels == plain.pixels) << "pixels from memory differ from " << file.like;
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.out, "load " + path + ":17x13\nwrite out_0.bmp:8x8\n");
            EXPECT_EQ(read_file(dir / "out_0.bmp"), outputs[file.like]) << "the same exemplar must give the same texture";
        } else {
            EXPECT_FALSE(read);
            EXPECT_EQ(why, file.refusal);
            EXPECT_TRUE(image.width == 7 && image.height == 1 && image.channels == 3 &&
                        image.pixels == std::vector<std::uint8_t>(21, 0x55))
                << "a refused read must leave the image alone";
            const std::string program_refusal = file.program_refusal != nullptr ? file.program_refusal : file.refusal;
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err, "texsynth: " + path + ": " + program_refusal + "\n");
            EXPECT_EQ(run.out, "");
            EXPECT_TRUE(fs::is_empty(dir.path())) << "a refused run must not write anything";
        }
    }
}

// The caller's size check sees the size from the header and, refusing, is the reason given; a file that
// claims a size its data does not hold is stopped before the reader allocates for it.
TEST(ImageCorpus, SizeCheckIsAskedBeforeDecoding) {
    for (const char* name : {"png/claims-20000x20000.png", "jpeg/claims-20000x20000.jpg",
                             "jpeg/claims-20000x20000-progressive.jpg", "png/rgb-8-interlaced.png",
                             "jpeg/progressive-420.jpg", "png/palette-8.png"}) {
        SCOPED_TRACE(name);
        std::string seen;
        const ImageSizeCheck refuse = [&seen](int width, int height) {
            seen += std::to_string(width) + "x" + std::to_string(height) + " ";
            return std::string("not this one");
        };
        Image image;
        std::string why;
        EXPECT_FALSE(read_image(corpus(name), image, why, refuse));
        EXPECT_EQ(why, "not this one");
        EXPECT_EQ(seen, std::string(name).find("claims") != std::string::npos ? "20000x20000 " : "17x13 ");
        EXPECT_TRUE(image.pixels.empty());
    }
}

}  // namespace
