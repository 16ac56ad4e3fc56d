#include "synthesis/jobs/hole_job.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include <texsynth/settings.h>

#include "pyramid/exemplar_pyramid.h"
#include "synthesis/jobs/exemplar_set.h"
#include "synthesis/jobs/hole_grain.h"
#include "synthesis/jobs/job_pictures.h"
#include "synthesis/jobs/seeded_preferences.h"
#include "synthesis/levels/level_loop.h"
#include "synthesis/levels/noise.h"
#include "synthesis/levels/refined_plan.h"
#include "synthesis/search/exemplar_edges.h"

namespace {

std::string size_text(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// The hole of a job in the picture's coordinates: the mask of a fill, the edge band of a tiling.
std::vector<std::uint8_t> hole_of(const Job& job, int band) {
    const Image& picture = *job.picture;
    if (job.kind == JobKind::tile) {
        return edge_band(picture.width, picture.height, band);
    }
    std::vector<std::uint8_t> hole(job.mask->size());
    std::transform(job.mask->begin(), job.mask->end(), hole.begin(), [](std::uint8_t m) { return m != 0 ? 1 : 0; });
    return hole;
}

bool own_exemplar(const Job& job) { return job.kind == JobKind::tile || job.exemplar == nullptr; }

// The region a job works in: around the hole for a fill, the whole picture for a tiling (its reads wrap).
Rect work_region(const Job& job, const std::vector<std::uint8_t>& hole, const SynthesisSettings& settings) {
    const Image& picture = *job.picture;
    if (job.kind == JobKind::tile) {
        return {0, 0, picture.width, picture.height};
    }
    return fill_region(hole, picture.width, picture.height, settings, own_exemplar(job));
}

// The `region` of a picture's matched colours (R, G, B).
std::vector<std::uint8_t> region_colours(const Image& picture, const Rect& region) {
    std::vector<std::uint8_t> cropped(static_cast<std::size_t>(region.width) * region.height * 3);
    for (int y = 0; y < region.height; ++y) {
        for (int x = 0; x < region.width; ++x) {
            const std::size_t from = (static_cast<std::size_t>(region.y + y) * picture.width + region.x + x) *
                                     picture.channels;
            std::copy_n(&picture.pixels[from], 3, &cropped[(static_cast<std::size_t>(y) * region.width + x) * 3]);
        }
    }
    return cropped;
}

// The first level at which every exemplar pixel's neighbourhood reaches into the hole, leaving none to copy
// from, or -1 if every level has some.
int level_without_candidates(const std::vector<std::uint8_t>& region_hole, const Rect& region,
                             const SynthesisSettings& settings) {
    const LevelTable table = make_level_table(region.width, region.height, settings.levels);
    const auto holes = hole_levels(region_hole.data(), table, settings.levels);
    for (int n = settings.levels - 1; n >= 0; --n) {
        const auto excluded = excluded_candidates(holes, table, settings.matrix.row(n, settings.levels), n,
                                                  settings.levels);
        if (std::find(excluded.begin(), excluded.end(), 0) == excluded.end()) {
            return n;
        }
    }
    return -1;
}

// Chosen levels for a fill: at most `levels`, and fewer while the hole is less than kMinCoarsestHoleDepth deep
// at the coarsest level, down to kLeastLevelsForDepth.
int levels_for_hole_depth(const std::vector<std::uint8_t>& region_hole, const Rect& region, int levels) {
    const LevelTable table = make_level_table(region.width, region.height, levels);
    const auto holes = hole_levels(region_hole.data(), table, levels);
    while (levels > kLeastLevelsForDepth &&
           hole_depth(holes[levels - 1], table.width[levels - 1], table.height[levels - 1]) < kMinCoarsestHoleDepth) {
        --levels;
    }
    return levels;
}

std::string no_candidates_reason(int n) {
    return "leaves no pixel to fill the hole from at level " + std::to_string(n) +
           " (every pixel's neighbourhood reaches into the hole); mark less, use fewer levels or give an exemplar";
}

}  // namespace

int default_tile_band(int width, int height) { return std::max(1, std::min(width, height) / 8); }

int widest_tile_band(int width, int height) { return std::max(1, std::min(width, height) / 4); }

Rect fill_region(const std::vector<std::uint8_t>& mask, int width, int height, const SynthesisSettings& settings,
                 bool own_exemplar) {
    const Rect hole = marked_bounds(mask.data(), width, height);
    int margin = std::max(kFillMarginFloor, std::max(hole.width, hole.height));
    while (true) {
        const Rect region = grown(hole, margin, width, height);
        if (!own_exemplar) {
            return region;
        }
        const SynthesisSettings chosen =
            with_levels_chosen(settings, region.width, region.height, region.width, region.height);
        if (pyramid_bytes(region.width, region.height, chosen.levels) <= kMaxExemplarPyramidBytes) {
            return region;
        }
        if (margin == kFillMarginFloor) {
            return {};
        }
        margin = std::max(kFillMarginFloor, margin * 3 / 4);
    }
}

bool check_hole_job(const Job& job, SynthesisSettings& settings, JobError& error) {
    const char* subject = "image";
    if (job.picture == nullptr) {
        error = {subject, "none given"};
        return false;
    }
    const Image& picture = *job.picture;
    if (std::string why = picture_reason(picture); !why.empty()) {
        error = {subject, why};
        return false;
    }
    if (job.settings.match == MatchMode::approximate) {
        error = {"", "match: the kd-tree search (approximate) cannot leave pixels out; filling and tiling use "
                     "the exact, coherent or refined search"};
        return false;
    }
    int band = 0;
    if (job.kind == JobKind::tile) {
        const int widest = widest_tile_band(picture.width, picture.height);
        band = job.band == 0 ? default_tile_band(picture.width, picture.height) : job.band;
        if (band < 1 || band > widest) {
            error = {"band", "expected a width from 1 to " + std::to_string(widest) + " pixels for a " +
                                 size_text(picture.width, picture.height) +
                                 " picture (at most a quarter of its shorter side, so that its middle stays), got " +
                                 std::to_string(job.band)};
            return false;
        }
    } else {
        if (job.mask == nullptr ||
            job.mask->size() != static_cast<std::size_t>(picture.width) * picture.height) {
            error = {"mask", "is not the size of the image (" + size_text(picture.width, picture.height) + ")"};
            return false;
        }
        const auto marked = std::count_if(job.mask->begin(), job.mask->end(), [](std::uint8_t m) { return m != 0; });
        if (marked == 0) {
            error = {"mask", "marks no pixel to replace (non-black pixels mark the hole to fill)"};
            return false;
        }
        if (job.exemplar == nullptr && static_cast<std::size_t>(marked) == job.mask->size()) {
            error = {"mask", "marks every pixel, which leaves none to fill the hole from; give an exemplar"};
            return false;
        }
        if (job.exemplar != nullptr) {
            if (std::string why = picture_reason(*job.exemplar); !why.empty()) {
                error = {"exemplar", why};
                return false;
            }
        }
    }
    const std::vector<std::uint8_t> hole = hole_of(job, band);
    const Rect region = work_region(job, hole, job.settings);
    if (region.width == 0) {
        const Rect bounds = marked_bounds(hole.data(), picture.width, picture.height);
        error = {"mask", "the hole spans " + size_text(bounds.width, bounds.height) +
                             ", too large to fill from the picture itself: with a margin around it, its pixels " +
                             "would exceed the exemplar limit of " + std::to_string(kMaxExemplarPyramidBytes) +
                             " bytes of pyramid; fill it in parts or give an exemplar"};
        return false;
    }
    const bool own = own_exemplar(job);
    const int exemplar_width = own ? region.width : job.exemplar->width;
    const int exemplar_height = own ? region.height : job.exemplar->height;
    settings = with_levels_chosen(job.settings, exemplar_width, exemplar_height, region.width, region.height);
    if (job.settings.levels == 0 && settings.levels > kMostChosenHoleLevels) {
        settings.levels = kMostChosenHoleLevels;
        settings.matrix = automatic_matrix(settings.levels);
    }
    if (job.kind == JobKind::fill && job.settings.levels == 0) {
        settings.levels = levels_for_hole_depth(crop_mask(hole.data(), picture.width, region), region,
                                                settings.levels);
        settings.matrix = automatic_matrix(settings.levels);
    }
    if (own) {
        // Chosen levels are as many as leave something to copy at the coarsest; given ones must.
        const std::vector<std::uint8_t> region_hole = crop_mask(hole.data(), picture.width, region);
        int level = level_without_candidates(region_hole, region, settings);
        while (level >= 0 && job.settings.levels == 0 && settings.levels > 1) {
            settings.levels -= 1;
            settings.matrix = automatic_matrix(settings.levels);
            level = level_without_candidates(region_hole, region, settings);
        }
        if (level >= 0) {
            error = {job.kind == JobKind::tile ? "band" : "mask", no_candidates_reason(level)};
            return false;
        }
    }
    if (std::string why = check_settings(settings, region.width, region.height); !why.empty()) {
        error = {"", why};
        return false;
    }
    if (std::string why = check_exemplar(settings, exemplar_width, exemplar_height); !why.empty()) {
        error = {own ? "image" : "exemplar", why};
        return false;
    }
    return true;
}

namespace {

// The region's colours with its hole's pixels copied from `sources`, pixels of the region itself.
std::vector<std::uint8_t> filled_colours(const std::vector<std::uint8_t>& hole,
                                         const std::vector<std::uint8_t>& region_rgb,
                                         const std::vector<int>& sources) {
    std::vector<std::uint8_t> filled = region_rgb;
    for (std::size_t p = 0; p < hole.size(); ++p) {
        if (hole[p] != 0 && sources[p] >= 0) {
            std::copy_n(&region_rgb[static_cast<std::size_t>(sources[p]) * 3], 3, &filled[p * 3]);
        }
    }
    return filled;
}

}  // namespace

bool synthesize_region(const RegionFill& fill, const SynthesisSettings& settings, NoiseDraws& draws,
                       std::vector<int>& region_sources, JobError& error, const JobHooks& hooks) {
    LapClock clock;
    const Image& picture = *fill.picture;
    const bool own = fill.exemplar == nullptr;
    const Image& exemplar = own ? picture : *fill.exemplar;
    const Rect& region = fill.region;
    const std::vector<std::uint8_t>& region_hole = *fill.hole;
    const int levels = settings.levels;

    // The output starts as the region's own pyramid; its hole is synthesized level by level.
    const std::vector<std::uint8_t> region_rgb = region_colours(picture, region);
    std::vector<std::uint8_t> output_pyramid(
        static_cast<std::size_t>(pyramid_bytes(region.width, region.height, levels)));
    LevelLoop loop;
    loop.settings = settings;
    build_exemplar_pyramid(region_rgb.data(), region.width, region.height, output_pyramid, loop.output_levels,
                           levels);
    loop.output_pyramid = output_pyramid.data();
    loop.output_edges = fill.edges;
    const std::vector<std::vector<std::uint8_t>> holes = hole_levels(region_hole.data(), loop.output_levels, levels);

    // The exemplar: the region itself, or the one given, read clamped at its edges unless it tiles by itself.
    std::vector<std::uint8_t> exemplar_pyramid;
    if (own) {
        exemplar_pyramid = output_pyramid;
        loop.exemplar_levels = loop.output_levels;
        loop.exemplar_edges.edges_x = ExemplarEdges::clamped;
        loop.exemplar_edges.edges_y = ExemplarEdges::clamped;
        for (int n = 0; n < levels; ++n) {
            const int* row = settings.matrix.row(n, levels);
            loop.excluded.push_back(excluded_candidates(holes, loop.exemplar_levels, row, n, levels));
            loop.excluded_own_level.push_back(excluded_candidates(holes, loop.exemplar_levels, row, n, n + 1));
        }
    } else {
        const std::vector<std::uint8_t> exemplar_rgb = matched_colours(exemplar);
        exemplar_pyramid.resize(static_cast<std::size_t>(pyramid_bytes(exemplar.width, exemplar.height, levels)));
        build_exemplar_pyramid(exemplar_rgb.data(), exemplar.width, exemplar.height, exemplar_pyramid,
                               loop.exemplar_levels, levels);
        if (settings.match == MatchMode::refined) {
            choose_exemplar_edges(exemplar_rgb.data(), exemplar.width, exemplar.height, loop.exemplar_edges);
        }
    }
    loop.exemplar_pyramid = exemplar_pyramid.data();
    if (fill.sample_mask != nullptr) {
        // What the sample mask leaves out is left out at every level, by both kinds of neighbourhood.
        const auto masked = masked_levels(*fill.sample_mask, loop.exemplar_levels, levels);
        for (auto* excluded : {&loop.excluded, &loop.excluded_own_level}) {
            if (excluded->empty()) {
                *excluded = masked;
                continue;
            }
            for (int n = 0; n < levels; ++n) {
                std::transform(masked[n].begin(), masked[n].end(), (*excluded)[n].begin(), (*excluded)[n].begin(),
                               [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a | b); });
            }
        }
    }
    if (hooks.profile != nullptr) {
        hooks.profile->loading += clock.lap();
    }

