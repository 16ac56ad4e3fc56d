// What is made where, through the job API: several exemplars, sample masks, guides, style transfer and
// structure maps, and their refusals.
#include <gtest/gtest.h>

#include <cmath>

#include <texsynth/job.h>

#include "support/pictures.h"
#include "support/run_program.h"
#include "synthesis/jobs/seam_cut.h"

namespace {

Image part_of(const Image& picture, int left, int top, int width, int height) {
    Image part{width, height, picture.channels, {}};
    for (int y = top; y < top + height; ++y) {
        const auto row =
            picture.pixels.begin() + (static_cast<std::ptrdiff_t>(y) * picture.width + left) * picture.channels;
        part.pixels.insert(part.pixels.end(), row, row + static_cast<std::ptrdiff_t>(width) * picture.channels);
    }
    return part;
}

Image grey_picture(int width, int height, auto value) { return {width, height, 3, grey_image(width, height, value)}; }

const Image& stone() {
    static const Image picture = part_of(read_picture_file(source_file("bench/exemplars/stone.png")), 0, 0, 64, 64);
    return picture;
}

const Image& grass() {
    static const Image picture = part_of(read_picture_file(source_file("bench/exemplars/grass.png")), 0, 0, 64, 64);
    return picture;
}

Job texture(int width, int height) {
    Job job;
    job.settings = finished_texture_defaults();
    job.width = width;
    job.height = height;
    return job;
}

TEST(TextureJob, ARemixUsesEveryExemplarAndItsMapGivesItBack) {
    Job job = texture(96, 96);
    job.exemplars = {&stone(), &grass()};
    const JobResult result = run_job_or_fail(job);
    ASSERT_EQ(result.map.exemplar.size(), 96u * 96);
    const auto from_grass = std::count(result.map.exemplar.begin(), result.map.exemplar.end(), 1);
    EXPECT_GT(from_grass, 96 * 96 / 10);
    EXPECT_LT(from_grass, 96 * 96 * 9 / 10);
    Image applied;
    JobError error;
    ASSERT_TRUE(apply_source_map(job.exemplars, result.map, applied, error)) << error.message();
    EXPECT_EQ(applied.pixels, result.image.pixels);
}

// No pixel comes from outside a sample mask, whichever search makes the texture.
TEST(TextureJob, NoPixelComesFromOutsideASampleMask) {
    std::vector<std::uint8_t> mask(64 * 64, 0);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            mask[static_cast<std::size_t>(y) * 64 + x] = (x - 40) * (x - 40) + (y - 24) * (y - 24) < 300 ? 1 : 0;
        }
    }
    for (const MatchMode match : {MatchMode::refined, MatchMode::coherent, MatchMode::exact}) {
        Job job = texture(48, 40);
        job.settings.match = match;
        job.exemplar = &stone();
        job.sample_masks = {&mask};
        const JobResult result = run_job_or_fail(job);
        for (std::size_t i = 0; i < result.map.xy.size() / 2; ++i) {
            ASSERT_NE(mask[static_cast<std::size_t>(result.map.xy[i * 2 + 1]) * 64 + result.map.xy[i * 2]], 0)
                << "mode " << int(match) << ", pixel " << i;
        }
    }
}

// An exemplar of two materials (stone left, grass right) labelled by its guide, and a target layout of a
// square of stone in grass: nearly every pixel comes from the material its place asks for.
TEST(TextureJob, TheLayoutFollowsTheTargetGuide) {
    Image two = stone();
    for (int y = 0; y < 64; ++y) {
        std::copy_n(&grass().pixels[(static_cast<std::size_t>(y) * 64 + 32) * 3], 32 * 3,
                    &two.pixels[(static_cast<std::size_t>(y) * 64 + 32) * 3]);
    }
    const Image guide = grey_picture(64, 64, [](int x, int) { return x < 32 ? 255 : 0; });
    const Image target =
        grey_picture(80, 64, [](int x, int y) { return x >= 20 && x < 60 && y >= 16 && y < 48 ? 255 : 0; });
    Job job = texture(80, 64);
    job.exemplar = &two;
    job.guides = {&guide};
    job.target_guide = &target;
    const JobResult result = run_job_or_fail(job);
    int agree = 0;
    for (std::size_t i = 0; i < result.map.xy.size() / 2; ++i) {
        agree += (result.map.xy[i * 2] < 32) == (target.pixels[i * 3] != 0);
    }
    EXPECT_GT(agree, 80 * 64 * 97 / 100);
}

// A transfer has the target's size and follows its light and dark.
TEST(TextureJob, ATransferFollowsTheTargetsLightAndDark) {
    const Image target = grey_picture(72, 56, [](int x, int y) { return 40 + 170 * (((x / 18) + (y / 14)) % 2); });
    Job job;
    job.kind = JobKind::transfer;
    job.settings = finished_texture_defaults();
    job.exemplar = &stone();
    job.picture = &target;
    const JobResult result = run_job_or_fail(job);
    ASSERT_EQ(result.image.width, 72);
    ASSERT_EQ(result.image.height, 56);
    double bright = 0;
    double dark = 0;
    for (std::size_t i = 0; i < target.pixels.size() / 3; ++i) {
        const double luminance = 0.299 * result.image.pixels[i * 3] + 0.587 * result.image.pixels[i * 3 + 1] +
                                 0.114 * result.image.pixels[i * 3 + 2];
        (target.pixels[i * 3] > 128 ? bright : dark) += luminance;
    }
    EXPECT_GT(bright, dark * 1.3);
}

