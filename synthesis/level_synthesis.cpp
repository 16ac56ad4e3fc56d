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

}  // namespace

LevelGeometry synthesize_level(const TrainingSet& set, const int* matrix_row, std::uint8_t* output_pyramid,
                               int output_width, int output_height, int n, int levels, double eps) {
    const LevelTable table = make_level_table(output_width, output_height, levels);
    const WrappedPyramidView view(output_pyramid, table, matrix_row, n, levels);
    const std::unique_ptr<ANNcoord, QueryPointDeleter> query(annAllocPt(set.dimension, 0));
    ANNidx index = 0;
    ANNdist distance = 0;

    for (int y = 0; y < table.height[n]; ++y) {
        for (int x = 0; x < table.width[n]; ++x) {
            gather_neighbourhood(matrix_row, n, levels, x, y, view, query.get());
            set.tree->annkSearch(query.get(), 1, &index, &distance, eps);
            std::copy_n(&set.colours[static_cast<std::size_t>(index) * 3], 3,
                        output_pyramid + pixel_index(table, n, x, y));
        }
    }
    return {table.width[n], table.height[n], table.offset[n]};
}