    // Kept pixels come from themselves where the region is its own exemplar, from nowhere known otherwise;
    // hole pixels start as noise drawn from the pixels that may be copied.
    for (int n = 0; n < levels; ++n) {
        const int width = loop.output_levels.width[n];
        const int pixels = width * loop.output_levels.height[n];
        std::vector<int> allowed;
        const int exemplar_pixels = loop.exemplar_levels.width[n] * loop.exemplar_levels.height[n];
        for (int p = 0; p < exemplar_pixels; ++p) {
            if (loop.excluded.empty() || loop.excluded[n][p] == 0) {
                allowed.push_back(p);
            }
        }
        if (allowed.empty()) {
            error = fill.sample_mask == nullptr
                        ? JobError{"mask", no_candidates_reason(n)}
                        : JobError{"sample mask", "leaves no pixel to fill the hole from at level " + std::to_string(n) +
                                                      " (with what the hole itself leaves out); allow more"};
            return false;
        }
        std::vector<std::uint8_t> fixed(static_cast<std::size_t>(pixels));
        std::vector<int> sources(static_cast<std::size_t>(pixels));
        std::uint8_t* level = output_pyramid.data() + loop.output_levels.offset[n];
        const std::uint8_t* exemplar_level = exemplar_pyramid.data() + loop.exemplar_levels.offset[n];
        for (int p = 0; p < pixels; ++p) {
            fixed[p] = holes[n][p] == 0 ? 1 : 0;
            if (fixed[p] != 0) {
                sources[p] = own ? p : -1;
                continue;
            }
            const int drawn = allowed[static_cast<std::size_t>(draws.next(static_cast<int>(allowed.size())))];
            std::copy_n(exemplar_level + static_cast<std::size_t>(drawn) * 3, 3, level + static_cast<std::size_t>(p) * 3);
            sources[p] = drawn;
        }
        // The search of the pixels next to kept ones weighs every candidate: what surrounds the hole is known
        // to none of their neighbours' sources. Only the pixels right at the edge: further in, copies that
        // continue their neighbours keep the hole's content whole (a rim as wide as the neighbourhoods fits
        // the edge no better on the benchmarks' holes and breaks the content up into small pieces).
        loop.exhaustive.push_back(hole_rim(holes[n], width, loop.output_levels.height[n], 1));
        loop.fixed.push_back(std::move(fixed));
        loop.sources.push_back(std::move(sources));
    }
    if (fill.seeded_choices && settings.seed) {
        loop.candidate_costs = seeded_preferences(*settings.seed, loop.exemplar_levels, levels, kSeededPreference);
    }
    if (hooks.profile != nullptr) {
        hooks.profile->noise += clock.lap();
    }
    // Only a fill from the picture itself keeps the grain around its hole: one from another exemplar takes that
    // exemplar's (made to match the picture's, paving put into a hole in a rough wall came out as crumbs of its
    // joints). Only the refined search weighs the candidates' grain.
    if (!fill.keep_grain || !own || settings.match != MatchMode::refined) {
        return synthesize_levels(loop, region_sources, hooks, error);
    }