// A structure map is matched with the colour: one that repeats the colour, weighing as much, doubles every
// distance (and the repeat penalties, which grow with the components), so the texture is the plain one; one
// that differs changes it.
TEST(TextureJob, AStructureMapIsMatchedWithTheColour) {
    Job plain = texture(40, 32);
    plain.exemplar = &stone();
    const JobResult expected = run_job_or_fail(plain);
    Job doubled = plain;
    doubled.match_also = {{{&stone()}, 1.0}};
    EXPECT_EQ(run_job_or_fail(doubled).image.pixels, expected.image.pixels);
    const Image height = grey_picture(64, 64, [](int x, int y) { return (x / 8 + y / 8) % 2 * 200; });
    Job steered = plain;
    steered.match_also = {{{&height}, 1.0}};
    EXPECT_NE(run_job_or_fail(steered).image.pixels, expected.image.pixels);
}

// A finished texture starts where its wrap-around seams are like its other boundaries: the same texture as
// without the cut, rolled by whole steps of the grid, its source map with it.
TEST(TextureJob, AFinishedTextureIsTheUncutOneRolledOnTheGrid) {
    Job job = texture(64, 48);
    job.exemplar = &stone();
    job.settings.seed = 4;
    const JobResult cut = run_job_or_fail(job);
    job.settings.typical_seam = false;
    const JobResult uncut = run_job_or_fail(job);
    EXPECT_NE(cut.image.pixels, uncut.image.pixels);  // this seed's cut is not at the origin
    int matches = 0;
    for (int dy = 0; dy < 48; dy += kSeamCutGrid) {
        for (int dx = 0; dx < 64; dx += kSeamCutGrid) {
            JobResult rolled = uncut;
            roll_result(rolled, dx, dy);
            matches += rolled.image.pixels == cut.image.pixels && rolled.map.xy == cut.map.xy ? 1 : 0;
        }
    }
    EXPECT_EQ(matches, 1);
}

TEST(TextureJob, RefusalsSayWhatIsWrong) {
    const Image small = grey_picture(8, 8, [](int, int) { return 9; });
    const Image guide = grey_picture(64, 64, [](int, int) { return 9; });
    const std::vector<std::uint8_t> none(64 * 64, 0);
    const std::vector<std::uint8_t> short_mask(10, 1);
    struct Case {
        Job job;
        const char* message;
    };
    std::vector<Case> cases;
    const auto add = [&cases](auto change, const char* message) {
        Job job = texture(32, 32);
        job.exemplar = &stone();
        change(job);
        cases.push_back({job, message});
    };
    add([&](Job& j) { j.sample_masks = {&none}; }, "sample mask: allows no pixel to be copied");
    add([&](Job& j) { j.sample_masks = {&short_mask}; }, "sample mask: is not the size of the exemplar (64x64)");
    add([&](Job& j) { j.sample_masks = {&none, &none}; }, "sample masks: expected one for every exemplar (1), got 2");
    add([&](Job& j) { j.guides = {&guide}; }, "guides: lay out the result only with a target guide");
    add([&](Job& j) { j.target_guide = &small; }, "target guide: needs a guide of every exemplar as well");
    add([&](Job& j) { j.guides = {&small}, j.target_guide = &small; }, "guide: is 8x8, not the size of the exemplar");
    add([&](Job& j) { j.guides = {&guide}, j.target_guide = &small; },
        "target guide: is 8x8, not the output's size (32x32)");
    add([&](Job& j) { j.guides = {&guide}, j.target_guide = &guide, j.guide_weight = 65; },
        "guide weight: expected a weight from 0 to 64, got 65");
    add([&](Job& j) { j.match_also = {{{&small}, 1.0}}; }, "map 1: is 8x8, not the size of the exemplar");
    add([&](Job& j) { j.exemplars = {&stone(), &grass()}; }, "exemplar: give one exemplar or a list of them");
    add([&](Job& j) {
        j.exemplar = nullptr, j.exemplars = {&stone(), &grass()}, j.settings.match = MatchMode::approximate;
    },
        "match: the kd-tree search (approximate) cannot leave pixels out");
    add([&](Job& j) { j.kind = JobKind::transfer; }, "target: none given");
    add([&](Job& j) { j.kind = JobKind::tile, j.picture = &stone(), j.guides = {&guide}; },
        "guides: only for a texture or a transfer, not for a tiling");
    for (const Case& c : cases) {
        JobError error;
        EXPECT_FALSE(check_job(c.job, error));
        EXPECT_EQ(error.message().rfind(c.message, 0), 0u) << error.message();
    }
    // Several exemplars are limited by their size together.
    const Image large = grey_picture(700, 700, [](int x, int y) { return (x * 7 + y * 3) % 256; });
    Job together = texture(32, 32);
    together.exemplars = {&large, &large};
    JobError error;
    EXPECT_FALSE(check_job(together, error));
    EXPECT_EQ(error.message().rfind("exemplars: are too large together", 0), 0u) << error.message();
}

}  // namespace
