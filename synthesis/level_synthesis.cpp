#include "synthesis/level_synthesis.h"

#include <algorithm>
#include <memory>

#include "pyramid/level_table.h"
#include "synthesis/neighbourhood.h"
#include "synthesis/pyramid_views.h"

namespace {

struct QueryPointDeleter {
    void operator()(ANNcoord* point) const { annDeallocPt(point); }
};

// The raster scan of one level. The timed variant reads the clock around every stage of every pixel; the
// untimed one, which the program runs, has nothing but the work in its loop.
template <bool kTimed>
void scan_level(const TrainingSet& set, const int* matrix_row, std::uint8_t* output_pyramid, const LevelTable& table,
                int n, int levels, double eps, LevelProfile* profile) {
    const WrappedPyramidView view(output_pyramid, table, matrix_row, n, levels);
    const std::unique_ptr<ANNcoord, QueryPointDeleter> query(annAllocPt(set.dimension, 0));
    ANNidx index = 0;
    ANNdist distance = 0;
    LapClock clock;
    double gathering = 0;
    double searching = 0;
    double writing = 0;

    for (int y = 0; y < table.height[n]; ++y) {
        std::uint8_t* row = output_pyramid + pixel_index(table, n, 0, y);
        for (int x = 0; x < table.width[n]; ++x) {
            gather_neighbourhood(matrix_row, n, levels, x, y, view, query.get());
            if constexpr (kTimed) {
                gathering += clock.lap();
            }
            set.tree->annkSearch(query.get(), 1, &index, &distance, eps);
            if constexpr (kTimed) {
                searching += clock.lap();
            }
            std::copy_n(&set.colours[static_cast<std::size_t>(index) * 3], 3, row + x * 3);
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

}  // namespace

LevelGeometry synthesize_level(const TrainingSet& set, const int* matrix_row, std::uint8_t* output_pyramid,
                               int output_width, int output_height, int n, int levels, double eps,
                               LevelProfile* profile) {
    const LevelTable table = make_level_table(output_width, output_height, levels);
    if (profile != nullptr) {
        scan_level<true>(set, matrix_row, output_pyramid, table, n, levels, eps, profile);
    } else {
        scan_level<false>(set, matrix_row, output_pyramid, table, n, levels, eps, nullptr);
    }
    return {table.width[n], table.height[n], table.offset[n]};
}
