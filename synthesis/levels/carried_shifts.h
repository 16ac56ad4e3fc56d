#pragma once

#include <cstdint>
#include <vector>

#include "synthesis/search/candidate_grid.h"
#include "synthesis/search/search_team.h"
#include "synthesis/search/source_maps.h"

// How the first pass that carries the coarser level over shifts each of its copies (LevelJob::carried_shifts).
enum class CarriedShifts {
    none,    // not at all: each pixel takes the exemplar pixel under its parent's source
    chosen,  // by the shift whose seams with the neighbouring copies, as they are shifted, differ least in colour
             // (every copy in turn, twice over)
    drawn,   // by a shift drawn per copy, depending on `salt` and where the copy starts
};

// Per pixel of the coarser level of `sources` (SourceMaps::coarser, read where parent_entry says), the shift of its
// copy as `mode` says: 0 or 1 along x (bit 0) and y (bit 1), the same for every pixel of a copy (the pixels that
// continue each other's sources, joined; with wrap-around where the grid wraps). The finer level is width x height
// pixels; every pixel carried over takes the exemplar pixel at twice its parent's place, plus its place in the
// 2 x 2 block, plus the shift (clamped to the grid where it does not wrap). `colours` holds `copied` bytes for
// every pixel of the finer exemplar level (grid.exemplar_width wide), and `candidates` says which are candidates
// (non-zero): a seam to a pixel that is none costs as much as the largest difference twice. The team's threads,
// if given, share the seams' costs.
std::vector<std::uint8_t> carried_shifts(CarriedShifts mode, const SourceMaps& sources, int width, int height,
                                         const CandidateGrid& grid, const std::uint8_t* colours,
                                         const std::uint8_t* candidates, int copied, std::uint32_t salt,
                                         SearchTeam* team);
