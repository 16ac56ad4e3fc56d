// Filling holes and making pictures tile through the job API: what is kept, where the new pixels come from,
// and the refusals.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include <texsynth/job.h>

#include "bench/quality/quality_metrics.h"
#include "image/image_file.h"
#include "support/pictures.h"
#include "support/run_program.h"
#include "synthesis/jobs/hole_grain.h"
#include "synthesis/jobs/hole_job.h"

namespace {

Image read_picture(const std::string& relative) {
    Image image;
    std::string why;
    EXPECT_TRUE(read_image(source_file(relative), image, why)) << why;
    return image;
}

std::vector<std::uint8_t> rectangle_mask(int width, int height, int x0, int y0, int x1, int y1) {
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height, 0);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            mask[static_cast<std::size_t>(y) * width + x] = 255;
        }
    }
    return mask;
}

Job fill_job(const Image& picture, const std::vector<std::uint8_t>& mask, int threads = 0) {
    Job job;
    job.kind = JobKind::fill;
    job.settings = finished_texture_defaults();
    job.settings.threads = threads;
    job.picture = &picture;
    job.mask = &mask;
    return job;
}

// Every pixel outside the hole is the picture's own, and says so in the map; every pixel inside comes from a
// pixel outside it, never from the hole, whatever colour the hole holds.
void expect_filled_from_outside(const Image& picture, const std::vector<std::uint8_t>& mask, const JobResult& result) {
    ASSERT_EQ(result.image.width, picture.width);
    ASSERT_EQ(result.image.height, picture.height);
    ASSERT_EQ(result.image.channels, picture.channels);
    const int c = picture.channels;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * picture.width + x;
            const int sx = result.map.xy[i * 2];
            const int sy = result.map.xy[i * 2 + 1];
            if (mask[i] == 0) {
                ASSERT_TRUE(std::equal(&picture.pixels[i * c], &picture.pixels[i * c + c], &result.image.pixels[i * c]))
                    << "kept pixel (" << x << ", " << y << ") changed";
                ASSERT_EQ(sx, x);
                ASSERT_EQ(sy, y);
                continue;
            }
            const std::size_t source = static_cast<std::size_t>(sy) * picture.width + sx;
            ASSERT_EQ(mask[source], 0) << "pixel (" << x << ", " << y << ") copied from the hole at (" << sx << ", "
                                       << sy << ")";
            ASSERT_TRUE(std::equal(&picture.pixels[source * c], &picture.pixels[source * c + c],
                                   &result.image.pixels[i * c]));
        }
    }
}

TEST(HoleJob, AHoleOfAColourFoundNowhereElseKeepsNoneOfIt) {
    Image picture = read_picture("demo/demo2.bmp");
    const auto mask = rectangle_mask(128, 128, 40, 30, 90, 70);
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] != 0) {
            picture.pixels[i * 3] = 255;
            picture.pixels[i * 3 + 1] = 0;
            picture.pixels[i * 3 + 2] = 255;
        }
    }
    const JobResult result = run_job_or_fail(fill_job(picture, mask));
    expect_filled_from_outside(picture, mask, result);
    for (std::size_t i = 0; i < mask.size(); ++i) {
        ASSERT_FALSE(result.image.pixels[i * 3] == 255 && result.image.pixels[i * 3 + 1] == 0 &&
                     result.image.pixels[i * 3 + 2] == 255)
            << "pixel " << i << " kept the hole's colour";
    }
}

TEST(HoleJob, HolesAtEdgesAndCornersAndOfOnePixel) {
    const Image picture = read_picture("bench/exemplars/grass.png");
    const int w = picture.width;
    const int h = picture.height;
    const std::vector<std::vector<std::uint8_t>> masks = {
        rectangle_mask(w, h, 0, 0, 20, 15),          // a corner
        rectangle_mask(w, h, w - 9, 30, w, 80),      // the right edge
        rectangle_mask(w, h, 10, h - 1, w - 10, h),  // the bottom row
        rectangle_mask(w, h, 64, 64, 65, 65),        // one pixel
    };
    for (const auto& mask : masks) {
        expect_filled_from_outside(picture, mask, run_job_or_fail(fill_job(picture, mask)));
    }
}

