// Candidates, borders and the kd-tree of a training set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "pyramid/exemplar_pyramid.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/pyramid_views.h"
#include "synthesis/search/training_set.h"

namespace {

struct Exemplar {
    LevelTable table;
    std::vector<std::uint8_t> pyramid;
};

Exemplar random_exemplar(int width, int height, int levels, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * height * 3);
    for (std::uint8_t& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    Exemplar exemplar;
    exemplar.pyramid.resize(static_cast<std::size_t>(pyramid_bytes(width, height, levels)));
    build_exemplar_pyramid(image.data(), width, height, exemplar.pyramid, exemplar.table, levels);
    return exemplar;
}

std::vector<double> vector_of(const Exemplar& e, const int* row, int n, int levels, int x, int y) {
    std::vector<double> v(static_cast<std::size_t>(neighbourhood_dimension(row, n, levels)));
    gather_neighbourhood(row, n, levels, x, y, DirectPyramidView(e.pyramid.data(), e.table), v.data());
    return v;
}

TEST(TrainingSet, DefaultMatrixOnA128Exemplar) {
    const Exemplar exemplar = random_exemplar(128, 128, 3, 1);
    const int matrix[] = {2, 1, 1, 0, 2, 1, 0, 0, 2};
    const struct {
        int n, border, count, dimension;
    } expected[] = {{2, 2, 784, 36}, {1, 4, 3'136, 63}, {0, 8, 12'544, 90}};

    TrainingSet set;
    for (const auto& level : expected) {
        SCOPED_TRACE(testing::Message() << "level " << level.n);
        const int* row = matrix + level.n * 3;
        EXPECT_EQ(build_training_set(exemplar.pyramid.data(), exemplar.table, row, level.n, 3, set), level.count);
        EXPECT_EQ(set.border, level.border);
        EXPECT_EQ(set.count, level.count);
        EXPECT_EQ(set.dimension, level.dimension);
        ASSERT_EQ(set.colours.size(), static_cast<std::size_t>(level.count) * 3);

        const int b = level.border;
        const int last_x = exemplar.table.width[level.n] - b - 1;
        const int last_y = exemplar.table.height[level.n] - b - 1;
        const std::vector<double> first = vector_of(exemplar, row, level.n, 3, b, b);
        const std::vector<double> last = vector_of(exemplar, row, level.n, 3, last_x, last_y);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), set.points[0]));
        EXPECT_TRUE(std::equal(last.begin(), last.end(), set.points[level.count - 1]));
        // The second point is the next pixel of the same row, and colours follow the points.
        const std::vector<double> second = vector_of(exemplar, row, level.n, 3, b + 1, b);
        EXPECT_TRUE(std::equal(second.begin(), second.end(), set.points[1]));
        const std::uint8_t* last_pixel = &exemplar.pyramid[pixel_index(exemplar.table, level.n, last_x, last_y)];
        EXPECT_TRUE(std::equal(last_pixel, last_pixel + 3, set.colours.end() - 3));
    }
}

// Records whether any read leaves its level.
class BoundsCheckingView {
public:
    BoundsCheckingView(const LevelTable& table, bool& outside) : table_(table), outside_(outside) {}
    const std::uint8_t* row(int level, int r) const {
        level_ = level;
        if (r < 0 || r >= table_.height[level]) {
            outside_ = true;
        }
        return pixel_;
    }
    int column(int level, int c) const {
        if (level != level_ || c < 0 || c >= table_.width[level]) {
            outside_ = true;
        }
        return 0;
    }

private:
    const LevelTable& table_;
    bool& outside_;
    mutable int level_ = 0;
    std::uint8_t pixel_[3] = {};
};

bool every_read_inside(const LevelTable& table, const int* row, int n, int levels, int border) {
    bool outside = false;
    const BoundsCheckingView view(table, outside);
    std::vector<int> components(static_cast<std::size_t>(neighbourhood_dimension(row, n, levels)));
    for (int y = border; y < table.height[n] - border && !outside; ++y) {
        for (int x = border; x < table.width[n] - border && !outside; ++x) {
            gather_neighbourhood(row, n, levels, x, y, view, components.data());
        }
    }
    return !outside;
}

