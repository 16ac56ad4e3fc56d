// Level scans against plain scans written straight from the rules: raster order, every read wrapped around
// with a full modulo, each pixel replaced at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "image/image_file.h"
#include "pyramid/exemplar_pyramid.h"
#include "support/run_program.h"
#include "synthesis/levels/level_synthesis.h"
#include "synthesis/patterns/period_cells.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/training_set.h"

namespace {

struct Scene {
    LevelTable exemplar;
    std::vector<std::uint8_t> exemplar_pyramid;
    std::vector<std::uint8_t> noise;  // the output pyramid before any level is made
};

// A crop of the demo exemplar, and output noise drawn from it.
Scene make_scene(int output_width, int output_height, int levels) {
    RgbImage image;
    std::string why;
    EXPECT_TRUE(read_rgb_image(source_file("demo/demo2.bmp"), image, why)) << why;
    const int width = 40;
    const int height = 36;
    std::vector<std::uint8_t> crop(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        std::copy_n(&image.pixels[(static_cast<std::size_t>(y + 20) * image.width + 30) * 3], width * 3,
                    &crop[static_cast<std::size_t>(y) * width * 3]);
    }
    Scene scene;
    scene.exemplar_pyramid.resize(static_cast<std::size_t>(pyramid_bytes(width, height, levels)));
    build_exemplar_pyramid(crop.data(), width, height, scene.exemplar_pyramid, scene.exemplar, levels);
    scene.noise.resize(static_cast<std::size_t>(pyramid_bytes(output_width, output_height, levels)));
    std::mt19937 random(2);
    for (std::size_t i = 0; i < scene.noise.size(); i += 3) {
        std::copy_n(&crop[(random() % (width * height)) * 3], 3, &scene.noise[i]);
    }
    return scene;
}

// The neighbourhood of output pixel (x, y) of level n, built coordinate by coordinate.
std::vector<int> plain_query(const std::vector<std::uint8_t>& output, const LevelTable& table, const int* row, int n,
                             int levels, int x, int y) {
    std::vector<int> query;
    auto take = [&](int v, int c, int r) {
        const int w = table.width[v];
        const int h = table.height[v];
        const std::uint8_t* pixel = &output[pixel_index(table, v, ((c % w) + w) % w, ((r % h) + h) % h)];
        query.insert(query.end(), pixel, pixel + 3);
    };
    for (int dy = -row[n]; dy <= 0; ++dy) {
        for (int dx = -row[n]; dx <= (dy < 0 ? row[n] : -1); ++dx) {
            take(n, x + dx, y + dy);
        }
    }
    for (int v = n + 1; v < levels; ++v) {
        for (int dy = -row[v]; dy <= row[v]; ++dy) {
            for (int dx = -row[v]; dx <= row[v]; ++dx) {
                take(v, (x >> (v - n)) + dx, (y >> (v - n)) + dy);
            }
        }
    }
    return query;
}

struct QueryPointDeleter {
    void operator()(ANNcoord* point) const { annDeallocPt(point); }
};

// Synthesizes every level of `output` coarse to fine, finding each pixel's candidate with `nearest`: a raster
// pass in place, then passes that read a copy of what the pass before left.
template <class Nearest>
void plain_synthesis(std::vector<std::uint8_t>& output, const Scene& scene, const int* matrix, int width, int height,
                     int levels, Nearest nearest, int passes = 1) {
    const LevelTable table = make_level_table(width, height, levels);
    for (int n = levels - 1; n >= 0; --n) {
        const int* row = matrix + n * levels;
        TrainingSet set;
        build_training_set(scene.exemplar_pyramid.data(), scene.exemplar, row, n, levels, set);
        for (int pass = 1; pass <= passes; ++pass) {
            const std::vector<std::uint8_t> before = output;
            for (int y = 0; y < table.height[n]; ++y) {
                for (int x = 0; x < table.width[n]; ++x) {
                    const int index = nearest(set, plain_query(pass == 1 ? output : before, table, row, n, levels, x, y));
                    std::copy_n(&set.colours[static_cast<std::size_t>(index) * 3], 3,
                                &output[pixel_index(table, n, x, y)]);
                }
            }
        }
    }
}

const int kMatrix[] = {2, 1, 1, 0, 1, 2, 0, 0, 2};

// A job for one level after another of a 3-level output pyramid; the caller sets the level.
LevelJob three_level_job(std::vector<std::uint8_t>& output, int width, int height, SearchTeam& team, int passes) {
    LevelJob job;
    job.output_pyramid = output.data();
    job.output_width = width;
    job.output_height = height;
    job.levels = 3;
    job.team = &team;
    job.passes = passes;
    return job;
}

// How many output pixels copy each of `exemplar_pixels` exemplar pixels.
std::vector<int> copies_of(const std::vector<int>& sources, int exemplar_pixels) {
    std::vector<int> copies(static_cast<std::size_t>(exemplar_pixels), 0);
    for (const int source : sources) {
        ++copies[static_cast<std::size_t>(source)];
    }
    return copies;
}

// The squared distance between two vectors plus the repeat penalty of candidate `c`: its copies beyond the
// share, times the weight and the vector's dimension (72).
std::int64_t penalised_distance(const std::vector<int>& v, const std::vector<int>& query, const std::vector<int>& copies,
                                int c, double share, double weight) {
    std::int64_t d = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        d += (v[i] - query[i]) * (v[i] - query[i]);
    }
    return d + static_cast<std::int64_t>(std::max(0.0, copies[static_cast<std::size_t>(c)] - share) * weight * 72);
}