TEST(HoleJob, TransparencyIsKeptOutsideAndCopiedInside) {
    Image picture = read_picture("bench/exemplars/stone.png");
    Image rgba{picture.width, picture.height, 4, {}};
    for (std::size_t i = 0; i < picture.pixels.size() / 3; ++i) {
        rgba.pixels.insert(rgba.pixels.end(), {picture.pixels[i * 3], picture.pixels[i * 3 + 1],
                                               picture.pixels[i * 3 + 2], static_cast<std::uint8_t>(i * 7 % 256)});
    }
    const auto mask = rectangle_mask(rgba.width, rgba.height, 50, 50, 80, 70);
    expect_filled_from_outside(rgba, mask, run_job_or_fail(fill_job(rgba, mask)));
}

TEST(HoleJob, AnotherExemplarGivesTheHolesPixels) {
    const Image picture = read_picture("demo/demo2.bmp");
    const Image exemplar = read_picture("demo/cork.bmp");
    const auto mask = rectangle_mask(128, 128, 30, 30, 70, 60);
    Job job = fill_job(picture, mask);
    job.exemplar = &exemplar;
    const JobResult result = run_job_or_fail(job);
    std::set<std::tuple<int, int, int>> cork;
    for (std::size_t i = 0; i < exemplar.pixels.size(); i += 3) {
        cork.insert({exemplar.pixels[i], exemplar.pixels[i + 1], exemplar.pixels[i + 2]});
    }
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const std::uint8_t* p = &result.image.pixels[i * 3];
        if (mask[i] == 0) {
            ASSERT_TRUE(std::equal(p, p + 3, &picture.pixels[i * 3]));
            continue;
        }
        ASSERT_TRUE(cork.contains({p[0], p[1], p[2]})) << "pixel " << i;
        const std::size_t source = static_cast<std::size_t>(result.map.xy[i * 2 + 1]) * 128 + result.map.xy[i * 2];
        ASSERT_TRUE(std::equal(p, p + 3, &exemplar.pixels[source * 3]));
    }
}

TEST(HoleJob, ASampleMaskKeepsItsPixelsOutOfTheFill) {
    // The hole's left neighbours are left out: no new pixel comes from there, in a fill from the picture and
    // in one from another exemplar.
    const Image picture = read_picture("demo/demo2.bmp");
    const Image exemplar = read_picture("demo/cork.bmp");
    const auto hole = rectangle_mask(128, 128, 40, 30, 90, 70);
    const auto left_out = rectangle_mask(128, 128, 0, 0, 64, 128);
    std::vector<std::uint8_t> allowed(left_out.size());
    std::transform(left_out.begin(), left_out.end(), allowed.begin(), [](std::uint8_t m) { return m == 0; });
    for (const Image* source : {static_cast<const Image*>(nullptr), &exemplar}) {
        Job job = fill_job(picture, hole);
        job.exemplar = source;
        job.sample_masks = {&allowed};
        const JobResult result = run_job_or_fail(job);
        for (std::size_t i = 0; i < hole.size(); ++i) {
            if (hole[i] != 0) {
                ASSERT_GE(result.map.xy[i * 2], 64) << "pixel " << i << " copied from what the sample mask leaves out";
            }
        }
    }
}

TEST(HoleJob, TheOtherSearchesFillToo) {
    // The coherent search's later passes take candidates from all around while comparing the causal half:
    // the edge's weights once ran past the end of that half.
    const Image picture = read_picture("demo/demo2.bmp");
    const auto mask = rectangle_mask(128, 128, 40, 30, 90, 70);
    for (const MatchMode match : {MatchMode::coherent, MatchMode::exact}) {
        Job job = fill_job(picture, mask);
        job.settings.match = match;
        job.settings.passes = 2;
        expect_filled_from_outside(picture, mask, run_job_or_fail(job));
    }
}

