// The corpus of odd and broken files in tests/corpus/bmp (made by scripts/make-bmp-corpus.py), run through the
// real program and the readers: each file is either read exactly like its plain 24-bit twin or refused with
// one line that names the file and the reason, with nothing loaded and nothing written. The program reads
// through read_image, which tells formats by their first bytes, so it differs from read_bmp only on the
// files that are not BMPs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "image/bmp_file.h"
#include "image/image_file.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string kCorpus = source_file("tests/corpus/bmp");
const std::string kTwin = "plain-24.bmp";
// A run that any readable 17 x 13 exemplar passes: one level, half-size 1.
const std::string kRun = " out 8 8 1 1";

// Marks a file read_image refuses for the same reason as read_bmp.
constexpr const char* kAsBmp = "(as read_bmp)";

struct CorpusFile {
    const char* name;
    const char* refusal;                 // read_bmp's reason; nullptr: read like plain-24.bmp
    const char* image_refusal = kAsBmp;  // read_image's and the program's reason; nullptr: read
    bool twin_pixels = true;             // whether read_image reads it like plain-24.bmp
};

const CorpusFile kFiles[] = {
    // Written by ImageMagick.
    {"plain-24.bmp", nullptr},
    {"v5-header-24.bmp", nullptr},
    {"alpha-32-v5.bmp", "24-bit colour is required, but the file has 32 bits per pixel"},
    {"alpha-32.bmp", "24-bit colour is required, but the file has 32 bits per pixel"},
    {"rgb565-16.bmp", "24-bit colour is required, but the file has 16 bits per pixel"},
    {"palette-8.bmp", "24-bit colour is required, but the file has 8 bits per pixel"},
    {"palette-8-v5.bmp", "24-bit colour is required, but the file has 8 bits per pixel"},
    {"rle-8.bmp", "24-bit colour is required, but the file has 8 bits per pixel"},
    {"palette-4.bmp", "24-bit colour is required, but the file has 4 bits per pixel"},
    {"mono-1.bmp", "24-bit colour is required, but the file has 1 bit per pixel"},
    {"os2-core-header.bmp",
     "the info header is 12 bytes long; only BMP files with an info header of at least 40 bytes are supported"},
    {"png-renamed.bmp", "not a BMP file (it does not start with \"BM\")", nullptr},
    {"jpeg-renamed.bmp", "not a BMP file (it does not start with \"BM\")", nullptr, false},  // lossy
    {"gif-renamed.bmp", "not a BMP file (it does not start with \"BM\")",
     "not a BMP, PNG or JPEG file (it is a GIF image)"},
    // Made by hand: the same pixels in other layouts.
    {"v4-header-24.bmp", nullptr},
    {"colour-table-24.bmp", nullptr},
    {"top-down-24.bmp", nullptr},
    {"no-last-padding-24.bmp", nullptr},
    {"trailing-bytes-24.bmp", nullptr},
    {"size-fields-zero-24.bmp", nullptr},
    {"offset-zero-24.bmp", nullptr},
    // Made by hand: broken.
    {"empty.bmp", "the file is too short for a BMP header: it has 0 bytes, the header takes 54", "empty file"},
    {"one-byte.bmp", "the file is too short for a BMP header: it has 1 byte, the header takes 54",
     "not a BMP, PNG or JPEG file (it is text)"},
    {"signature-only.bmp", "the file is too short for a BMP header: it has 2 bytes, the header takes 54"},
    {"header-cut.bmp", "the file is too short for a BMP header: it has 30 bytes, the header takes 54"},
    {"header-only.bmp", "the file ends where its pixel data should start (byte 54)"},
    {"pixels-cut.bmp", "the file is too short: its header promises 730 bytes, it has 392"},
    {"last-row-short.bmp", "the file is too short: its header promises 730 bytes, it has 728"},
    {"not-bmp-signature.bmp", "not a BMP file (it does not start with \"BM\")",
     "not a BMP, PNG or JPEG file (the format is not recognised)"},
    {"text.bmp", "not a BMP file (it does not start with \"BM\")", "not a BMP, PNG or JPEG file (it is text)"},
    {"all-ff.bmp", "not a BMP file (it does not start with \"BM\")",
     "not a BMP, PNG or JPEG file (the format is not recognised)"},
    {"info-size-zero.bmp",
     "the info header is 0 bytes long; only BMP files with an info header of at least 40 bytes are supported"},
    {"info-size-huge.bmp", "the info header claims 4294967295 bytes, more than the file holds (730 bytes in all)"},
    {"bits-0.bmp", "24-bit colour is required, but the file has 0 bits per pixel"},
    {"bits-48.bmp", "24-bit colour is required, but the file has 48 bits per pixel"},
    {"compression-bitfields-24.bmp", "compressed BMP files are not supported (compression method 3)"},
    {"compression-png-24.bmp", "compressed BMP files are not supported (compression method 5)"},
    {"width-zero.bmp", "the width must be at least 1, but the file says 0"},
    {"width-negative.bmp", "the width must be at least 1, but the file says -17"},
    {"height-zero.bmp", "the height is 0, so the image has no rows"},
    {"height-most-negative.bmp",
     "the image is too large: 17x2147483648 pixels would take 109521666048 bytes, at most 2147483647 are supported"},
    {"claims-100000x100000.bmp",
     "the image is too large: 100000x100000 pixels would take 30000000000 bytes, at most 2147483647 are supported"},
    {"claims-65536x65536.bmp",
     "the image is too large: 65536x65536 pixels would take 12884901888 bytes, at most 2147483647 are supported"},
    {"row-too-wide.bmp",
     "the image is too large: 2147483647x1 pixels would take 6442450941 bytes, at most 2147483647 are supported"},
    {"row-bytes-wrap.bmp",
     "the image is too large: 1431655766x1 pixels would take 4294967298 bytes, at most 2147483647 are supported"},
    {"row-stride-wraps.bmp",
     "the image is too large: 1431655765x1 pixels would take 4294967295 bytes, at most 2147483647 are supported"},
    {"offset-past-end.bmp", "the pixel data offset 4294967295 is past the end of the file (730 bytes)"},
    {"offset-at-end.bmp", "the file ends where its pixel data should start (byte 730)"},
    {"offset-inside-v5-header.bmp", "the pixel data offset 54 points inside the 138-byte header"},
};