// A job for level n that carries the coarser level's sources over, then corrects them in one later pass over
// the lattice's 3 x 3 subsets with the given repeat penalty.
LevelJob refined_job(std::vector<std::uint8_t>& output, int width, int height, const int* row, int n, int levels,
                     SearchTeam& team, std::vector<int>& level_sources, const std::vector<int>& coarser,
                     double weight) {
    LevelJob job;
    job.matrix_row = row;
    job.output_pyramid = output.data();
    job.output_width = width;
    job.output_height = height;
    job.n = n;
    job.levels = levels;
    job.passes = 2;
    job.team = &team;
    job.sources = &level_sources;
    job.coarser_sources = &coarser;
    job.first_pass = FirstPass::continue_parent;
    job.later.lattice = 3;
    job.later.repeat_penalty = weight;
    return job;
}

TEST(LevelSynthesis, ApproximateScanAsksTheTreeTheSameQuestions) {
    const int width = 27;
    const int height = 19;
    const Scene scene = make_scene(width, height, 3);
    std::vector<std::uint8_t> plain = scene.noise;
    plain_synthesis(plain, scene, kMatrix, width, height, 3, [](const TrainingSet& set, const std::vector<int>& q) {
        const std::unique_ptr<ANNcoord, QueryPointDeleter> point(annAllocPt(set.dimension, 0));
        std::copy(q.begin(), q.end(), point.get());
        ANNidx index = 0;
        ANNdist distance = 0;
        set.tree->annkSearch(point.get(), 1, &index, &distance, 2.0);
        return index;
    });

    std::vector<std::uint8_t> output = scene.noise;
    TrainingSet set;
    for (int n = 2; n >= 0; --n) {
        build_training_set(scene.exemplar_pyramid.data(), scene.exemplar, kMatrix + n * 3, n, 3, set);
        synthesize_level(set, kMatrix + n * 3, output.data(), width, height, n, 3, 2.0);
    }
    EXPECT_EQ(output, plain);
}

