// The options that say what is made where: how the command line reads them, what it refuses (exit status 2,
// before reading anything), and runs of the real program with bad files (exit status 1, nothing written).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "image/image_file.h"
#include "support/pictures.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

std::string parse_error(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "texsynth");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    RunSettings settings;
    std::string error;
    const CommandLineAction action = parse_command_line(static_cast<int>(argv.size()), argv.data(), settings, error);
    return action == CommandLineAction::refuse ? error : "accepted";
}

TEST(ControlOptions, AreReadInOrderWithTheirWeights) {
    const char* arguments[] = {"texsynth", "--guide=g1.png", "--guide=g2.png", "--target-guide=t.png",
                               "--guide-weight=0.5", "--match-also=h1.png:2.5", "--match-also=h2.png:2.5",
                               "--match-also=c:\\maps\\n.png", "--match-also=n2.png", "--sample-mask=m1.png",
                               "--sample-mask=m2.png", "-o", "out.png", "a.png", "b.png"};
    RunSettings settings;
    std::string error;
    ASSERT_EQ(parse_command_line(std::size(arguments), arguments, settings, error), CommandLineAction::run) << error;
    EXPECT_EQ(settings.inputs, (std::vector<std::string>{"a.png", "b.png"}));
    EXPECT_EQ(settings.guides, (std::vector<std::string>{"g1.png", "g2.png"}));
    EXPECT_EQ(settings.guide_weight, 0.5);
    ASSERT_EQ(settings.match_also.size(), 4u);
    EXPECT_EQ(settings.match_also[1].path, "h2.png");
    EXPECT_EQ(settings.match_also[1].weight, 2.5);
    EXPECT_EQ(settings.match_also[2].path, "c:\\maps\\n.png");  // a colon not followed by a number is the name's
    EXPECT_EQ(settings.match_also[2].weight, 1.0);
    EXPECT_EQ(settings.width, 0);  // the target guide's size, once it is read
}

TEST(ControlOptions, LinesThatDoNotGoTogetherAreRefused) {
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } refusals[] = {
        {{"--guide=g.png", "-o", "o.png", "a.png"}, "option \"--guide\": needs --target-guide=GUIDE"},
        {{"--target-guide=t.png", "-o", "o.png", "a.png"}, "option \"--target-guide\": needs a --guide=GUIDE"},
        {{"--guide=g.png", "--target-guide=t.png", "-o", "o.png", "a.png", "b.png"},
         "option \"--guide\": expected one for every exemplar (2), got 1"},
        {{"--sample-mask=m.png", "-o", "o.png", "a.png", "b.png"},
         "option \"--sample-mask\": expected one for every exemplar (2), got 1"},
        {{"--match-also=h.png", "-o", "o.png", "a.png", "b.png"},
         "option \"--match-also\": expected one map of each kind for every exemplar (a multiple of 2), got 1"},
        {{"--match-also=h.png:1", "--match-also=i.png:2", "-o", "o.png", "a.png", "b.png"},
         "option \"--match-also=i.png\": the maps of one kind weigh the same"},
        {{"--match-also=h.png:99", "-o", "o.png", "a.png"}, "option \"--match-also=h.png:99\": expected"},
        {{"--guide-weight=0.5", "-o", "o.png", "a.png"}, "option \"--guide-weight\": only with --guide"},
        {{"--guide-weight=-1", "-o", "o.png", "a.png"}, "option \"--guide-weight=-1\": expected --guide-weight=W"},
        {{"--transfer=t.png", "--size=8x8", "-o", "o.png", "a.png"},
         "option \"--size\": has no meaning with --transfer"},
        {{"--transfer=t.png", "--guide=g.png", "--target-guide=g.png", "-o", "o.png", "a.png"},
         "option \"--guide\": not with --transfer"},
        {{"--mask=m.png", "--guide=g.png", "-o", "o.png", "a.png"}, "option \"--guide\": not with --mask"},
        {{"--apply-map=m.png", "--sample-mask=g.png", "-o", "o.png", "a.png"},
         "option \"--sample-mask\": not with --apply-map"},
        {{"--mask=m.png", "-o", "o.png", "a.png", "b.png"}, "command line: --mask takes exactly one input file"},
        {{"--guide=g.png", "a.png", "p", "8", "8", "1", "2"}, "option \"--guide\": only with --output=FILE INPUT"},
        // (A long name past the fifth argument once divided by zero in naming the positional form's argument.)
        {{"-o", "o.png", "a", "b", "c", "d", "e", std::string(300, 'x')},
         "input 6 (argument 8): is 300 characters long, at most 255 are accepted"},
    };
    for (const auto& refusal : refusals) {
        const std::string error = parse_error(refusal.arguments);
        EXPECT_EQ(error.rfind(refusal.error, 0), 0u) << error;
    }
}

