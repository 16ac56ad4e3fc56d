// Whole runs of the real program: console lines, files, exit statuses and refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

int files_in(const ScratchDir& dir) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) {
        ++count;
    }
    return count;
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override { fs::copy_file(source_file("demo/demo2.bmp"), dir / "demo2.bmp"); }
    ScratchDir dir;
};

TEST_F(EndToEnd, DefaultRunWritesThreeLevelsCoarsestFirst) {
    const ProgramRun run = run_texsynth(dir.path(), "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "load ./demo2.bmp:128x128\n"
              "write ./out_2.bmp:256x256\n"
              "write ./out_1.bmp:256x256\n"
              "write ./out_0.bmp:256x256\n");
    for (const char* name : {"out_0.bmp", "out_1.bmp", "out_2.bmp"}) {
        EXPECT_EQ(fs::file_size(dir / name), 196'662u) << name;
    }
    EXPECT_EQ(files_in(dir), 4);
}

// The checksums were taken from this build after looking at the three images (each a plausible, seamless
// piece of cobblestone; the coarser ones blockier) and after checking the first pixels of every level
// against an independent, plain implementation of the same computation, which gave identical files.
TEST_F(EndToEnd, SmallRunGivesPinnedBytesEveryTime) {
    const char* arguments = "demo2.bmp small 48 40 2 2 1 0 2";
    const ProgramRun first = run_texsynth(dir.path(), arguments);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "load demo2.bmp:128x128\nwrite small_1.bmp:48x40\nwrite small_0.bmp:48x40\n");
    const std::string level1 = sha256_of(dir / "small_1.bmp");
    const std::string level0 = sha256_of(dir / "small_0.bmp");
    EXPECT_EQ(level1, "f82b1ad19bd0a817e4e1747eac15966950291093f75a705e1ac0cfc46bcdc047");
    EXPECT_EQ(level0, "729fddd83e9c69b19daa0294ada9b202c11f3e159672ee5e0bab005386732af4");

    // Again, and with options that spell out the defaults or matter only to the other matchers.
    const ProgramRun second = run_texsynth(dir.path(), arguments);
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(sha256_of(dir / "small_1.bmp"), level1);
    EXPECT_EQ(sha256_of(dir / "small_0.bmp"), level0);
    const ProgramRun spelled_out =
        run_texsynth(dir.path(), std::string("--match=approximate --passes=1 --threads=3 --k=5 --quiet ") + arguments);
    ASSERT_EQ(spelled_out.status, 0);
    EXPECT_EQ(spelled_out.out, first.out);
    EXPECT_EQ(sha256_of(dir / "small_1.bmp"), level1);
    EXPECT_EQ(sha256_of(dir / "small_0.bmp"), level0);
}

// The coherent matcher with several passes writes the same files with any number of threads.
TEST_F(EndToEnd, CoherentMatchingIsTheSameOnAnyNumberOfThreads) {
    std::string first_level0;
    for (const char* threads : {"1", "2", "3"}) {
        const ProgramRun run = run_texsynth(dir.path(), std::string("--match=coherent --passes=3 --k=1 --threads=") +
                                                            threads + " demo2.bmp coherent 96 80 3 2 1 1 0 2 1 0 0 2");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const std::string level0 = sha256_of(dir / "coherent_0.bmp");
        if (first_level0.empty()) {
            first_level0 = level0;
        }
        EXPECT_EQ(level0, first_level0) << threads << " threads";
    }
}

// The --output form writes only the finished texture, the same bytes on any number of threads, and so does
// the refined matching in the prefix form; wide outputs with few rows and a tiny exemplar are still served.
TEST_F(EndToEnd, OutputFormWritesOneFileTheSameOnAnyNumberOfThreads) {
    std::string first;
    for (const char* threads : {"1", "2", "3"}) {
        const ProgramRun run =
            run_texsynth(dir.path(), std::string("--quiet --threads=") + threads + " --size=100x72 --output=tex.bmp demo2.bmp");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "load demo2.bmp:128x128\nwrite tex.bmp:100x72\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(files_in(dir), 2);
        const std::string texture = sha256_of(dir / "tex.bmp");
        if (first.empty()) {
            first = texture;
        }
        EXPECT_EQ(texture, first) << threads << " threads";
    }
    std::string first_level0;
    for (const char* threads : {"1", "2", "3"}) {
        const ProgramRun run = run_texsynth(dir.path(), std::string("--match=refined --passes=3 --threads=") + threads +
                                                            " demo2.bmp refined 66 50 3 2 1 1 0 2 1 0 0 2");
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string level0 = sha256_of(dir / "refined_0.bmp");
        if (first_level0.empty()) {
            first_level0 = level0;
        }
        EXPECT_EQ(level0, first_level0) << threads << " threads";
    }
    ProgramRun run = run_texsynth(dir.path(), "--quiet --size=300x3 --output=strip.bmp demo2.bmp");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nwrite strip.bmp:300x3\n");
}

