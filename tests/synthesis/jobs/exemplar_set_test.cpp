// Several exemplars laid out as one: each at offsets that stay whole at every level, inside margins that repeat
// its own pixels, and only its own pixels candidates.
#include <gtest/gtest.h>

#include <random>

#include "pyramid/exemplar_pyramid.h"
#include "synthesis/jobs/exemplar_set.h"
#include "synthesis/search/exemplar_edges.h"

namespace {

// Noise (which tiles: every column boundary is like the wrap-around one), or with `ramp` noise on a ramp
// (which does not).
ExemplarPixels random_exemplar(std::mt19937& random, int width, int height, bool ramp) {
    ExemplarPixels exemplar{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3), {},
                            nullptr};
    for (std::size_t i = 0; i < exemplar.matched.size(); ++i) {
        const int x = static_cast<int>(i / 3 % width);
        exemplar.matched[i] = static_cast<std::uint8_t>(ramp ? x * 6 + random() % 8 : random());
    }
    exemplar.rgb = exemplar.matched;
    return exemplar;
}

TEST(ExemplarSet, SeveralExemplarsKeepTheirOwnPyramidsAndMarginsOfTheirOwnPixels) {
    std::mt19937 random(3);
    // Odd sizes, so that levels drop rows and columns; the second one tiles (its edges are read wrapped), the
    // first does not.
    std::vector<ExemplarPixels> exemplars = {random_exemplar(random, 37, 29, true),
                                             random_exemplar(random, 21, 33, false)};
    const SynthesisSettings settings = [] {
        SynthesisSettings s;
        s.levels = 3;
        s.matrix = automatic_matrix(3);
        return s;
    }();
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(21 * 33), 0);
    mask[5 * 21 + 7] = 1;  // one pixel of the second exemplar may be copied
    exemplars[1].mask = &mask;
    const ExemplarSet set = lay_out_exemplars(exemplars, settings, 3, true);
    ASSERT_EQ(set.places.size(), 2u);
    for (std::size_t e = 0; e < 2; ++e) {
        const ExemplarPlace& place = set.places[e];
        std::vector<std::uint8_t> own(static_cast<std::size_t>(pyramid_bytes(place.width, place.height, 3)));
        LevelTable table;
        build_exemplar_pyramid(exemplars[e].matched.data(), place.width, place.height, own, table, 3);
        for (int n = 0; n < 3; ++n) {
            SCOPED_TRACE("exemplar " + std::to_string(e) + ", level " + std::to_string(n));
            ASSERT_EQ(place.x % 4, 0);
            // Its pixels are its own pyramid's; the margin left of it repeats its own pixels, wrapped around
            // where it tiles and clamped where not, as far as the widest read reaches.
            CandidateOptions edges;
            choose_exemplar_edges(exemplars[e].rgb.data(), place.width, place.height, edges);
            ASSERT_EQ(edges.edges_x, e == 0 ? ExemplarEdges::clamped : ExemplarEdges::wrapped);
            for (int y = 0; y < table.height[n]; ++y) {
                for (int x = -(kCoarsestHalfSize + 1); x < table.width[n]; ++x) {
                    const std::uint8_t* in_set =
                        &set.pyramid[pixel_index(set.levels, n, (place.x >> n) + x, (place.y >> n) + y)];
                    const int from = x >= 0 ? x : e == 0 ? 0 : x + table.width[n];
                    const std::uint8_t* in_own = &own[pixel_index(table, n, from, y)];
                    ASSERT_TRUE(std::equal(in_own, in_own + 3, in_set)) << x << ", " << y;
                }
            }
        }
    }
    // Candidates: every pixel of the first exemplar at every level, of the second only what its mask allows,
    // and none of the margins.
    const auto allowed_at = [&set](int n) {
        return static_cast<int>(std::count(set.excluded[n].begin(), set.excluded[n].end(), 0));
    };
    EXPECT_EQ(allowed_at(0), 37 * 29 + 1);
    EXPECT_EQ(allowed_at(1), 18 * 14 + 1);
    EXPECT_EQ(allowed_at(2), 9 * 7 + 1);
    ASSERT_EQ(set.allowed.size(), 37u * 29 + 1);
    // Every allowed pixel is found in its exemplar, and stands for the pixel covering it at coarser levels.
    const ExemplarSet::Source last = set.source_of(set.allowed.back());
    EXPECT_EQ(last.exemplar, 1);
    EXPECT_EQ(last.x, 7);
    EXPECT_EQ(last.y, 5);
    const int covering = set.at_level(set.allowed.back(), 2);
    EXPECT_EQ(covering % set.levels.width[2], (set.places[1].x >> 2) + 1);
    EXPECT_EQ(covering / set.levels.width[2], (set.places[1].y >> 2) + 1);
    EXPECT_EQ(set.excluded[2][static_cast<std::size_t>(covering)], 0);
}

TEST(ExemplarSet, OnlyARegularPatternIsReadAroundItsEdgesWhereItTiles) {
    // Both tile by themselves; noise has no periods, the same 8 x 8 noise repeated has.
    std::mt19937 random(5);
    SynthesisSettings settings;
    settings.levels = 2;
    settings.matrix = automatic_matrix(2);
    const ExemplarSet noise = lay_out_exemplars({random_exemplar(random, 32, 40, false)}, settings, 3, true);
    EXPECT_FALSE(noise.periods.found);
    EXPECT_EQ(noise.edges.edges_x, ExemplarEdges::clamped);
    EXPECT_EQ(noise.edges.edges_y, ExemplarEdges::clamped);
    ExemplarPixels pattern = random_exemplar(random, 32, 40, false);
    for (std::size_t i = 0; i < pattern.rgb.size(); ++i) {
        const std::size_t x = i / 3 % 32;
        const std::size_t y = i / 3 / 32;
        pattern.rgb[i] = pattern.matched[i] = pattern.matched[((y % 8) * 32 + x % 8) * 3 + i % 3];
    }
    const ExemplarSet regular = lay_out_exemplars({pattern}, settings, 3, true);
    EXPECT_TRUE(regular.periods.found);
    EXPECT_EQ(regular.edges.edges_x, ExemplarEdges::wrapped);
    EXPECT_EQ(regular.edges.edges_y, ExemplarEdges::wrapped);
}

}  // namespace
