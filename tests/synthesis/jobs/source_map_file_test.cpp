// Source maps as files: what --save-map writes and --apply-map and the Python module read.
#include <gtest/gtest.h>

#include <texsynth/source_map_files.h>

#include "image/image_file.h"
#include "support/scratch_dir.h"

namespace {

TEST(SourceMapFile, ReadsBackWhatItWrites) {
    ScratchDir dir;
    // Coordinates over the whole 16-bit range, on a map that is not square.
    SourceMap map{3, 2, {0, 0, 65535, 1, 2, 65535, 256, 255, 7, 8, 40000, 3}};
    std::string why;
    ASSERT_TRUE(write_source_map(dir / "map.png", map, why)) << why;
    SourceMap read;
    ASSERT_TRUE(read_source_map(dir / "map.png", read, why)) << why;
    EXPECT_EQ(read.width, 3);
    EXPECT_EQ(read.height, 2);
    EXPECT_EQ(read.xy, map.xy);
    EXPECT_TRUE(read.exemplar.empty());
    // The file is the 16-bit RGB PNG with blue 0 (the first exemplar) that the map's description promises.
    PngSamples png;
    ASSERT_TRUE(read_png_samples(dir / "map.png", png, why)) << why;
    EXPECT_EQ(png.bit_depth, 16);
    EXPECT_EQ(png.channels, 3);
    EXPECT_EQ(png.samples, (std::vector<std::uint16_t>{0, 0, 0, 65535, 1, 0, 2, 65535, 0, 256, 255, 0, 7, 8, 0,
                                                        40000, 3, 0}));
    // With several exemplars, blue says which one.
    map.exemplar = {0, 2, 1, 0, 0, 7};
    ASSERT_TRUE(write_source_map(dir / "several.png", map, why)) << why;
    ASSERT_TRUE(read_source_map(dir / "several.png", read, why)) << why;
    EXPECT_EQ(read.xy, map.xy);
    EXPECT_EQ(read.exemplar, map.exemplar);
}

TEST(SourceMapFile, RefusesWhatIsNoSourceMapAndLeavesTheMapAsItWas) {
    ScratchDir dir;
    std::string why;
    const std::vector<std::uint16_t> grey = {1, 2, 0, 3, 4, 5};
    ASSERT_TRUE(write_png16(dir / "grey.png", grey.data(), 3, 2, 1, why)) << why;
    const SourceMap kept{1, 1, {9, 9}};
    SourceMap map = kept;
    EXPECT_FALSE(read_source_map(dir / "grey.png", map, why));
    EXPECT_EQ(why, "is a 16-bit PNG with 1 channel; a source map is a 16-bit RGB PNG, as --save-map writes it");
    EXPECT_FALSE(read_source_map(dir / "missing.png", map, why));
    EXPECT_EQ(map.xy, kept.xy);

    EXPECT_FALSE(write_source_map(dir / "short.png", SourceMap{2, 2, {1, 2, 3}}, why));
    EXPECT_EQ(why, "cannot write: the source map's coordinates do not match its size");
}

}  // namespace
