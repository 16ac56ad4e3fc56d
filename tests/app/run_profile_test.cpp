// Runs made inside this process, as the benchmark makes them: with a profile and without.
#include <gtest/gtest.h>

#include <string>

#include "app/run_synthesis.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

double sum_of_parts(const RunProfile& profile, int levels) {
    double parts = profile.loading + profile.noise + profile.output_files;
    for (int n = 0; n < levels; ++n) {
        const LevelProfile& level = profile.levels[n];
        parts += level.training_vectors + level.tree_construction + level.query_construction + level.search +
                 level.pixel_writing;
    }
    return parts;
}

// The profile only reads the clock: the files are the same bytes, and a second run in the same process draws
// the same noise as the first.
TEST(RunProfile, ProfiledRunWritesTheSameFilesAndAccountsForItsTime) {
    const ScratchDir dir;
    RunSettings settings;
    settings.input_path = source_file("demo/demo2.bmp");
    settings.width = 40;
    settings.height = 24;
    settings.output_prefix = dir / "plain";
    ASSERT_EQ(run_synthesis(settings), 0);
    settings.output_prefix = dir / "profiled";
    RunProfile profile;
    ASSERT_EQ(run_synthesis(settings, &profile), 0);

    for (const std::string level : {"0", "1", "2"}) {
        SCOPED_TRACE("level " + level);
        const std::string plain = read_file(dir / ("plain_" + level + ".bmp"));
        EXPECT_FALSE(plain.empty());
        EXPECT_TRUE(plain == read_file(dir / ("profiled_" + level + ".bmp")));
    }

    EXPECT_GT(profile.total, 0);
    EXPECT_LE(sum_of_parts(profile, settings.levels), profile.total);
    const int queries[] = {40 * 24, 20 * 12, 10 * 6};
    for (int n = 0; n < settings.levels; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(profile.levels[n].queries, queries[n]);
        EXPECT_GT(profile.levels[n].search, 0);
        EXPECT_GT(profile.levels[n].tree_construction, 0);
    }
}

}  // namespace
