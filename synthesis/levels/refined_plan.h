#pragma once

#include <texsynth/settings.h>

#include <cstdint>

#include "synthesis/levels/copy_seams.h"
#include "synthesis/levels/level_synthesis.h"
#include "synthesis/levels/unused_grafts.h"
#include "synthesis/patterns/exemplar_lattice.h"
#include "synthesis/patterns/lattice_phase.h"
#include "synthesis/search/candidate_grid.h"
#include "synthesis/search/neighbourhood.h"

// The refined synthesis: coherent copying corrected against every pixel's whole surroundings. What it does
// at each level, as data for the one level loop:
//   - the coarsest level is scanned from the noise with the causal neighbourhood and the coherent search,
//     then corrected by kCoarsestExtraPasses more passes than the others get (its layout decides the rest;
//     a regular pattern's, kRegularCoarsestExtraPasses);
//   - every finer level starts as the coarser level's result carried over (each pixel the exemplar pixel
//     under its parent's source), with no search;
//   - every later pass corrects each pixel against the full square of its own level (no coarser squares:
//     they change only every second pixel, which pins the copies' seams to a 2 x 2 grid), in 3 x 3
//     interleaved subsets that read what the subsets before them wrote, among the candidates that continue
//     every neighbour's source, each penalised by how often its pixel is copied beyond its share and, in a
//     texture, by how far its colour lies from what the neighbours' copies would put there (the pixel lies in
//     their squares too);
//   - candidates are every exemplar pixel: reads wrap around where a regular pattern tiles by itself, and
//     are clamped at the edges of any other exemplar (synthesis/jobs/exemplar_set.cpp), so that its copies
//     stop there;
//   - at every level but the finest, every candidate is penalised for the pixels it would repeat at one shift
//     (two pixels at that shift copied from one exemplar pixel) beyond a small share of the level, and where
//     the best one pays for that in the coarsest level's scan, the candidates most like each candidate are
//     weighed too: a copy no longer runs on through an exemplar that tiles by itself, nor do copies line up on
//     a grid, which would make the output the exemplar tiled;
//   - in the coarsest level's scan of a texture without a lattice, a pixel that starts a new copy pays for
//     the exemplar pixel's uses beyond its share so far, so that new copies start where the exemplar has been
//     copied least rather than where the copy before ended (copies run on to the bottom edge), and where the
//     exemplar has few copies to spread, the later passes there penalise overused pixels more;
//   - in a texture without a lattice, the two coarsest levels above the finest graft in the squares of the
//     exemplar that their copies leave out (synthesis/levels/unused_grafts.h), so that a part unlike the rest
//     (a darker corner of a photo) is not missing from every finer level; the finest level's seams are then
//     moved as a whole (synthesis/levels/copy_seams.h); its copies are carried over a pixel off their even
//     places where that makes their seams cheaper (synthesis/levels/carried_shifts.h);
//   - a regular pattern (tiles, bricks, a perforated plate: synthesis/patterns/exemplar_lattice.h) keeps
//     every copy in step with its periods at every level that resolves them (synthesis/patterns/
//     lattice_phase.h), so that joints meet joints; reads and copies past the edges of an exemplar that does
//     not tile go on over whole periods; each level carried over takes the coarser level's period cells as
//     whole copies (synthesis/patterns/period_cells.h), so that tiles and bricks come out whole; and a heavier
//     repeat penalty spreads the copies over the few exemplar pixels in step with each output pixel.
struct RefinedLevelPlan {
    CandidateOptions first;  // candidates of the first pass (only the coarsest level searches in it)
    CandidateOptions later;  // candidates of the later passes
    int passes = 1;
    FirstPass first_pass = FirstPass::scan;
    int lattice = 1;
    double repeat_penalty = 0;
    double texture_repeat_penalty = 0;  // the later passes' repeat_penalty in a texture (a fill takes repeat_penalty)
    double agreement = 0;      // LaterPasses::agreement, for a texture
    int agreeing_passes = 1;   // the passes with it
    int settled_agreeing_passes = 1;  // the same where the texture's seams are settled after them (texture_seams)
    double shift_penalty = 0;  // LevelJob::shift_penalty, shift_allowed, shift_steep
    double shift_allowed = 0;
    double shift_steep = 1.0;
    int shift_escape = 0;  // similar candidates per candidate weighed where the best pays the shift penalty
    double usage_penalty = 0;  // LevelJob::usage_penalty
    int texture_candidate_half_size = 0;  // LaterPasses::candidate_half_size, for a texture
    SeamSettling texture_seams;  // how a texture's seams are settled after the passes (synthesis/levels/copy_seams.h)
    Grafting texture_grafts;     // how the parts of its exemplar left out are grafted in (unused_grafts.h)
    // For a regular pattern, the lattice every pass keeps its copies in step with (inactive otherwise).
    LatticePhase phase;
    // The coarser level's, whose cells are carried over whole (inactive: carried as they are).
    LatticePhase parent_phase;
};

