#include <algorithm>

#include <texsynth/settings.h>

#include "pyramid/level_table.h"
#include "synthesis/levels/refined_plan.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/training_set.h"

namespace {

std::string size_text(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

std::string check_setting_ranges(const SynthesisSettings& settings) {
    const auto outside = [](int value, int minimum, int maximum) { return value < minimum || value > maximum; };
    const auto range = [](int minimum, int maximum) {
        return "expected a whole number from " + std::to_string(minimum) + " to " + std::to_string(maximum);
    };
    if (outside(settings.levels, 0, kMaxLevels)) {
        return "levels: " + range(1, kMaxLevels) + " (or 0: chosen), got " + std::to_string(settings.levels);
    }
    for (int n = 0; n < settings.levels; ++n) {
        for (int v = n; v < settings.levels; ++v) {
            const int s = settings.matrix.row(n, settings.levels)[v];
            if (outside(s, 0, kMaxHalfSize)) {
                return "half-size m" + std::to_string(n) + std::to_string(v) + ": " + range(0, kMaxHalfSize) +
                       ", got " + std::to_string(s);
            }
        }
    }
    if (outside(settings.threads, 0, kMaxThreads)) {
        return "threads: " + range(1, kMaxThreads) + " (or 0: one per core), got " + std::to_string(settings.threads);
    }
    if (outside(settings.passes, 1, kMaxPasses)) {
        return "passes: " + range(1, kMaxPasses) + ", got " + std::to_string(settings.passes);
    }
    if (outside(settings.similar, 0, kMaxSimilar)) {
        return "k: " + range(0, kMaxSimilar) + ", got " + std::to_string(settings.similar);
    }
    return "";
}

std::string check_settings(const SynthesisSettings& settings, int width, int height) {
    const int levels = settings.levels;
    if (width < 1 || height < 1) {
        return "output size: " + size_text(width, height) + " is empty; width and height must be at least 1";
    }
    if (pyramid_bytes(width, height, levels) > kMaxOutputPyramidBytes) {
        return "output size: " + size_text(width, height) + " is too large: its pyramid would " +
               "take more than " + std::to_string(kMaxOutputPyramidBytes) + " bytes (W x H up to about " +
               "536 million pixels)";
    }
    const LevelTable output = make_level_table(width, height, levels);
    const int coarsest = levels - 1;
    if (output.width[coarsest] < 1 || output.height[coarsest] < 1) {
        return "output size: " + size_text(width, height) + " with " + std::to_string(levels) +
               " levels leaves level " + std::to_string(coarsest) + " empty (" +
               size_text(output.width[coarsest], output.height[coarsest]) +
               "); use fewer levels or a larger output";
    }
    if (neighbourhood_dimension(settings.matrix.row(coarsest, levels), coarsest, levels) == 0) {
        return "half-size m" + std::to_string(coarsest) + std::to_string(coarsest) +
               ": is 0, which leaves the coarsest level with no neighbourhood to compare; use at least 1";
    }
    return "";
}

int largest_square_exemplar(int levels) {
    int side = 1;
    while (pyramid_bytes(side + 1, side + 1, levels) <= kMaxExemplarPyramidBytes) {
        ++side;
    }
    return side;
}

std::string check_exemplar(const SynthesisSettings& settings, int width, int height) {
    const int levels = settings.levels;
    const std::int64_t bytes = pyramid_bytes(width, height, levels);
    if (bytes > kMaxExemplarPyramidBytes) {
        const int side = largest_square_exemplar(levels);
        return "the exemplar is too large: " + size_text(width, height) + " with " + std::to_string(levels) +
               (levels == 1 ? " level" : " levels") + " needs a pyramid of " + std::to_string(bytes) +
               " bytes, at most " + std::to_string(kMaxExemplarPyramidBytes) + " are allowed (a square exemplar " +
               "may be up to " + size_text(side, side) + "): every search compares against nearly every " +
               "exemplar pixel";
    }
    const LevelTable exemplar = make_level_table(width, height, levels);
    for (int n = levels - 1; n >= 0; --n) {
        const int* row = settings.matrix.row(n, levels);
        const int border = training_border(exemplar, row, n, levels);
        const std::int64_t candidates = training_candidate_count(exemplar, n, border);
        if (candidates == 0) {
            return "the exemplar is too small: level " + std::to_string(n) + " of its pyramid is " +
                   size_text(exemplar.width[n], exemplar.height[n]) + ", which leaves no pixel inside the border of " +
                   std::to_string(border) + " that its neighbourhoods need; use a larger exemplar, fewer levels " +
                   "or smaller half-sizes";
        }
        const std::int64_t components = candidates * neighbourhood_dimension(row, n, levels);
        if (components > kMaxTrainingComponents) {
            return "level " + std::to_string(n) + " would need " + std::to_string(candidates) +
                   " candidates of " + std::to_string(neighbourhood_dimension(row, n, levels)) +
                   " components each, more than the " + std::to_string(kMaxTrainingComponents) +
                   " components allowed; use smaller half-sizes or a smaller exemplar";
        }
    }
    return "";
}

SynthesisSettings with_levels_chosen(const SynthesisSettings& settings, int exemplar_width, int exemplar_height,
                                     int output_width, int output_height, bool texture) {
    if (settings.levels != 0) {
        return settings;
    }
    // Only the refined search reads past the exemplar's edges: the others' candidates keep a border as wide
    // as their neighbourhoods, which a smaller coarsest level or larger neighbourhoods would leave too few.
    const bool refined_texture = texture && settings.match == MatchMode::refined;
    SynthesisSettings chosen = settings;
    chosen.levels = automatic_levels(exemplar_width, exemplar_height,
                                     refined_texture ? kTextureCoarsestExemplarSide : kCoarsestExemplarSide);
    while (chosen.levels > 1 && std::min(output_width, output_height) >> (chosen.levels - 1) < 1) {
        --chosen.levels;
    }
    chosen.matrix = refined_texture ? automatic_matrix(chosen.levels, kTextureMiddleHalfSize)
                                    : automatic_matrix(chosen.levels);
    return chosen;
}