std::string corpus(const std::string& name) { return kCorpus + "/" + name; }

// The command line of that run for an exemplar at `path`.
std::string run_arguments(const std::string& path) { return shell_quoted(path) + kRun; }

bool is_empty(const ScratchDir& dir) { return fs::is_empty(dir.path()); }

// Reads a file in this process with read_bmp, capturing what it prints (nothing: only the program prints).
bool read_quietly(const std::string& path, Image& image, std::string& why, std::string& printed) {
    testing::internal::CaptureStdout();
    ImageInput input;
    const bool ok = input.open(path, why) && read_bmp(input, image, why);
    printed = testing::internal::GetCapturedStdout();
    return ok;
}

TEST(BmpCorpus, EveryFileIsListed) {
    std::set<std::string> listed;
    for (const CorpusFile& file : kFiles) {
        EXPECT_TRUE(listed.insert(file.name).second) << file.name << " is listed twice";
    }
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(kCorpus)) {
        present.insert(entry.path().filename().string());
    }
    EXPECT_EQ(present, listed);
}

TEST(BmpCorpus, EachFileIsReadLikeItsTwinOrRefusedCleanly) {
    Image twin;
    std::string why;
    std::string printed;
    ASSERT_TRUE(read_quietly(corpus(kTwin), twin, why, printed)) << why;
    ASSERT_EQ(twin.width, 17);
    ASSERT_EQ(twin.height, 13);
    const ScratchDir twin_dir;
    const ProgramRun twin_run = run_texsynth(twin_dir.path(), run_arguments(corpus(kTwin)));
    ASSERT_EQ(twin_run.status, 0) << twin_run.err;
    const std::string twin_output = read_file(twin_dir / "out_0.bmp");

    for (const CorpusFile& file : kFiles) {
        SCOPED_TRACE(file.name);
        const std::string path = corpus(file.name);
        Image image;
        const bool read = read_quietly(path, image, why, printed);
        EXPECT_EQ(printed, "");
        if (file.refusal == nullptr) {
            ASSERT_TRUE(read) << why;
            EXPECT_EQ(image.width, twin.width);
            EXPECT_EQ(image.height, twin.height);
            EXPECT_EQ(image.channels, 3);
            EXPECT_TRUE(image.pixels == twin.pixels) << "pixels differ from " << kTwin;
        } else {
            EXPECT_FALSE(read);
            EXPECT_EQ(why, file.refusal);
            EXPECT_TRUE(image.pixels.empty());
        }

        const char* image_refusal = file.image_refusal == kAsBmp ? file.refusal : file.image_refusal;
        Image as_image;
        testing::internal::CaptureStdout();
        const bool image_read = read_image(path, as_image, why);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        const ScratchDir dir;
        const ProgramRun run = run_texsynth(dir.path(), run_arguments(path));
        if (image_refusal == nullptr) {
            ASSERT_TRUE(image_read) << why;
            EXPECT_EQ(as_image.width, 17);
            EXPECT_EQ(as_image.height, 13);
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.out, "load " + path + ":17x13\nwrite out_0.bmp:8x8\n");
            if (file.twin_pixels) {
                EXPECT_TRUE(as_image.pixels == twin.pixels) << "pixels differ from " << kTwin;
                EXPECT_EQ(read_file(dir / "out_0.bmp"), twin_output) << "the same exemplar must give the same texture";
            }
        } else {
            EXPECT_FALSE(image_read);
            EXPECT_EQ(why, image_refusal);
            EXPECT_TRUE(as_image.pixels.empty());
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err, "texsynth: " + path + ": " + image_refusal + "\n");
            EXPECT_EQ(run.out, "");
            EXPECT_TRUE(is_empty(dir)) << "a refused run must not write anything";
        }
    }
}