inline constexpr int kCoarsestExtraPasses = 2;
inline constexpr int kRefinedLattice = 3;
// Per copy beyond the share, in squared grey levels per component: about a grey level and a half of
// difference, enough to prefer a fresh pixel over a nearly as good overused one.
inline constexpr double kRefinedRepeatPenalty = 2.0;
// For a regular pattern, whose pixels can copy only the few exemplar pixels in step with them: measured over
// five seeds, 6 raises the tiles' completeness from 0.963 to 0.974 (the least of five from 0.944 to 0.961) at
// a coherence error 1 % higher; 16 gives 0.981 at 6 % higher, and the grate's error rises with it.
inline constexpr double kRegularRepeatPenalty = 6.0;
// How much a candidate must agree with what its neighbours' copies put at the pixel (LaterPasses::agreement),
// for a texture: measured at 512 x 512 on 23 exemplars and two seeds, three passes everywhere, 1 lowers the
// coherence error by 7.5 % (geometric mean), 0.5 by 7.2 %, 2 by 6.8 %, 4 by 2.3 %.
inline constexpr double kRefinedAgreement = 1.0;
// With it, further passes go on lowering the error where they did not before; at every level but the finest,
// where they are cheap, 2 more passes lower it by 15 % in all (geometric mean; 1: 13 %, 3: 15 %; 1 more at
// every level: 14 %, for a third more time).
inline constexpr int kCoarserAgreeingPasses = 2;
// The level next to the finest, the largest of them and compared over 7 x 7 pixels, takes 1 more only: a run from
// a pine plank of 64 x 56 pixels (3 levels, most of the time spent there) takes about 7 % less, one from a rock of
// 127 x 80 (4 levels) about 3 %, for a coherence error 0.2 % higher over 24 exemplars and 0.5 % over 26 further
// patterns (two seeds; at most 7 %, a corkboard far below the GIMP plug-in's). 1 more at every level but the
// coarsest: 13 % less time on the rock, 0.8 % and 1.4 % higher.
inline constexpr int kNextToFinestAgreeingPasses = 1;
// A regular pattern's copies are held in step with its lattice, and the passes find less to correct: its coarsest
// level takes no extra passes and the level next to the finest no agreeing pass beyond the first three. On a
// pattern of scales of 64 x 64 pixels (3 levels) 12 % less time, for a coherence error 1.8 % higher over five
// regular patterns and four seeds (at most 4.5 %, the scales; repeat shares as before).
inline constexpr int kRegularCoarsestExtraPasses = 0;
inline constexpr int kRegularNextToFinestAgreeingPasses = 0;

