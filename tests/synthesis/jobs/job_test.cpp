// Jobs through the library's API: results, source maps, seeds, transparency and refusals.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

#include <texsynth/job.h>

#include "image/image_file.h"
#include "support/pictures.h"
#include "support/run_program.h"
#include "synthesis/patterns/exemplar_lattice.h"
#include "synthesis/patterns/lattice_phase.h"

namespace {

Image demo_exemplar() {
    Image image;
    std::string why;
    EXPECT_TRUE(read_image(source_file("demo/demo2.bmp"), image, why)) << why;
    return image;
}

// The demo exemplar with an alpha channel: a see-through disc in its middle, and alpha ramps elsewhere.
Image transparent_exemplar() {
    const Image rgb = demo_exemplar();
    Image rgba{rgb.width, rgb.height, 4, {}};
    for (int y = 0; y < rgb.height; ++y) {
        for (int x = 0; x < rgb.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * rgb.width + x;
            const int dx = x - 64;
            const int dy = y - 64;
            const int alpha = dx * dx + dy * dy < 400 ? 0 : (x * 7 + y) % 256;
            rgba.pixels.insert(rgba.pixels.end(), {rgb.pixels[i * 3], rgb.pixels[i * 3 + 1], rgb.pixels[i * 3 + 2],
                                                   static_cast<std::uint8_t>(alpha)});
        }
    }
    return rgba;
}

Job generate(const Image& exemplar, int width, int height, MatchMode match = MatchMode::coherent) {
    Job job;
    job.exemplar = &exemplar;
    job.width = width;
    job.height = height;
    job.settings.match = match;
    job.settings.passes = 2;
    return job;
}

TEST(Job, TheSourceMapAppliedToTheExemplarGivesTheResult) {
    for (const Image& exemplar : {demo_exemplar(), transparent_exemplar()}) {
        for (const MatchMode match : {MatchMode::approximate, MatchMode::exact, MatchMode::coherent}) {
            SCOPED_TRACE(std::to_string(exemplar.channels) + " channels, mode " + std::to_string(int(match)));
            const JobResult result = run_job_or_fail(generate(exemplar, 40, 24, match));
            ASSERT_EQ(result.image.width, 40);
            ASSERT_EQ(result.image.height, 24);
            ASSERT_EQ(result.image.channels, exemplar.channels);
            ASSERT_EQ(result.map.xy.size(), 40u * 24 * 2);
            Image applied;
            JobError error;
            ASSERT_TRUE(apply_source_map(exemplar, result.map, applied, error)) << error.message();
            EXPECT_EQ(applied.pixels, result.image.pixels);
        }
    }
}

// With transparency the result keeps an alpha channel, and every pixel, alpha included, is an exemplar pixel.
// Alpha takes no part in the match: the colours are those the exemplar without its alpha channel gives.
TEST(Job, ATransparentExemplarGivesPixelsOfItsOwn) {
    const Image exemplar = transparent_exemplar();
    std::set<std::tuple<int, int, int, int>> exemplar_pixels;
    for (std::size_t i = 0; i < exemplar.pixels.size(); i += 4) {
        exemplar_pixels.insert({exemplar.pixels[i], exemplar.pixels[i + 1], exemplar.pixels[i + 2],
                                exemplar.pixels[i + 3]});
    }
    const JobResult result = run_job_or_fail(generate(exemplar, 64, 64));
    const auto& p = result.image.pixels;
    for (std::size_t i = 0; i < p.size(); i += 4) {
        ASSERT_TRUE(exemplar_pixels.contains({p[i], p[i + 1], p[i + 2], p[i + 3]})) << "pixel " << i / 4;
    }
    const JobResult opaque = run_job_or_fail(generate(demo_exemplar(), 64, 64));
    for (std::size_t i = 0; i < opaque.image.pixels.size() / 3; ++i) {
        ASSERT_TRUE(std::equal(&p[i * 4], &p[i * 4 + 3], &opaque.image.pixels[i * 3])) << "pixel " << i;
    }
}

TEST(Job, SeedsChangeTheResultAndRepeatOnAnyNumberOfThreads) {
    const Image exemplar = demo_exemplar();
    Job job = generate(exemplar, 48, 40);
    const JobResult unseeded = run_job_or_fail(job);
    job.settings.seed = 5;
    job.settings.threads = 1;
    const JobResult seeded = run_job_or_fail(job);
    EXPECT_NE(seeded.image.pixels, unseeded.image.pixels);
    for (const int threads : {2, 3}) {
        job.settings.threads = threads;
        EXPECT_EQ(run_job_or_fail(job).image.pixels, seeded.image.pixels) << threads << " threads";
    }
    job.settings.seed = 6;
    EXPECT_NE(run_job_or_fail(job).image.pixels, seeded.image.pixels);
}

// Square tiles 16 x 14 pixels apart with joints 3 pixels wide, each tile of its own shade, on a 100 x 90
// exemplar that does not tile by itself (its last row and column of tiles are cut).
Image tile_exemplar() {
    Image image{100, 90, 3, {}};
    std::mt19937 random(21);
    std::vector<int> shade(64);
    for (int& v : shade) {
        v = 140 + static_cast<int>(random() % 70);
    }
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const int noise = static_cast<int>(random() % 12);
            const bool joint = x % 16 < 3 || y % 14 < 3;
            const int grey = joint ? 35 + noise : shade[static_cast<std::size_t>((x / 16) * 8 + y / 14)] + noise;
            image.pixels.insert(image.pixels.end(), {static_cast<std::uint8_t>(grey), static_cast<std::uint8_t>(grey),
                                                     static_cast<std::uint8_t>(grey * 9 / 10)});
        }
    }
    return image;
}

