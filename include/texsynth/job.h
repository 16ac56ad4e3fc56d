#pragma once

#include <cstdint>
#include <functional>
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

// One piece of work and everything it is done with. Pictures have 3 or 4 channels.
struct Job {
    JobKind kind = JobKind::generate;
    SynthesisSettings settings;
    // generate: the exemplar, whose pixels the result is made of. fill, extend: where the new pixels come
    // from; none (nullptr): from the picture itself (outside the hole, or along its edges).
    const Image* exemplar = nullptr;
    int width = 0;  // generate: the result's size
    int height = 0;
    // fill, tile: the picture to change; the result has its size. extend: the picture to grow; the result is
    // as large as it and its border, with the picture's pixels as they are at (border.left, border.top).
    const Image* picture = nullptr;
    // fill: one byte per pixel of the picture, row-major; non-zero marks a pixel to replace.
    const std::vector<std::uint8_t>* mask = nullptr;
    int band = 0;  // tile: the width of the band along the edges that is synthesized anew; 0: the default
    Border border;  // extend: how far the picture grows on each side (at most its own width or height)
    bool with_map = true;  // whether the result carries its source map (a fill's map is as large as the picture)
};

// Where every pixel of a result was copied from: its exemplar column and row, two values a pixel, row-major.
struct SourceMap {
    int width = 0;
    int height = 0;
    std::vector<std::uint16_t> xy;
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
// size and its R, G, B bytes.
struct LevelPixels {
    int n = 0;
    int width = 0;
    int height = 0;
    const std::uint8_t* rgb = nullptr;
};

// What a caller may ask of a job besides its result. Every member may be left empty. A grown picture (extend)
// is made in parts, each with levels of its own: it tells of one level, the grown picture as a whole, with
// its progress counted over the parts.
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

// Releases what the nearest-neighbour search keeps for the whole process. A program may call it once every
// job is done, before it ends, so that a leak checker finds nothing left; no job may run afterwards.
TEXSYNTH_API void release_search_state();