// The penalty on repeating copies (LevelJob::shift_penalty), measured at 512 x 512 on the nine bench exemplars
// and eight patterns that tile by themselves (bench/quality-research-log.md, "Repetition"). Without it 0.66 to
// 0.95 of the output repeats at one shift (one exemplar height) on the patterns. At the coarsest level alone,
// weight 1000 and 3 % allowed leave 0.04 to 0.16 (the finer levels let copies grow back together); weight 100
// leaves up to 0.43. At every level but the finest, weight 4000 and 3 % leave 0.03 to 0.08 (a leopard's spots
// 0.14) for a coherence error 1.3 to 2.2 times as high (the copies' seams); at the finest level too, the same
// figures, slower. Regular patterns: at the middle levels their coherence error triples (tiles 0.92 to 2.50);
// at the coarsest alone with 10 % allowed it rises a fifth at most and the repeat share is 0.12 to 0.22.
inline constexpr double kShiftPenalty = 4000.0;
inline constexpr double kShiftAllowed = 0.03;
// Beyond 4.5 % of a level at one shift, each pair counts 16 times (RepeatShifts::kSteepWeight): with the linear
// penalty alone, a copy of an exemplar of few pixels and strong contrast is left only once its shift repeats far
// beyond the share (a leopard's spots of 64 x 62 pixels 0.12-0.15, a dry stone wall of 127 x 80 0.06-0.08, bark
// 0.06). The steeper part takes them to 0.046-0.050, 0.038-0.042 and 0.040-0.044 (four seeds) for a coherence
// error 2.3 % higher over 24 exemplars and two seeds. Counting 8 times left the leopard at 0.054-0.061; from 4 %,
// grass and stone lost 10-15 %; at the coarsest level alone, the leopard kept 0.063-0.075.
inline constexpr double kShiftSteep = 0.045;
// At the middle levels, from 4 %: where the penalty is saturated (over a hundred shifts beyond the share on a gravel
// crop), every level hovered at 5 % and the finest kept it (0.051); from 4 % there, 9 of 40 runs above 0.045 become
// 1 of 40 (24 exemplars, two seeds; ten photo crops: 3 of 20 to 1, at most 0.047), for a coherence error 1.3 %
// higher (at most 6 %). From 4 % at the coarsest level too: demo2's error 1.70 to 2.06.
inline constexpr double kMiddleShiftSteep = 0.04;
inline constexpr double kRegularShiftPenalty = 1000.0;
inline constexpr double kRegularShiftAllowed = 0.10;
// At a regular pattern's middle levels, only beyond this share: without it, the bricks' copies grew together
// there until 0.17 to 0.32 of the output repeated at one shift (nine seeds); with it, 0.17 to 0.23, for a
// coherence error 2 % higher (0.15: 0.15 to 0.19, 6 % higher). The tiles and the grate stay below it.
inline constexpr double kRegularMiddleShiftAllowed = 0.20;
// When the finest level's seams of a regular pattern are settled, only beyond this share: from 0.20, a pattern of
// scales of 64 x 64 pixels (5 x 7 nearly equal cells) ended at 0.39 and 0.50 on two seeds of ten (the others 0.20
// to 0.29), its moves joining equal cells at little cost; from 0.15, 0.15 to 0.20 on all ten for a coherence
// error 10 % higher (still a third below before its lattice was found). The bricks: 0.15 to 0.18 where they were
// 0.16 to 0.20 (ten seeds), 8 % higher; the tiles, the grate and a legacy pattern stay below it.
inline constexpr double kRegularSeamShiftAllowed = 0.15;
// Similar candidates per candidate the coarsest level's scan weighs where the best pays the penalty: none
// leaves more repetition (0.05 to 0.10 where 8 leave 0.03 to 0.07), 32 no less than 8.
inline constexpr int kShiftEscape = 8;
// The usage penalty of the coarsest level's scan (LevelJob::usage_penalty), for a texture without a lattice:
// measured at 512 x 512, six seeds each, on nine photo crops of 160 to 256 pixels, with kCoarsestRepeatPenalty,
// the runs with a completeness below 0.95 fall from 25 of 54 to 13 (mean 0.923 to 0.958) for a coherence error
// 0.5 % higher; on the 24 bench exemplars (two seeds) the error is 3 % lower and a pine plank's repeat share 0.11
// becomes 0.03. With the shift penalty's escapes weighed too where it is paid: 16 of 54 alone, and weights 8, 32
// and 64 did less (25, 19 and 18); penalising every candidate, continuations too, 13 of 54 for an error 9 %
// higher.
inline constexpr double kScanUsagePenalty = 16.0;
// Where the output has at most kFewCopies pixels per exemplar pixel, the coarsest level's later passes of such a
// texture penalise overused pixels this much (per copy beyond the share, as kRefinedRepeatPenalty): overused
// pixels leave others uncopied. On the nine crops (5 to 10 output pixels per exemplar pixel), 11 runs of 54 below
// 0.95 where 16 were, and a coherence error 1 % lower (both with the escapes). On every exemplar it would cost
// the small ones dearly (leather of 64 x 64 pixels, 64 per pixel: 46 % higher, the pine plank 20 %); 6 at every
// level: 13 of 54, error 2 % higher; 8 at every level but the finest: 11 of 54, 5 % higher on the 24 exemplars.
inline constexpr double kCoarsestRepeatPenalty = 8.0;
inline constexpr double kFewCopies = 12.0;

// At the finest level of a texture, each pixel's candidates and agreement come from the copies of its 3 x 3
// neighbours rather than its whole square's: over 24 exemplars and two seeds at 512 x 512 the coherence error is
// 1.1 % higher (the layout is settled above it) for 12 % less work on a pine plank of 64 x 56 pixels.
inline constexpr int kFinestCandidateHalfSize = 1;

