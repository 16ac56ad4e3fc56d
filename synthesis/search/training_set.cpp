#include "synthesis/search/training_set.h"

#include <algorithm>
#include <cassert>
#include <cstdint>

#include "synthesis/search/large_pages.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/pyramid_views.h"

void TrainingSet::release() {
    if (points != nullptr) {
        annDeallocPts(points);
    }
    delete tree;
    tree = nullptr;
    colours.clear();
    colours.shrink_to_fit();
    channels = nullptr;
    count = 0;
    dimension = 0;
    border = 0;
}

int basic_training_border(const int* matrix_row, int n, int levels) {
    int border = 0;
    for (int v = n; v < levels; ++v) {
        border = std::max(border, matrix_row[v] << (levels - 1 - v));
    }
    return border;
}

namespace {

// Whether every candidate coordinate b .. size-b-1 of level n, along one axis, keeps its reads inside
// every level: the causal part reaches s_n either side at level n, and the square at level v, centred on
// the coordinate shifted right v-n times, reaches s_v either side of it.
bool border_fits_axis(int border, const int* matrix_row, int n, int levels, const int* sizes) {
    const int first = border;
    const int last = sizes[n] - border - 1;
    for (int v = n; v < levels; ++v) {
        const int s = matrix_row[v];
        const int shift = v - n;
        if ((first >> shift) - s < 0 || (last >> shift) + s > sizes[v] - 1) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::int64_t training_candidate_count(const LevelTable& exemplar, int n, int border) {
    const std::int64_t columns = exemplar.width[n] - 2 * std::int64_t{border};
    const std::int64_t rows = exemplar.height[n] - 2 * std::int64_t{border};
    return columns > 0 && rows > 0 ? columns * rows : 0;
}

int training_border(const LevelTable& exemplar, const int* matrix_row, int n, int levels) {
    int border = basic_training_border(matrix_row, n, levels);
    while (training_candidate_count(exemplar, n, border) > 0 &&
           !(border_fits_axis(border, matrix_row, n, levels, exemplar.width.data()) &&
             border_fits_axis(border, matrix_row, n, levels, exemplar.height.data()))) {
        ++border;
    }
    return border;
}

CandidateGrid training_grid(const LevelTable& exemplar, const int* matrix_row, int n, int levels,
                            ExemplarEdges edges_x, ExemplarEdges edges_y) {
    const int inside = training_border(exemplar, matrix_row, n, levels);
    auto margin = [&](ExemplarEdges edges) { return edges == ExemplarEdges::inside ? inside : 0; };
    CandidateGrid grid;
    grid.left = margin(edges_x);
    grid.top = margin(edges_y);
    grid.wraps_x = edges_x == ExemplarEdges::wrapped;
    grid.wraps_y = edges_y == ExemplarEdges::wrapped;
    grid.columns = exemplar.width[n] - 2 * grid.left;
    grid.rows = exemplar.height[n] - 2 * grid.top;
    grid.exemplar_width = exemplar.width[n];
    grid.exemplar_height = exemplar.height[n];
    return grid;
}

int build_training_set(const std::uint8_t* exemplar_pyramid, const LevelTable& exemplar, const int* matrix_row,
                       int n, int levels, TrainingSet& set, LevelProfile* profile,
                       const MatchedChannels& channels) {
    LapClock clock;
    set.release();

    const int border = training_border(exemplar, matrix_row, n, levels);
    const int dimension = neighbourhood_dimension(matrix_row, n, levels, NeighbourhoodShape::causal, channels);
    const int count = static_cast<int>(training_candidate_count(exemplar, n, border));
    assert(count > 0 && dimension > 0);

    set.points = annAllocPts(count, dimension);
    // Written once, then read at random by every search.
    offer_large_pages(set.points[0], static_cast<std::size_t>(count) * dimension * sizeof(ANNcoord));
    const int copied = channels.copied;
    set.colours.resize(static_cast<std::size_t>(count) * copied);
    set.channels = &channels;
    set.count = count;
    set.dimension = dimension;
    set.border = border;
    set.grid = training_grid(exemplar, matrix_row, n, levels);

    const DirectPyramidView view(exemplar_pyramid, exemplar);
    int k = 0;
    for (int y = border; y < exemplar.height[n] - border; ++y) {
        for (int x = border; x < exemplar.width[n] - border; ++x) {
            gather_neighbourhood(matrix_row, n, levels, x, y, view, set.points[k], NeighbourhoodShape::causal,
                                 channels);
            const std::uint8_t* pixel = exemplar_pyramid + pixel_index(exemplar, n, x, y);
            std::copy_n(pixel, copied, &set.colours[static_cast<std::size_t>(k) * copied]);
            ++k;
        }
    }
    if (profile != nullptr) {
        profile->training_vectors += clock.lap();
    }
    set.tree = new ANNkd_tree(set.points, count, dimension, 1, ANN_KD_SUGGEST);
    if (profile != nullptr) {
        profile->tree_construction += clock.lap();
    }
    return count;
}
