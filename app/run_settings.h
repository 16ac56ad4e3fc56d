#pragma once

#include <string>

#include "synthesis/neighbourhood.h"

// Longest input path or output prefix accepted, in characters.
inline constexpr int kMaxPathLength = 255;
// Longest last part of the output prefix: with "_<level>.bmp" it makes a file name of at most 255 characters,
// the most a file system accepts.
inline constexpr int kMaxPrefixNameLength = 255 - 6;
inline constexpr int kMaxLevels = 4;
inline constexpr int kMaxHalfSize = 64;
inline constexpr int kMaxThreads = 64;
inline constexpr int kMaxPasses = 16;
inline constexpr int kMaxSimilar = 16;
// Passes of the --output form unless --passes says otherwise: the third pass lowers the coherence error by
// 2 to 20 % over the second (measured on nine exemplars) and still leaves a 512 x 512 run near 0.3 s of CPU.
inline constexpr int kOutputFormPasses = 3;

// How each output pixel's exemplar pixel is found.
enum class MatchMode {
    approximate,  // kd-tree search within a factor 3 of the nearest distance (the default)
    exact,        // the nearest candidate, ties to the lowest index
    coherent,     // the nearest among the candidates that continue the neighbours' sources
    refined,      // coherent copying corrected against every pixel's whole surroundings (synthesis/refined_plan.h)
};

// The settings of one run.
struct RunSettings {
    std::string input_path = "./demo2.bmp";
    std::string output_prefix = "./out";
    int width = 256;   // of output level 0
    int height = 256;  // of output level 0
    int levels = 3;    // of both pyramids
    // Every level: causal half-size 2 at its own level, 3 x 3 squares at each coarser one.
    NeighbourhoodMatrix matrix{{2, 1, 1,
                                0, 2, 1,
                                0, 0, 2}};
    MatchMode match = MatchMode::approximate;
    int threads = 0;     // 0: one per processor core
    int passes = 1;      // raster passes over every level
    int similar = 0;     // similar candidates per source, for the coherent search
    bool quiet = false;  // no progress line
    // The --output form: only the finest level, written to this file ("": the prefix form, every level).
    std::string output_file;
    // Levels and neighbourhoods chosen from the exemplar's size once it is read (the --output form without L).
    bool automatic_levels = false;
};
