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
