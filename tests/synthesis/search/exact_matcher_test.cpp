// The exact matcher against a plain search over every candidate.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "image/image_file.h"
#include "pyramid/exemplar_pyramid.h"
#include "support/run_program.h"
#include "synthesis/search/exact_matcher.h"
#include "synthesis/search/matched_channels.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/pyramid_views.h"
#include "synthesis/search/squared_distance.h"
#include "synthesis/search/training_set.h"

namespace {

struct Exemplar {
    LevelTable table;
    std::vector<std::uint8_t> pyramid;
};

Exemplar make_exemplar(const std::vector<std::uint8_t>& image, int width, int height, int levels) {
    Exemplar exemplar;
    exemplar.pyramid.resize(static_cast<std::size_t>(pyramid_bytes(width, height, levels)));
    build_exemplar_pyramid(image.data(), width, height, exemplar.pyramid, exemplar.table, levels);
    return exemplar;
}

// An exemplar of random bytes (the low eight bits of each draw).
Exemplar random_exemplar(std::mt19937& random, int width, int height, int levels) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * height * 3);
    for (auto& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    return make_exemplar(image, width, height, levels);
}

// Every candidate's vector, in candidate order, as the training set enumerates them.
std::vector<std::vector<std::int16_t>> candidate_vectors(const Exemplar& e, const int* row, int n, int levels) {
    const int border = training_border(e.table, row, n, levels);
    std::vector<std::vector<std::int16_t>> vectors;
    const DirectPyramidView view(e.pyramid.data(), e.table);
    for (int y = border; y < e.table.height[n] - border; ++y) {
        for (int x = border; x < e.table.width[n] - border; ++x) {
            std::vector<std::int16_t> v(static_cast<std::size_t>(neighbourhood_dimension(row, n, levels)));
            gather_neighbourhood(row, n, levels, x, y, view, v.data());
            vectors.push_back(v);
        }
    }
    return vectors;
}

int plain_nearest(const std::vector<std::vector<std::int16_t>>& candidates, const std::vector<std::int16_t>& query) {
    std::int64_t best = INT64_MAX;
    int index = -1;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        std::int64_t d = 0;
        for (std::size_t c = 0; c < query.size(); ++c) {
            d += (query[c] - candidates[i][c]) * (query[c] - candidates[i][c]);
        }
        if (d < best) {
            best = d;
            index = static_cast<int>(i);
        }
    }
    return index;
}

// Queries of four kinds: candidates themselves (distance 0, and ties where candidates repeat), candidates
// slightly disturbed, blends of two candidates (close to several at once), and noise.
std::vector<std::vector<std::int16_t>> queries_for(const std::vector<std::vector<std::int16_t>>& candidates,
                                                   std::mt19937& random, int count) {
    std::vector<std::vector<std::int16_t>> queries;
    for (int q = 0; q < count; ++q) {
        std::vector<std::int16_t> query = candidates[random() % candidates.size()];
        const std::vector<std::int16_t>& other = candidates[random() % candidates.size()];
        for (std::size_t i = 0; i < query.size(); ++i) {
            std::int16_t& c = query[i];
            if (q % 4 == 1) {
                c = static_cast<std::int16_t>(std::clamp<int>(c + static_cast<int>(random() % 41) - 20, 0, 255));
            } else if (q % 4 == 2) {
                c = static_cast<std::int16_t>((c + other[i] + static_cast<int>(random() % 2)) / 2);
            } else if (q % 4 == 3) {
                c = static_cast<std::int16_t>(random() % 256);
            }
        }
        queries.push_back(query);
    }
    return queries;
}