TEST(LevelSynthesis, ExactScanTakesTheNearestCandidateWithAnyNumberOfThreadsAndPasses) {
    const int width = 30;
    const int height = 22;
    const Scene scene = make_scene(width, height, 3);
    const auto brute_force = [](const TrainingSet& set, const std::vector<int>& q) {
        double best = -1;
        int index = 0;
        for (int i = 0; i < set.count; ++i) {
            double d = 0;
            for (int c = 0; c < set.dimension; ++c) {
                d += (set.points[i][c] - q[c]) * (set.points[i][c] - q[c]);
            }
            if (best < 0 || d < best) {
                best = d;
                index = i;
            }
        }
        return index;
    };
    std::vector<std::uint8_t> plain = scene.noise;
    plain_synthesis(plain, scene, kMatrix, width, height, 3, brute_force);
    std::vector<std::uint8_t> plain_two_passes = scene.noise;
    plain_synthesis(plain_two_passes, scene, kMatrix, width, height, 3, brute_force, 2);

    for (const int threads : {1, 2, 3}) {
        for (const int passes : {1, 2}) {
            std::vector<std::uint8_t> output = scene.noise;
            SearchTeam team(threads);
            int rows_reported = 0;
            LevelJob job = three_level_job(output, width, height, team, passes);
            job.hooks.on_row = [&](int rows_done, int rows) {
                EXPECT_GT(rows_done, rows_reported);
                EXPECT_LE(rows_done, rows);
                rows_reported = rows_done;
            };
            for (int n = 2; n >= 0; --n) {
                const ExactMatcher matcher(scene.exemplar_pyramid.data(), scene.exemplar, kMatrix + n * 3, n, 3);
                // Where the pixels came from only seeds the search: any start gives the same result.
                std::vector<int> sources(static_cast<std::size_t>(width >> n) * (height >> n), n * 7);
                job.matrix_row = kMatrix + n * 3;
                job.n = n;
                job.sources = threads == 2 ? &sources : nullptr;
                rows_reported = 0;
                synthesize_level_exact(matcher, job);
            }
            if (passes == 1) {
                EXPECT_EQ(output, plain) << threads << " threads";
            } else {
                EXPECT_EQ(output, plain_two_passes) << threads << " threads";
            }
        }
    }
}

// The coherent search written out plainly: the candidates continue the neighbours' sources (before the pixel
// in the first pass, all around later), each with its k most similar candidates (by brute force), and the
// parent's; the nearest of them wins, ties to the lowest index.
TEST(LevelSynthesis, CoherentScanTakesTheBestOfItsCandidatesWithAnyNumberOfThreads) {
    const int width = 28;
    const int height = 20;
    const int k = 1;
    const Scene scene = make_scene(width, height, 3);
    const LevelTable table = make_level_table(width, height, 3);
    std::mt19937 random(6);
    std::vector<std::vector<int>> noise_sources(3);
    for (int n = 0; n < 3; ++n) {
        noise_sources[n].resize(static_cast<std::size_t>(table.width[n]) * table.height[n]);
        for (int& source : noise_sources[n]) {
            source = static_cast<int>(random() % (scene.exemplar.width[n] * scene.exemplar.height[n]));
        }
    }

    for (const int passes : {1, 2}) {
        // The plain way.
        std::vector<std::uint8_t> plain = scene.noise;
        std::vector<std::vector<int>> sources = noise_sources;
        for (int n = 2; n >= 0; --n) {
            const int* row = kMatrix + n * 3;
            TrainingSet set;
            build_training_set(scene.exemplar_pyramid.data(), scene.exemplar, row, n, 3, set);
            const CandidateGrid grid = set.grid;
            auto distance = [&](const std::vector<int>& q, int i) {
                std::int64_t d = 0;
                for (int c = 0; c < set.dimension; ++c) {
                    const auto diff = static_cast<std::int64_t>(set.points[i][c]) - q[c];
                    d += diff * diff;
                }
                return d;
            };
            std::vector<std::vector<int>> similar(static_cast<std::size_t>(set.count));
            for (int i = 0; i < set.count; ++i) {
                std::vector<int> q(set.points[i], set.points[i] + set.dimension);
                std::vector<std::pair<std::int64_t, int>> others;
                for (int j = 0; j < set.count; ++j) {
                    if (j != i) {
                        others.emplace_back(distance(q, j), j);
                    }
                }
                std::sort(others.begin(), others.end());
                similar[i].push_back(others[0].second);
            }
            for (int pass = 1; pass <= passes; ++pass) {
                const std::vector<std::uint8_t> before = plain;
                const std::vector<int> sources_before = sources[n];
                const std::vector<int>& seen_sources = pass == 1 ? sources[n] : sources_before;
                for (int y = 0; y < table.height[n]; ++y) {
                    for (int x = 0; x < table.width[n]; ++x) {
                        std::vector<int> candidates;
                        auto add = [&](int ex, int ey) {
                            const int c = grid.candidate_at(ex, ey);
                            if (c >= 0) {
                                candidates.push_back(c);
                            }
                            return c;
                        };
                        const int s = row[n];
                        for (int dy = -s; dy <= (pass > 1 ? s : 0); ++dy) {
                            for (int dx = -s; dx <= (pass > 1 || dy < 0 ? s : -1); ++dx) {
                                const int w = table.width[n];
                                const int h = table.height[n];
                                const int source =
                                    seen_sources[((y + dy + h) % h) * w + (x + dx + w) % w];
                                const int ew = scene.exemplar.width[n];
                                const int c = add(source % ew - dx, source / ew - dy);
                                if (c >= 0) {
                                    candidates.push_back(similar[c][0]);
                                }
                            }
                        }
                        if (n < 2) {
                            const int parent = sources[n + 1][(y / 2) * table.width[n + 1] + x / 2];
                            const int ew = scene.exemplar.width[n + 1];
                            add(2 * (parent % ew) + x % 2, 2 * (parent / ew) + y % 2);
                        }
                        const std::vector<int> q = plain_query(pass == 1 ? plain : before, table, row, n, 3, x, y);
                        std::pair<std::int64_t, int> best{INT64_MAX, -1};
                        for (const int c : candidates) {
                            best = std::min(best, {distance(q, c), c});
                        }
                        ASSERT_GE(best.second, 0);  // this scene always has a candidate
                        std::copy_n(&set.colours[static_cast<std::size_t>(best.second) * 3], 3,
                                    &plain[pixel_index(table, n, x, y)]);
                        sources[n][static_cast<std::size_t>(y) * table.width[n] + x] = grid.pixel_of(best.second);
                    }
                }
            }
        }

        for (const int threads : {1, 2, 3}) {
            std::vector<std::uint8_t> output = scene.noise;
            std::vector<std::vector<int>> level_sources = noise_sources;
            SearchTeam team(threads);
            LevelJob job = three_level_job(output, width, height, team, passes);
            for (int n = 2; n >= 0; --n) {
                const ExactMatcher matcher(scene.exemplar_pyramid.data(), scene.exemplar, kMatrix + n * 3, n, 3);
                const SimilarCandidates similar(matcher, k, team);
                job.matrix_row = kMatrix + n * 3;
                job.n = n;
                job.sources = &level_sources[n];
                job.coarser_sources = n < 2 ? &level_sources[n + 1] : nullptr;
                synthesize_level_coherent(matcher, similar, job);
            }
            EXPECT_EQ(output, plain) << threads << " threads, " << passes << " passes";
            EXPECT_EQ(level_sources, sources) << threads << " threads, " << passes << " passes";
        }
    }
}

