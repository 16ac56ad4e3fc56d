#include "synthesis/search/exemplar_edges.h"

#include <cmath>
#include <cstdlib>
#include <vector>

double wrap_seam_z(const std::uint8_t* image, int width, int height, bool rows) {
    // Along rows, the roles of x and y swap.
    const int across = rows ? height : width;
    const int along = rows ? width : height;
    auto pixel = [&](int a, int b) {
        const int x = rows ? b : a;
        const int y = rows ? a : b;
        return image + (static_cast<std::size_t>(y) * width + x) * 3;
    };
    auto boundary = [&](int a, int next) {
        double sum = 0;
        for (int b = 0; b < along; ++b) {
            const std::uint8_t* p = pixel(a, b);
            const std::uint8_t* q = pixel(next, b);
            for (int c = 0; c < 3; ++c) {
                sum += std::abs(int{p[c]} - int{q[c]});
            }
        }
        return sum / (3.0 * along);
    };
    if (across < 2) {
        return 0;
    }
    std::vector<double> interior;
    for (int a = 0; a + 1 < across; ++a) {
        interior.push_back(boundary(a, a + 1));
    }
    double mean = 0;
    for (const double d : interior) {
        mean += d;
    }
    mean /= static_cast<double>(interior.size());
    double variance = 0;
    for (const double d : interior) {
        variance += (d - mean) * (d - mean);
    }
    const double deviation = std::sqrt(variance / static_cast<double>(interior.size()));
    const double seam = boundary(across - 1, 0);
    return deviation > 0 ? (seam - mean) / deviation : 0;
}

void choose_exemplar_edges(const std::uint8_t* image, int width, int height, CandidateOptions& options) {
    const bool tiles = wrap_seam_z(image, width, height, false) < kTilingSeamZ &&
                       wrap_seam_z(image, width, height, true) < kTilingSeamZ;
    options.edges_x = tiles ? ExemplarEdges::wrapped : ExemplarEdges::clamped;
    options.edges_y = options.edges_x;
}
