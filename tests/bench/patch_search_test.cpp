// The exact nearest-patch search, against a plain search over every exemplar patch.
#include "bench/quality/patch_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

RgbImage random_image(int width, int height, unsigned seed, int levels = 256) {
    std::mt19937 random(seed);
    RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (std::uint8_t& value : image.pixels) {
        value = static_cast<std::uint8_t>(random() % levels * (255 / (levels - 1)));
    }
    return image;
}

int at(const RgbImage& image, int x, int y, int c) {
    x = (x % image.width + image.width) % image.width;
    y = (y % image.height + image.height) % image.height;
    return image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 3 + c];
}

// Every exemplar patch tried in turn; the first of equally near ones kept.
std::vector<PatchMatch> plain_search(const RgbImage& exemplar, const RgbImage& output) {
    const int columns = exemplar.width - 4;
    const int count = columns * (exemplar.height - 4);
    std::vector<PatchMatch> matches;
    for (int y = 0; y < output.height; ++y) {
        for (int x = 0; x < output.width; ++x) {
            PatchMatch best{-1, 0};
            for (int n = 0; n < count; ++n) {
                std::uint32_t distance = 0;
                for (int dy = -2; dy <= 2; ++dy) {
                    for (int dx = -2; dx <= 2; ++dx) {
                        for (int c = 0; c < 3; ++c) {
                            const int d = at(output, x + dx, y + dy, c) -
                                          at(exemplar, n % columns + 2 + dx, n / columns + 2 + dy, c);
                            distance += d * d;
                        }
                    }
                }
                if (best.index < 0 || distance < best.distance) {
                    best = {n, distance};
                }
            }
            matches.push_back(best);
        }
    }
    return matches;
}

void expect_same_matches(const std::vector<PatchMatch>& found, const std::vector<PatchMatch>& expected) {
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        ASSERT_EQ(found[i].index, expected[i].index) << "output pixel " << i;
        ASSERT_EQ(found[i].distance, expected[i].distance) << "output pixel " << i;
    }
}

TEST(NearestPatches, OnePatchExemplarByHand) {
    // All 10 against all 13: 75 components, each 3 apart.
    const RgbImage exemplar{5, 5, std::vector<std::uint8_t>(75, 10)};
    const RgbImage output{3, 2, std::vector<std::uint8_t>(18, 13)};
    for (const PatchMatch& match : nearest_exemplar_patches(exemplar, output)) {
        EXPECT_EQ(match.index, 0);
        EXPECT_EQ(match.distance, 75u * 9u);
    }
}

TEST(NearestPatches, EqualsPlainSearchOnRandomImages) {
    const RgbImage exemplar = random_image(13, 11, 1);
    const RgbImage output = random_image(9, 7, 2);
    expect_same_matches(nearest_exemplar_patches(exemplar, output, 1), plain_search(exemplar, output));
}

TEST(NearestPatches, TiesGoToTheLowestNumber) {
    // Black-and-white pictures: many patches equally near. A uniform exemplar makes every patch a tie.
    const RgbImage exemplar = random_image(12, 10, 3, 2);
    const RgbImage output = random_image(11, 9, 4, 2);
    expect_same_matches(nearest_exemplar_patches(exemplar, output, 1), plain_search(exemplar, output));

    const RgbImage uniform{9, 8, std::vector<std::uint8_t>(9 * 8 * 3, 200)};
    for (const PatchMatch& match : nearest_exemplar_patches(uniform, output)) {
        EXPECT_EQ(match.index, 0);
    }
}

// Grey pictures a(x) + b(y): their patches span only nine dimensions, so the bounds the search prunes with
// are as large as the distances themselves, and a few levels make many of those equal.
RgbImage sum_of_profiles(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<int> column(width);
    std::vector<int> row(height);
    for (int& a : column) {
        a = static_cast<int>(random() % 3) * 40;
    }
    for (int& b : row) {
        b = static_cast<int>(random() % 3) * 40;
    }
    RgbImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.pixels.insert(image.pixels.end(), 3, static_cast<std::uint8_t>(column[x] + row[y]));
        }
    }
    return image;
}

TEST(NearestPatches, TightBoundsDoNotLoseTheAnswer) {
    const RgbImage exemplar = sum_of_profiles(16, 14, 8);
    const RgbImage output = sum_of_profiles(12, 11, 9);
    expect_same_matches(nearest_exemplar_patches(exemplar, output, 1), plain_search(exemplar, output));
}

