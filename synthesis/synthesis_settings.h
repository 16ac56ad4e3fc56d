#pragma once

#include <cstdint>
#include <optional>

#include "synthesis/neighbourhood.h"

inline constexpr int kMaxLevels = 4;
inline constexpr int kMaxHalfSize = 64;
inline constexpr int kMaxThreads = 64;
inline constexpr int kMaxPasses = 16;
inline constexpr int kMaxSimilar = 16;

// How each output pixel's exemplar pixel is found.
enum class MatchMode {
    approximate,  // kd-tree search within a factor 3 of the nearest distance (the default)
    exact,        // the nearest candidate, ties to the lowest index
    coherent,     // the nearest among the candidates that continue the neighbours' sources
};

// The most levels chosen when the settings leave the number open.
inline constexpr int kMostChosenLevels = 3;

// How a picture is synthesized, whatever the job.
struct SynthesisSettings {
    // Of both pyramids. 0: as many as suit the exemplar and the output, up to kMostChosenLevels, with the
    // default neighbourhoods (default_matrix); `matrix` is then not read.
    int levels = 3;
    // Every level: causal half-size 2 at its own level, 3 x 3 squares at each coarser one.
    NeighbourhoodMatrix matrix{{2, 1, 1,
                                0, 2, 1,
                                0, 0, 2}};
    MatchMode match = MatchMode::approximate;
    int threads = 0;  // 0: one per processor core
    int passes = 1;   // raster passes over every level
    int similar = 0;  // similar candidates per source, for the coherent search
    // The noise the output starts from; without a seed, the sequence texsynth has always used.
    std::optional<std::uint32_t> seed;
};

// The default neighbourhoods for L levels: causal half-size 2 at each level, 3 x 3 squares at coarser ones.
inline NeighbourhoodMatrix default_matrix(int levels) {
    NeighbourhoodMatrix matrix;
    for (int n = 0; n < levels; ++n) {
        for (int v = n; v < levels; ++v) {
            matrix.entries[static_cast<std::size_t>(n * levels + v)] = v == n ? 2 : 1;
        }
    }
    return matrix;
}

// The settings a finished texture is made with where its caller leaves them open (the command line's
// --output=FILE INPUT form and the Python module both start from these): the coherent search with a second
// pass, the best result quickly, and the levels chosen to suit the exemplar and the output.
inline SynthesisSettings finished_texture_defaults() {
    SynthesisSettings settings;
    settings.levels = 0;
    settings.match = MatchMode::coherent;
    settings.passes = 2;
    return settings;
}
