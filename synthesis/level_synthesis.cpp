#include "synthesis/level_synthesis.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "pyramid/level_table.h"
#include "synthesis/neighbourhood.h"
#include "synthesis/pyramid_views.h"

namespace {

struct QueryPointDeleter {
    void operator()(ANNcoord* point) const { annDeallocPt(point); }
};

// The approximate search: the kd-tree of a training set, queried with vectors of doubles.
class TreeSearch {
public:
    explicit TreeSearch(const TrainingSet& set) : set_(set), query_(annAllocPt(set.dimension, 0)) {}

    template <class View>
    void gather(const int* matrix_row, int n, int levels, int x, int y, const View& view) {
        gather_neighbourhood(matrix_row, n, levels, x, y, view, query_.get());
    }
    int find(int /*x*/, int /*y*/, double eps) {
        set_.tree->annkSearch(query_.get(), 1, &index_, &distance_, eps);
        return index_;
    }
    const std::uint8_t* colour(int index) const { return &set_.colours[static_cast<std::size_t>(index) * 3]; }

private:
    const TrainingSet& set_;
    const std::unique_ptr<ANNcoord, QueryPointDeleter> query_;
    ANNidx index_ = 0;
    ANNdist distance_ = 0;
};

// The exact search, seeded with the candidates that continue what the pixel's left and upper neighbours took.
class ExactSearch {
public:
    ExactSearch(const ExactMatcher& matcher, int width, int height)
        : matcher_(matcher), vector_(static_cast<std::size_t>(matcher.dimension())), query_(matcher.make_query()),
          width_(width), chosen_(static_cast<std::size_t>(width) * height, -1) {}

    template <class View>
    void gather(const int* matrix_row, int n, int levels, int x, int y, const View& view) {
        gather_neighbourhood(matrix_row, n, levels, x, y, view, vector_.data());
        matcher_.prepare(vector_.data(), query_);
    }
    int find(int x, int y, double /*eps*/) {
        int guesses[2] = {-1, -1};
        if (x > 0) {
            const int left = chosen_[static_cast<std::size_t>(y) * width_ + x - 1];
            if ((left + 1) % matcher_.columns() != 0) {
                guesses[0] = left + 1;
            }
        }
        if (y > 0) {
            const int above = chosen_[static_cast<std::size_t>(y - 1) * width_ + x];
            if (above + matcher_.columns() < matcher_.count()) {
                guesses[1] = above + matcher_.columns();
            }
        }
        const int index = matcher_.find(query_, guesses);
        chosen_[static_cast<std::size_t>(y) * width_ + x] = index;
        return index;
    }
    const std::uint8_t* colour(int index) const { return matcher_.colour(index); }

private:
    const ExactMatcher& matcher_;
    std::vector<std::int16_t> vector_;
    ExactMatcher::Query query_;
    int width_;
    std::vector<int> chosen_;  // candidate taken by each pixel of the level
};

// The raster scan of one level. The timed variant reads the clock around every stage of every pixel; the
// untimed one, which the program runs, has nothing but the work in its loop.
template <bool kTimed, class Search>
void scan_level(Search& search, const int* matrix_row, std::uint8_t* output_pyramid, const LevelTable& table, int n,
                int levels, double eps, LevelProfile* profile) {
    const WrappedPyramidView view(output_pyramid, table, matrix_row, n, levels);
    LapClock clock;
    double gathering = 0;
    double searching = 0;
    double writing = 0;

    for (int y = 0; y < table.height[n]; ++y) {
        std::uint8_t* row = output_pyramid + pixel_index(table, n, 0, y);
        for (int x = 0; x < table.width[n]; ++x) {
            search.gather(matrix_row, n, levels, x, y, view);
            if constexpr (kTimed) {
                gathering += clock.lap();
            }
            const int index = search.find(x, y, eps);
            if constexpr (kTimed) {
                searching += clock.lap();
            }
            std::copy_n(search.colour(index), 3, row + x * 3);
            if constexpr (kTimed) {
                writing += clock.lap();
            }
        }
    }
    if constexpr (kTimed) {
        profile->query_construction += gathering;
        profile->search += searching;
        profile->pixel_writing += writing;
        profile->queries += std::int64_t{table.width[n]} * table.height[n];
    }
}

template <class Search>
void scan_level(Search& search, const int* matrix_row, std::uint8_t* output_pyramid, const LevelTable& table, int n,
                int levels, double eps, LevelProfile* profile) {
    if (profile != nullptr) {
        scan_level<true>(search, matrix_row, output_pyramid, table, n, levels, eps, profile);
    } else {
        scan_level<false>(search, matrix_row, output_pyramid, table, n, levels, eps, nullptr);
    }
}

}  // namespace

LevelGeometry synthesize_level(const TrainingSet& set, const int* matrix_row, std::uint8_t* output_pyramid,
                               int output_width, int output_height, int n, int levels, double eps,
                               LevelProfile* profile) {
    const LevelTable table = make_level_table(output_width, output_height, levels);
    TreeSearch search(set);
    scan_level(search, matrix_row, output_pyramid, table, n, levels, eps, profile);
    return {table.width[n], table.height[n], table.offset[n]};
}

LevelGeometry synthesize_level_exact(const ExactMatcher& matcher, const int* matrix_row,
                                     std::uint8_t* output_pyramid, int output_width, int output_height, int n,
                                     int levels, LevelProfile* profile) {
    const LevelTable table = make_level_table(output_width, output_height, levels);
    ExactSearch search(matcher, table.width[n], table.height[n]);
    scan_level(search, matrix_row, output_pyramid, table, n, levels, 0.0, profile);
    return {table.width[n], table.height[n], table.offset[n]};
}
