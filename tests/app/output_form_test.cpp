// The finished-file form (--output=FILE INPUT), seeds and source maps, through the real program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include "image/image_file.h"
#include "support/pictures.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "synthesis/jobs/seam_cut.h"

namespace {

namespace fs = std::filesystem;

int files_in(const ScratchDir& dir) {
    return static_cast<int>(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

class OutputForm : public testing::Test {
protected:
    void SetUp() override { fs::copy_file(source_file("demo/demo2.bmp"), dir / "demo2.bmp"); }
    ScratchDir dir;
};

TEST_F(OutputForm, WritesOneFinishedFileByItsExtension) {
    ProgramRun run = run_texsynth(dir.path(), "--size=96x64 --output=out.png demo2.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nwrite out.png:96x64\n");
    EXPECT_EQ(run.err, "");
    const Image png = read_picture_file(dir / "out.png");
    EXPECT_EQ(png.width, 96);
    EXPECT_EQ(png.channels, 3);

    // -o FILE is the same; a BMP holds the same pixels; the default size is 512 x 512.
    run = run_texsynth(dir.path(), "--size=96x64 -o out.bmp demo2.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_picture_file(dir / "out.bmp").pixels, png.pixels);
    run = run_texsynth(dir.path(), "--quiet -o big.png demo2.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nwrite big.png:512x512\n");
    EXPECT_EQ(files_in(dir), 4);
}

// The form's defaults are the refined matcher with three passes and, for a 128 x 128 exemplar, four levels
// whose coarsest takes a causal half-size of 4 and the two between it and the finest 3: spelling them out
// changes nothing, and the finished file is the positional form's level 0 with the same settings.
TEST_F(OutputForm, DefaultsAreSpelledOutByTheOptions) {
    ASSERT_EQ(run_texsynth(dir.path(), "--size=64x48 -o a.bmp demo2.bmp").status, 0);
    ASSERT_EQ(run_texsynth(dir.path(), "--size=64x48 --match=refined --passes=3 --levels=4 "
                                       "--half-sizes=2,1,1,1,0,3,1,1,0,0,3,1,0,0,0,4 -o b.bmp demo2.bmp")
                  .status,
              0);
    ASSERT_EQ(run_texsynth(dir.path(), "--match=refined --passes=3 demo2.bmp p 64 48 4 2 1 1 1 0 3 1 1 0 0 3 1 0 0 0 4")
                  .status,
              0);
    EXPECT_EQ(read_file(dir / "a.bmp"), read_file(dir / "b.bmp"));
    // The positional form's texture is the same but for where it is cut open, on the seam cut's grid.
    const Image finished = read_picture_file(dir / "a.bmp");
    const Image positional = read_picture_file(dir / "p_0.bmp");
    int matches = 0;
    for (int dy = 0; dy < 48; dy += kSeamCutGrid) {
        for (int dx = 0; dx < 64; dx += kSeamCutGrid) {
            JobResult rolled{positional, {}};
            roll_result(rolled, dx, dy);
            matches += rolled.image.pixels == finished.pixels ? 1 : 0;
        }
    }
    EXPECT_EQ(matches, 1);
}

TEST_F(OutputForm, SeedsGiveOtherTexturesOfTheSameKind) {
    const std::string base = "demo2.bmp s 48 40 2 2 1 0 2";
    ASSERT_EQ(run_texsynth(dir.path(), base).status, 0);
    const std::string unseeded = read_file(dir / "s_0.bmp");
    ASSERT_EQ(run_texsynth(dir.path(), "--seed=4294967295 " + base).status, 0);
    const std::string seeded = read_file(dir / "s_0.bmp");
    EXPECT_NE(seeded, unseeded);
    ASSERT_EQ(run_texsynth(dir.path(), "--seed=4294967295 --match=exact --threads=3 " + base).status, 0);
    const std::string three_threads = read_file(dir / "s_0.bmp");
    ASSERT_EQ(run_texsynth(dir.path(), "--seed=4294967295 --match=exact --threads=1 -- " + base).status, 0);
    EXPECT_EQ(read_file(dir / "s_0.bmp"), three_threads);
    for (const char* bad : {"--seed=4294967296", "--seed=-1", "--seed=", "--seed=1e3"}) {
        const ProgramRun run = run_texsynth(dir.path(), std::string(bad) + " " + base);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_EQ(run.err.rfind("texsynth: option \"" + std::string(bad) + "\": expected --seed=N with N from 0 to 4294967295\n", 0), 0u) << run.err;
    }
}

// A material's maps stay in step: the map of a run applied to the run's own exemplar gives the run's output.
TEST_F(OutputForm, AppliedMapsReproduceTheRun) {
    ProgramRun run = run_texsynth(dir.path(), "--size=80x60 --seed=3 --save-map=map.png -o out.png demo2.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nwrite out.png:80x60\nwrite map.png:80x60\n");
    PngSamples map;
    std::string why;
    ASSERT_TRUE(read_png_samples(dir / "map.png", map, why)) << why;
    EXPECT_EQ(map.bit_depth, 16);
    EXPECT_EQ(map.channels, 3);
    ASSERT_EQ(map.samples.size(), 80u * 60 * 3);
    for (std::size_t i = 0; i < map.samples.size(); i += 3) {
        ASSERT_LT(map.samples[i], 128);
        ASSERT_LT(map.samples[i + 1], 128);
        ASSERT_EQ(map.samples[i + 2], 0);
    }
    run = run_texsynth(dir.path(), "--apply-map=map.png -o applied.png demo2.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nload map.png:80x60\nwrite applied.png:80x60\n");
    EXPECT_EQ(read_file(dir / "applied.png"), read_file(dir / "out.png"));

    // The positional form saves the map of its finest level.
    run = run_texsynth(dir.path(), "--save-map=level0.png demo2.bmp p 48 40 2 2 1 0 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nwrite p_1.bmp:48x40\nwrite p_0.bmp:48x40\nwrite level0.png:48x40\n");
    ASSERT_EQ(run_texsynth(dir.path(), "--apply-map=level0.png -o applied.bmp demo2.bmp").status, 0);
    EXPECT_EQ(read_file(dir / "applied.bmp"), read_file(dir / "p_0.bmp"));
}

TEST_F(OutputForm, MapsThatDoNotFitAreRefused) {
    ASSERT_EQ(run_texsynth(dir.path(), "--size=32x32 --save-map=map.png -o out.png demo2.bmp").status, 0);
    // An image smaller than the exemplar: the first pixel whose source lies outside it is named.
    Image small{16, 16, 3, std::vector<std::uint8_t>(16 * 16 * 3, 9)};
    std::string why;
    ASSERT_TRUE(write_image(dir / "small.png", small, why)) << why;
    ProgramRun run = run_texsynth(dir.path(), "--apply-map=map.png -o x.png small.png");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("texsynth: map.png: pixel (", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("outside the 16x16 image"), std::string::npos) << run.err;
    // Not a 16-bit RGB PNG at all.
    run = run_texsynth(dir.path(), "--apply-map=out.png -o x.png demo2.bmp");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "texsynth: out.png: is a 8-bit PNG with 3 channels; a source map is a 16-bit RGB PNG, as --save-map "
              "writes it\n");
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST_F(OutputForm, TransparencyIsKeptInPngAndRefusedInBmp) {
    Image rgba{40, 30, 4, {}};
    for (int i = 0; i < 40 * 30; ++i) {
        rgba.pixels.insert(rgba.pixels.end(), {static_cast<std::uint8_t>(i % 40 * 6), static_cast<std::uint8_t>(i / 40 * 8),
                                               90, static_cast<std::uint8_t>(i % 7 == 0 ? 0 : 200 + i % 50)});
    }
    std::string why;
    ASSERT_TRUE(write_image(dir / "leaf.png", rgba, why)) << why;
    ProgramRun run = run_texsynth(dir.path(), "--size=50x50 --levels=1 -o out.png leaf.png");
    ASSERT_EQ(run.status, 0) << run.err;
    const Image out = read_picture_file(dir / "out.png");
    ASSERT_EQ(out.channels, 4);
    std::set<std::tuple<int, int, int, int>> exemplar;
    for (std::size_t i = 0; i < rgba.pixels.size(); i += 4) {
        exemplar.insert({rgba.pixels[i], rgba.pixels[i + 1], rgba.pixels[i + 2], rgba.pixels[i + 3]});
    }
    for (std::size_t i = 0; i < out.pixels.size(); i += 4) {
        ASSERT_TRUE(exemplar.contains({out.pixels[i], out.pixels[i + 1], out.pixels[i + 2], out.pixels[i + 3]}));
    }
    run = run_texsynth(dir.path(), "-o out.bmp leaf.png");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "texsynth: leaf.png: has transparency, which a BMP file cannot hold; write the result to a "
                       ".png\n");
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
}

TEST_F(OutputForm, MalformedLinesAreRefusedBeforeAnyWork) {
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"-o out.jpg demo2.bmp", "option \"--output=out.jpg\": the output file's name must end in .png or .bmp"},
        {"-o out.png", "command line: --output takes an input file (or several exemplars), got 0 arguments"},
        {"--mask=m.png -o out.png demo2.bmp other.bmp", "--mask takes exactly one input file, got 2 arguments"},
        {"-o", "option \"-o\": expected a file name after it"},
        {"--size=64 -o out.png demo2.bmp", "option \"--size=64\": expected --size=WxH"},
        {"--size=0x64 -o out.png demo2.bmp", "option \"--size=0x64\""},
        {"--half-sizes=2,1,1 -o out.png demo2.bmp", "option \"--half-sizes=2,1,1\": expected L x L half-sizes"},
        {"--levels=2 --half-sizes=2 -o out.png demo2.bmp", "1 half-sizes make 1 levels, but --levels=2"},
        {"--save-map=map.bmp -o out.png demo2.bmp", "a source map is written as a 16-bit PNG"},
        {"--apply-map=m.png --seed=3 -o out.png demo2.bmp", "option \"--seed\": has no meaning with --apply-map"},
        {"--size=64x64 demo2.bmp p 64 64 1 2", "option \"--size\": only with --output=FILE INPUT"},
        {"--levels=2", "option \"--levels\": only with --output"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = run_texsynth(dir.path(), c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
    }
    EXPECT_EQ(files_in(dir), 1);
}

}  // namespace
