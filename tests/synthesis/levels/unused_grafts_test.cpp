// Parts of an exemplar that a layout left out grafted into it.
#include "synthesis/levels/unused_grafts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// An exemplar of 12 x 8 grey pixels: columns 0 to 4 dark (50 to 54), column 5 bright (190), columns 6 to 11
// brighter still (200). A 20 x 20 output copies columns 0 to 4 over and over, each pixel a few times, but an
// 8 x 8 patch at (10, 10) made of column 5: the right half of the exemplar is copied nowhere.
struct LeftOutHalf {
    std::vector<std::uint8_t> exemplar;
    CandidateGrid grid;
    std::vector<int> sources;

    LeftOutHalf() {
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 12; ++x) {
                exemplar.push_back(static_cast<std::uint8_t>(x < 5 ? 50 + x : x == 5 ? 190 : 200));
            }
        }
        grid.columns = grid.exemplar_width = 12;
        grid.rows = grid.exemplar_height = 8;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                const bool patch = x >= 10 && x < 18 && y >= 10 && y < 18;
                sources.push_back((y % 8) * 12 + (patch ? 5 : x % 5));
            }
        }
    }
};

std::vector<int> uses_of(const std::vector<int>& sources) {
    std::vector<int> uses(96, 0);
    for (const int source : sources) {
        ++uses[static_cast<std::size_t>(source)];
    }
    return uses;
}

TEST(GraftUnused, BringsTheLeftOutPartInWhereItFits) {
    LeftOutHalf layout;
    const std::vector<int> before = layout.sources;
    Grafting grafting;
    grafting.side = 0.5;  // squares of 4 x 4
    grafting.unused_share = 0.05;
    grafting.least_unused = 0.5;
    const int grafts = graft_unused(layout.grid, layout.exemplar.data(), 1, 1, layout.sources, 20, 20, grafting);
    EXPECT_EQ(grafts, 4);
    const std::vector<int> uses = uses_of(layout.sources);
    const std::vector<int> uses_before = uses_of(before);
    int grafted_in_patch = 0;
    int grafted = 0;
    for (int p = 0; p < 96; ++p) {
        // Every exemplar pixel is copied now; none copied before lost its last copy.
        EXPECT_GT(uses[static_cast<std::size_t>(p)], 0) << p;
    }
    for (int p = 0; p < 400; ++p) {
        const int source = layout.sources[static_cast<std::size_t>(p)];
        if (source % 12 >= 6) {
            ++grafted;
            const int x = p % 20;
            const int y = p / 20;
            grafted_in_patch += x >= 10 && x < 18 && y >= 10 && y < 18 ? 1 : 0;
            // What the grafts copy was copied nowhere before.
            EXPECT_EQ(uses_before[static_cast<std::size_t>(source)], 0);
        }
    }
    EXPECT_EQ(grafted, 4 * 16);
    // The bright squares go where the output is brightest, over the pixels copied from column 5.
    EXPECT_GE(grafted_in_patch, 32);

    // Nothing is grafted where little enough is left out, or with no side.
    LeftOutHalf again;
    grafting.unused_share = 0.6;
    EXPECT_EQ(graft_unused(again.grid, again.exemplar.data(), 1, 1, again.sources, 20, 20, grafting), 0);
    EXPECT_EQ(again.sources, before);
    grafting.unused_share = 0.05;
    grafting.side = 0;
    EXPECT_EQ(graft_unused(again.grid, again.exemplar.data(), 1, 1, again.sources, 20, 20, grafting), 0);
    EXPECT_EQ(again.sources, before);
}

}  // namespace
