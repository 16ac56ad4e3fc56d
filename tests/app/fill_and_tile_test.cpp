// Filling holes (--mask), making pictures tile (--make-tileable) and growing them (--extend) through the real
// program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "image/image_file.h"
#include "support/pictures.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

void write_picture(const std::string& path, const Image& image) {
    std::string why;
    ASSERT_TRUE(write_image(path, image, why)) << why;
}

// A black picture with a white rectangle: the mask of a rectangular hole.
Image rectangle_mask(int width, int height, int x0, int y0, int x1, int y1) {
    Image mask{width, height, 3, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, 0)};
    for (int y = y0; y < y1; ++y) {
        std::fill_n(&mask.pixels[(static_cast<std::size_t>(y) * width + x0) * 3], (x1 - x0) * 3, 255);
    }
    return mask;
}

class FillAndTile : public testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(source_file("bench/exemplars/wall-photo.png"), dir / "wall.png");
        fs::copy_file(source_file("demo/cork.bmp"), dir / "cork.bmp");
        write_picture(dir / "hole.png", rectangle_mask(320, 240, 100, 80, 160, 130));
    }
    ScratchDir dir;
};

TEST_F(FillAndTile, FillsTheHoleAndKeepsEverythingElse) {
    ProgramRun run = run_texsynth(dir.path(), "--mask=hole.png --save-map=map.png -o filled.png wall.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load wall.png:320x240\nload hole.png:320x240\nwrite filled.png:320x240\nwrite map.png:320x240\n");
    EXPECT_EQ(run.err, "");
    const Image wall = read_picture_file(dir / "wall.png");
    const Image filled = read_picture_file(dir / "filled.png");
    PngSamples map;
    std::string why;
    ASSERT_TRUE(read_png_samples(dir / "map.png", map, why)) << why;
    int changed = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * 320 + x;
            const bool in_hole = x >= 100 && x < 160 && y >= 80 && y < 130;
            const bool same = std::equal(&wall.pixels[i * 3], &wall.pixels[i * 3 + 3], &filled.pixels[i * 3]);
            ASSERT_TRUE(in_hole || same) << "(" << x << ", " << y << ")";
            changed += same ? 0 : 1;
            if (!in_hole) {
                ASSERT_EQ(map.samples[i * 3], x);
                ASSERT_EQ(map.samples[i * 3 + 1], y);
            }
        }
    }
    EXPECT_GT(changed, 60 * 50 / 2);
    // The map applied to the picture gives the fill.
    run = run_texsynth(dir.path(), "--apply-map=map.png -o applied.png wall.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir / "applied.png"), read_file(dir / "filled.png"));
}

