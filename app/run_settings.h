#pragma once

#include <string>

#include "synthesis/candidate_grid.h"
#include "synthesis/level_synthesis.h"
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

// How each output pixel's exemplar pixel is found.
enum class MatchMode {
    approximate,  // kd-tree search within a factor 3 of the nearest distance (the default)
    exact,        // the nearest candidate, ties to the lowest index
    coherent,     // the nearest among the candidates that continue the neighbours' sources
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
    // Experimental, for the coherent search.
    ExemplarEdges edges_x = ExemplarEdges::inside;
    ExemplarEdges edges_y = ExemplarEdges::inside;
    bool auto_edges = false;
    NeighbourhoodShape later_shape = NeighbourhoodShape::causal;
    int later_similar = -1;  // -1: as the first pass
    int lattice = 1;
    double repeat_penalty = 0;
    FirstPass first_pass = FirstPass::scan;
    int exact_levels = 0;  // the coarsest levels searched exactly
    int coarse_passes = 0; // passes at those levels (0: as the others)
};