void expect_matches_plain_search(const Exemplar& exemplar, const int* row, int n, int levels, std::mt19937& random) {
    const ExactMatcher matcher(exemplar.pyramid.data(), exemplar.table, row, n, levels);
    const auto candidates = candidate_vectors(exemplar, row, n, levels);
    ASSERT_EQ(matcher.count(), static_cast<int>(candidates.size()));
    ExactMatcher::Query query = matcher.make_query();
    for (const auto& vector : queries_for(candidates, random, 80)) {
        matcher.prepare(vector.data(), query);
        const int expected = plain_nearest(candidates, vector);
        // Guesses, good or bad, never change the answer.
        const int guesses[] = {static_cast<int>(random() % candidates.size()), -1, expected};
        ASSERT_EQ(matcher.find(query, {}), expected);
        ASSERT_EQ(matcher.find(query, guesses), expected);
        // Nor does sharing the steps of the search between searchers in any order.
        for (const int searchers : {2, 3}) {
            std::int64_t shared = INT64_MAX;
            std::vector<ExactMatcher::Best> bests(static_cast<std::size_t>(searchers));
            for (auto& best : bests) {
                matcher.try_guesses(query, std::span(guesses, 1), best);
            }
            bool more = true;
            for (int share = 0; more; ++share) {
                more = matcher.search(query, 3 * share, 3 * share + 3, bests[(share * 7) % searchers], &shared);
            }
            ExactMatcher::Best overall;
            for (const auto& best : bests) {
                if (overall.improves_on(best.distance, best.index)) {
                    overall = best;
                }
            }
            ASSERT_EQ(overall.index, expected) << searchers << " searchers";
        }
        // The colour is the candidate pixel's own.
        const int x = matcher.grid().left + expected % matcher.grid().columns;
        const int y = matcher.grid().top + expected / matcher.grid().columns;
        const std::uint8_t* pixel = &exemplar.pyramid[pixel_index(exemplar.table, n, x, y)];
        ASSERT_TRUE(std::equal(pixel, pixel + 3, matcher.colour(expected)));
    }
}

// Candidates read past the exemplar's edges, with the full square of their own level only, with and without
// the index: every candidate is each pixel of the level, its vector read with wrapped or clamped positions.
TEST(ExactMatcher, FindsThePlainNearestWithEdgesReadPastAndWithoutIndex) {
    std::mt19937 random(9);
    const int width = 23;
    const int height = 17;
    const Exemplar exemplar = random_exemplar(random, width, height, 2);
    const int row[] = {2, 1};
    for (const ExemplarEdges edges : {ExemplarEdges::wrapped, ExemplarEdges::clamped}) {
        for (const bool indexed : {true, false}) {
            for (const bool coarser : {true, false}) {
                CandidateOptions options;
                options.shape = NeighbourhoodShape::full;
                options.edges_x = edges;
                options.edges_y = edges;
                options.indexed = indexed;
                options.coarser_levels = coarser;
                const ExactMatcher matcher(exemplar.pyramid.data(), exemplar.table, row, 0, 2, options);
                ASSERT_EQ(matcher.count(), width * height);
                const int levels_read = coarser ? 2 : 1;
                EXPECT_EQ(matcher.levels_read(), levels_read);
                const EdgeRule rule = edges == ExemplarEdges::wrapped ? EdgeRule::wrap : EdgeRule::clamp;
                const EdgePyramidView view(exemplar.pyramid.data(), exemplar.table, row, 0, 2, rule, rule);
                std::vector<std::vector<std::int16_t>> candidates;
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x) {
                        std::vector<std::int16_t> v(static_cast<std::size_t>(
                            neighbourhood_dimension(row, 0, levels_read, NeighbourhoodShape::full)));
                        gather_neighbourhood(row, 0, levels_read, x, y, view, v.data(), NeighbourhoodShape::full);
                        candidates.push_back(v);
                    }
                }
                ExactMatcher::Query query = matcher.make_query();
                for (const auto& vector : queries_for(candidates, random, 40)) {
                    matcher.prepare(vector.data(), query);
                    const int expected = plain_nearest(candidates, vector);
                    ASSERT_EQ(matcher.find(query, {}), expected);
                    std::int64_t d = 0;
                    for (std::size_t c = 0; c < vector.size(); ++c) {
                        d += (vector[c] - candidates[expected][c]) * (vector[c] - candidates[expected][c]);
                    }
                    EXPECT_EQ(matcher.distance(query, expected, INT64_MAX), d);
                }
            }
        }
    }
}