class ControlRuns : public testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(source_file("demo/demo2.bmp"), dir / "demo2.bmp");
        std::string why;
        const auto grey = [&](const std::string& name, int width, int height, auto value) {
            ASSERT_TRUE(write_image(dir / name, Image{width, height, 3, grey_image(width, height, value)}, why)) << why;
        };
        grey("half.png", 128, 128, [](int x, int) { return x < 64 ? 255 : 0; });
        grey("layout.png", 48, 40, [](int x, int y) { return (x / 12 + y / 10) % 2 * 255; });
        grey("black.png", 128, 128, [](int, int) { return 0; });
        grey("small.png", 20, 20, [](int, int) { return 0; });
    }
    ScratchDir dir;
};

// A guided run takes the target guide's size; a remix's map gives the remix back through --apply-map; a
// transfer has the target's size.
TEST_F(ControlRuns, GuidesRemixesAndTransfersWriteTheirFiles) {
    ProgramRun run = run_texsynth(dir.path(), "--guide=half.png --target-guide=layout.png -o guided.png demo2.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "load demo2.bmp:128x128\nload half.png:128x128\nload layout.png:48x40\nwrite guided.png:48x40\n");
    run = run_texsynth(dir.path(), "--size=40x40 --save-map=map.png -o remix.png demo2.bmp half.png");
    ASSERT_EQ(run.status, 0) << run.err;
    run = run_texsynth(dir.path(), "--apply-map=map.png -o again.png demo2.bmp half.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir / "again.png"), read_file(dir / "remix.png"));
    run = run_texsynth(dir.path(), "--apply-map=map.png -o lost.png demo2.bmp");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("but 1 is given"), std::string::npos) << run.err;
    run = run_texsynth(dir.path(), "--transfer=layout.png -o transfer.png demo2.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load demo2.bmp:128x128\nload layout.png:48x40\nwrite transfer.png:48x40\n");
}

TEST_F(ControlRuns, BadFilesAreRefusedWithNothingWritten) {
    const struct {
        const char* arguments;
        const char* error;
    } refusals[] = {
        {"--sample-mask=black.png -o o.png demo2.bmp", "texsynth: black.png: allows no pixel to be copied"},
        {"--sample-mask=small.png -o o.png demo2.bmp",
         "texsynth: small.png: is not the size of the exemplar (128x128)"},
        {"--guide=small.png --target-guide=layout.png -o o.png demo2.bmp",
         "texsynth: small.png: is 20x20, not the size of the exemplar (128x128)"},
        {"--size=64x64 --guide=half.png --target-guide=layout.png -o o.png demo2.bmp",
         "texsynth: layout.png: is 48x40, not the output's size (64x64)"},
        {"--match-also=small.png -o o.png demo2.bmp", "texsynth: small.png: is 20x20, not the size of the exemplar"},
        {"--transfer=missing.png -o o.png demo2.bmp", "texsynth: missing.png: "},
    };
    for (const auto& refusal : refusals) {
        const ProgramRun run = run_texsynth(dir.path(), refusal.arguments);
        EXPECT_EQ(run.status, 1) << refusal.arguments;
        EXPECT_EQ(run.err.rfind(refusal.error, 0), 0u) << run.err;
        EXPECT_FALSE(fs::exists(dir / "o.png"));
    }
}

}  // namespace
