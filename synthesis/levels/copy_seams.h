#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "synthesis/patterns/lattice_phase.h"
#include "synthesis/search/candidate_grid.h"
#include "synthesis/search/search_team.h"

// How settle_seams moves the seams between a texture's copies.
struct SeamSettling {
    int reach = 0;   // how far past its edge a copy may take pixels over in one move (0: the seams stay)
    int sweeps = 0;  // rounds of moves, each copy once a round
    int least_copy = 1;  // the fewest pixels a copy has to make a move of its own (smaller ones are moved over)
    // How much the two copies' difference one pixel further out on each side of a seam counts beside the
    // difference at the seam's own two pixels.
    double outer_weight = 0;
    // The penalty on repeating copies, as LevelJob::shift_penalty and its shares (synthesis/search/
    // repeat_shifts.h), against the differences across a seam: a move that makes copies line up pays
    // `shift_penalty` times the compared channels, twice, per pair of pixels with one source it joins beyond the
    // allowed share, over the level's pixels. 0: none.
    double shift_penalty = 0;
    double shift_allowed = 0;
    double shift_steep = 1.0;
    // What a pixel holding the only copy of its exemplar pixel is worth, as much as a seam whose two copies
    // differ by the square root of this in every compared channel of both its pixels: a move that takes it over
    // takes that part of the exemplar out of the texture. 0: nothing.
    double last_use = 0;
};

// Moves the seams between the copies of a width x height output level, which wraps around, to where the copies
// on either side of them differ least. A seam between pixels p and q, neighbours whose sources do not continue
// each other, costs the squared differences between what p's copy and q's copy put at p and at q (and, weighed
// by `outer_weight`, one pixel further out on each side); what one copy would put where it does not reach (past
// a clamped edge of the exemplar, or on a pixel the grid leaves out) costs as much as the largest difference
// twice. Each copy in turn (the pixels that continue each other's sources, found from the first pixel of each;
// every other round from the last copy to the first, so that a copy can take back what those before it took)
// may take over any of the pixels within `reach` of it: which of them it takes is decided for all at once, the
// choice of least cost in all (a minimum cut), and kept only where it lowers the cost. The pixel-by-pixel
// passes choose each pixel's source with its neighbours' fixed, so that a seam moves a pixel at a time; here
// it moves as a whole to where it costs least.
// `sources` holds each output pixel's exemplar pixel (y * width + x of the grid's exemplar level) and is
// changed in place; `exemplar` holds `channels` bytes a pixel of that level, of which the first `compared`
// (the colour, and what is copied with it) are compared. With a `phase` (a regular pattern's), a copy takes over
// only the pixels where it is in step with the lattice. The moves are made one after the other; with a `team`,
// its threads share the work of each large one. The same for any number of threads.
// `should_stop`, if given, is asked before every move; once it says so, the moves made so far stand.
void settle_seams(const CandidateGrid& grid, const std::uint8_t* exemplar, int channels, int compared,
                  std::vector<int>& sources, int width, int height, const SeamSettling& settling,
                  const LatticePhase* phase = nullptr, const std::function<bool()>& should_stop = {},
                  SearchTeam* team = nullptr);
