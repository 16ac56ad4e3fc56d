#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <texsynth/api.h>
#include <texsynth/image.h>
#include <texsynth/profile.h>
#include <texsynth/settings.h>

// What texsynth does with pictures, as calls on pictures in memory: the command line and the Python module
// are two front ends over this.

enum class JobKind {
    generate,  // a new texture of a given size from an exemplar
    fill,      // a picture with the pixels under a mask synthesized anew from the rest of it (or an exemplar)
    tile,      // a picture whose edges are synthesized anew so that it tiles without a visible seam
    extend,    // a picture grown by a border synthesized from the rest of it (or an exemplar)
    transfer,  // a picture re-made of an exemplar's pixels (its style), following the picture's light and dark
};

// How far a picture grows on each side, in pixels. A side grows by at most the picture's own width (left,
// right) or height (top, bottom), and the grown picture is at most 65,536 pixels a side (source maps hold
// 16-bit coordinates), so no side grows by more than this:
inline constexpr int kMaxBorderWidth = 65535;
struct Border {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A companion map of the exemplars (height, normal, roughness...) matched together with their colours, so that
// the structure it carries steers the matching as much as the colour does (times `weight`). A grey map (R = G = B
// everywhere) counts as one channel, any other as three; alpha is not looked at.
struct MatchedMaps {
    std::vector<const Image*> maps;  // one per exemplar, in the exemplars' order, each of its exemplar's size
    double weight = 1.0;             // 0 to kMaxMatchWeight
};

// Guides weigh this much beside the colour where a job leaves it open (Job::guide_weight). A label guide's
// black against white then counts about as much as a typical difference of colour. The layout follows the
// target guide whatever the weight (candidates whose guides differ from the pixel's by more than an eighth of
// the range are left out, and where none is left the pixel takes the nearest exemplar pixel whose guide fits):
// on a two-material exemplar more than 99.99 % of the pixels come from the region asked for. The weight shapes
// the regions' edges and costs coherence inside them: against a texture made from each region alone, 11 and
// 11 % more error at 0.02, 6 and 8 % at 0, 10 and 21 % at 0.1 (BENCHMARKS.md).
inline constexpr double kDefaultGuideWeight = 0.02;
// A style transfer's guides (the two pictures' light and dark) weigh this much where it is left open.
inline constexpr double kDefaultTransferWeight = 1.0;
// The most a guide or a structure map may weigh beside the colour.
inline constexpr double kMaxMatchWeight = 64.0;

// One piece of work and everything it is done with. Pictures have 3 or 4 channels.
struct Job {
    JobKind kind = JobKind::generate;
    SynthesisSettings settings;
    // generate, transfer: the exemplar, whose pixels the result is made of. fill, extend: where the new pixels
    // come from; none (nullptr): from the picture itself (outside the hole, or along its edges).
    const Image* exemplar = nullptr;
    // generate, transfer: several exemplars, all of whose pixels are candidates, instead of `exemplar` (which
    // must then be none). The source map says which one each pixel came from.
    std::vector<const Image*> exemplars;
    int width = 0;  // generate: the result's size
    int height = 0;
    // fill, tile: the picture to change; transfer: the picture to re-make. The result has its size. extend: the
    // picture to grow; the result is as large as it and its border, with the picture's pixels as they are at
    // (border.left, border.top).
    const Image* picture = nullptr;
    // fill: one byte per pixel of the picture, row-major; non-zero marks a pixel to replace.
    const std::vector<std::uint8_t>* mask = nullptr;
    int band = 0;  // tile: the width of the band along the edges that is synthesized anew; 0: the default
    Border border;  // extend: how far the picture grows on each side (at most its own width or height)
    bool with_map = true;  // whether the result carries its source map (a fill's map is as large as the picture)

