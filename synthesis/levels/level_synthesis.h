#pragma once

#include <cstdint>
#include <vector>

#include "synthesis/levels/carried_shifts.h"
#include "synthesis/levels/scan_hooks.h"
#include "synthesis/search/exact_matcher.h"
#include "synthesis/search/pyramid_views.h"
#include "synthesis/search/repeat_shifts.h"
#include "synthesis/search/search_team.h"
#include "synthesis/search/similar_candidates.h"
#include "synthesis/search/training_set.h"

// One level of the output pyramid, synthesized pass by pass: the LevelJob that describes the work, and a
// scan for each way of searching (kd-tree, exact, coherent). level_loop.h runs the levels one after another.

// Size and byte offset of one level inside the output pyramid.
struct LevelGeometry {
    int width = 0;
    int height = 0;
    int offset = 0;
};

// Rewrites level n of the output pyramid (level 0 is output_width x output_height) in place, in raster
// order: every pixel's neighbourhood is read from the output pyramid as it stands, wrapping around every
// level's edges, the kd-tree of `set` is asked for an approximate nearest neighbour (error bound `eps`),
// and the pixel takes that neighbour's colour at once, so the pixels after it see it.
// Returns the size and offset of level n. `hooks` may ask for the time of every stage of every pixel, and
// for a call after every row.
// Precondition: `set` was built for level n with the same matrix row, and every output level is non-empty.
LevelGeometry synthesize_level(const TrainingSet& set, const int* matrix_row, std::uint8_t* output_pyramid,
                               int output_width, int output_height, int n, int levels, double eps,
                               const ScanHooks& hooks = {});

// How the first pass of a level starts it.
enum class FirstPass {
    scan,             // the raster scan with the causal neighbourhood
    continue_parent,  // every pixel takes the exemplar pixel under its parent's source (no search): the coarser
                      // level's result carried to this one; the coarsest level scans all the same
};

// What the passes after the first do.
struct LaterPasses {
    // The candidates the exact and coherent searches weigh, if not those of the first pass: e.g. with the full
    // neighbourhood shape (it must lie on the same candidate grid when the first pass carries the parent over).
    const ExactMatcher* matcher = nullptr;
    const SimilarCandidates* similar = nullptr;  // for the coherent search
    // For the pixels that weigh every candidate (LevelJob::exhaustive): a matcher over every other pixel of the
    // same candidate grid along each axis, or none. Where the candidates are many, the nearest of these and
    // its neighbours on the grid stand in for the nearest of all, at a quarter of the search.
    const ExactMatcher* sparse = nullptr;
    // Each pass visits the pixels in lattice x lattice interleaved subsets, one after another (left to right,
    // then top to bottom, by their offsets); the pixels of a subset read what the subsets before them wrote.
    // 1: every pixel reads the pass before.
    int lattice = 1;
    // For the coherent search, per candidate, a penalty added to its squared distance for every output pixel
    // copied from it beyond the level's share (output pixels / candidates), times the vector's dimension,
    // counted at the start of each subset; 0: none.
    double repeat_penalty = 0;
    // For the coherent search, how much a candidate's colour must agree with its neighbours' copies: each
    // neighbour within the square, copied from one place of the exemplar, would have the pixel continue that
    // copy; for every neighbour, the squared distance between the candidate's copied components and those of
    // the pixel its copy continues at the pixel, times this, is added to the candidate's distance. A pixel
    // lies in the squares of all those neighbours, and each of their neighbourhoods fits the exemplar only
    // where it agrees with their copies; the distance alone weighs only the pixel's own square. 0: none.
    double agreement = 0;
    // For the coherent search, the half-size of the square whose pixels' copies give each pixel its candidates
    // and its agreement (0: the neighbourhood's own).
    int candidate_half_size = 0;
    // For the coherent search, per exemplar pixel of the level, a cost added to a candidate's squared distance
    // (times the vector's dimension), or none.
    const std::vector<double>* pixel_costs = nullptr;
};