// Names that are not regular files, made where the test runs. An unreadable file refuses root only once it
// has given up the power to ignore permissions (in a user namespace of its own).
TEST(BmpCorpus, WhatIsNotAFileIsRefused) {
    const ScratchDir inputs;
    fs::create_directory(inputs / "folder.bmp");
    ASSERT_EQ(mkfifo((inputs / "pipe.bmp").c_str(), 0600), 0);
    fs::create_symlink(inputs / "nowhere.bmp", inputs / "dangling.bmp");
    fs::create_symlink(corpus(kTwin), inputs / "link.bmp");
    fs::copy_file(corpus(kTwin), inputs / "locked.bmp");
    fs::permissions(inputs / "locked.bmp", fs::perms::none);
    const std::string as_user = geteuid() == 0 ? "unshare --user" : "";
    const bool can_lock = as_user.empty() || command_succeeds(as_user + " true");

    const struct {
        const char* name;
        const char* message;  // nullptr: read
        bool locked;
    } cases[] = {
        {"folder.bmp", "cannot read: Is a directory", false},
        {"pipe.bmp", "cannot read: not a regular file", false},
        {"dangling.bmp", "cannot open: No such file or directory", false},
        {"link.bmp", nullptr, false},
        {"locked.bmp", "cannot open: Permission denied", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.locked && !can_lock) {
            continue;
        }
        const ScratchDir dir;
        const std::string path = inputs / c.name;
        const ProgramRun run = run_texsynth(dir.path(), run_arguments(path), c.locked ? as_user : "");
        if (c.message == nullptr) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.out, "load " + path + ":17x13\nwrite out_0.bmp:8x8\n");
            continue;
        }
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "texsynth: " + path + ": " + c.message + "\n");
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(is_empty(dir));
    }
}

}  // namespace
