#pragma once

#include <cstdint>
#include <vector>

#include <texsynth/settings.h>

#include "pyramid/level_table.h"
#include "synthesis/patterns/exemplar_lattice.h"
#include "synthesis/search/candidate_grid.h"

// The exemplars of a job as the level loop reads them: one pyramid of matched pixels whose candidates are every
// pixel that may be copied. One exemplar is its own pyramid, its edges read as the refined search chooses and a
// regular pattern's periods found. Several lie side by side, each its own pyramid built separately and placed at
// offsets that stay whole at every level, inside a margin that repeats its own pixels as far as any read reaches
// (wrapped around where it tiles by itself, its edge pixels clamped where it does not), so that every read of
// each stays within its own pixels; the margins are no candidates. A sample mask leaves out more: at level 0 the
// pixels it does not allow, at each coarser level those whose every finer pixel is left out.

// What an exemplar is made of: its matched pixels (synthesis/jobs/matched_pictures.h) and its colours.
struct ExemplarPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> matched;  // `channels` bytes a pixel
    std::vector<std::uint8_t> rgb;      // R, G, B
    const std::vector<std::uint8_t>* mask = nullptr;  // non-zero: may be copied; none: every pixel
};

// Where an exemplar lies in level 0 of the set's pyramid.
struct ExemplarPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ExemplarSet {
    std::vector<std::uint8_t> pyramid;
    LevelTable levels;
    // How the refined search reads the set's edges (several exemplars: clamped, which the margins make moot).
    CandidateOptions edges;
    PeriodLattice periods;  // one exemplar's, if it has them
    // Per level, the pixels that may not be copied (non-zero), or empty: every pixel may.
    std::vector<std::vector<std::uint8_t>> excluded;
    std::vector<ExemplarPlace> places;
    // The pixels of level 0 that may be copied, in order: where the output's noise is drawn from.
    std::vector<int> allowed;

    // Which exemplar pixel `p` of level 0 lies in, and where in it.
    struct Source {
        int exemplar = 0;
        int x = 0;
        int y = 0;
    };
    Source source_of(int p) const;
    // The pixel of level n that stands for pixel p of level 0: the one covering it within its exemplar (the
    // last row or column where an odd size leaves it uncovered).
    int at_level(int p, int n) const;
};

// Per level of a pyramid laid out as `table`, the pixels a sample mask (non-zero: may be copied) leaves out
// (non-zero): at level 0 those it does not allow, at each coarser level those whose 2 x 2 finer pixels are all
// left out.
std::vector<std::vector<std::uint8_t>> masked_levels(const std::vector<std::uint8_t>& mask, const LevelTable& table,
                                                     int levels);

// Lays out `exemplars` (their `channels` bytes a pixel) for `settings` (with the levels decided); with
// `refined`, chooses one exemplar's edges and finds its periods.
ExemplarSet lay_out_exemplars(const std::vector<ExemplarPixels>& exemplars, const SynthesisSettings& settings,
                              int channels, bool refined);

// The first level of `set` at which no candidate of the searches' grids remains (grids with inside edges keep a
// border clear; the others take every pixel), or -1 if every level has some.
int level_without_allowed(const ExemplarSet& set, const SynthesisSettings& settings);