TEST(LevelSynthesis, CoherentScanWithAUsagePenaltyLeavesFewerPixelsUncopied) {
    // Without it, each copy runs on to the exemplar's lower edge and the next starts near where it ended.
    const int width = 64;
    const int height = 48;
    const Scene scene = make_scene(width, height, 1);
    const int matrix_row[] = {2};
    const ExactMatcher matcher(scene.exemplar_pyramid.data(), scene.exemplar, matrix_row, 0, 1);
    auto uncopied = [&](double usage_penalty, int threads) {
        std::vector<std::uint8_t> output = scene.noise;
        std::vector<int> sources(static_cast<std::size_t>(width) * height, -1);
        SearchTeam team(threads);
        const SimilarCandidates similar(matcher, 1, team);
        LevelJob job = three_level_job(output, width, height, team, 1);
        job.levels = 1;
        job.matrix_row = matrix_row;
        job.sources = &sources;
        job.usage_penalty = usage_penalty;
        synthesize_level_coherent(matcher, similar, job);
        const std::vector<int> copies = copies_of(sources, scene.exemplar.width[0] * scene.exemplar.height[0]);
        return std::make_pair(std::count(copies.begin(), copies.end(), 0), output);
    };
    const auto [plain, plain_output] = uncopied(0, 1);
    const auto [spread, spread_output] = uncopied(16, 1);
    EXPECT_LT(spread, plain * 3 / 4);
    EXPECT_EQ(uncopied(16, 2).second, spread_output);  // the same on any number of threads
}

}  // namespace