    // A fill much smoother than what surrounds its hole is made again from the same start, every candidate
    // weighed by its grain, and the one whose grain lies nearer to the surroundings' is kept.
    const std::vector<std::uint8_t> start_pyramid = output_pyramid;
    const std::vector<std::vector<int>> start_sources = loop.sources;
    loop.keep_searches = true;
    if (!synthesize_levels(loop, region_sources, hooks, error)) {
        return false;
    }
    const double target = ring_step(region_rgb.data(), region_hole, region.width, region.height, kGrainRingReach);
    const auto grain_of = [&](const std::vector<int>& sources) {
        const std::vector<std::uint8_t> filled = filled_colours(region_hole, region_rgb, sources);
        return std::max(kLeastGrain, hole_step(filled.data(), region_hole, region.width, region.height));
    };
    const double grain = grain_of(region_sources);
    if (target <= 0 || grain >= kGrainRetry * target) {
        return true;
    }
    // The second run's pixels next to kept ones take the first run's copies there (and their neighbours) as
    // candidates instead of searching every candidate again: on thin holes in small pictures, where those
    // searches are most of the time, the second run costs about a third of the first rather than as much.
    loop.rim_hints = loop.sources;
    loop.rim_hints[0] = region_sources;
    std::copy(start_pyramid.begin(), start_pyramid.end(), output_pyramid.begin());
    loop.sources = start_sources;
    std::vector<std::vector<double>> costs = grain_costs(exemplar_pyramid.data() + loop.exemplar_levels.offset[0],
                                                         region_hole, loop.exemplar_levels, levels, kGrainHalfSize,
                                                         target, kGrainWeight);
    for (std::size_t n = 0; n < loop.candidate_costs.size(); ++n) {
        std::transform(costs[n].begin(), costs[n].end(), loop.candidate_costs[n].begin(), costs[n].begin(),
                       std::plus<>());
    }
    loop.candidate_costs = std::move(costs);
    std::vector<int> grained_sources;
    if (!synthesize_levels(loop, grained_sources, hooks, error)) {
        return false;
    }
    // The nearer of the two, as a ratio either way.
    if (std::abs(std::log(grain_of(grained_sources) / target)) < std::log(target / grain)) {
        region_sources = std::move(grained_sources);
    }
    return true;
}