    // What is made where (generate, transfer; a fill or a tiling takes a sample mask only, a grown picture none
    // of them). Every list is empty or has one entry per exemplar, in order.
    // Sample masks: one byte per pixel of their exemplar, row-major; non-zero where its pixels may be copied.
    // A fill's or a tiling's one mask covers the picture its new pixels come from: the exemplar, or the picture.
    std::vector<const std::vector<std::uint8_t>*> sample_masks;
    // Guides: pictures of their exemplars' sizes labelling their regions (e.g. white where an exemplar shows
    // gravel, black where grass); with `target_guide`, the layout wanted, of the result's size. Both or neither.
    // Compared as extra channels of every neighbourhood (a grey guide as one, a coloured one as three), the
    // pixel's own included, at every level.
    std::vector<const Image*> guides;
    const Image* target_guide = nullptr;
    // How much the guides count beside the colour, 0 to kMaxMatchWeight; none: kDefaultGuideWeight
    // (kDefaultTransferWeight for a transfer, whose guides are made from the pictures' light and dark).
    std::optional<double> guide_weight;
    std::vector<MatchedMaps> match_also;
};

// Where every pixel of a result was copied from: its exemplar column and row, two values a pixel, row-major,
// and with several exemplars which one (0 for the first).
struct SourceMap {
    int width = 0;
    int height = 0;
    std::vector<std::uint16_t> xy;
    std::vector<std::uint16_t> exemplar = {};  // one value a pixel, or empty: every pixel from the first (or only) one
};

struct JobResult {
    Image image;  // every pixel is a pixel of the exemplar (or, where a job keeps them, of the picture)
    // For a fill or tile, pixels that are kept point at themselves, and for a grown picture at their place in
    // the picture; empty without Job::with_map.
    SourceMap map;
};

// Why a job could not be done. `subject` says what was at fault in words the caller can replace by a file
// name ("exemplar", "source map"), or names the setting itself ("output size", "half-size m22"); `why` is
// the reason. Together they make the message "<subject>: <why>".
struct JobError {
    std::string subject;
    std::string why;

    std::string message() const { return subject.empty() ? why : subject + ": " + why; }
};

// One finished level of the output pyramid, as synthesized (before the finished result is assembled): its
// size and its pixels, `channels` bytes each: R, G, B, then (for a job with structure maps or guides) what
// else was matched.
struct LevelPixels {
    int n = 0;
    int width = 0;
    int height = 0;
    const std::uint8_t* rgb = nullptr;
    int channels = 3;
};

// What a caller may ask of a job besides its result. Every member may be left empty. A grown picture (extend)
// is made in parts, each with levels of its own: it tells of one level, the grown picture as a whole, with
// its progress counted over the parts. A fill made again because it came out smoother than what surrounds its
// hole tells its levels again, coarsest first; the result is the one of the two whose grain lies nearer to the
// surroundings'. A texture whose finest level comes out with its blocks of pixels showing as a grid makes that
// level again: its progress within the level starts over.
struct JobHooks {
    std::function<void(const LevelPixels&)> on_level;                   // after each level, coarsest first
    std::function<void(int n, int width, int height)> on_level_start;   // before each level
    std::function<void(int rows_done, int rows)> on_rows;               // progress within the current level
    // Asked now and then (at least after every row); returning true abandons the job ("interrupted").
    std::function<bool()> should_stop;
    RunProfile* profile = nullptr;
};

// Checks a job without doing it: everything that can be known before the first pixel is synthesized.
TEXSYNTH_API bool check_job(const Job& job, JobError& error);

// Does the job. Returns false with the reason if it was refused or stopped; `result` is then unspecified.
// The same job gives the same bytes every time, on any number of threads. Safe to call from several threads
// at once, except that jobs with MatchMode::approximate take turns (the kd-tree search keeps global state).
TEXSYNTH_API bool run_job(const Job& job, JobResult& result, JobError& error, const JobHooks& hooks = {});

// Samples `image` through `map`: pixel i of the result is the pixel of `image` at the map's i-th coordinates.
// Applying the map of a job to that job's exemplar gives the job's result. Refuses a map that reaches outside
// the image, naming the first pixel that does.
TEXSYNTH_API bool apply_source_map(const Image& image, const SourceMap& map, Image& result, JobError& error);

// The same through the map of a job with several exemplars: pixel i of the result is taken from the picture the
// map names (in the exemplars' order), at its coordinates. Pictures of 3 and 4 channels may be mixed: the result
// has 4 if any has (opaque where its pixel has none). Refuses a map that names a picture that is not given or
// reaches outside one, naming the first pixel that does.
TEXSYNTH_API bool apply_source_map(const std::vector<const Image*>& images, const SourceMap& map, Image& result,
                                   JobError& error);

// Releases what the nearest-neighbour search keeps for the whole process. A program may call it once every
// job is done, before it ends, so that a leak checker finds nothing left; no job may run afterwards.
TEXSYNTH_API void release_search_state();
