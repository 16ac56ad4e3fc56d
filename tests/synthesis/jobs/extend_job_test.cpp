// Growing a picture through the job API: the parts that make its border, what is kept, where the new pixels
// come from, and the refusals.
#include <gtest/gtest.h>

#include <texsynth/job.h>

#include "image/image_file.h"
#include "support/pictures.h"
#include "support/run_program.h"
#include "synthesis/jobs/extend_job.h"

namespace {

Image read_picture(const std::string& relative) {
    Image image;
    std::string why;
    EXPECT_TRUE(read_image(source_file(relative), image, why)) << why;
    return image;
}

Job extend_job(const Image& picture, Border border, int threads = 0) {
    Job job;
    job.kind = JobKind::extend;
    job.settings = finished_texture_defaults();
    job.settings.passes = 2;  // enough to run every kind of pass, quickly
    job.settings.threads = threads;
    job.picture = &picture;
    job.border = border;
    return job;
}

bool inside(const Rect& inner, int width, int height) {
    return inner.x >= 0 && inner.y >= 0 && inner.width > 0 && inner.height > 0 && inner.x + inner.width <= width &&
           inner.y + inner.height <= height;
}

// The parts lie within the grown picture and their strips within the picture, and together they make every
// pixel of the border; a part that makes a pixel next to one made before it (or the picture's) holds that
// one too, so that the join is made to fit.
TEST(ExtendParts, MakeTheBorderAndSeeEveryJoin) {
    const struct {
        int width;
        int height;
        Border border;
    } cases[] = {
        {320, 240, {32, 32, 32, 32}}, {4000, 3000, {32, 32, 32, 32}}, {3000, 700, {0, 5, 1200, 700}},
        {10, 2500, {10, 0, 3, 2500}}, {1, 1, {1, 1, 1, 1}},         {5000, 40, {7, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const Border& b = c.border;
        const int width = c.width + b.left + b.right;
        const int height = c.height + b.top + b.bottom;
        std::vector<std::uint8_t> made(static_cast<std::size_t>(width) * height, 0);
        for (int y = b.top; y < b.top + c.height; ++y) {
            std::fill_n(&made[static_cast<std::size_t>(y) * width + b.left], c.width, 1);
        }
        for (const ExtendPart& part : extend_parts(c.width, c.height, b)) {
            const Rect& r = part.region;
            ASSERT_TRUE(inside(r, width, height)) << c.width << "x" << c.height;
            ASSERT_TRUE(inside(part.strip, c.width, c.height)) << c.width << "x" << c.height;
            EXPECT_LE(std::int64_t{part.strip.width} * part.strip.height, 1216 * 512);
            for (int y = r.y; y < r.y + r.height; ++y) {
                for (int x = r.x; x < r.x + r.width; ++x) {
                    if (made[static_cast<std::size_t>(y) * width + x] != 0) {
                        continue;
                    }
                    for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
                        const int nx = x + dx;
                        const int ny = y + dy;
                        const bool made_before = nx >= 0 && ny >= 0 && nx < width && ny < height &&
                                                 made[static_cast<std::size_t>(ny) * width + nx] == 1;
                        const bool in_region = nx >= r.x && nx < r.x + r.width && ny >= r.y && ny < r.y + r.height;
                        ASSERT_TRUE(!made_before || in_region)
                            << c.width << "x" << c.height << ": (" << x << ", " << y << ") is made without (" << nx
                            << ", " << ny << ")";
                    }
                }
            }
            for (int y = r.y; y < r.y + r.height; ++y) {
                std::uint8_t* row = &made[static_cast<std::size_t>(y) * width + r.x];
                std::replace(row, row + r.width, std::uint8_t{0}, std::uint8_t{2});
            }
            std::replace(made.begin(), made.end(), std::uint8_t{2}, std::uint8_t{1});
        }
        EXPECT_EQ(std::count(made.begin(), made.end(), 0), 0) << c.width << "x" << c.height;
    }
}

// The picture stays byte for byte where it now lies, and says so in the map; every border pixel (alpha
// included) is the picture's, or the exemplar's, pixel its map names.
TEST(ExtendJob, KeepsThePictureAndMakesTheBorderOfItsPixels) {
    const Image stone = read_picture("bench/exemplars/stone.png");
    Image picture{stone.width, stone.height, 4, {}};
    for (std::size_t i = 0; i < stone.pixels.size() / 3; ++i) {
        picture.pixels.insert(picture.pixels.end(), {stone.pixels[i * 3], stone.pixels[i * 3 + 1],
                                                     stone.pixels[i * 3 + 2], static_cast<std::uint8_t>(i * 7 % 256)});
    }
    const Image cork = read_picture("demo/cork.bmp");
    const Border border{6, 0, 11, 9};
    for (const Image* exemplar : {static_cast<const Image*>(nullptr), &cork}) {
        Job job = extend_job(picture, border);
        job.exemplar = exemplar;
        const JobResult result = run_job_or_fail(job);
        const Image& source = exemplar != nullptr ? *exemplar : picture;
        const int width = picture.width + 17;
        ASSERT_EQ(result.image.width, width);
        ASSERT_EQ(result.image.height, picture.height + 9);
        ASSERT_EQ(result.image.channels, 4);
        for (int y = 0; y < result.image.height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width + x;
                const int sx = result.map.xy[i * 2];
                const int sy = result.map.xy[i * 2 + 1];
                const bool kept = x >= 6 && x < 6 + picture.width && y < picture.height;
                if (kept) {
                    ASSERT_EQ(sx, x - 6);
                    ASSERT_EQ(sy, y);
                }
                const Image& origin = kept ? picture : source;
                ASSERT_LT(sx, origin.width);
                ASSERT_LT(sy, origin.height);
                const std::size_t from = (static_cast<std::size_t>(sy) * origin.width + sx) * origin.channels;
                const std::uint8_t* p = &result.image.pixels[i * 4];
                ASSERT_TRUE(std::equal(p, p + 3, &origin.pixels[from])) << "(" << x << ", " << y << ")";
                ASSERT_EQ(p[3], origin.channels == 4 ? origin.pixels[from + 3] : 255);
            }
        }
    }
}

TEST(ExtendJob, TheSameBytesOnAnyNumberOfThreads) {
    const Image demo = read_picture("demo/demo2.bmp");
    Image picture{64, 48, 3, {}};
    for (int y = 0; y < 48; ++y) {
        const auto row = demo.pixels.begin() + static_cast<std::ptrdiff_t>(y + 30) * 128 * 3 + 20 * 3;
        picture.pixels.insert(picture.pixels.end(), row, row + 64 * 3);
    }
    const Border border{20, 7, 3, 12};
    const JobResult one = run_job_or_fail(extend_job(picture, border, 1));
    EXPECT_EQ(run_job_or_fail(extend_job(picture, border, 3)).image.pixels, one.image.pixels);
}

TEST(ExtendJob, RefusalsSayWhatIsWrong) {
    const Image picture = read_picture("demo/demo2.bmp");
    const Image wide{40'000, 1, 3, std::vector<std::uint8_t>(40'000 * 3)};
    Job approximate = extend_job(picture, {1, 1, 1, 1});
    approximate.settings.match = MatchMode::approximate;
    const struct {
        Job job;
        const char* message;
    } cases[] = {
        {extend_job(picture, {}), "border: grows the picture by nothing"},
        {extend_job(picture, {0, -1, 0, 0}), "border: the top side: expected from 0 to 128 pixels"},
        {extend_job(picture, {129, 0, 0, 0}), "border: the left side: expected from 0 to 128 pixels (at most the "
                                              "picture's width), got 129"},
        {extend_job(wide, {20'000, 0, 20'000, 0}), "border: the grown picture would be 80000x1, wider or taller than "
                                                   "65536 pixels"},
        {approximate, "match: the kd-tree search (approximate) cannot keep pixels as they are"},
    };
    for (const auto& c : cases) {
        JobError error;
        EXPECT_FALSE(check_job(c.job, error));
        EXPECT_EQ(error.message().rfind(c.message, 0), 0u) << error.message();
    }
}

}  // namespace
