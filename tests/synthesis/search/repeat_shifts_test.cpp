// The pairs of pixels with one source at each shift, counted at once and pixel by pixel.
#include "synthesis/search/repeat_shifts.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Counted by a team of threads, each taking some of the exemplar pixels, the pairs are those of one thread.
TEST(RepeatShifts, ATeamCountsWhatOneThreadCounts) {
    constexpr int kWidth = 40;
    constexpr int kHeight = 30;
    constexpr int kExemplarPixels = 700;
    std::vector<int> sources(kWidth * kHeight);
    for (std::size_t p = 0; p < sources.size(); ++p) {
        sources[p] = p % 11 == 0 ? -1 : static_cast<int>((p * 7919) % kExemplarPixels);
    }
    RepeatShifts alone;
    alone.count(sources, kWidth, kHeight, kExemplarPixels);
    SearchTeam team(3);
    RepeatShifts shared;
    shared.count(sources, kWidth, kHeight, kExemplarPixels, &team);
    for (int p = 0; p < kWidth * kHeight; ++p) {
        const int source = (p * 31) % kExemplarPixels;
        ASSERT_EQ(shared.pairs_at(source, p % kWidth, p / kWidth), alone.pairs_at(source, p % kWidth, p / kWidth));
    }
    EXPECT_GT(alone.pairs_at(sources[1], 1, 0), 0);
}

// A 4 x 3 level whose first two rows are copies of one row of a 12-pixel exemplar: each of their pixels pairs
// with the one below it (a shift of (0, 1)) or above it ((0, -1), which wraps to (0, 2)), and nothing else.
TEST(RepeatShifts, CountsThePairsAtEachShiftWrappingAround) {
    const std::vector<int> sources = {0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, 7};
    RepeatShifts shifts;
    shifts.count(sources, 4, 3, 12);
    // Pixel (1, 0) keeping its source 1 pairs with (1, 1), a shift down of 1 that all four columns share; its
    // own pair is left out: 3. Taking source 2 instead, it pairs with (2, 1), a shift (1, 1) nobody has: 0.
    EXPECT_EQ(shifts.pairs_at(1, 1, 0), 3);
    EXPECT_EQ(shifts.pairs_at(2, 1, 0), 0);
    EXPECT_EQ(shifts.pairs_at(9, 1, 0), 0);  // a source nobody has

    // The same counted pixel by pixel: the same figures for a pixel not yet counted.
    RepeatShifts scan;
    scan.reset(4, 3, 12);
    for (int p = 0; p < 7; ++p) {
        scan.add(p % 4, p / 4, sources[static_cast<std::size_t>(p)]);
    }
    EXPECT_EQ(scan.pairs_at(3, 3, 1), 3);  // the pixel joining the three pairs at a shift of 1 up
    EXPECT_EQ(scan.pairs_at(0, 3, 1), 0);

    // One pair at a shift allowed (a tenth of the level's 12 pixels, rounded down).
    RepeatShifts allowing;
    allowing.allow(0.1);
    allowing.count(sources, 4, 3, 12);
    EXPECT_EQ(allowing.pairs_at(1, 1, 0), 2);  // 3 less the 1 allowed

    // None allowed, and each pair beyond one counted kSteepWeight times: 3 + (kSteepWeight - 1) x 2.
    RepeatShifts steep;
    steep.allow(0, 0.1);
    steep.count(sources, 4, 3, 12);
    EXPECT_EQ(steep.pairs_at(1, 1, 0), 3 + (RepeatShifts::kSteepWeight - 1) * 2);
    EXPECT_EQ(steep.pairs_at(2, 1, 0), 0);
}

// A 16 x 16 level tiled with a 4 x 4 block of 16 sources: each source's 16 uses pair at the 15 shifts of whole
// blocks, 256 pairs each, and nowhere else. Fewer shifts have pairs than a source has uses, so pairs_at looks
// at those shifts rather than at the uses: the same sums.
TEST(RepeatShifts, LooksAtTheShiftsWithPairsWhereTheyAreFewerThanTheUses) {
    std::vector<int> sources(256);
    for (int p = 0; p < 256; ++p) {
        sources[static_cast<std::size_t>(p)] = p % 4 + 4 * (p / 16 % 4);
    }
    for (const double share : {0.0, 0.5}) {
        SCOPED_TRACE(share);
        const int allowed = static_cast<int>(share * 256);
        RepeatShifts shifts;
        shifts.allow(share);
        shifts.count(sources, 16, 16, 16);
        // Pixel (1, 0) keeping source 1: 15 shifts of 256 pairs, its own left out; taking source 2: none.
        EXPECT_EQ(shifts.pairs_at(1, 1, 0), 15 * (255 - allowed));
        EXPECT_EQ(shifts.pairs_at(2, 1, 0), 0);
        // Counted pixel by pixel, the shifts crossing the share as they go: the same.
        RepeatShifts scan;
        scan.allow(share);
        scan.reset(16, 16, 16);
        for (int p = 0; p < 256; ++p) {
            scan.add(p % 16, p / 16, sources[static_cast<std::size_t>(p)]);
        }
        EXPECT_EQ(scan.pairs_at(1, 1, 0), 15 * (255 - allowed));
        EXPECT_EQ(scan.pairs_at(2, 1, 0), 0);
    }
}

}  // namespace
