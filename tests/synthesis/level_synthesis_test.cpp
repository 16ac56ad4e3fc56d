// Level scans against plain scans written straight from the rules: raster order, every read wrapped around
// with a full modulo, each pixel replaced at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "image/bmp_file.h"
#include "pyramid/exemplar_pyramid.h"
#include "support/run_program.h"
#include "synthesis/level_synthesis.h"
#include "synthesis/neighbourhood.h"
#include "synthesis/training_set.h"

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
    EXPECT_TRUE(read_bmp(source_file("demo/demo2.bmp"), image, why)) << why;
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

// Synthesizes every level of `output` coarse to fine, finding each pixel's candidate with `nearest`.
template <class Nearest>
void plain_synthesis(std::vector<std::uint8_t>& output, const Scene& scene, const int* matrix, int width, int height,
                     int levels, Nearest nearest) {
    const LevelTable table = make_level_table(width, height, levels);
    for (int n = levels - 1; n >= 0; --n) {
        const int* row = matrix + n * levels;
        TrainingSet set;
        build_training_set(scene.exemplar_pyramid.data(), scene.exemplar, row, n, levels, set);
        for (int y = 0; y < table.height[n]; ++y) {
            for (int x = 0; x < table.width[n]; ++x) {
                const int index = nearest(set, plain_query(output, table, row, n, levels, x, y));
                std::copy_n(&set.colours[static_cast<std::size_t>(index) * 3], 3, &output[pixel_index(table, n, x, y)]);
            }
        }
    }
}

const int kMatrix[] = {2, 1, 1, 0, 1, 2, 0, 0, 2};

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

TEST(LevelSynthesis, ExactScanTakesTheNearestCandidateWithAnyNumberOfThreads) {
    const int width = 30;
    const int height = 22;
    const Scene scene = make_scene(width, height, 3);
    std::vector<std::uint8_t> plain = scene.noise;
    plain_synthesis(plain, scene, kMatrix, width, height, 3, [](const TrainingSet& set, const std::vector<int>& q) {
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
    });

    for (const int threads : {1, 2, 3}) {
        std::vector<std::uint8_t> output = scene.noise;
        SearchTeam team(threads);
        int rows_reported = 0;
        ScanHooks hooks;
        hooks.on_row = [&](int rows_done, int rows) {
            EXPECT_EQ(rows_done, ++rows_reported);
            EXPECT_LE(rows_done, rows);
        };
        for (int n = 2; n >= 0; --n) {
            const ExactMatcher matcher(scene.exemplar_pyramid.data(), scene.exemplar, kMatrix + n * 3, n, 3);
            rows_reported = 0;
            synthesize_level_exact(matcher, kMatrix + n * 3, output.data(), width, height, n, 3, team, hooks);
        }
        EXPECT_EQ(output, plain) << threads << " threads";
    }
}

}  // namespace
