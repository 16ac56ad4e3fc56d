// Runs that fail, are interrupted or run out of room: every output name is left either as it was or with a
// complete new file, and no temporary file stays behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

// A quick two-level run: level 1 is written first, then level 0, both 32 x 32.
const std::string kRun = "demo2.bmp out 32 32 2 1 1 0 1";
const std::string kLoadLine = "load demo2.bmp:128x128\n";
const std::string kOld1 = "an earlier out_1.bmp";
const std::string kOld0 = "an earlier out_0.bmp";

std::vector<std::string> listing(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class NothingLost : public testing::Test {
protected:
    // The files an undisturbed run makes, to tell a complete new file from anything else.
    static void SetUpTestSuite() {
        const ScratchDir clean;
        fs::copy_file(source_file("demo/demo2.bmp"), clean / "demo2.bmp");
        const ProgramRun run = run_texsynth(clean.path(), kRun);
        ASSERT_EQ(run.status, 0) << run.err;
        new1_ = read_file(clean / "out_1.bmp");
        new0_ = read_file(clean / "out_0.bmp");
    }

    void SetUp() override {
        fs::copy_file(source_file("demo/demo2.bmp"), dir / "demo2.bmp");
        write_file(dir / "out_1.bmp", kOld1);
        write_file(dir / "out_0.bmp", kOld0);
    }

    void reset() {
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            fs::remove_all(entry.path());
        }
        SetUp();
    }

    // What a file holds: "old" (the earlier file), "new" (the complete new one), or something else.
    std::string state(const std::string& name, const std::string& old_bytes, const std::string& new_bytes) const {
        if (fs::is_directory(dir / name)) {
            return fs::is_empty(dir / name) ? "a folder" : "a folder with files in it";
        }
        const std::string bytes = read_file(dir / name);
        return bytes == old_bytes ? "old" : bytes == new_bytes ? "new" : std::to_string(bytes.size()) + " other bytes";
    }

    // Checks what each level holds and that nothing else is in the directory.
    void expect_levels(const std::string& level1, const std::string& level0) const {
        EXPECT_EQ(state("out_1.bmp", kOld1, new1_), level1);
        EXPECT_EQ(state("out_0.bmp", kOld0, new0_), level0);
        EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"demo2.bmp", "out_0.bmp", "out_1.bmp"}));
    }

    ScratchDir dir;
    static inline std::string new1_;
    static inline std::string new0_;
};

// The tracer stops the program at an exact system call of the output files (the n-th fsync or rename, the
// only calls that a sanitizer's own start-up does not make too) and either sends it a signal there or makes
// the call fail, so each case hits the same moment every time. A signal that arrives as a file is renamed into
// place waits until the rename is done: the file is complete. (The leak checker cannot run under a tracer.)
TEST_F(NothingLost, SignalsAndFailuresAtEachStepOfWritingAFile) {
    if (!command_succeeds("strace -qq -o /dev/null true")) {
        GTEST_SKIP() << "strace cannot trace programs here";
    }
    const std::string written1 = "write out_1.bmp:32x32\n";
    const std::string written0 = "write out_0.bmp:32x32\n";
    const struct {
        const char* what;
        std::string injection;  // strace's -e inject=...
        int signal;
        int status;
        std::string out;
        std::string err;
        const char* level1;
        const char* level0;
    } cases[] = {
        {"SIGHUP while level 1 is made durable", "fsync:signal=HUP:when=1", SIGHUP, -1, kLoadLine, "", "old", "old"},
        {"SIGINT as level 1 is renamed", "rename:signal=INT:when=1", SIGINT, -1, kLoadLine, "", "new", "old"},
        {"SIGTERM while level 0 is made durable", "fsync:signal=TERM:when=2", SIGTERM, -1, kLoadLine + written1, "",
         "new", "old"},
        {"SIGQUIT as level 0 is renamed", "rename:signal=QUIT:when=2", SIGQUIT, -1, kLoadLine + written1, "", "new",
         "new"},
        {"disk full when level 1 is made durable", "fsync:error=ENOSPC:when=1", 0, 1, kLoadLine + written0,
         "texsynth: out_1.bmp: cannot write: No space left on device\n", "old", "new"},
        {"level 0 cannot be renamed", "rename:error=EIO:when=2", 0, 1, kLoadLine + written1,
         "texsynth: out_0.bmp: cannot replace: Input/output error\n", "new", "old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        // No core file from SIGQUIT: only the named files may appear.
        const ProgramRun run =
            run_texsynth(dir.path(), kRun,
                         "env ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" prlimit --core=0 strace -qq -o /dev/null "
                         "-e inject=" + c.injection);
        EXPECT_EQ(run.signal, c.signal);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        expect_levels(c.level1, c.level0);
    }
}

// Root writes into any folder whatever its mode, so as root the read-only case runs the program in a new user
// namespace, where it keeps its user but loses the power to ignore permissions.
TEST_F(NothingLost, FailedWritesKeepTheEarlierFiles) {
    const std::string as_user = geteuid() == 0 ? "unshare --user" : "";
    const auto read_only = [this] { fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove); };
    const auto folder_in_the_way = [this] {
        fs::remove(dir / "out_0.bmp");
        fs::create_directory(dir / "out_0.bmp");
    };
    const struct {
        const char* what;
        std::function<void()> prepare;
        std::string launcher;
        std::string out;
        std::string err;
        const char* level1;
        const char* level0;
    } cases[] = {
        {"file size limit below one file (3,126 bytes)", [] {}, "prlimit --fsize=3000", kLoadLine,
         "texsynth: out_1.bmp: cannot write: File too large\ntexsynth: out_0.bmp: cannot write: File too large\n",
         "old", "old"},
        {"output name taken by a folder", folder_in_the_way, "", kLoadLine + "write out_1.bmp:32x32\n",
         "texsynth: out_0.bmp: cannot replace: Is a directory\n", "new", "a folder"},
        {"read-only folder", read_only, as_user, kLoadLine,
         "texsynth: out_1.bmp: cannot create: Permission denied\n"
         "texsynth: out_0.bmp: cannot create: Permission denied\n",
         "old", "old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.launcher.empty() && !command_succeeds(c.launcher + " true")) {
            std::cout << "skipped (" << c.launcher << " does not work here): " << c.what << "\n";
            continue;
        }
        reset();
        c.prepare();
        const ProgramRun run = run_texsynth(dir.path(), kRun, c.launcher);
        fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        expect_levels(c.level1, c.level0);
    }
}