TEST(HoleJob, AThinHoleTakesFewerLevels) {
    // On a 320 x 240 photo three levels are chosen; a stroke 6 pixels wide is 2 deep at the coarsest of
    // them, too thin to lay out there, a rectangle deep enough.
    const Image picture = read_picture("bench/exemplars/wall-photo.png");
    const struct {
        std::vector<std::uint8_t> mask;
        int levels;
    } cases[] = {
        {rectangle_mask(picture.width, picture.height, 60, 100, 260, 106), 2},
        {rectangle_mask(picture.width, picture.height, 100, 60, 170, 120), 3},
    };
    for (const auto& c : cases) {
        SynthesisSettings settings;
        JobError error;
        ASSERT_TRUE(check_hole_job(fill_job(picture, c.mask), settings, error)) << error.message();
        EXPECT_EQ(settings.levels, c.levels);
    }
}

TEST(HoleJob, TheSameBytesOnAnyNumberOfThreads) {
    const Image picture = read_picture("bench/exemplars/wall-photo.png");
    const auto mask = rectangle_mask(picture.width, picture.height, 100, 60, 170, 120);
    const JobResult one = run_job_or_fail(fill_job(picture, mask, 1));
    for (const int threads : {2, 3}) {
        EXPECT_EQ(run_job_or_fail(fill_job(picture, mask, threads)).image.pixels, one.image.pixels) << threads << " threads";
    }
    Job tile;
    tile.kind = JobKind::tile;
    tile.settings = finished_texture_defaults();
    tile.picture = &picture;
    tile.settings.threads = 1;
    const JobResult tiled = run_job_or_fail(tile);
    tile.settings.threads = 3;
    EXPECT_EQ(run_job_or_fail(tile).image.pixels, tiled.image.pixels);
}

// A fill never reads its noise, so a seed tips the choices between candidates instead: another seed copies
// other sources into part of the hole (without it, all would be alike), and one seed gives one fill on any
// number of threads.
TEST(HoleJob, AnotherSeedGivesAnotherFill) {
    const Image picture = read_picture("bench/exemplars/wall-photo.png");
    const auto mask = rectangle_mask(picture.width, picture.height, 100, 60, 170, 120);
    Job job = fill_job(picture, mask, 1);
    job.settings.seed = 1;
    const JobResult first = run_job_or_fail(job);
    expect_filled_from_outside(picture, mask, first);
    job.settings.threads = 2;
    EXPECT_EQ(run_job_or_fail(job).image.pixels, first.image.pixels);
    job.settings.seed = 2;
    const JobResult second = run_job_or_fail(job);
    int holes = 0;
    int alike = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] != 0) {
            ++holes;
            alike += first.map.xy[i * 2] == second.map.xy[i * 2] && first.map.xy[i * 2 + 1] == second.map.xy[i * 2 + 1];
        }
    }
    EXPECT_LT(alike, holes * 9 / 10);
}

// On the wall photo a fill of this rectangle first copies the blurred dark band beside it (its grain 0.72 of
// the surroundings'); made again with every candidate weighed by its grain, from the same start and with the
// searches the first run built, it keeps theirs, and comes from outside the hole on any number of threads.
TEST(HoleJob, AFillSmootherThanItsSurroundingsTakesTheirGrain) {
    const Image picture = read_picture("bench/exemplars/wall-photo.png");
    const auto mask = rectangle_mask(picture.width, picture.height, 114, 86, 214, 164);
    ASSERT_EQ(picture.channels, 3);
    Job job = fill_job(picture, mask, 1);
    const JobResult one = run_job_or_fail(job);
    expect_filled_from_outside(picture, mask, one);
    job.settings.threads = 2;
    EXPECT_EQ(run_job_or_fail(job).image.pixels, one.image.pixels);
    std::vector<std::uint8_t> hole(mask.size());
    std::transform(mask.begin(), mask.end(), hole.begin(), [](std::uint8_t m) { return m != 0 ? 1 : 0; });
    const double around = ring_step(picture.pixels.data(), hole, picture.width, picture.height, kGrainRingReach);
    EXPECT_GT(hole_step(one.image.pixels.data(), hole, picture.width, picture.height), 0.8 * around);
}