TEST_F(FillAndTile, FillsFromAnotherExemplar) {
    const ProgramRun run = run_texsynth(dir.path(), "--mask=hole.png --exemplar=cork.bmp -o filled.bmp wall.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "load wall.png:320x240\nload hole.png:320x240\nload cork.bmp:128x128\nwrite filled.bmp:320x240\n");
}

TEST_F(FillAndTile, MakesAPictureTile) {
    ProgramRun run = run_texsynth(dir.path(), "--make-tileable -o tiled.png wall.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load wall.png:320x240\nwrite tiled.png:320x240\n");
    run = run_texsynth(dir.path(), "--make-tileable=12 --seed=4 -o narrow.png wall.png");
    ASSERT_EQ(run.status, 0) << run.err;
    const Image wall = read_picture_file(dir / "wall.png");
    const Image narrow = read_picture_file(dir / "narrow.png");
    for (int y = 12; y < 240 - 12; ++y) {
        const std::size_t row = (static_cast<std::size_t>(y) * 320 + 12) * 3;
        ASSERT_TRUE(std::equal(&wall.pixels[row], &wall.pixels[row + 296 * 3], &narrow.pixels[row])) << "row " << y;
    }
    EXPECT_NE(read_picture_file(dir / "tiled.png").pixels, narrow.pixels);
}

TEST_F(FillAndTile, GrowsAPictureAndKeepsIt) {
    ProgramRun run = run_texsynth(dir.path(), "--extend=5,0,9,3 --passes=2 --save-map=map.png -o grown.png cork.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load cork.bmp:128x128\nwrite grown.png:142x131\nwrite map.png:142x131\n");
    EXPECT_EQ(run.err, "");
    const Image cork = read_picture_file(dir / "cork.bmp");
    const Image grown = read_picture_file(dir / "grown.png");
    for (int y = 0; y < 128; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * 128 * 3;
        ASSERT_TRUE(std::equal(&cork.pixels[row], &cork.pixels[row + 128 * 3],
                               &grown.pixels[(static_cast<std::size_t>(y) * 142 + 5) * 3]))
            << "row " << y;
    }
    // The map applied to the picture gives the grown picture.
    run = run_texsynth(dir.path(), "--apply-map=map.png -o applied.png cork.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir / "applied.png"), read_file(dir / "grown.png"));
    run = run_texsynth(dir.path(), "--extend=0,7,0,0 --passes=2 --exemplar=wall.png -o grown.bmp cork.bmp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load cork.bmp:128x128\nload wall.png:320x240\nwrite grown.bmp:128x135\n");
}

// A photo as a camera makes it, with a small hole: the work stays with the hole.
TEST_F(FillAndTile, LargePhotosAreFilledAroundTheHole) {
    const Image wall = read_picture_file(dir / "wall.png");
    Image photo{6000, 4000, 3, std::vector<std::uint8_t>(6000u * 4000 * 3)};
    for (int y = 0; y < 4000; ++y) {
        for (int x = 0; x < 6000; ++x) {
            const std::size_t from = (static_cast<std::size_t>(y % 240) * 320 + x % 320) * 3;
            std::copy_n(&wall.pixels[from], 3, &photo.pixels[(static_cast<std::size_t>(y) * 6000 + x) * 3]);
        }
    }
    write_picture(dir / "photo.png", photo);
    write_picture(dir / "spot.png", rectangle_mask(6000, 4000, 2900, 1900, 3110, 2060));
    const ProgramRun run = run_texsynth(dir.path(), "--quiet --mask=spot.png -o photo-filled.png photo.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "load photo.png:6000x4000\nload spot.png:6000x4000\nwrite photo-filled.png:6000x4000\n");
}

TEST_F(FillAndTile, RefusalsLeaveNothingBehind) {
    write_picture(dir / "small.png", rectangle_mask(64, 64, 1, 1, 5, 5));
    write_picture(dir / "black.png", rectangle_mask(320, 240, 0, 0, 0, 0));
    const struct {
        const char* arguments;
        int status;
        const char* message;
    } cases[] = {
        {"--mask=small.png -o out.png wall.png", 1, "texsynth: small.png: is 64x64, not the size of the image (320x240)\n"},
        {"--mask=black.png -o out.png wall.png", 1,
         "texsynth: black.png: marks no pixel to replace (non-black pixels mark the hole to fill)\n"},
        {"--mask=missing.png -o out.png wall.png", 1, "texsynth: missing.png: cannot open: No such file or directory\n"},
        {"--make-tileable=200 -o out.png wall.png", 1, "texsynth: --make-tileable: expected a width from 1 to 60 pixels"},
        {"--make-tileable=0 -o out.png wall.png", 2, "texsynth: option \"--make-tileable=0\": expected"},
        {"--exemplar=cork.bmp -o out.png wall.png", 2, "texsynth: option \"--exemplar\": only with --mask=MASK"},
        {"--mask=hole.png --make-tileable -o out.png wall.png", 2, "texsynth: option \"--make-tileable\": not with --mask"},
        {"--mask=hole.png --size=64x64 -o out.png wall.png", 2, "texsynth: option \"--size\": has no meaning with --mask"},
        {"--mask=hole.png --match=approximate -o out.png wall.png", 1,
         "texsynth: match: the kd-tree search (approximate) cannot leave pixels out"},
        {"--mask=hole.png wall.png p 64 64 1 2", 2, "texsynth: option \"--mask\": only with --output=FILE INPUT"},
        {"--extend=321,0,0,0 -o out.png wall.png", 1,
         "texsynth: --extend: the left side: expected from 0 to 320 pixels (at most the picture's width), got 321\n"},
        {"--extend=1,2,3 -o out.png wall.png", 2,
         "texsynth: option \"--extend=1,2,3\": expected --extend=N or --extend=LEFT,TOP,RIGHT,BOTTOM"},
        {"--extend=-4 -o out.png wall.png", 2, "texsynth: option \"--extend=-4\": expected"},
        {"--extend=0 -o out.png wall.png", 2, "texsynth: option \"--extend=0\": expected"},
        {"--extend=4 --mask=hole.png -o out.png wall.png", 2, "texsynth: option \"--extend\": not with --mask"},
        {"--extend=4 --make-tileable -o out.png wall.png", 2, "texsynth: option \"--extend\": not with --make-tileable"},
        {"--extend=4 --size=64x64 -o out.png wall.png", 2, "texsynth: option \"--size\": has no meaning with --extend"},
        {"--extend=4 --apply-map=m.png -o out.png wall.png", 2,
         "texsynth: option \"--extend\": has no meaning with --apply-map"},
        {"--extend=4 wall.png p 64 64 1 2", 2, "texsynth: option \"--extend\": only with --output=FILE INPUT"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = run_texsynth(dir.path(), c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << c.arguments << ": " << run.err;
        EXPECT_FALSE(fs::exists(dir / "out.png")) << c.arguments;
        EXPECT_FALSE(fs::exists(dir / "p_0.bmp")) << c.arguments;
    }
}

}  // namespace