// A real full disk: a 16 KiB tmpfs, mounted in a private mount namespace, holding an earlier out_0.bmp and a
// filler that leave one free page, room for level 1 but then none for level 0. What the disk holds at the end is
// copied out before the namespace, and the mount with it, goes away.
TEST_F(NothingLost, DiskThatFillsUp) {
    const ScratchDir work;
    write_file(work / "fill.sh",
               "mount -t tmpfs -o size=16k tmpfs disk || exit 90\n"
               "cp before/* disk/ || exit 91\n"
               "\"$@\"; status=$?\n"
               "cp -a disk/. after/\n"
               "exit $status\n");
    fs::create_directory(dir / "disk");
    fs::create_directory(dir / "before");
    fs::create_directory(dir / "after");
    write_file(dir / "before/out_0.bmp", std::string(3000, 'o'));  // one page
    write_file(dir / "before/filler", std::string(8192, 'f'));     // two pages
    const ProgramRun run =
        run_texsynth(dir.path(), "demo2.bmp disk/out 32 32 2 1 1 0 1", "unshare --map-root-user --mount sh " + work / "fill.sh");
    if (run.status == 90 || run.err.rfind("unshare:", 0) == 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << run.err;
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kLoadLine + "write disk/out_1.bmp:32x32\n");
    EXPECT_EQ(run.err, "texsynth: disk/out_0.bmp: cannot write: No space left on device\n");
    EXPECT_EQ(read_file(dir / "after/out_1.bmp"), new1_);
    EXPECT_EQ(read_file(dir / "after/out_0.bmp"), std::string(3000, 'o'));
    EXPECT_EQ(listing(dir / "after"), (std::vector<std::string>{"filler", "out_0.bmp", "out_1.bmp"}));
}

// The default run, stopped by SIGTERM two seconds in, while it synthesizes or writes: each file is either the
// earlier one or a complete new picture.
TEST_F(NothingLost, RunKilledHalfWay) {
    write_file(dir / "out_2.bmp", "an earlier out_2.bmp");
    const ProgramRun run = run_texsynth(dir.path(), "", "timeout --signal=TERM 2");
    ASSERT_EQ(run.status, 124) << "the run should still have been going after two seconds";
    EXPECT_EQ(run.err, "");
    for (const char* level : {"2", "1", "0"}) {
        const std::string name = std::string("out_") + level + ".bmp";
        const std::string bytes = read_file(dir / name);
        if (bytes == "an earlier " + name) {
            EXPECT_EQ(run.out.find(name), std::string::npos) << name;
            continue;
        }
        EXPECT_NE(run.out.find("write ./" + name + ":256x256\n"), std::string::npos) << name;
        RgbImage image;
        std::string why;
        EXPECT_TRUE(read_rgb_image(dir / name, image, why)) << name << ": " << why;
        EXPECT_EQ(image.width, 256);
    }
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"demo2.bmp", "out_0.bmp", "out_1.bmp", "out_2.bmp"}));
}

}  // namespace