// A texture's seams are settled after its finest level's passes (synthesis/levels/copy_seams.h): each copy of at
// least kSeamLeastCopy pixels may take over pixels up to kSeamReach past its edge, in kSeamSweeps rounds; the pixels
// one further out on each side of a seam count kSeamOuterWeight; a move pays for the repeats it joins (the penalty
// on repeating copies, from kSeamShiftAllowed of the level at a shift on and steeply from kSeamShiftSteep), and a
// pixel holding the only copy of its exemplar pixel is worth kSeamLastUse. The finest level then takes one pass
// fewer. Measured at 512 x 512 on 23 exemplars, no seed and seed 1: the coherence error 6.2 % lower (geometric
// mean) for about 0.1 s more; 3 rounds 8 % (the slowest exemplar then above half of G'MIC's time), 1 round hardly
// anything (on 8 of them: 1 % against 4 % with 2); every copy moving, even of one pixel, takes ten times as long on a
// pine plank of 64 x 56; from 64 pixels or 1024 about the same. Without the penalty kept up to date move by move,
// the largest repeat share without a lattice rose from 0.044 to 0.050; without the last copies' worth, photos of
// 160 to 256 pixels lost completeness (below 0.95 on 19 runs of 54 where 12 were before; with it 10). The second
// round going backwards lowers the coherence error by a further 1.2 % over 24 exemplars and two seeds (46 of 48
// runs lower) and 1.0 % on nine photo crops with three seeds, for about 0.05 s more on the rock; a third round
// forwards, 0.8 % more for as much time again.
inline constexpr int kSeamReach = 8;
inline constexpr int kSeamSweeps = 2;
inline constexpr int kSeamLeastCopy = 256;
inline constexpr double kSeamOuterWeight = 0.5;
inline constexpr double kSeamShiftPenalty = 16000.0;
inline constexpr double kSeamShiftAllowed = 0.04;
inline constexpr double kSeamShiftSteep = 0.042;
inline constexpr double kSeamLastUse = 1600.0;

// A texture's finest level carries each coarser copy over shifted by a pixel or none along each axis, whichever
// makes its seams with its neighbours cost least (CarriedShifts::chosen): every level doubling the coarsest one's
// places had left every copy at an even place in the exemplar (a multiple of 4 from its place in the output), and
// where the exemplar's steps fall on some columns more than others, or the coarser seams on the blocks' edges, the
// blocks showed as a grid. Measured at 512 x 512, no seed and seed 1, against carrying unshifted: the coherence error
// 0.3 % lower over the 24 bench exemplars (the brick pattern 2.3 and 0.7 %, the pine plank 0.4 and 5.3 % lower, at
// most 1.4 % higher), 0.6 % lower over 26 further patterns, 0.2 % over 9 photo crops (three seeds); the ratio of
// 4 x 4 blocks to the exemplar's own from 1.08 and 1.09 to 0.99 and 1.01 on a leopard, from 1.14 and 1.12 to 1.05
// and 1.00 on marble tiles, from 1.04 and 1.05 to 0.99 and 0.98 on amethyst. Shifts drawn at random instead: 1.1 %
// higher, the pine plank 17 to 23 % (its stripes need the seams in line); chosen at every level: 0.5 % lower but
// up to 9 % higher (the wood, leather). Where the level still comes out with its blocks standing out more than
// kBlockGridTolerance times the exemplar's (or than no grid), it is made again with shifts drawn per copy (the
// marble tiles without a seed: then 0.94).
inline constexpr double kBlockGridTolerance = 1.04;

// A texture's two coarsest levels above the finest graft in the parts of the exemplar that their copies leave out
// (synthesis/levels/unused_grafts.h): squares of kGraftSide of the candidates' shorter side, at least
// kGraftLeastUnused of them copied nowhere, while more than kGraftUnusedShare of the candidates are. Without them,
// on photos of 160 to 256 pixels at 512 x 512, the coarsest level's copies left 31 % of a wall's exemplar out
// (its darker, redder top), the finer levels 20 %, and the completeness was below 0.95 on 10 of 54 runs (nine
// crops, six seeds). With grafts at the coarsest level alone, on 2 of 54; at the two coarsest, on none.
inline constexpr int kGraftedLevels = 2;
inline constexpr double kGraftSide = 0.2;
inline constexpr double kGraftUnusedShare = 0.05;
inline constexpr double kGraftLeastUnused = 0.5;

// The plan for level n of `levels`, with `passes` passes asked for (at least 1), the exemplar's edges and its
// period lattice (synthesis/patterns/exemplar_lattice.h), if it has one, for an output whose level 0 is
// output_width x output_height from an exemplar of exemplar_pixels (0: not known).
RefinedLevelPlan refined_level_plan(int n, int levels, int passes, ExemplarEdges edges_x, ExemplarEdges edges_y,
                                    const PeriodLattice& periods = {}, int output_width = 0, int output_height = 0,
                                    std::int64_t exemplar_pixels = 0);

