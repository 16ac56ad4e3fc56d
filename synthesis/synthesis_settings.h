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
    refined,      // coherent copying corrected against every pixel's whole surroundings (synthesis/refined_plan.h)
};

// How a picture is synthesized, whatever the job.
struct SynthesisSettings {
    // Of both pyramids. 0: as many as suit the exemplar and the output, with neighbourhoods to match
    // (automatic_levels and automatic_matrix in synthesis/refined_plan.h); `matrix` is then not read.
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

// The settings a finished texture is made with where its caller leaves them open (the command line's
// --output=FILE INPUT form and the Python module both start from these): the refined search with three
// passes, the best result quickly (the third pass lowers the coherence error by 2 to 20 % over the second on
// nine exemplars and keeps a 512 x 512 texture near 0.3 s of CPU), and the levels chosen to suit the
// exemplar and the output.
inline SynthesisSettings finished_texture_defaults() {
    SynthesisSettings settings;
    settings.levels = 0;
    settings.match = MatchMode::refined;
    settings.passes = 3;
    return settings;
}

// The same for filling a hole or making an image tile: five passes, as the pixels at a hole's edge have to
// fit what surrounds them and each pass mends them further (on 42 holes in seven pictures, before the edge's
// search was made sparser on large levels, the edge's z-score stayed below 2 in 35 with five passes, in 29
// with three).
inline SynthesisSettings hole_filling_defaults() {
    SynthesisSettings settings = finished_texture_defaults();
    settings.passes = 5;
    return settings;
}
