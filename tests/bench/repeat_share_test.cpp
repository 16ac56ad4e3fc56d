// The repeat share on hand-made maps and pictures.
#include "bench/quality/repeat_share.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Labels of a width x height picture that is a tile x tile exemplar repeated.
std::vector<std::int64_t> tiled(int width, int height, int tile) {
    std::vector<std::int64_t> labels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            labels.push_back((y % tile) * tile + x % tile);
        }
    }
    return labels;
}

TEST(RepeatShare, ATiledExemplarRepeatsWhollyAtItsSideAndUniqueLabelsNever) {
    // 64 x 48 of a 16 x 16 exemplar tiled: every pixel has the same label 16 pixels away, the shortest shift
    // that counts.
    const RepeatShare tiles = repeat_share(tiled(64, 48, 16), 64, 48);
    EXPECT_DOUBLE_EQ(tiles.share, 1.0);
    EXPECT_EQ(tiles.dx % 16, 0);
    EXPECT_EQ(tiles.dy % 16, 0);
    EXPECT_EQ(tiles.counts[static_cast<std::size_t>(24 + 16) * 64 + 32], 64 * 48);  // the shift (0, 16)

    // An 8-pixel tile repeats at 8 pixels, which is too short to count, and at 16, which counts.
    EXPECT_DOUBLE_EQ(repeat_share(tiled(64, 48, 8), 64, 48).share, 1.0);

    // Every label unique, or unknown: nothing repeats.
    std::vector<std::int64_t> unique(64 * 48);
    for (std::size_t i = 0; i < unique.size(); ++i) {
        unique[i] = static_cast<std::int64_t>(i);
    }
    EXPECT_EQ(repeat_share(unique, 64, 48).share, 0.0);
    EXPECT_EQ(repeat_share(std::vector<std::int64_t>(64 * 48, -1), 64, 48).share, 0.0);

    // A 16 x 24 block copied once, 20 pixels to the right: an eighth of the picture repeats, at (20, 0) and
    // (-20, 0), the first of which in the heat map's order is (-20, 0).
    std::vector<std::int64_t> copied = unique;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 16; ++x) {
            copied[static_cast<std::size_t>(y) * 64 + x + 20] = copied[static_cast<std::size_t>(y) * 64 + x];
        }
    }
    const RepeatShare block = repeat_share(copied, 64, 48);
    EXPECT_DOUBLE_EQ(block.share, 0.125);
    EXPECT_EQ(block.dx, -20);
    EXPECT_EQ(block.dy, 0);
}

TEST(RepeatShare, PixelsAgreeWithTheMapAndTwoMapsCompare) {
    // A picture of 4 x 4 random tiles repeated: its 3 x 3 neighbourhoods label it as the map does.
    RgbImage picture{32, 32, {}};
    std::vector<std::uint16_t> map;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const int sx = x % 16;
            const int sy = y % 16;
            picture.pixels.push_back(static_cast<std::uint8_t>((sx * 37 + sy * 101) % 251));
            picture.pixels.push_back(static_cast<std::uint8_t>(sx * 16 + sy));
            picture.pixels.push_back(7);
            map.push_back(static_cast<std::uint16_t>(sx));
            map.push_back(static_cast<std::uint16_t>(sy));
        }
    }
    const std::vector<std::int64_t> from_map = labels_of_map(map);
    EXPECT_DOUBLE_EQ(repeat_share(labels_of_pixels(picture), 32, 32).share,
                     repeat_share(from_map, 32, 32).share);
    EXPECT_DOUBLE_EQ(same_position_share(from_map, from_map), 1.0);
    std::vector<std::int64_t> other = from_map;
    for (std::size_t i = 0; i < other.size(); i += 4) {
        other[i] = -1;
    }
    EXPECT_DOUBLE_EQ(same_position_share(from_map, other), 0.75);
}

}  // namespace