namespace {

// The refined passes written out plainly for one level: the first pass carries the coarser level's sources
// over (each pixel the exemplar pixel under its parent's source, clamped or wrapped at the exemplar's edges),
// then every later pass visits 3 x 3 interleaved subsets in turn, each pixel of a subset reading what the
// subsets before it wrote; its candidates continue every neighbour's source in the 5 x 5 square (itself
// included), it is compared on the full square of its own level, and a candidate whose pixel is copied more
// often than its share is penalised per copy beyond it.
TEST(LevelSynthesis, RefinedPassesCorrectInterleavedSubsetsWithAnyNumberOfThreads) {
    const int width = 26;
    const int height = 19;  // odd: the last row's parents lie past the coarser level
    const int levels = 2;
    const int n = 0;
    const int row[] = {2, 1};
    const Scene scene = make_scene(width, height, levels);
    const LevelTable table = make_level_table(width, height, levels);
    const int ew = scene.exemplar.width[n];
    const int eh = scene.exemplar.height[n];
    std::mt19937 random(11);
    std::vector<int> coarser(static_cast<std::size_t>(table.width[1]) * table.height[1]);
    for (int& source : coarser) {
        source = static_cast<int>(random() % (scene.exemplar.width[1] * scene.exemplar.height[1]));
    }
    const double weight = 3.0;

    for (const ExemplarEdges edges : {ExemplarEdges::wrapped, ExemplarEdges::clamped}) {
        auto place = [&](int c, int size) {
            return edges == ExemplarEdges::wrapped ? ((c % size) + size) % size : std::clamp(c, 0, size - 1);
        };
        // The full square of own-level pixels around (x, y), less the pixel, read by `pixel`.
        auto square = [&](int x, int y, auto pixel) {
            std::vector<int> v;
            for (int dy = -2; dy <= 2; ++dy) {
                for (int dx = -2; dx <= 2; ++dx) {
                    if (dx != 0 || dy != 0) {
                        const std::uint8_t* p = pixel(x + dx, y + dy);
                        v.insert(v.end(), p, p + 3);
                    }
                }
            }
            return v;
        };
        auto exemplar_pixel = [&](int x, int y) {
            return &scene.exemplar_pyramid[pixel_index(scene.exemplar, n, place(x, ew), place(y, eh))];
        };
        auto candidate_of = [&](int ex, int ey) {  // -1 past a clamped edge
            if (edges == ExemplarEdges::clamped && (ex < 0 || ex >= ew || ey < 0 || ey >= eh)) {
                return -1;
            }
            return place(ey, eh) * ew + place(ex, ew);
        };

        // The plain way.
        std::vector<std::uint8_t> plain = scene.noise;
        std::vector<int> sources(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::size_t entry = static_cast<std::size_t>(y / 2) * table.width[1] + x / 2;
                entry %= coarser.size();
                const int parent = coarser[entry];
                const int ex = std::clamp(2 * (parent % scene.exemplar.width[1]) + x % 2, 0, ew - 1);
                const int ey = std::clamp(2 * (parent / scene.exemplar.width[1]) + y % 2, 0, eh - 1);
                sources[static_cast<std::size_t>(y) * width + x] = ey * ew + ex;
                std::copy_n(exemplar_pixel(ex, ey), 3, &plain[pixel_index(table, n, x, y)]);
            }
        }
        for (int subset = 0; subset < 9; ++subset) {
            const std::vector<std::uint8_t> before = plain;
            const std::vector<int> sources_before = sources;
            const std::vector<int> copies = copies_of(sources_before, ew * eh);
            const double share = static_cast<double>(width * height) / (ew * eh);
            for (int y = subset / 3; y < height; y += 3) {
                for (int x = subset % 3; x < width; x += 3) {
                    const std::vector<int> query = square(x, y, [&](int c, int r) {
                        return &before[pixel_index(table, n, ((c % width) + width) % width,
                                                   ((r % height) + height) % height)];
                    });
                    std::pair<std::int64_t, int> best{INT64_MAX, -1};
                    for (int dy = -2; dy <= 2; ++dy) {
                        for (int dx = -2; dx <= 2; ++dx) {
                            const int source = sources_before[static_cast<std::size_t>((y + dy + height) % height) *
                                                                  width +
                                                              (x + dx + width) % width];
                            const int c = candidate_of(source % ew - dx, source / ew - dy);
                            if (c < 0) {
                                continue;
                            }
                            const std::int64_t d =
                                penalised_distance(square(c % ew, c / ew, exemplar_pixel), query, copies, c, share, weight);
                            best = std::min(best, {d, c});
                        }
                    }
                    ASSERT_GE(best.second, 0);  // some neighbour always continues inside this scene
                    sources[static_cast<std::size_t>(y) * width + x] = best.second;
                    std::copy_n(exemplar_pixel(best.second % ew, best.second / ew), 3,
                                &plain[pixel_index(table, n, x, y)]);
                }
            }
        }

        for (const int threads : {1, 2, 3}) {
            std::vector<std::uint8_t> output = scene.noise;
            std::vector<int> level_sources(sources.size(), 0);
            SearchTeam team(threads);
            CandidateOptions options;
            options.shape = NeighbourhoodShape::full;
            options.coarser_levels = false;
            options.edges_x = edges;
            options.edges_y = edges;
            const ExactMatcher matcher(scene.exemplar_pyramid.data(), scene.exemplar, row, n, levels, options);
            const SimilarCandidates similar(matcher, 0, team);
            const LevelJob job =
                refined_job(output, width, height, row, n, levels, team, level_sources, coarser, weight);
            synthesize_level_coherent(matcher, similar, job);
            const std::size_t level_bytes = static_cast<std::size_t>(width) * height * 3;
            EXPECT_TRUE(std::equal(output.begin(), output.begin() + level_bytes, plain.begin()))
                << threads << " threads";
            EXPECT_EQ(level_sources, sources) << threads << " threads";
        }
    }
}