// With a span, candidates past an edge read the pixels whole spans back: each candidate's vector is the one
// an edge view with the same spans gathers.
TEST(ExactMatcher, CandidatesReadPastWrappedEdgesBySpans) {
    std::mt19937 random(12);
    const int width = 23;
    const int height = 17;
    const Exemplar exemplar = random_exemplar(random, width, height, 1);
    const int row[] = {2};
    CandidateOptions options;
    options.shape = NeighbourhoodShape::full;
    options.edges_x = ExemplarEdges::wrapped;
    options.edges_y = ExemplarEdges::wrapped;
    options.span_x = 18;
    options.span_y = 17;  // the whole height: the plain wrap-around
    const ExactMatcher matcher(exemplar.pyramid.data(), exemplar.table, row, 0, 1, options);
    EXPECT_EQ(matcher.grid().span_x, 18);
    EXPECT_EQ(matcher.grid().span_y, 0);
    const EdgePyramidView view(exemplar.pyramid.data(), exemplar.table, row, 0, 1, EdgeRule::wrap, EdgeRule::wrap,
                               18, 0);
    ExactMatcher::Query query = matcher.make_query();
    std::vector<std::int16_t> v(static_cast<std::size_t>(matcher.dimension()));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            gather_neighbourhood(row, 0, 1, x, y, view, v.data(), NeighbourhoodShape::full);
            matcher.prepare(v.data(), query);
            EXPECT_EQ(matcher.distance(query, matcher.grid().candidate_at(x, y), INT64_MAX), 0) << x << "," << y;
        }
    }
}

TEST(ExactMatcher, FindsThePlainNearestOnRandomExemplars) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 6; ++trial) {
        const int width = 20 + static_cast<int>(random() % 30);
        const int height = 20 + static_cast<int>(random() % 30);
        const Exemplar exemplar = random_exemplar(random, width, height, 2);
        const int row0[] = {1 + trial % 3, 1};
        const int row1[] = {0, 1 + trial % 2};
        SCOPED_TRACE(testing::Message() << width << "x" << height << " trial " << trial);
        expect_matches_plain_search(exemplar, row0, 0, 2, random);
        expect_matches_plain_search(exemplar, row1, 1, 2, random);
    }
}

// Weighted distances against a plain weighted sum, in the usual component order: the matcher keeps its
// components in an order of its own, and the weights must follow them there.
TEST(ExactMatcher, WeightedDistanceIsThePlainWeightedSum) {
    std::mt19937 random(11);
    const int width = 24;
    const int height = 21;
    const Exemplar exemplar = random_exemplar(random, width, height, 2);
    const int row[] = {2, 1};
    const ExactMatcher matcher(exemplar.pyramid.data(), exemplar.table, row, 0, 2);
    const auto candidates = candidate_vectors(exemplar, row, 0, 2);
    std::vector<std::int32_t> weights(candidates[0].size());
    for (auto& weight : weights) {
        weight = 1 + static_cast<std::int32_t>(random() % 4);
    }
    std::vector<std::int32_t> stored;
    matcher.stored_order(weights, stored);
    ExactMatcher::Query query = matcher.make_query();
    for (const auto& vector : queries_for(candidates, random, 10)) {
        matcher.prepare(vector.data(), query);
        for (int i = 0; i < matcher.count(); i += 7) {
            std::int64_t expected = 0;
            for (std::size_t c = 0; c < vector.size(); ++c) {
                const std::int64_t d = vector[c] - candidates[static_cast<std::size_t>(i)][c];
                expected += weights[c] * d * d;
            }
            ASSERT_EQ(matcher.weighted_distance(query, stored, i, INT64_MAX), expected) << i;
            // Past a limit below it, only "above the limit" is promised.
            if (expected > 0) {
                ASSERT_GT(matcher.weighted_distance(query, stored, i, expected - 1), expected - 1) << i;
            }
        }
    }
}

