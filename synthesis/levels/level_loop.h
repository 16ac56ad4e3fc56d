#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <texsynth/job.h>

#include "pyramid/level_table.h"
#include "synthesis/patterns/exemplar_lattice.h"
#include "synthesis/search/candidate_grid.h"
#include "synthesis/search/exact_matcher.h"
#include "synthesis/search/matched_channels.h"
#include "synthesis/search/pyramid_views.h"
#include "synthesis/search/similar_candidates.h"

// What a level of the refined search builds before its passes: its matchers and their similar candidates.
struct LevelSearches {
    std::vector<std::uint8_t> sparse_excluded;  // the sparse matcher's excluded candidates
    std::optional<ExactMatcher> sparse;
    std::optional<ExactMatcher> later;
    std::optional<SimilarCandidates> later_similar;
    std::optional<ExactMatcher> first;
    std::optional<SimilarCandidates> similar;
    std::optional<SimilarCandidates> first_escape;
};

// The one level loop every job runs: what differs between making a texture, filling a hole and making a
// picture tile is given to it as data.
struct LevelLoop {
    SynthesisSettings settings;  // with the levels decided
    // What a pixel of both pyramids holds (R, G, B, maps, guides) and how each byte counts.
    MatchedChannels channels;
    // For jobs with guides: LevelJob::guide_tolerance of each level, or empty: none.
    std::vector<int> guide_tolerance;
    // The exemplar's pyramid of matched pixels, and how its edges are read (the refined search).
    const std::uint8_t* exemplar_pyramid = nullptr;
    LevelTable exemplar_levels;
    CandidateOptions exemplar_edges;
    // A regular pattern's periods, which the refined search keeps its copies in step with (none found: none).
    PeriodLattice periods;
    // The output's pyramid, filled with where the passes start from (noise, and for a fill the kept pixels).
    std::uint8_t* output_pyramid = nullptr;
    LevelTable output_levels;
    EdgeRule output_edges = EdgeRule::wrap;
    // Per output level, where each pixel's colour came from as an exemplar pixel index of that level (-1 where
    // it is not known); the exact, coherent and refined searches start from it. Left empty for the kd-tree
    // search, which needs none.
    std::vector<std::vector<int>> sources;
    // Per output level, the pixels to keep (non-zero), or empty: every pixel is synthesized.
    std::vector<std::vector<std::uint8_t>> fixed;
    // Per output level, the pixels whose search weighs every candidate (non-zero), or empty: none.
    std::vector<std::vector<std::uint8_t>> exhaustive;
    // Per exemplar level, the pixels that may not be copied (non-zero), or empty: all may. A pixel is excluded
    // when its neighbourhood reads what may not be read (a hole's pixels), and neighbourhoods that take only
    // their own level read less than those that take the coarser levels too: two masks.
    std::vector<std::vector<std::uint8_t>> excluded;
    std::vector<std::vector<std::uint8_t>> excluded_own_level;
    // Per exemplar level, a cost per exemplar pixel that the refined search's later passes add to each
    // candidate's distance (LaterPasses::pixel_costs), or empty: none.
    std::vector<std::vector<double>> candidate_costs;
    // Per output level, for the pixels whose search weighs every candidate, an exemplar pixel of that level whose
    // 3 x 3 neighbours they weigh instead (LevelJob::rim_hints), or empty: they search.
    std::vector<std::vector<int>> rim_hints;
    // Whether the refined search keeps what each level builds before its passes (`searches`, per level), for
    // another run of the same loop: between runs only the output pyramid, the sources, the candidates' costs and
    // the rim's hints may change.
    bool keep_searches = false;
    std::vector<std::unique_ptr<LevelSearches>> searches;
};

// Synthesizes every level of the output pyramid, coarsest first, telling `hooks` as it goes. On return
// `final_sources` holds, for every pixel of output level 0, the exemplar pixel of level 0 it was copied from
// (for kept pixels, what `loop.sources` said). Returns false if the caller asked it to stop.
bool synthesize_levels(LevelLoop& loop, std::vector<int>& final_sources, const JobHooks& hooks, JobError& error);