// A regular pattern comes out of the finished texture's settings with every pixel in step with its lattice
// (stretched to whole periods across the output, so that the result tiles without a break), the same on any
// number of threads.
TEST(Job, RegularPatternsComeOutInStepOnAnyNumberOfThreads) {
    const Image exemplar = tile_exemplar();
    Job job;
    job.exemplar = &exemplar;
    job.width = 130;
    job.height = 100;
    job.settings = finished_texture_defaults();
    job.settings.typical_seam = false;  // the lattice's steps are those of the texture as laid out, before the cut
    job.settings.threads = 1;
    const JobResult one = run_job_or_fail(job);
    for (const int threads : {2, 3}) {
        job.settings.threads = threads;
        EXPECT_EQ(run_job_or_fail(job).image.pixels, one.image.pixels) << threads << " threads";
    }
    const PeriodLattice lattice = find_period_lattice(exemplar.pixels.data(), exemplar.width, exemplar.height);
    ASSERT_TRUE(lattice.found);
    const LatticePhase phase(lattice, 0, job.width, job.height);
    int out_of_step = 0;
    for (int y = 0; y < job.height; ++y) {
        for (int x = 0; x < job.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * job.width + x;
            int sx = one.map.xy[i * 2];
            int sy = one.map.xy[i * 2 + 1];
            phase.snap(sx, sy, x, y);
            out_of_step += sx != one.map.xy[i * 2] || sy != one.map.xy[i * 2 + 1] ? 1 : 0;
        }
    }
    EXPECT_EQ(out_of_step, 0);
}

// The top left side x side pixels of the demo exemplar.
Image demo_crop(int side) {
    const Image exemplar = demo_exemplar();
    Image crop{side, side, 3, {}};
    for (int y = 0; y < side; ++y) {
        const auto row = exemplar.pixels.begin() + static_cast<std::ptrdiff_t>(y) * exemplar.width * 3;
        crop.pixels.insert(crop.pixels.end(), row, row + side * 3);
    }
    return crop;
}