bool run_hole_job(const Job& job, const SynthesisSettings& settings, JobResult& result, JobError& error,
                  const JobHooks& hooks) {
    LapClock total_clock;
    const Image& picture = *job.picture;
    const bool own = own_exemplar(job);
    const Image& exemplar = own ? picture : *job.exemplar;
    const int band = job.kind == JobKind::tile
                         ? (job.band == 0 ? default_tile_band(picture.width, picture.height) : job.band)
                         : 0;
    const std::vector<std::uint8_t> hole = hole_of(job, band);
    // The region as the check found it, from the settings as given.
    const Rect region = work_region(job, hole, job.settings);
    const std::vector<std::uint8_t> region_hole = crop_mask(hole.data(), picture.width, region);
    RegionFill fill;
    fill.picture = &picture;
    fill.region = region;
    fill.hole = &region_hole;
    fill.exemplar = own ? nullptr : job.exemplar;
    fill.edges = job.kind == JobKind::tile ? EdgeRule::wrap : EdgeRule::clamp;
    fill.keep_grain = job.kind == JobKind::fill;
    fill.seeded_choices = job.kind == JobKind::fill;
    std::vector<std::uint8_t> region_sample_mask;
    if (!job.sample_masks.empty()) {
        if (own) {
            region_sample_mask = crop_mask(job.sample_masks[0]->data(), picture.width, region);
        }
        fill.sample_mask = own ? &region_sample_mask : job.sample_masks[0];
    }
    NoiseDraws draws(settings.seed);
    std::vector<int> region_sources;
    if (!synthesize_region(fill, settings, draws, region_sources, error, hooks)) {
        return false;
    }

    // The picture with the hole's pixels copied from where they came from; the map points every other pixel
    // at itself.
    const int exemplar_width = own ? region.width : exemplar.width;
    result.image = picture;
    result.map = {};
    if (job.with_map) {
        result.map.width = picture.width;
        result.map.height = picture.height;
        result.map.xy.resize(static_cast<std::size_t>(picture.width) * picture.height * 2);
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * picture.width + x;
                result.map.xy[i * 2] = static_cast<std::uint16_t>(x);
                result.map.xy[i * 2 + 1] = static_cast<std::uint16_t>(y);
            }
        }
    }
    for (int y = 0; y < region.height; ++y) {
        for (int x = 0; x < region.width; ++x) {
            const std::size_t r = static_cast<std::size_t>(y) * region.width + x;
            if (region_hole[r] == 0) {
                continue;
            }
            const int source = region_sources[r];
            const int source_x = source % exemplar_width + (own ? region.x : 0);
            const int source_y = source / exemplar_width + (own ? region.y : 0);
            const std::size_t i = static_cast<std::size_t>(region.y + y) * picture.width + region.x + x;
            copy_pixel(exemplar, static_cast<std::size_t>(source_y) * exemplar.width + source_x, result.image, i);
            if (job.with_map) {
                result.map.xy[i * 2] = static_cast<std::uint16_t>(source_x);
                result.map.xy[i * 2 + 1] = static_cast<std::uint16_t>(source_y);
            }
        }
    }
    if (hooks.profile != nullptr) {
        hooks.profile->total += total_clock.lap();
    }
    return true;
}
