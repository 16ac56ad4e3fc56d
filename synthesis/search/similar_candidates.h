#pragma once

#include <span>
#include <utility>
#include <vector>

#include "synthesis/patterns/lattice_phase.h"
#include "synthesis/search/exact_matcher.h"
#include "synthesis/search/search_team.h"
#include "synthesis/search/source_maps.h"

// For every candidate of a level, the k other candidates whose neighbourhoods are nearest to its own (by
// the matcher's distance, ties to the lowest index), found once per level for the coherent search.
class SimilarCandidates {
public:
    SimilarCandidates(const ExactMatcher& matcher, int k, SearchTeam& team);
    // Given outright: k entries per candidate.
    SimilarCandidates(int k, std::vector<int> similar) : k_(k), similar_(std::move(similar)) {}

    int k() const { return k_; }
    std::span<const int> of(int index) const {
        return {similar_.data() + static_cast<std::size_t>(index) * k_, static_cast<std::size_t>(k_)};
    }

private:
    int k_;
    std::vector<int> similar_;  // k per candidate, nearest first; -1 where a level has fewer candidates
};

// The candidates the coherent search weighs for output pixel (x, y), appended to `out` once each: for every
// neighbour within `half_size` (those before the pixel in raster order, or with `all_around` every one, the
// pixel included), the candidate that continues the neighbour's source shifted by its offset, and that
// candidate's similar ones; then the candidate under the pixel's parent at the coarser level. `seen` has an
// entry per candidate and `stamp` differs from every earlier call's (it marks what is in `out`). With a
// `phase`, every candidate is the nearest one in step with (x, y) instead. With `continued`, it receives the
// candidates the neighbours' copies continue at (x, y), with how many of them continue there (the pixel itself
// left out): an entry for each run of neighbours that continue one candidate, so a candidate continued by
// neighbours apart has several, whose counts add up.
void coherent_candidates(const CandidateGrid& grid, const SimilarCandidates& similar, const SourceMaps& sources,
                         int x, int y, int half_size, bool all_around, std::vector<int>& out, std::vector<int>& seen,
                         int stamp, const LatticePhase* phase = nullptr,
                         std::vector<std::pair<int, int>>* continued = nullptr);
