// The limits on the exemplar, each at the limit and one step past it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <texsynth/settings.h>

#include "image/bmp_file.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

// L levels with every used half-size `s`.
SynthesisSettings settings_with(int levels, int s) {
    SynthesisSettings settings;
    settings.levels = levels;
    settings.matrix = {};
    for (int n = 0; n < levels; ++n) {
        for (int v = n; v < levels; ++v) {
            settings.matrix.entries[n * levels + v] = s;
        }
    }
    return settings;
}

TEST(ExemplarLimits, PyramidMustFitItsBuffer) {
    const struct { int levels, side; } cases[] = {{1, 1024}, {2, 915}, {3, 893}, {4, 888}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.levels) + " levels");
        const SynthesisSettings settings = settings_with(c.levels, 1);
        EXPECT_EQ(largest_square_exemplar(c.levels), c.side);
        EXPECT_EQ(check_exemplar(settings, c.side, c.side), "");
        const std::string past = check_exemplar(settings, c.side + 1, c.side + 1);
        const std::string start = "the exemplar is too large: " + std::to_string(c.side + 1) + "x" +
                                  std::to_string(c.side + 1) + " with " + std::to_string(c.levels);
        EXPECT_EQ(past.rfind(start, 0), 0u) << past;
        EXPECT_NE(past.find("at most 3145728 are allowed (a square exemplar may be up to " +
                            std::to_string(c.side) + "x" + std::to_string(c.side) + ")"),
                  std::string::npos)
            << past;
    }
    // Not only squares: one level of 1024 x 1024 pixels fills the buffer exactly, however it is shaped.
    EXPECT_EQ(check_exemplar(settings_with(1, 1), 2048, 512), "");
    EXPECT_NE(check_exemplar(settings_with(1, 1), 2048, 513), "");
}

TEST(ExemplarLimits, EveryLevelNeedsCandidatesInsideItsBorder) {
    const SynthesisSettings defaults;
    const struct {
        SynthesisSettings settings;
        int width, height;
        const char* refusal;  // "" when accepted
    } cases[] = {
        {defaults, 20, 20, ""},
        {defaults, 19, 20, "level 2 of its pyramid is 4x5, which leaves no pixel inside the border of 2"},
        {defaults, 20, 19, "level 2 of its pyramid is 5x4"},
        {settings_with(1, 1), 3, 3, ""},
        {settings_with(1, 1), 2, 3, "level 0 of its pyramid is 2x3, which leaves no pixel inside the border of 1"},
        {settings_with(1, 64), 129, 129, ""},
        {settings_with(1, 64), 129, 128, "level 0 of its pyramid is 129x128"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const std::string result = check_exemplar(c.settings, c.width, c.height);
        if (std::string(c.refusal).empty()) {
            EXPECT_EQ(result, "");
        } else {
            EXPECT_EQ(result.rfind("the exemplar is too small: ", 0), 0u) << result;
            EXPECT_NE(result.find(c.refusal), std::string::npos) << result;
        }
    }
}

// Half-size 64 gives 24,960 components a candidate, so 2^28 components hold 10,754 candidates: two rows of
// 5,377 inside the border of 64.
TEST(ExemplarLimits, TrainingSetHasAComponentLimit) {
    const SynthesisSettings settings = settings_with(1, 64);
    EXPECT_EQ(check_exemplar(settings, 128 + 5377, 130), "");
    EXPECT_EQ(check_exemplar(settings, 128 + 5378, 130),
              "level 0 would need 10756 candidates of 24960 components each, more than the 268435456 components "
              "allowed; use smaller half-sizes or a smaller exemplar");
}

// The largest exemplar the buffers hold, through the whole program, and one pixel more.
TEST(ExemplarLimits, LargestExemplarRunsAndOneMoreIsRefused) {
    const ScratchDir dir;
    std::mt19937 random(5);
    std::vector<std::uint8_t> pixels(1025 * 1024 * 3);
    for (auto& byte : pixels) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::string why;
    ASSERT_TRUE(write_bmp(dir / "largest.bmp", pixels.data(), 1024, 1024, why)) << why;
    ASSERT_TRUE(write_bmp(dir / "larger.bmp", pixels.data(), 1025, 1024, why)) << why;

    ProgramRun run = run_texsynth(dir.path(), "largest.bmp out 8 8 1 1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load largest.bmp:1024x1024\nwrite out_0.bmp:8x8\n");

    run = run_texsynth(dir.path(), "larger.bmp more 8 8 1 1");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "texsynth: larger.bmp: the exemplar is too large: 1025x1024 with 1 level needs a pyramid of 3148800 "
              "bytes, at most 3145728 are allowed (a square exemplar may be up to 1024x1024): every search "
              "compares against nearly every exemplar pixel\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "more_0.bmp"));
}

}  // namespace