// The exact matcher writes the same files with any number of threads, and options change nothing else.
TEST_F(EndToEnd, ExactMatchingIsTheSameOnAnyNumberOfThreads) {
    std::string first_level0;
    for (const char* threads : {"1", "2", "3"}) {
        const ProgramRun run = run_texsynth(
            dir.path(), std::string("--match=exact --quiet --threads=") + threads + " demo2.bmp exact 64 48 3 2 1 1 0 2 1 0 0 2");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out,
                  "load demo2.bmp:128x128\nwrite exact_2.bmp:64x48\nwrite exact_1.bmp:64x48\nwrite exact_0.bmp:64x48\n");
        EXPECT_EQ(run.err, "");
        const std::string level0 = sha256_of(dir / "exact_0.bmp");
        if (first_level0.empty()) {
            first_level0 = level0;
        }
        EXPECT_EQ(level0, first_level0) << threads << " threads";
    }
    const ProgramRun approximate = run_texsynth(dir.path(), "demo2.bmp approximate 64 48 3 2 1 1 0 2 1 0 0 2");
    ASSERT_EQ(approximate.status, 0);
    EXPECT_NE(sha256_of(dir / "approximate_0.bmp"), first_level0);
}

TEST_F(EndToEnd, OddSizesAndASingleLevel) {
    ProgramRun run = run_texsynth(dir.path(), "demo2.bmp odd 102 64 3 2 1 1 0 2 1 0 0 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "load demo2.bmp:128x128\nwrite odd_2.bmp:100x64\nwrite odd_1.bmp:102x64\nwrite odd_0.bmp:102x64\n");

    run = run_texsynth(dir.path(), "demo2.bmp single 40 30 1 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nwrite single_0.bmp:40x30\n");
    EXPECT_TRUE(fs::exists(dir / "single_0.bmp"));
}

// Every refusal names what is wrong on one line of standard error, creates no file and, except for a bad
// command line (status 2, followed by a usage hint), exits with status 1.
TEST_F(EndToEnd, RefusalsLeaveNothingBehind) {
    const ScratchDir other;
    const std::string tiny = other / "tiny.bmp";
    write_file(tiny, "BM" + std::string(60, '\0'));
    const struct {
        std::string arguments;
        int status;
        std::string message;
    } cases[] = {
        {"missing.bmp out 64 64 1 2", 1, "texsynth: missing.bmp: cannot open: No such file or directory\n"},
        {"'new\nline.bmp' out 64 64 1 2", 1, "texsynth: new\\nline.bmp: cannot open: No such file or directory\n"},
        {tiny + " out 64 64 1 2", 1, "texsynth: " + tiny + ": "},
        {"demo2.bmp out 64 64 3 2 1 1 0 2 1 0 0 16", 1,
         "texsynth: demo2.bmp: the exemplar is too small: level 2 of its pyramid is 32x32, which leaves no pixel "
         "inside the border of 16"},
        {"demo2.bmp out 30000 30000 1 2", 2, "texsynth: output size: 30000x30000 is too large"},
        {"demo2.bmp out 64 64", 2, "texsynth: command line: "},
        {"demo2.bmp out 2 8 3 1 1 1 0 1 1 0 0 1", 2, "texsynth: output size: 2x8 with 3 levels leaves level 2 empty (0x2)"},
        {"--bogus", 2, "texsynth: option \"--bogus\": unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run = run_texsynth(dir.path(), c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
        const auto lines = std::count(run.err.begin(), run.err.end(), '\n');
        EXPECT_EQ(lines, c.status == 2 ? 2 : 1) << run.err;
        EXPECT_EQ(files_in(dir), 1);
    }
}

TEST_F(EndToEnd, LostOutputIsReportedAndFailsTheRun) {
    const ProgramRun run = run_texsynth(dir.path(), "demo2.bmp no/such/dir/out 32 32 2 1 1 0 1");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\n");
    EXPECT_EQ(run.err,
              "texsynth: no/such/dir/out_1.bmp: cannot create: No such file or directory\n"
              "texsynth: no/such/dir/out_0.bmp: cannot create: No such file or directory\n");
    EXPECT_EQ(files_in(dir), 1);
}

// The longest output names there can be: a 249-character prefix makes 255-character file names, the most a
// file system takes; the temporary file beside each must fit too.
TEST_F(EndToEnd, LongestFileNamesAreWritten) {
    const std::string prefix(249, 'p');
    const ProgramRun run = run_texsynth(dir.path(), "demo2.bmp " + prefix + " 16 16 2 1 1 0 1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nwrite " + prefix + "_1.bmp:16x16\nwrite " + prefix + "_0.bmp:16x16\n");
    EXPECT_TRUE(fs::exists(dir / (prefix + "_0.bmp")));
    EXPECT_EQ(files_in(dir), 3);
}

TEST_F(EndToEnd, HelpAndVersionSucceed) {
    ProgramRun run = run_texsynth(dir.path(), "--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: texsynth"), std::string::npos);
    run = run_texsynth(dir.path(), "--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("texsynth ", 0), 0u);
}

}  // namespace
