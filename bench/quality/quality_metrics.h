#pragma once

#include <string>
#include <vector>

#include "image/rgb_image.h"

// Figures for how well a synthesized texture reproduces its exemplar.

// How much the wrap-around seam stands out. For columns: the mean absolute difference (over the rows and the
// three channels) between the last column and the first, as a z-score, (seam - mean) / standard deviation,
// against the same difference across every interior boundary, column x to x + 1 (population deviation).
// Rows likewise, last row to first. A seam no different from the interior scores 0; a seam that equals the
// interior mean exactly while the interior is uniform also scores 0, one that differs from a uniform
// interior scores +/- infinity, and an image without interior boundaries scores NaN.
struct SeamScores {
    double columns = 0;
    double rows = 0;
    double worst() const { return columns > rows ? columns : rows; }
};
SeamScores seam_scores(const RgbImage& image);

// Distance between the colour distributions of two images: per channel, the 1-D Wasserstein distance between
// the normalised 256-bin histograms (the sum over grey levels of the absolute difference of the cumulative
// shares), in grey levels; the mean over R, G and B. Both images must have pixels.
double histogram_distance(const RgbImage& a, const RgbImage& b);

// How much the edges of a grid of square blocks stand out (block_grid_ratio in synthesis/levels/block_grid.h).
double block_ratio(const RgbImage& image, int block_side);

struct BlockRatios {
    double two = 0;   // 2 x 2 blocks
    double four = 0;  // 4 x 4 blocks
};
BlockRatios block_ratios(const RgbImage& image);

// A texture passes the block test when its ratio is at most 1.05 times the larger of 1 and its exemplar's
// ratio for the same block side: an exemplar with a grid of its own (a grate, tiles) may pass it on.
bool blocks_pass(double output_ratio, double exemplar_ratio);

struct QualityFigures {
    SeamScores seam;
    // Per output pixel, the RMS per component, sqrt(squared distance / 75), from its 5 x 5 patch (wrapped)
    // to the nearest exemplar patch: the mean, and the 95th percentile (interpolated linearly between ranks).
    double coherence_mean = 0;
    double coherence_p95 = 0;
    std::vector<double> coherence_errors;  // that RMS of every output pixel, row-major
    // The share of the exemplar's patches that are the nearest patch of at least one output pixel.
    double completeness = 0;
    double histogram = 0;
    BlockRatios output_blocks;
    BlockRatios exemplar_blocks;
};

// All the figures for `output` against `exemplar`, searching patches on up to `threads` threads (0: one per
// core). Both must have pixels; without a 5 x 5 exemplar the patch figures are NaN.
QualityFigures measure_quality(const RgbImage& exemplar, const RgbImage& output, int threads = 0);

// Every output pixel's coherence error as a grey picture of the output's size: kErrorMapScale grey levels per
// unit of error, at most 255. Seams between copies stand out as lines.
inline constexpr double kErrorMapScale = 8.0;
RgbImage coherence_error_map(const QualityFigures& figures, int width, int height);

// The figures as one line of name=value pairs, the larger seam score first as seam_z, the block ratios last.
std::string format_figures(const QualityFigures& figures);
