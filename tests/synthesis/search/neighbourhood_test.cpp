// The layout of neighbourhood vectors, read directly (exemplar) and with wrap-around (output).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "pyramid/level_table.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/pyramid_views.h"

namespace {

// A pyramid whose pixels name themselves: R = column, G = row, B = level.
std::vector<std::uint8_t> coordinate_pyramid(const LevelTable& table, int levels) {
    std::vector<std::uint8_t> pyramid(static_cast<std::size_t>(pyramid_bytes(table.width[0], table.height[0], levels)));
    for (int v = 0; v < levels; ++v) {
        for (int r = 0; r < table.height[v]; ++r) {
            for (int c = 0; c < table.width[v]; ++c) {
                std::uint8_t* pixel = &pyramid[pixel_index(table, v, c, r)];
                pixel[0] = static_cast<std::uint8_t>(c);
                pixel[1] = static_cast<std::uint8_t>(r);
                pixel[2] = static_cast<std::uint8_t>(v);
            }
        }
    }
    return pyramid;
}

struct Pixel {
    int column, row, level;
    bool operator==(const Pixel&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Pixel& p) {
    return out << "(" << p.column << "," << p.row << " @" << p.level << ")";
}

template <class View>
std::vector<Pixel> gathered_pixels(const int* row, int n, int levels, int x, int y, const View& view) {
    std::vector<int> components(static_cast<std::size_t>(neighbourhood_dimension(row, n, levels)));
    const int* end = gather_neighbourhood(row, n, levels, x, y, view, components.data());
    EXPECT_EQ(end, components.data() + components.size());
    std::vector<Pixel> pixels;
    for (std::size_t i = 0; i + 2 < components.size(); i += 3) {
        pixels.push_back({components[i], components[i + 1], components[i + 2]});
    }
    return pixels;
}

TEST(Neighbourhood, DimensionCountsCausalRowsAndCoarserSquares) {
    const int defaults[] = {2, 1, 1, 0, 2, 1, 0, 0, 2};
    EXPECT_EQ(neighbourhood_dimension(defaults + 0, 0, 3), 90);
    EXPECT_EQ(neighbourhood_dimension(defaults + 3, 1, 3), 63);
    EXPECT_EQ(neighbourhood_dimension(defaults + 6, 2, 3), 36);
    const int causal_one_square_one[] = {1, 1};
    EXPECT_EQ(neighbourhood_dimension(causal_one_square_one, 0, 2), 39);
    const int zero_at_coarsest[] = {0};
    EXPECT_EQ(neighbourhood_dimension(zero_at_coarsest, 0, 1), 0);
    const int zero_everywhere[] = {0, 0};
    EXPECT_EQ(neighbourhood_dimension(zero_everywhere, 0, 2), 3);
}

TEST(Neighbourhood, CausalPartRunsRowByRowThenLeftOfThePixel) {
    const LevelTable table = make_level_table(16, 16, 1);
    const std::vector<std::uint8_t> pyramid = coordinate_pyramid(table, 1);
    const int row[] = {2};
    const std::vector<Pixel> expected = {
        {3, 5, 0}, {4, 5, 0}, {5, 5, 0}, {6, 5, 0}, {7, 5, 0},  // dy = -2
        {3, 6, 0}, {4, 6, 0}, {5, 6, 0}, {6, 6, 0}, {7, 6, 0},  // dy = -1
        {3, 7, 0}, {4, 7, 0},                                   // own row, left of the pixel
    };
    EXPECT_EQ(gathered_pixels(row, 0, 1, 5, 7, DirectPyramidView(pyramid.data(), table)), expected);
}

TEST(Neighbourhood, CoarserSquaresAreCentredOnHalvedCoordinates) {
    const LevelTable table = make_level_table(16, 16, 3);
    const std::vector<std::uint8_t> pyramid = coordinate_pyramid(table, 3);
    const int row[] = {2, 1, 1};
    const std::vector<Pixel> pixels = gathered_pixels(row, 0, 3, 5, 7, DirectPyramidView(pyramid.data(), table));
    ASSERT_EQ(pixels.size(), 30u);
    std::vector<Pixel> expected;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            expected.push_back({2 + dx, 3 + dy, 1});
        }
    }
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            expected.push_back({1 + dx, 1 + dy, 2});
        }
    }
    EXPECT_EQ(std::vector<Pixel>(pixels.begin() + 12, pixels.end()), expected);
}

