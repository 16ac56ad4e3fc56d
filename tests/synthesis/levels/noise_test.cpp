// The noise an output starts from.
#include "synthesis/levels/noise.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace {

// Without a seed the draws are those of the C library's rand() from its start, reduced modulo the pixel
// count: the sequence every earlier run drew its noise from (checked against this platform's rand()).
TEST(NoiseDraws, WithoutASeedTheyAreTheClassicSequence) {
    NoiseDraws draws(std::nullopt);
    std::srand(1);
    for (int i = 0; i < 100'000; ++i) {
        const int pixels = i % 3 == 0 ? 16'384 : (i % 3 == 1 ? 1'048'576 : 2'147'483'647);
        ASSERT_EQ(draws.next(pixels), std::rand() % pixels) << "draw " << i;
    }
}

TEST(NoiseDraws, SeedsGiveTheirOwnRepeatableSequencesInRange) {
    std::set<std::vector<int>> sequences;
    for (const std::uint32_t seed : {0U, 1U, 2U, 4'294'967'295U}) {
        NoiseDraws first(seed);
        NoiseDraws again(seed);
        std::vector<int> drawn;
        for (int i = 0; i < 1'000; ++i) {
            const int p = first.next(1'000);
            ASSERT_GE(p, 0);
            ASSERT_LT(p, 1'000);
            ASSERT_EQ(again.next(1'000), p);
            drawn.push_back(p);
        }
        sequences.insert(drawn);
    }
    EXPECT_EQ(sequences.size(), 4u);
    // Every value of a small range turns up, about equally often.
    NoiseDraws draws(7U);
    int counts[3] = {};
    for (int i = 0; i < 30'000; ++i) {
        ++counts[draws.next(3)];
    }
    for (const int count : counts) {
        EXPECT_NEAR(count, 10'000, 500);
    }
}

}  // namespace