// Fewer candidates than components: most principal axes are degenerate and must not bound anything.
TEST(ExactMatcher, FindsThePlainNearestAmongVeryFewCandidates) {
    std::mt19937 random(8);
    for (const int size : {9, 10, 12}) {
        std::vector<std::uint8_t> image(static_cast<std::size_t>(size) * size * 3);
        for (auto& byte : image) {
            byte = static_cast<std::uint8_t>(random() % 64 + 96);
        }
        const Exemplar exemplar = make_exemplar(image, size, size, 1);
        const int row[] = {3};
        SCOPED_TRACE(testing::Message() << size << "x" << size);
        expect_matches_plain_search(exemplar, row, 0, 1, random);
    }
}

TEST(ExactMatcher, FindsThePlainNearestOnARealExemplar) {
    RgbImage image;
    std::string why;
    ASSERT_TRUE(read_rgb_image(source_file("demo/demo2.bmp"), image, why)) << why;
    const Exemplar exemplar = make_exemplar(image.pixels, image.width, image.height, 3);
    const int matrix[] = {2, 1, 1, 0, 2, 1, 0, 0, 2};
    std::mt19937 random(9);
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(testing::Message() << "level " << n);
        expect_matches_plain_search(exemplar, matrix + n * 3, n, 3, random);
    }
}

TEST(ExactMatcher, TiesGoToTheLowestIndex) {
    // A pattern repeating every 3 pixels across and 2 down, in few colours: many candidates share a vector.
    const int width = 24;
    const int height = 20;
    std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t value = static_cast<std::uint8_t>(40 * ((x % 3) + 3 * (y % 2)));
            std::fill_n(&image[(static_cast<std::size_t>(y) * width + x) * 3], 3, value);
        }
    }
    const Exemplar exemplar = make_exemplar(image, width, height, 2);
    std::mt19937 random(3);
    const int row[] = {2, 1};
    expect_matches_plain_search(exemplar, row, 0, 2, random);

    // The vector of candidate (7, 4) repeats every 6 columns and 4 rows (the coarser level halves the
    // period's phase), so candidate (1, 0) has it too and wins, even against a guess of an equal one.
    const ExactMatcher matcher(exemplar.pyramid.data(), exemplar.table, row, 0, 2);
    const auto candidates = candidate_vectors(exemplar, row, 0, 2);
    const int columns = matcher.grid().columns;
    ASSERT_EQ(candidates[columns * 4 + 7], candidates[1]);
    ExactMatcher::Query query = matcher.make_query();
    matcher.prepare(candidates[columns * 4 + 7].data(), query);
    const int equal_guess = columns * 4 + 7;
    EXPECT_EQ(matcher.find(query, std::span(&equal_guess, 1)), 1);
}

// The k nearest other candidates of every candidate, against sorting all of them by (distance, index).
TEST(ExactMatcher, FindsTheKNearestOtherCandidates) {
    std::mt19937 random(12);
    std::vector<std::uint8_t> image(30 * 26 * 3);
    for (auto& byte : image) {
        byte = static_cast<std::uint8_t>(random() % 4 * 60);  // few values: many ties
    }
    const Exemplar exemplar = make_exemplar(image, 30, 26, 2);
    const int row[] = {1, 1};
    const ExactMatcher matcher(exemplar.pyramid.data(), exemplar.table, row, 0, 2);
    const auto candidates = candidate_vectors(exemplar, row, 0, 2);
    for (int i = 0; i < matcher.count(); i += 7) {
        std::vector<ExactMatcher::Nearest::Item> all;
        for (int j = 0; j < matcher.count(); ++j) {
            std::int64_t d = 0;
            for (std::size_t c = 0; c < candidates[i].size(); ++c) {
                d += (candidates[i][c] - candidates[j][c]) * (candidates[i][c] - candidates[j][c]);
            }
            if (j != i) {
                all.push_back({d, j});
            }
        }
        std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
            return a.distance < b.distance || (a.distance == b.distance && a.index < b.index);
        });
        ExactMatcher::Nearest nearest(4, i);
        matcher.find_nearest(matcher.query_of(i), nearest);
        ASSERT_EQ(nearest.items().size(), 4u);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(nearest.items()[k].index, all[k].index) << "candidate " << i << ", neighbour " << k;
            EXPECT_EQ(nearest.items()[k].distance, all[k].distance);
        }
    }
}