TEST(NearestPatches, CoherentOutputAnyThreadCountEqualsPlainSearch) {
    // An output pieced together from shifted copies of the exemplar, slightly disturbed: the neighbours'
    // matches are good first guesses, and the search must still find the exact answer.
    const RgbImage exemplar = random_image(20, 18, 5, 8);
    RgbImage output = random_image(24, 21, 6);
    std::mt19937 random(7);
    for (int y = 0; y < output.height; ++y) {
        for (int x = 0; x < output.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int noise = static_cast<int>(random() % 9) - 4;
                const int value = at(exemplar, x / 8 * 3 + x, y / 7 * 2 + y, c) + noise;
                output.pixels[(static_cast<std::size_t>(y) * output.width + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::clamp(value, 0, 255));
            }
        }
    }
    const std::vector<PatchMatch> expected = plain_search(exemplar, output);
    for (int threads : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        expect_same_matches(nearest_exemplar_patches(exemplar, output, threads), expected);
    }
}

// Every candidate tried in turn; the first of equally near ones kept.
std::vector<PatchMatch> plain_search_among(const RgbImage& image, const std::vector<PatchCorner>& candidates,
                                           const std::vector<PatchCorner>& queries) {
    std::vector<PatchMatch> matches;
    for (const PatchCorner& query : queries) {
        PatchMatch best{-1, 0};
        for (std::size_t n = 0; n < candidates.size(); ++n) {
            std::uint32_t distance = 0;
            for (int dy = 0; dy < 5; ++dy) {
                for (int dx = 0; dx < 5; ++dx) {
                    for (int c = 0; c < 3; ++c) {
                        const int d = at(image, query.left + dx, query.top + dy, c) -
                                      at(image, candidates[n].left + dx, candidates[n].top + dy, c);
                        distance += d * d;
                    }
                }
            }
            if (best.index < 0 || distance < best.distance) {
                best = {static_cast<int>(n), distance};
            }
        }
        matches.push_back(best);
    }
    return matches;
}

// Splits the patches of `image` at random into candidates and queries.
void split_patches(const RgbImage& image, unsigned seed, std::vector<PatchCorner>& candidates,
                   std::vector<PatchCorner>& queries) {
    std::mt19937 random(seed);
    for (int top = 0; top + 5 <= image.height; ++top) {
        for (int left = 0; left + 5 <= image.width; ++left) {
            (random() % 3 == 0 ? queries : candidates).push_back({left, top});
        }
    }
}

TEST(NearestPatchesAmong, EqualsPlainSearchOnAnyThreadCount) {
    const RgbImage image = random_image(41, 31, 10, 16);
    std::vector<PatchCorner> candidates;
    std::vector<PatchCorner> queries;
    split_patches(image, 11, candidates, queries);
    ASSERT_GT(queries.size(), 256u);  // more than one band of queries
    const std::vector<PatchMatch> expected = plain_search_among(image, candidates, queries);
    for (int threads : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        expect_same_matches(nearest_patches_among(image, candidates, queries, threads), expected);
    }
}

TEST(NearestPatchesAmong, TiesGoToTheFirstCandidate) {
    const RgbImage image = random_image(14, 12, 12, 2);
    std::vector<PatchCorner> candidates;
    std::vector<PatchCorner> queries;
    split_patches(image, 13, candidates, queries);
    expect_same_matches(nearest_patches_among(image, candidates, queries, 1),
                        plain_search_among(image, candidates, queries));

    // The same patch offered twice, and as a query of its own: distance 0, the first copy.
    const std::vector<PatchMatch> same = nearest_patches_among(image, {{3, 2}, {1, 1}, {3, 2}}, {{3, 2}});
    EXPECT_EQ(same[0].index, 0);
    EXPECT_EQ(same[0].distance, 0u);
}

TEST(NearestPatchesAmong, NoCandidatesNoMatch) {
    const RgbImage image = random_image(8, 8, 14);
    const std::vector<PatchMatch> none = nearest_patches_among(image, {}, {{0, 0}, {1, 2}});
    ASSERT_EQ(none.size(), 2u);
    EXPECT_EQ(none[0].index, -1);
    EXPECT_TRUE(nearest_patches_among(image, {{0, 0}}, {}).empty());
}

}  // namespace