TEST(Neighbourhood, WrapsAroundTheLevelEdges) {
    const LevelTable table = make_level_table(64, 64, 1);
    const std::vector<std::uint8_t> pyramid = coordinate_pyramid(table, 1);
    const int row[] = {2};
    const WrappedPyramidView view(pyramid.data(), table, row, 0, 1);
    const std::vector<Pixel> expected = {
        {62, 62, 0}, {63, 62, 0}, {0, 62, 0}, {1, 62, 0}, {2, 62, 0},
        {62, 63, 0}, {63, 63, 0}, {0, 63, 0}, {1, 63, 0}, {2, 63, 0},
        {62, 0, 0},  {63, 0, 0},
    };
    EXPECT_EQ(gathered_pixels(row, 0, 1, 0, 0, view), expected);
}

// The wrapped view against the plain formula, coordinate by coordinate, on levels of every shape: odd
// sizes, whose last row and column map one past the end of the coarser level, and levels narrower than
// the half-size reaching into them, which wrap more than once.
TEST(Neighbourhood, WrappedViewMatchesThePlainModuloEverywhere) {
    std::mt19937 random(7);
    const int sizes[][2] = {{16, 12}, {17, 9}, {5, 13}, {3, 4}, {9, 9}, {2, 7}};
    for (const auto& size : sizes) {
        for (int levels = 1; levels <= 3; ++levels) {
            const LevelTable table = make_level_table(size[0], size[1], levels);
            if (table.width[levels - 1] < 1 || table.height[levels - 1] < 1) {
                continue;
            }
            const std::vector<std::uint8_t> pyramid = coordinate_pyramid(table, levels);
            for (int n = 0; n < levels; ++n) {
                int row[3] = {};
                for (int v = n; v < levels; ++v) {
                    row[v] = static_cast<int>(random() % 7);
                }
                const WrappedPyramidView view(pyramid.data(), table, row, n, levels);
                for (int y = 0; y < table.height[n]; ++y) {
                    for (int x = 0; x < table.width[n]; ++x) {
                        std::vector<Pixel> expected;
                        auto take = [&](int v, int c, int r) {
                            const int w = table.width[v];
                            const int h = table.height[v];
                            expected.push_back({((c % w) + w) % w, ((r % h) + h) % h, v});
                        };
                        for (int dy = -row[n]; dy <= 0; ++dy) {
                            for (int dx = -row[n]; dx <= (dy < 0 ? row[n] : -1); ++dx) {
                                take(n, x + dx, y + dy);
                            }
                        }
                        for (int v = n + 1; v < levels; ++v) {
                            const int xv = x >> (v - n);
                            const int yv = y >> (v - n);
                            for (int dy = -row[v]; dy <= row[v]; ++dy) {
                                for (int dx = -row[v]; dx <= row[v]; ++dx) {
                                    take(v, xv + dx, yv + dy);
                                }
                            }
                        }
                        ASSERT_EQ(gathered_pixels(row, n, levels, x, y, view), expected)
                            << size[0] << "x" << size[1] << " L " << levels << " n " << n << " at " << x << "," << y;
                    }
                }
            }
        }
    }
}

}  // namespace