// Carried over with its copies shifted, every copy of the coarser level stays one copy, shifted as a whole by no
// pixel or one along each axis, also where it wraps around the exemplar and the output. Drawn, some copy moves;
// chosen, the seams between the copies cost no more than where none moves (what each copy would put on the other
// side of a seam, against what is there).
TEST(LevelSynthesis, CopiesCarriedOverShiftedStayWhole) {
    const int width = 32;
    const int height = 24;
    const int levels = 2;
    const int row[] = {2, 1};
    const Scene scene = make_scene(width, height, levels);
    const LevelTable table = make_level_table(width, height, levels);
    const int ew = scene.exemplar.width[0];
    const int eh = scene.exemplar.height[0];
    const int cw = scene.exemplar.width[1];
    const int ch = scene.exemplar.height[1];
    // Four copies in the quarters of the coarser level, each running past the exemplar's edges.
    const int offsets[4][2] = {{15, 3}, {4, 12}, {9, 17}, {18, 8}};
    const auto quarter = [&](int x, int y) {
        return ((y + height) % height >= height / 2 ? 2 : 0) + ((x + width) % width >= width / 2 ? 1 : 0);
    };
    std::vector<int> coarser(static_cast<std::size_t>(table.width[1]) * table.height[1]);
    for (int y = 0; y < table.height[1]; ++y) {
        for (int x = 0; x < table.width[1]; ++x) {
            const int* o = offsets[quarter(2 * x, 2 * y)];
            coarser[static_cast<std::size_t>(y) * table.width[1] + x] = (y + o[1]) % ch * cw + (x + o[0]) % cw;
        }
    }
    // The seams' cost with each copy shifted by shift[q].
    const auto seams_cost = [&](const std::pair<int, int> (&shift)[4]) {
        const auto put = [&](int q, int x, int y) {  // what copy q puts at output pixel (x, y)
            const int ex = ((2 * offsets[q][0] + x + shift[q].first) % ew + ew) % ew;
            const int ey = ((2 * offsets[q][1] + y + shift[q].second) % eh + eh) % eh;
            return &scene.exemplar_pyramid[pixel_index(scene.exemplar, 0, ex, ey)];
        };
        std::int64_t total = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{0, 1}}) {
                    const int a = quarter(x, y);
                    const int b = quarter(x + dx, y + dy);
                    for (int c = 0; a != b && c < 3; ++c) {
                        const int at_q = put(a, x + dx, y + dy)[c] - put(b, x + dx, y + dy)[c];
                        const int at_p = put(b, x, y)[c] - put(a, x, y)[c];
                        total += at_q * at_q + at_p * at_p;
                    }
                }
            }
        }
        return total;
    };
    std::int64_t unshifted = 0;
    for (const CarriedShifts mode : {CarriedShifts::drawn, CarriedShifts::chosen}) {
        std::vector<std::uint8_t> output = scene.noise;
        std::vector<int> level_sources(static_cast<std::size_t>(width) * height, 0);
        SearchTeam team(1);
        CandidateOptions options;
        options.shape = NeighbourhoodShape::full;
        options.coarser_levels = false;
        options.edges_x = ExemplarEdges::wrapped;
        options.edges_y = ExemplarEdges::wrapped;
        const ExactMatcher matcher(scene.exemplar_pyramid.data(), scene.exemplar, row, 0, levels, options);
        const SimilarCandidates similar(matcher, 0, team);
        LevelJob job = refined_job(output, width, height, row, 0, levels, team, level_sources, coarser, 0);
        job.passes = 1;
        job.carried_shifts = mode;
        synthesize_level_coherent(matcher, similar, job);
        std::pair<int, int> shift[4];
        for (int q = 0; q < 4; ++q) {
            std::set<std::pair<int, int>> shifts;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (quarter(x, y) != q) {
                        continue;
                    }
                    const int source = level_sources[static_cast<std::size_t>(y) * width + x];
                    // How far the pixel's source lies past where the copy carried over unshifted would put it.
                    const int dx = ((source % ew - 2 * offsets[q][0] - x) % ew + ew) % ew;
                    const int dy = ((source / ew - 2 * offsets[q][1] - y) % eh + eh) % eh;
                    shifts.insert({dx, dy});
                }
            }
            ASSERT_EQ(shifts.size(), 1U) << "copy " << q;
            shift[q] = *shifts.begin();
            EXPECT_LE(shift[q].first, 1);
            EXPECT_LE(shift[q].second, 1);
        }
        if (mode == CarriedShifts::drawn) {
            const std::pair<int, int> none[4] = {};
            unshifted = seams_cost(none);
            EXPECT_NE(seams_cost(shift), unshifted);  // some copy moved
        } else {
            EXPECT_LE(seams_cost(shift), unshifted);
        }
    }
}

}  // namespace

