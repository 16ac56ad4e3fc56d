#pragma once

#include <cstdint>
#include <vector>

#include "synthesis/search/candidate_grid.h"

// How graft_unused brings the parts of an exemplar that a texture's layout left out into it.
struct Grafting {
    // The side of the square of exemplar pixels a graft copies, as a share of the shorter side of the level's
    // candidates (at least kLeastGraftSide pixels; 0: no grafts).
    double side = 0;
    // Grafts are made while more than this share of the candidates is copied nowhere.
    double unused_share = 0;
    // A square is grafted only if at least this share of its pixels is copied nowhere: scattered unused pixels
    // are the grain of the layout, not a part of the exemplar left out.
    double least_unused = 0.5;
};

inline constexpr int kLeastGraftSide = 3;

// Copies into a width x height output level, which wraps around, the squares of the exemplar level that its
// copies leave out, each where it fits best. A coarse level's search starts copies where the exemplar's
// neighbourhoods are common and lets them run on: a part of the exemplar unlike the rest (a darker corner, a
// patch of another colour) is then copied nowhere, and every finer level, carried over from it, leaves it out
// too. While more than `grafting.unused_share` of the candidates is copied nowhere, the square of
// candidates holding the most of them (the first such, row by row) is copied whole to the output place where it
// differs least from what is there, its surroundings one pixel wide included (looked for every quarter side,
// then around the best of those pixel by pixel): never over a pixel that holds the only copy of its exemplar
// pixel, or over an earlier graft. The passes of the finer levels then mend its seams. The same for any number
// of threads: it runs on one.
// `sources` holds each output pixel's exemplar pixel (y * width + x of the grid's exemplar level) and is changed
// in place; `exemplar` holds `channels` bytes a pixel of that level, of which the first `compared` are compared.
// Returns the number of squares grafted.
int graft_unused(const CandidateGrid& grid, const std::uint8_t* exemplar, int channels, int compared,
                 std::vector<int>& sources, int width, int height, const Grafting& grafting);