// The border is the basic one whenever that keeps every read inside its level, and otherwise the smallest
// wider border that does; checked against reading every candidate's whole neighbourhood.
TEST(TrainingSet, BorderIsTheBasicOneOrTheSmallestWiderOneThatStaysInside) {
    std::mt19937 random(11);
    int widened = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const int levels = 1 + static_cast<int>(random() % 4);
        const int width = 8 + static_cast<int>(random() % 60);
        const int height = 8 + static_cast<int>(random() % 60);
        const LevelTable table = make_level_table(width, height, levels);
        const int n = static_cast<int>(random() % levels);
        int row[4] = {};
        for (int v = n; v < levels; ++v) {
            row[v] = static_cast<int>(random() % 4);
        }
        const int basic = basic_training_border(row, n, levels);
        const int border = training_border(table, row, n, levels);
        SCOPED_TRACE(testing::Message() << width << "x" << height << " L " << levels << " n " << n << " row "
                                        << row[0] << row[1] << row[2] << row[3]);
        ASSERT_GE(border, basic);
        if (training_candidate_count(table, n, border) == 0) {
            continue;
        }
        ASSERT_TRUE(every_read_inside(table, row, n, levels, border));
        if (border > basic) {
            ++widened;
            ASSERT_FALSE(every_read_inside(table, row, n, levels, border - 1));
        } else {
            ASSERT_EQ(border, basic);
        }
    }
    EXPECT_GT(widened, 10);
}

TEST(TrainingSet, ACoarseHalfSizeAloneWidensTheBorder) {
    // Row (0, 0, 2) at level 0 of a 3-level pyramid: the basic border is 2, but the square of half-size 2
    // at level 2 needs the candidate's coordinates divided by 4 to be at least 2.
    const LevelTable table = make_level_table(32, 32, 3);
    const int row[] = {0, 0, 2};
    EXPECT_EQ(basic_training_border(row, 0, 3), 2);
    EXPECT_EQ(training_border(table, row, 0, 3), 8);
    EXPECT_EQ(training_candidate_count(table, 0, 8), 16 * 16);
}

TEST(TrainingSet, LevelsTooSmallForTheirBorderHaveNoCandidates) {
    const LevelTable table = make_level_table(16, 16, 3);
    const int row[] = {2, 1, 1};
    const int border = training_border(table, row, 0, 3);
    EXPECT_EQ(training_candidate_count(table, 0, border), 0);
    EXPECT_EQ(training_candidate_count(make_level_table(5, 3, 3), 2, 0), 0);  // a level of height 0
}

// A 5 x 5 exemplar with causal half-size 1: border 1, nine candidates of four pixels each. Every pixel is
// grey with value 10 * (row * 5 + column), so candidate k (pixel (1 + k % 3, 1 + k / 3)) has the vector of
// the pixels above-left, above, above-right and left of it; the query below is candidate 4 with every
// component off by 1, so its nearest candidate is 4, whose own pixel (2, 2) has value 120.
TEST(TrainingSet, TreeAnswersAHandCheckedQuery) {
    std::vector<std::uint8_t> image(5 * 5 * 3);
    for (int i = 0; i < 25; ++i) {
        std::fill_n(&image[i * 3], 3, static_cast<std::uint8_t>(10 * i));
    }
    Exemplar exemplar;
    exemplar.pyramid.resize(image.size());
    build_exemplar_pyramid(image.data(), 5, 5, exemplar.pyramid, exemplar.table, 1);
    const int row[] = {1};
    TrainingSet set;
    ASSERT_EQ(build_training_set(exemplar.pyramid.data(), exemplar.table, row, 0, 1, set), 9);
    ASSERT_EQ(set.dimension, 12);

    std::vector<double> query;
    for (const int value : {60, 70, 80, 110}) {
        query.insert(query.end(), 3, value + 1.0);
    }
    ANNidx index = -1;
    ANNdist distance = -1;
    set.tree->annkSearch(query.data(), 1, &index, &distance, 0.0);
    EXPECT_EQ(index, 4);
    EXPECT_DOUBLE_EQ(distance, 12.0);
    EXPECT_EQ(set.colours[index * 3], 120);

    // Rebuilding replaces the set; releasing empties it.
    const int wider[] = {2};
    EXPECT_EQ(build_training_set(exemplar.pyramid.data(), exemplar.table, wider, 0, 1, set), 1);
    set.release();
    EXPECT_EQ(set.tree, nullptr);
    EXPECT_EQ(set.points, nullptr);
    EXPECT_TRUE(set.colours.empty());
}

}  // namespace