namespace {

// The same with a regular pattern's lattice: the coarser level's sources are first made whole copies of its
// period cells, every pixel carried over takes the candidate in step nearest to its parent's (if there is one),
// every candidate of the later pass is the nearest one in step, and reads and copies past the exemplar's left
// and right edges go on 30 pixels back (its top and bottom edges are clamped).
TEST(LevelSynthesis, RefinedPassesKeepInStepWithAnyNumberOfThreads) {
    const int width = 26;
    const int height = 19;
    const int levels = 2;
    const int n = 0;
    const int row[] = {2, 1};
    const int span = 30;
    const Scene scene = make_scene(width, height, levels);
    const LevelTable table = make_level_table(width, height, levels);
    const int ew = scene.exemplar.width[n];
    const int eh = scene.exemplar.height[n];
    PeriodLattice lattice;
    lattice.found = true;
    lattice.a[0] = 9.5;
    lattice.a[1] = 0.4;
    lattice.b[0] = -0.3;
    lattice.b[1] = 8.5;
    lattice.origin[0] = 1.3;
    lattice.origin[1] = 2.1;
    lattice.boundary[0] = 0.3;
    lattice.boundary[1] = 0.6;
    const LatticePhase phase(lattice, n, width, height);
    const LatticePhase parent_phase(lattice, n + 1, width, height);
    ASSERT_TRUE(phase.active());
    ASSERT_TRUE(parent_phase.active());
    std::mt19937 random(13);
    std::vector<int> coarser(static_cast<std::size_t>(table.width[1]) * table.height[1]);
    for (int& source : coarser) {
        source = static_cast<int>(random() % (scene.exemplar.width[1] * scene.exemplar.height[1]));
    }
    const double weight = 3.0;
    CandidateGrid grid{0, 0, ew, eh, ew, eh};
    grid.wraps_x = true;
    grid.span_x = span;

    auto place_x = [&](int c) {
        while (c < 0) {
            c += span;
        }
        while (c >= ew) {
            c -= span;
        }
        return c;
    };
    auto exemplar_pixel = [&](int x, int y) {
        return &scene.exemplar_pyramid[pixel_index(scene.exemplar, n, place_x(x), std::clamp(y, 0, eh - 1))];
    };
    auto square = [&](int x, int y, auto pixel) {
        std::vector<int> v;
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                if (dx != 0 || dy != 0) {
                    const std::uint8_t* p = pixel(x + dx, y + dy);
                    v.insert(v.end(), p, p + 3);
                }
            }
        }
        return v;
    };

    // The plain way.
    std::vector<int> whole = coarser;
    keep_cells_whole(parent_phase, table.width[1], table.height[1], scene.exemplar.width[1],
                     scene.exemplar.height[1], whole);
    std::vector<std::uint8_t> plain = scene.noise;
    std::vector<int> sources(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::size_t entry = static_cast<std::size_t>(y / 2) * table.width[1] + x / 2;
            entry %= whole.size();
            const int parent = whole[entry];
            const int ex = 2 * (parent % scene.exemplar.width[1]) + x % 2;
            const int ey = std::clamp(2 * (parent / scene.exemplar.width[1]) + y % 2, 0, eh - 1);
            const int in_step = phase.candidate(grid, ex, ey, x, y);
            const int source = in_step >= 0 ? in_step : ey * ew + place_x(ex);
            sources[static_cast<std::size_t>(y) * width + x] = source;
            std::copy_n(exemplar_pixel(source % ew, source / ew), 3, &plain[pixel_index(table, n, x, y)]);
        }
    }
    for (int subset = 0; subset < 9; ++subset) {
        const std::vector<std::uint8_t> before = plain;
        const std::vector<int> sources_before = sources;
        const std::vector<int> copies = copies_of(sources_before, ew * eh);
        const double share = static_cast<double>(width * height) / (ew * eh);
        for (int y = subset / 3; y < height; y += 3) {
            for (int x = subset % 3; x < width; x += 3) {
                const std::vector<int> query = square(x, y, [&](int c, int r) {
                    return &before[pixel_index(table, n, ((c % width) + width) % width,
                                               ((r % height) + height) % height)];
                });
                std::pair<std::int64_t, int> best{INT64_MAX, -1};
                std::vector<int> weighed;
                auto weigh = [&](int c) {
                    if (c < 0 || std::find(weighed.begin(), weighed.end(), c) != weighed.end()) {
                        return;
                    }
                    weighed.push_back(c);
                    const std::int64_t d =
                        penalised_distance(square(c % ew, c / ew, exemplar_pixel), query, copies, c, share, weight);
                    best = std::min(best, {d, c});
                };
                for (int dy = -2; dy <= 2; ++dy) {
                    for (int dx = -2; dx <= 2; ++dx) {
                        const int source = sources_before[static_cast<std::size_t>((y + dy + height) % height) *
                                                              width +
                                                          (x + dx + width) % width];
                        weigh(phase.candidate(grid, source % ew - dx, source / ew - dy, x, y));
                    }
                }
                // The parent's, in step.
                std::size_t entry = static_cast<std::size_t>(y / 2) * table.width[1] + x / 2;
                entry %= whole.size();
                weigh(phase.candidate(grid, 2 * (whole[entry] % scene.exemplar.width[1]) + x % 2,
                                      2 * (whole[entry] / scene.exemplar.width[1]) + y % 2, x, y));
                ASSERT_GE(best.second, 0);
                sources[static_cast<std::size_t>(y) * width + x] = best.second;
                std::copy_n(exemplar_pixel(best.second % ew, best.second / ew), 3, &plain[pixel_index(table, n, x, y)]);
            }
        }
    }
    // Every pixel is in step after a later pass.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int source = sources[static_cast<std::size_t>(y) * width + x];
            int sx = source % ew;
            int sy = source / ew;
            phase.snap(sx, sy, x, y);
            EXPECT_EQ(sy * ew + sx, source) << x << "," << y;
        }
    }

    for (const int threads : {1, 2, 3}) {
        std::vector<std::uint8_t> output = scene.noise;
        std::vector<int> level_sources(sources.size(), 0);
        SearchTeam team(threads);
        CandidateOptions options;
        options.shape = NeighbourhoodShape::full;
        options.coarser_levels = false;
        options.edges_x = ExemplarEdges::wrapped;
        options.edges_y = ExemplarEdges::clamped;
        options.span_x = span;
        const ExactMatcher matcher(scene.exemplar_pyramid.data(), scene.exemplar, row, n, levels, options);
        const SimilarCandidates similar(matcher, 0, team);
        LevelJob job = refined_job(output, width, height, row, n, levels, team, level_sources, coarser, weight);
        job.phase = &phase;
        job.parent_phase = &parent_phase;
        synthesize_level_coherent(matcher, similar, job);
        const std::size_t level_bytes = static_cast<std::size_t>(width) * height * 3;
        EXPECT_TRUE(std::equal(output.begin(), output.begin() + level_bytes, plain.begin())) << threads << " threads";
        EXPECT_EQ(level_sources, sources) << threads << " threads";
    }
}

}  // namespace
