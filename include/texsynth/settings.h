#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <texsynth/api.h>

// How a picture is synthesized, whatever the job, with the limits and defaults every front end shares.

inline constexpr int kMaxLevels = 4;
inline constexpr int kMaxHalfSize = 64;
inline constexpr int kMaxThreads = 64;
inline constexpr int kMaxPasses = 16;
inline constexpr int kMaxSimilar = 16;

// The exemplar's pyramid may take at most this many bytes (an exemplar of about 886 x 886 pixels): the
// candidates of a level, and the time each search takes, grow with the exemplar.
inline constexpr int kMaxExemplarPyramidBytes = 3'145'728;
// Pixels are addressed with 32-bit byte indices, which bounds the output pyramid.
inline constexpr std::int64_t kMaxOutputPyramidBytes = 2'147'483'647;
// Most components a training set may hold in all (2 GiB of coordinates).
inline constexpr std::int64_t kMaxTrainingComponents = std::int64_t{1} << 28;

// Half-sizes of the neighbourhoods, L x L entries row-major in a table of 16 (so at most 4 levels).
// Row n governs the synthesis of level n: entry [n][n] is the half-size of the causal neighbourhood taken
// at level n itself, entry [n][v] for v > n the half-size of the full square taken at the coarser level v.
// Entries below the diagonal are never read.
struct NeighbourhoodMatrix {
    std::array<int, 16> entries{};

    // Row n of an L-level matrix, indexed by level: row(n, L)[v] is entry [n][v].
    const int* row(int n, int levels) const { return entries.data() + n * levels; }
};

// How each output pixel's exemplar pixel is found.
enum class MatchMode {
    approximate,  // kd-tree search within a factor 3 of the nearest distance (the default)
    exact,        // the nearest candidate, ties to the lowest index
    coherent,     // the nearest among the candidates that continue the neighbours' sources
    refined,      // coherent copying corrected against every pixel's whole surroundings
};

struct SynthesisSettings {
    // Of both pyramids. 0: as many as suit the exemplar and the output, with neighbourhoods to match
    // (automatic_levels and automatic_matrix below); `matrix` is then not read.
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
    // A texture (without a target guide, which fixes where things go) tiles, so any place on it may come
    // first: whether it is rolled to start where its wrap-around boundaries look like its other boundaries
    // (synthesis/jobs/seam_cut.h). Off for the command line's positional form, whose bytes stay as they were.
    bool typical_seam = false;
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
    settings.typical_seam = true;
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

// Pyramid levels for an exemplar: as many as keep its coarsest level at least kCoarsestExemplarSide pixels
// on its shorter side (features at that level are a few pixels wide), from 1 to 4. Measured: 96-pixel
// exemplars (4 levels, 12 pixels at the coarsest) copy more faithfully than with 3 levels (24 pixels).
inline constexpr int kCoarsestExemplarSide = 12;
// A texture's coarsest level may be smaller: at 512 x 512, over two seeds, a bark of 82 x 90 pixels and a rock of
// 127 x 80 (4 levels, 10 at the coarsest) have a coherence error 5 % and 7 % lower than with 3; ten photo crops
// of 88 x 88 and 120 x 84, 6 % lower (gravel 5-9 %, paving 45 %) but grass 14 % higher.
inline constexpr int kTextureCoarsestExemplarSide = 10;
TEXSYNTH_API int automatic_levels(int exemplar_width, int exemplar_height,
                                  int coarsest_side = kCoarsestExemplarSide);

// The neighbourhoods for `levels` levels: a causal (or full) half-size of 2 at the finest level and
// `middle_half_size` at every level between it and the coarsest, which takes kCoarsestHalfSize (it lays out
// the structure: brick courses and tile joints hold together better when it sees about a brick; 4 copies more
// faithfully than 2 or 3 on nine exemplars), and 3 x 3 squares at every coarser level.
inline constexpr int kCoarsestHalfSize = 4;
TEXSYNTH_API NeighbourhoodMatrix automatic_matrix(int levels, int middle_half_size = 2);
// A texture's middle levels see more of the copies around each pixel: over 24 exemplars and two seeds at
// 512 x 512, half-size 3 lowers the coherence error by 4.7 % (geometric mean; 47 of 48 runs lower) for 15 %
// more work in all on a pine plank of 64 x 56 pixels, which the finest level pays back (kFinestCandidateHalfSize).
inline constexpr int kTextureMiddleHalfSize = 3;

// Where the levels are chosen, a hole gets at most this many: at a fourth level the hole's surroundings are
// too coarse to guide it (on 42 holes in seven pictures, before the edge's search was made sparser on large
// levels, the edge's z-score stayed below 2 in 35 with three levels, in 28 with four).
inline constexpr int kMostChosenHoleLevels = 3;

// The default band of a tiling: an eighth of the picture's shorter side (at least one pixel), and the widest:
// a quarter, so that at least the central half stays as it is in each direction.
TEXSYNTH_API int default_tile_band(int width, int height);
TEXSYNTH_API int widest_tile_band(int width, int height);

// Checks that every setting lies in its range (the command line checks these as it reads them).
// Returns "<what>: <why>", or "" if fine.
TEXSYNTH_API std::string check_setting_ranges(const SynthesisSettings& settings);

// Checks what a run needs that the settings and the output size alone decide: the output fits its buffers,
// no output level is empty, and the coarsest level has a neighbourhood to compare. Returns "<what>: <why>",
// or "" if fine.
TEXSYNTH_API std::string check_settings(const SynthesisSettings& settings, int width, int height);

// The side of the largest square exemplar whose pyramid of `levels` levels fits its buffer.
TEXSYNTH_API int largest_square_exemplar(int levels);

// Checks what depends on the exemplar's size: its pyramid fits its buffer, and every level has candidates
// inside the border its neighbourhoods need and a training set of a sane size. Returns the reason for
// refusing the exemplar, or "" if fine.
TEXSYNTH_API std::string check_exemplar(const SynthesisSettings& settings, int width, int height);

// `settings` with the number of levels decided: unchanged if it is given; otherwise those that suit the
// exemplar (automatic_levels), fewer if the output is too small for them, with automatic_matrix's
// neighbourhoods; for a `texture` (not a fill, a tiling or an extension), those of a texture
// (kTextureCoarsestExemplarSide, kTextureMiddleHalfSize).
TEXSYNTH_API SynthesisSettings with_levels_chosen(const SynthesisSettings& settings, int exemplar_width,
                                                  int exemplar_height, int output_width, int output_height,
                                                  bool texture = false);