// A tiled picture of odd size keeps its middle as it was, and its wrap-around seams no longer stand out.
TEST(HoleJob, TilingKeepsTheMiddleAndMendsTheSeams) {
    const Image photo = read_picture("bench/exemplars/paving-photo.png");
    Image picture{141, 97, 3, {}};
    for (int y = 0; y < 97; ++y) {
        const auto row = photo.pixels.begin() + static_cast<std::ptrdiff_t>(y + 20) * photo.width * 3 + 30 * 3;
        picture.pixels.insert(picture.pixels.end(), row, row + 141 * 3);
    }
    Job job;
    job.kind = JobKind::tile;
    job.settings = finished_texture_defaults();
    job.picture = &picture;
    const JobResult result = run_job_or_fail(job);
    const int band = default_tile_band(141, 97);
    EXPECT_EQ(band, 12);
    EXPECT_LE(band, widest_tile_band(141, 97));
    for (int y = band; y < 97 - band; ++y) {
        for (int x = band; x < 141 - band; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * 141 + x) * 3;
            ASSERT_TRUE(std::equal(&picture.pixels[i], &picture.pixels[i + 3], &result.image.pixels[i]))
                << "(" << x << ", " << y << ")";
        }
    }
    RgbImage before{141, 97, picture.pixels};
    RgbImage after{141, 97, result.image.pixels};
    const SeamScores original = seam_scores(before);
    const SeamScores tiled = seam_scores(after);
    EXPECT_GT(std::max(original.columns, original.rows), 2.0);
    EXPECT_LT(std::max(tiled.columns, tiled.rows), 2.0);
}

TEST(HoleJob, RefusalsSayWhatIsWrong) {
    const Image picture = read_picture("demo/demo2.bmp");
    const auto hole = rectangle_mask(128, 128, 10, 10, 20, 20);
    const std::vector<std::uint8_t> nothing(128 * 128, 0);
    const std::vector<std::uint8_t> everything(128 * 128, 1);
    const std::vector<std::uint8_t> wrong_size(100, 1);
    Job approximate = fill_job(picture, hole);
    approximate.settings.match = MatchMode::approximate;
    Job too_wide;
    too_wide.kind = JobKind::tile;
    too_wide.settings = finished_texture_defaults();
    too_wide.picture = &picture;
    too_wide.band = 33;
    Job two_sample_masks = fill_job(picture, hole);
    two_sample_masks.sample_masks = {&everything, &everything};
    Job sample_mask_of_nothing = fill_job(picture, hole);
    sample_mask_of_nothing.sample_masks = {&nothing};
    Job grown;
    grown.kind = JobKind::extend;
    grown.settings = finished_texture_defaults();
    grown.picture = &picture;
    grown.border = {8, 8, 8, 8};
    grown.sample_masks = {&everything};
    const struct {
        Job job;
        const char* message;
    } cases[] = {
        {fill_job(picture, nothing), "mask: marks no pixel to replace"},
        {fill_job(picture, everything), "mask: marks every pixel, which leaves none to fill the hole from"},
        {fill_job(picture, wrong_size), "mask: is not the size of the image (128x128)"},
        {approximate, "match: the kd-tree search (approximate) cannot leave pixels out"},
        {too_wide, "band: expected a width from 1 to 32 pixels for a 128x128 picture"},
        {two_sample_masks, "sample masks: expected one, for the image, got 2"},
        {sample_mask_of_nothing, "sample mask: allows no pixel to be copied"},
        {grown, "sample masks: only for a texture, a transfer, a fill or a tiling, not for a grown picture"},
    };
    for (const auto& c : cases) {
        JobError error;
        EXPECT_FALSE(check_job(c.job, error));
        EXPECT_EQ(error.message().rfind(c.message, 0), 0u) << error.message();
    }
}

}  // namespace
