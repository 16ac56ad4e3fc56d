// Small whole runs under valgrind's memcheck, along every way a run can end: no invalid access, no use of
// uninitialised memory, and not a byte left allocated at exit. Valgrind's reports go to standard error, so the
// exact expected standard error of each run also says that valgrind found nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(Memcheck, SmallRunsAreCleanAndFreeEverything) {
#ifdef TEXSYNTH_SANITIZED
    GTEST_SKIP() << "this build has sanitizers, which cannot run under valgrind";
#endif
    if (!command_succeeds("valgrind --version")) {
        GTEST_SKIP() << "valgrind is not installed (scripts/install-deps.sh installs it)";
    }
    const std::string refused = source_file("tests/corpus/bmp/alpha-32.bmp");
    // PNG and JPEG exemplars, read and refused: the decoding libraries leave by longjmp on a refusal.
    const std::string png = source_file("tests/corpus/png/rgba-8-interlaced.png");
    const std::string jpeg = source_file("tests/corpus/jpeg/progressive-420.jpg");
    const std::string broken_png = source_file("tests/corpus/png/zlib-data.png");
    const std::string broken_jpeg = source_file("tests/corpus/jpeg/huffman-bad.jpg");
    const std::string valgrind =
        "valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all";
    const struct {
        const char* what;
        std::string arguments;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {"a complete run", "demo2.bmp out 32 32 2 1 1 0 1", 0,
         "load demo2.bmp:128x128\nwrite out_1.bmp:32x32\nwrite out_0.bmp:32x32\n", ""},
        {"output lost", "demo2.bmp missing/out 16 16 1 1", 1, "load demo2.bmp:128x128\n",
         "texsynth: missing/out_0.bmp: cannot create: No such file or directory\n"},
        {"exemplar refused", shell_quoted(refused) + " out 16 16 1 1", 1, "",
         "texsynth: " + refused + ": 24-bit colour is required, but the file has 32 bits per pixel\n"},
        {"a PNG exemplar", shell_quoted(png) + " out 8 8 1 1", 0, "load " + png + ":17x13\nwrite out_0.bmp:8x8\n", ""},
        {"a JPEG exemplar", shell_quoted(jpeg) + " out 8 8 1 1", 0, "load " + jpeg + ":17x13\nwrite out_0.bmp:8x8\n",
         ""},
        {"a PNG refused", shell_quoted(broken_png) + " out 8 8 1 1", 1, "",
         "texsynth: " + broken_png + ": damaged PNG chunk IDAT (invalid code -- missing end-of-block)\n"},
        {"a JPEG refused", shell_quoted(broken_jpeg) + " out 8 8 1 1", 1, "",
         "texsynth: " + broken_jpeg + ": damaged JPEG data: bad Huffman code\n"},
        {"bad command line", "demo2.bmp out 16 16 1 x", 2, "",
         "texsynth: half-size m00 (argument 6): expected a whole number from 0 to 64, got \"x\"\n"
         "usage: texsynth [options] --output=FILE INPUT, or texsynth [options] [input prefix W H L m00 m01 ...]; texsynth --help tells more\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScratchDir dir;
        fs::copy_file(source_file("demo/demo2.bmp"), dir / "demo2.bmp");
        const ProgramRun run = run_texsynth(dir.path(), c.arguments, valgrind);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

}  // namespace
