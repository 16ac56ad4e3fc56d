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

// The exact search, seeded with the candidates that continue what the pixel's left and upper neighbours took,
// and shared by the threads of `team` where the candidates are many enough to be worth it.
class ExactSearch {
public:
    ExactSearch(const ExactMatcher& matcher, int width, int height, SearchTeam& team)
        : matcher_(matcher), vector_(static_cast<std::size_t>(matcher.dimension())), query_(matcher.make_query()),
          width_(width), chosen_(static_cast<std::size_t>(width) * height, -1),
          team_(matcher.count() >= kMinCandidatesPerTeam ? &team : nullptr),
          results_(static_cast<std::size_t>(team.size())) {}

    template <class View>
    void gather(const int* matrix_row, int n, int levels, int x, int y, const View& view) {
        gather_neighbourhood(matrix_row, n, levels, x, y, view, vector_.data());
        matcher_.prepare(vector_.data(), query_);
    }
    int find(int x, int y, double /*eps*/) {
        // Where the already synthesized neighbours came from, shifted to this pixel: (dx, dy) is the
        // neighbour's offset, so its candidate moved by (-dx, -dy) lines up with this pixel.
        static constexpr int kNeighbours[][2] = {{-1, 0}, {0, -1}, {-1, -1}, {1, -1}, {-2, 0}};
        int guesses[std::size(kNeighbours)];
        int count = 0;
        for (const auto& [dx, dy] : kNeighbours) {
            const int nx = x + dx;
            const int ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= width_) {
                continue;
            }
            const int source = chosen_[static_cast<std::size_t>(ny) * width_ + nx];
            const int column = source % matcher_.columns() - dx;
            const int row = source / matcher_.columns() - dy;
            if (column >= 0 && column < matcher_.columns() && row < matcher_.count() / matcher_.columns()) {
                guesses[count++] = row * matcher_.columns() + column;
            }
        }
        const std::span<const int> tried(guesses, static_cast<std::size_t>(count));
        const int index = team_ != nullptr ? find_together(tried) : matcher_.find(query_, tried);
        chosen_[static_cast<std::size_t>(y) * width_ + x] = index;
        return index;
    }
    const std::uint8_t* colour(int index) const { return matcher_.colour(index); }

private:
    // Below this many candidates a search is over before the threads could share it.
    static constexpr int kMinCandidatesPerTeam = 4'096;
    // Steps of the search a thread takes at a time.
    static constexpr int kStepsPerShare = 8;

    // The threads take the steps of the search a few at a time, each from the guesses' bound; the best of
    // them wins, so the answer is the same for any number of threads.
    int find_together(std::span<const int> guesses) {
        ExactMatcher::Best initial;
        matcher_.try_guesses(query_, guesses, initial);
        std::int64_t shared_bound = initial.distance;
        for (Result& result : results_) {
            result.best = initial;
        }
        auto work = [&](int thread, int share) {
            return matcher_.search(query_, share * kStepsPerShare, (share + 1) * kStepsPerShare,
                                   results_[thread].best, &shared_bound);
        };
        team_->share(work);
        ExactMatcher::Best best = initial;
        for (const Result& result : results_) {
            if (best.improves_on(result.best.distance, result.best.index)) {
                best = result.best;
            }
        }
        return best.index;
    }

    struct alignas(64) Result {  // one cache line per thread
        ExactMatcher::Best best;
    };

    const ExactMatcher& matcher_;
    std::vector<std::int16_t> vector_;
    ExactMatcher::Query query_;
    int width_;
    std::vector<int> chosen_;  // candidate taken by each pixel of the level
    SearchTeam* team_;
    std::vector<Result> results_;
};

// The raster scan of one level. The timed variant reads the clock around every stage of every pixel; the
// untimed one, which the program runs, has nothing but the work in its loop.
template <bool kTimed, class Search>
void scan_level(Search& search, const int* matrix_row, std::uint8_t* output_pyramid, const LevelTable& table, int n,
                int levels, double eps, const ScanHooks& hooks) {
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
        if (hooks.on_row) {
            hooks.on_row(y + 1, table.height[n]);
        }
    }
    if constexpr (kTimed) {
        LevelProfile* profile = hooks.profile;
        profile->query_construction += gathering;
        profile->search += searching;
        profile->pixel_writing += writing;
        profile->queries += std::int64_t{table.width[n]} * table.height[n];
    }
}

template <class Search>
void scan_level(Search& search, const int* matrix_row, std::uint8_t* output_pyramid, const LevelTable& table, int n,
                int levels, double eps, const ScanHooks& hooks) {
    if (hooks.profile != nullptr) {
        scan_level<true>(search, matrix_row, output_pyramid, table, n, levels, eps, hooks);
    } else {
        scan_level<false>(search, matrix_row, output_pyramid, table, n, levels, eps, hooks);
    }
}

}  // namespace

LevelGeometry synthesize_level(const TrainingSet& set, const int* matrix_row, std::uint8_t* output_pyramid,
                               int output_width, int output_height, int n, int levels, double eps,
                               const ScanHooks& hooks) {
    const LevelTable table = make_level_table(output_width, output_height, levels);
    TreeSearch search(set);
    scan_level(search, matrix_row, output_pyramid, table, n, levels, eps, hooks);
    return {table.width[n], table.height[n], table.offset[n]};
}

LevelGeometry synthesize_level_exact(const ExactMatcher& matcher, const int* matrix_row,
                                     std::uint8_t* output_pyramid, int output_width, int output_height, int n,
                                     int levels, SearchTeam& team, const ScanHooks& hooks) {
    const LevelTable table = make_level_table(output_width, output_height, levels);
    ExactSearch search(matcher, table.width[n], table.height[n], team);
    scan_level(search, matrix_row, output_pyramid, table, n, levels, 0.0, hooks);
    return {table.width[n], table.height[n], table.offset[n]};
}