namespace {

TEST(Neighbourhood, FullShapeTakesTheWholeSquareLessThePixel) {
    const int defaults[] = {2, 1, 1};
    EXPECT_EQ(neighbourhood_dimension(defaults, 0, 3, NeighbourhoodShape::full), 72 + 27 + 27);
    EXPECT_EQ(neighbourhood_dimension(defaults, 0, 1, NeighbourhoodShape::full), 72);
    const int zero[] = {0};
    EXPECT_EQ(neighbourhood_dimension(zero, 0, 1, NeighbourhoodShape::full), 0);

    const LevelTable table = make_level_table(16, 16, 1);
    const std::vector<std::uint8_t> pyramid = coordinate_pyramid(table, 1);
    const int row[] = {1};
    std::vector<int> components(static_cast<std::size_t>(neighbourhood_dimension(row, 0, 1, NeighbourhoodShape::full)));
    const int* end = gather_neighbourhood(row, 0, 1, 5, 7, DirectPyramidView(pyramid.data(), table),
                                          components.data(), NeighbourhoodShape::full);
    ASSERT_EQ(end, components.data() + components.size());
    const std::vector<int> expected = {4, 6, 0, 5, 6, 0, 6, 6, 0,   // the row above
                                       4, 7, 0, 6, 7, 0,            // left and right of the pixel
                                       4, 8, 0, 5, 8, 0, 6, 8, 0};  // the row below
    EXPECT_EQ(components, expected);
}

// Clamped reads take the nearest pixel inside, along each axis by its own rule, at every level.
TEST(Neighbourhood, EdgeViewClampsAndWrapsEachAxisByItsRule) {
    const LevelTable table = make_level_table(10, 7, 2);
    const std::vector<std::uint8_t> pyramid = coordinate_pyramid(table, 2);
    const int row[] = {3, 2};
    for (const EdgeRule columns : {EdgeRule::wrap, EdgeRule::clamp}) {
        for (const EdgeRule rows : {EdgeRule::wrap, EdgeRule::clamp}) {
            const EdgePyramidView view(pyramid.data(), table, row, 0, 2, columns, rows);
            for (int level = 0; level < 2; ++level) {
                const int w = table.width[level];
                const int h = table.height[level];
                for (int r = -row[level]; r <= h + row[level]; ++r) {
                    for (int c = -row[level]; c <= w + row[level]; ++c) {
                        const std::uint8_t* pixel = view.row(level, r) + view.column(level, c);
                        const int x = columns == EdgeRule::wrap ? ((c % w) + w) % w : std::clamp(c, 0, w - 1);
                        const int y = rows == EdgeRule::wrap ? ((r % h) + h) % h : std::clamp(r, 0, h - 1);
                        EXPECT_EQ(Pixel(pixel[0], pixel[1], pixel[2]), Pixel(x, y, level)) << c << "," << r;
                    }
                }
            }
        }
    }
}

// Wrapping by a span shorter than the level moves a coordinate by whole spans until it lies inside: the
// span given for level n, halved (rounded) at each coarser level.
TEST(Neighbourhood, EdgeViewWrapsBySpans) {
    const LevelTable table = make_level_table(10, 7, 2);
    const std::vector<std::uint8_t> pyramid = coordinate_pyramid(table, 2);
    const int row[] = {3, 2};
    const EdgePyramidView view(pyramid.data(), table, row, 0, 2, EdgeRule::wrap, EdgeRule::wrap, 6, 0);
    const int spans[] = {6, 3};
    for (int level = 0; level < 2; ++level) {
        const int w = table.width[level];
        const int h = table.height[level];
        for (int r = -row[level]; r <= h + row[level]; ++r) {
            for (int c = -row[level]; c <= w + row[level]; ++c) {
                int x = c;
                while (x < 0) {
                    x += spans[level];
                }
                while (x >= w) {
                    x -= spans[level];
                }
                const int y = ((r % h) + h) % h;  // no span: the level's size
                const std::uint8_t* pixel = view.row(level, r) + view.column(level, c);
                EXPECT_EQ(Pixel(pixel[0], pixel[1], pixel[2]), Pixel(x, y, level)) << c << "," << r;
            }
        }
    }
}

}  // namespace