// One level's synthesis with everything a run may ask for beyond the default.
struct LevelJob {
    const int* matrix_row = nullptr;
    std::uint8_t* output_pyramid = nullptr;
    int output_width = 0;
    int output_height = 0;
    int n = 0;
    int levels = 0;
    // The first pass is the raster scan above. Every further pass visits the pixels again, each query
    // reading the pixels of the pass before all around (so the first rows and columns now see their final
    // wrap-around neighbours), and the pixels of a pass are independent of each other.
    int passes = 1;
    // Threads: they share the exact searches of the first pass and the rows of later passes.
    SearchTeam* team = nullptr;
    // Where each pixel of output level n came from, as an exemplar pixel index of level n (y * width + x):
    // on entry where the noise was drawn from, on return where the synthesized pixels were copied from. The
    // exact and coherent searches start from it; the kd-tree search may leave it out (nullptr).
    std::vector<int>* sources = nullptr;
    // The same for output level n + 1, if there is one.
    const std::vector<int>* coarser_sources = nullptr;
    FirstPass first_pass = FirstPass::scan;
    LaterPasses later;
    // Pixels of output level n to keep as they are (non-zero), row-major, or none: no pass searches for them
    // or rewrites them, while their neighbours read them (what surrounds a hole being filled).
    const std::uint8_t* fixed = nullptr;
    // Pixels of output level n whose coherent search weighs every candidate, not only those that continue
    // its neighbours (non-zero), or none: next to kept pixels, whose surroundings no neighbour's source knows.
    const std::uint8_t* exhaustive = nullptr;
    // For those pixels, instead of searching every candidate: an exemplar pixel per pixel of level n whose 3 x 3
    // neighbours join the candidates (-1: none), or none.
    const std::vector<int>* rim_hints = nullptr;
    // What reads past the output level's edges take: wrap for textures that tile, clamp for a picture with a
    // hole in it.
    EdgeRule output_edges = EdgeRule::wrap;
    // For the coherent search: the lattice its candidates keep in step with (a regular pattern's), or none.
    const LatticePhase* phase = nullptr;
    // For the coherent search: a penalty on every candidate for the copies it would repeat at one shift
    // (synthesis/search/repeat_shifts.h), `shift_penalty` times the dimension per pair of pixels with one
    // source it would add to a shift's count beyond `shift_allowed` times the level's pixels, over the level's
    // pixels, each pair beyond `shift_steep` times them counting RepeatShifts::kSteepWeight times; counted as
    // the first pass goes and at the start of every later pass. In the first pass, where the best candidate
    // pays it, the candidates of `shift_escape` most similar to each candidate (if given) are weighed too, so
    // that the scan can leave a copy that would repeat. 0: none.
    double shift_penalty = 0;
    double shift_allowed = 0;
    double shift_steep = 1.0;
    const SimilarCandidates* shift_escape = nullptr;
    // For the coherent search's first pass, the scan: where a pixel does not continue its left or upper
    // neighbour's copy, each candidate pays `usage_penalty` times the dimension per use beyond its share of the
    // pixels chosen so far; where the best one pays it, the nearest of the candidates used less than their
    // share is weighed too. A copy runs on until it meets the exemplar's bottom or right edge, and without it
    // the next starts where the copy before it ended, so that a photo's upper rows are seldom copied. 0: none.
    double usage_penalty = 0;
    // For a first pass that carries the parent over: each of the coarser level's copies (its pixels that
    // continue each other's sources) may be carried over shifted by no pixel or one along each axis, the same for
    // all its pixels (CarriedShifts), so that the finest level's copies are not all at even places in the exemplar
    // (every level doubling the coarsest one's places leaves each output pixel only the exemplar pixels in step
    // with it on a grid of 2 to the levels, and the exemplar's own grid, if it has one, in step with the output's).
    CarriedShifts carried_shifts = CarriedShifts::none;
    // The coarser level's lattice, whose period cells its sources are made whole copies of before they are
    // carried over or continued (synthesis/patterns/period_cells.h), or none.
    const LatticePhase* parent_phase = nullptr;
    // What each pixel of the output pyramid holds (none: R, G, B): a copy writes only the channels a pixel
    // brings along, so the output's guides stay as they are. The searches' matchers are made with the same.
    const MatchedChannels* channels = nullptr;
    // For the coherent search with guides: candidates whose own guide differs from the pixel's by more than this
    // many grey levels in some channel are left out, and where none is left, the pixel takes the nearest of all
    // the candidates that fit (0: none are left out). The candidates that continue the neighbours' sources may
    // all lie in the wrong region of the exemplar where the target guide changes.
    int guide_tolerance = 0;
    ScanHooks hooks;
};

// Synthesizes with the kd-tree (only the first pass may be timed; the tree is searched on one thread).
LevelGeometry synthesize_level(const TrainingSet& set, const LevelJob& job, double eps);

// Synthesizes with the exact nearest candidate of `matcher` (built for level n with the same matrix row):
// the same for any number of threads.
LevelGeometry synthesize_level_exact(const ExactMatcher& matcher, const LevelJob& job);

// Synthesizes with the coherent search: the candidates of a pixel are those that continue where its
// neighbours were copied from (each neighbour's source shifted by its offset), the k candidates most
// similar to each of those, and the one under the pixel's parent at the coarser level; the exact nearest
// of them wins (ties to the lowest index), and where none is a candidate the exact search decides.
LevelGeometry synthesize_level_coherent(const ExactMatcher& matcher, const SimilarCandidates& similar,
                                        const LevelJob& job);