// Pixels of five channels (colour, a map and a guide) with weights: the matcher and the plain search compare
// the same weighted components, the pixel's own guide among them.
TEST(ExactMatcher, FindsThePlainNearestWithWeightedChannels) {
    std::mt19937 random(5);
    const MatchedChannels channels = weighted_channels({4.0}, {30.0});
    const int levels = 2;
    const int width = 24;
    const int height = 20;
    std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * height * channels.count);
    for (auto& byte : image) {
        byte = static_cast<std::uint8_t>(random() % 4 * 60);  // few values: ties and near ties
    }
    Exemplar exemplar;
    exemplar.pyramid.resize(static_cast<std::size_t>(pyramid_bytes(width, height, levels, channels.count)));
    build_exemplar_pyramid(image.data(), width, height, exemplar.pyramid, exemplar.table, levels, channels.count);
    const int row[] = {2, 1};
    CandidateOptions options;
    options.channels = &channels;
    const ExactMatcher matcher(exemplar.pyramid.data(), exemplar.table, row, 0, levels, options);
    const int dimension = neighbourhood_dimension(row, 0, levels, NeighbourhoodShape::causal, channels);
    ASSERT_EQ(matcher.dimension(), dimension);
    ASSERT_EQ(dimension, (12 + 9) * 5 + 1);
    std::vector<std::vector<std::int16_t>> candidates;
    const DirectPyramidView view(exemplar.pyramid.data(), exemplar.table);
    const CandidateGrid& grid = matcher.grid();
    for (int i = 0; i < matcher.count(); ++i) {
        std::vector<std::int16_t> v(static_cast<std::size_t>(dimension));
        gather_neighbourhood(row, 0, levels, grid.left + i % grid.columns, grid.top + i / grid.columns, view,
                             v.data(), NeighbourhoodShape::causal, channels);
        // The map counts twice (sqrt 4), the guide about 5.5 times, the pixel's own guide last.
        EXPECT_EQ(v.back(), channels.component(4, exemplar.pyramid[pixel_index(exemplar.table, 0, grid.left + i %
                                                   grid.columns, grid.top + i / grid.columns) + 4]));
        candidates.push_back(v);
    }
    EXPECT_EQ(channels.component(3, 60), 120);
    EXPECT_EQ(channels.component(4, 60), 329);
    ExactMatcher::Query query = matcher.make_query();
    for (const auto& vector : queries_for(candidates, random, 40)) {
        matcher.prepare(vector.data(), query);
        ASSERT_EQ(matcher.find(query, {}), plain_nearest(candidates, vector));
    }
}

TEST(SquaredDistance, FastAndPlainAgreeAndStopPastTheLimit) {
    std::mt19937 random(1);
    const SquaredDistanceFunction fast = squared_distance_function();
    for (int trial = 0; trial < 200; ++trial) {
        // Every third trial: long vectors of weighted components as large as they may be, whose sums outgrow
        // 32 bits.
        const bool weighted = trial % 3 == 1;
        const int top = weighted ? kMaxComponent : 255;
        const int length = kDistanceBlock * (1 + trial % 5) * (weighted ? 40 : 1);
        std::vector<std::int16_t> a(static_cast<std::size_t>(length));
        std::vector<std::int16_t> b(a.size());
        std::int64_t exact = 0;
        for (int i = 0; i < length; ++i) {
            a[i] = static_cast<std::int16_t>(trial % 7 == 0 ? top * (i % 2) : random() % (top + 1));
            b[i] = static_cast<std::int16_t>(trial % 7 == 0 ? top * ((i + 1) % 2) : random() % (top + 1));
            exact += std::int64_t{a[i] - b[i]} * (a[i] - b[i]);
        }
        for (const std::int64_t limit : {INT64_MAX, exact, exact - 1, exact / 3, std::int64_t{0}}) {
            const std::int64_t plain = squared_distance_plain(a.data(), b.data(), length, limit);
            EXPECT_EQ(fast(a.data(), b.data(), length, limit), plain);
            if (exact <= limit) {
                EXPECT_EQ(plain, exact);
            } else {
                EXPECT_GT(plain, limit);
            }
        }
    }
}

}  // namespace
