#pragma once

#include <string>

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

struct QualityFigures {
    SeamScores seam;
    // Per output pixel, the RMS per component, sqrt(squared distance / 75), from its 5 x 5 patch (wrapped)
    // to the nearest exemplar patch: the mean, and the 95th percentile (interpolated linearly between ranks).
    double coherence_mean = 0;
    double coherence_p95 = 0;
    // The share of the exemplar's patches that are the nearest patch of at least one output pixel.
    double completeness = 0;
    double histogram = 0;
};

// All the figures for `output` against `exemplar`, searching patches on up to `threads` threads (0: one per
// core). Both must have pixels; without a 5 x 5 exemplar the patch figures are NaN.
QualityFigures measure_quality(const RgbImage& exemplar, const RgbImage& output, int threads = 0);

// The figures as one line of name=value pairs, the larger seam score first as seam_z.
std::string format_figures(const QualityFigures& figures);