// Levels left open: as many as keep the exemplar's coarsest level at least 12 pixels a side, fewer where the
// output is too small for them.
TEST(Job, LevelsLeftOpenAreChosenToSuitTheExemplarAndTheOutput) {
    const struct {
        int exemplar_side, output_side;
        std::vector<int> levels;
    } cases[] = {{128, 64, {3, 2, 1, 0}}, {48, 32, {2, 1, 0}}, {47, 32, {1, 0}}, {48, 3, {1, 0}}, {23, 32, {0}}};
    for (const auto& c : cases) {
        const Image exemplar = demo_crop(c.exemplar_side);
        Job job = generate(exemplar, c.output_side, c.output_side);
        job.settings.levels = 0;
        std::vector<int> levels;
        JobHooks hooks;
        hooks.on_level = [&levels](const LevelPixels& level) { levels.push_back(level.n); };
        JobResult result;
        JobError error;
        ASSERT_TRUE(run_job(job, result, error, hooks)) << error.message();
        EXPECT_EQ(levels, c.levels) << c.exemplar_side << " to " << c.output_side;
    }
    // Levels that are given are kept, and refused if the exemplar is too small for them.
    const Image small = demo_crop(19);
    Job job = generate(small, 32, 32);
    job.settings.levels = 3;
    JobResult result;
    JobError error;
    EXPECT_FALSE(run_job(job, result, error));
    EXPECT_EQ(error.subject, "exemplar");
    EXPECT_NE(error.why.find("too small"), std::string::npos) << error.why;
}

TEST(Job, RefusalsSayWhatIsWrong) {
    const Image exemplar = demo_exemplar();
    Image two_channels{4, 4, 2, std::vector<std::uint8_t>(32)};
    Image short_buffer{4, 4, 3, std::vector<std::uint8_t>(47)};
    const struct {
        Job job;
        const char* message;
    } cases[] = {
        {generate(two_channels, 8, 8), "exemplar: expected 3 (RGB) or 4 (RGBA) channels"},
        {generate(short_buffer, 8, 8), "exemplar: the pixel buffer does not match the picture's size"},
        {generate(exemplar, 0, 8), "output size: 0x8 is empty"},
        {generate(exemplar, 2, 2), "output size: 2x2 with 3 levels leaves level 2 empty"},
        {Job{}, "exemplar: none given"},
    };
    for (const auto& c : cases) {
        JobError error;
        EXPECT_FALSE(check_job(c.job, error));
        EXPECT_EQ(error.message().rfind(c.message, 0), 0u) << error.message();
    }
    Job passes = generate(exemplar, 8, 8);
    passes.settings.passes = 0;
    JobError error;
    EXPECT_FALSE(check_job(passes, error));
    EXPECT_EQ(error.message(), "passes: expected a whole number from 1 to 16, got 0");
}

TEST(Job, AMapThatReachesOutsideTheImageIsRefusedAtItsFirstBadPixel) {
    const Image image{3, 2, 3, std::vector<std::uint8_t>(18, 7)};
    SourceMap map{2, 2, {0, 0, 2, 1, 1, 1, 3, 0}};
    Image result;
    JobError error;
    EXPECT_FALSE(apply_source_map(image, map, result, error));
    EXPECT_EQ(error.message(), "source map: pixel (1, 1) points at (3, 0), outside the 3x2 image");
    map.xy[6] = 0;
    ASSERT_TRUE(apply_source_map(image, map, result, error)) << error.message();
    EXPECT_EQ(result.pixels, std::vector<std::uint8_t>(12, 7));
}

TEST(Job, AStopRequestAbandonsTheJob) {
    const Image exemplar = demo_exemplar();
    int rows = 0;
    JobHooks hooks;
    hooks.should_stop = [&rows] { return ++rows > 3; };
    JobResult result;
    JobError error;
    EXPECT_FALSE(run_job(generate(exemplar, 64, 64), result, error, hooks));
    EXPECT_EQ(error.message(), "interrupted");
    EXPECT_EQ(rows, 4);
}

}  // namespace
