#include <texsynth/job.h>

#include <ANN/ANN.h>

#include <algorithm>
#include <optional>

#include <texsynth/settings.h>

#include "pyramid/exemplar_pyramid.h"
#include "synthesis/jobs/extend_job.h"
#include "synthesis/jobs/hole_job.h"
#include "synthesis/jobs/job_pictures.h"
#include "synthesis/levels/level_loop.h"
#include "synthesis/levels/noise.h"
#include "synthesis/patterns/exemplar_lattice.h"
#include "synthesis/search/exemplar_edges.h"

namespace {

// Fills the output pyramid with exemplar pixels drawn one after another in buffer order (level 0 first, then
// level 1 and so on, every level from the full-size exemplar). With `drawn`, also records which exemplar
// pixel each output pixel was drawn from.
void fill_with_noise(const std::uint8_t* exemplar_rgb, int exemplar_pixels, std::optional<std::uint32_t> seed,
                     std::vector<std::uint8_t>& output_pyramid, std::vector<int>* drawn) {
    NoiseDraws draws(seed);
    const std::size_t count = output_pyramid.size() / 3;
    if (drawn != nullptr) {
        drawn->resize(count);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const int p = draws.next(exemplar_pixels);
        std::copy_n(&exemplar_rgb[static_cast<std::size_t>(p) * 3], 3, &output_pyramid[i * 3]);
        if (drawn != nullptr) {
            (*drawn)[i] = p;
        }
    }
}

// Where the noise of output level n was drawn from, as pixels of exemplar level n (the pixel that covers the
// drawn full-size one).
std::vector<int> noise_sources(const std::vector<int>& drawn, const LevelTable& output, const LevelTable& exemplar,
                               int n) {
    const std::size_t first = static_cast<std::size_t>(output.offset[n] / 3);
    std::vector<int> sources(static_cast<std::size_t>(output.width[n]) * output.height[n]);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const int p = drawn[first + i];
        const int x = std::min((p % exemplar.width[0]) >> n, exemplar.width[n] - 1);
        const int y = std::min((p / exemplar.width[0]) >> n, exemplar.height[n] - 1);
        sources[i] = y * exemplar.width[n] + x;
    }
    return sources;
}

// The result made of the exemplar's pixels at `sources` (indices y * width + x), and its source map.
void assemble_result(const Image& exemplar, const std::vector<int>& sources, int width, int height, bool with_map,
                     JobResult& result) {
    result.image.width = width;
    result.image.height = height;
    result.image.channels = exemplar.channels;
    result.image.pixels.resize(sources.size() * exemplar.channels);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        std::copy_n(&exemplar.pixels[static_cast<std::size_t>(sources[i]) * exemplar.channels], exemplar.channels,
                    &result.image.pixels[i * exemplar.channels]);
    }
    result.map = {};
    if (!with_map) {
        return;
    }
    result.map.width = width;
    result.map.height = height;
    result.map.xy.resize(sources.size() * 2);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        result.map.xy[i * 2] = static_cast<std::uint16_t>(sources[i] % exemplar.width);
        result.map.xy[i * 2 + 1] = static_cast<std::uint16_t>(sources[i] / exemplar.width);
    }
}

// Checks the job and decides what its settings leave open.
bool check_job(const Job& job, SynthesisSettings& settings, JobError& error) {
    if (std::string why = check_setting_ranges(job.settings); !why.empty()) {
        error = {"", why};
        return false;
    }
    if (job.kind == JobKind::extend) {
        return check_extend_job(job, settings, error);
    }
    if (job.kind != JobKind::generate) {
        return check_hole_job(job, settings, error);
    }
    if (job.exemplar == nullptr) {
        error = {"exemplar", "none given"};
        return false;
    }
    const Image& exemplar = *job.exemplar;
    if (std::string why = picture_reason(exemplar); !why.empty()) {
        error = {"exemplar", why};
        return false;
    }
    settings = with_levels_chosen(job.settings, exemplar.width, exemplar.height, job.width, job.height);
    if (std::string why = check_settings(settings, job.width, job.height); !why.empty()) {
        error = {"", why};
        return false;
    }
    if (std::string why = check_exemplar(settings, exemplar.width, exemplar.height); !why.empty()) {
        error = {"exemplar", why};
        return false;
    }
    return true;
}

}  // namespace

bool check_job(const Job& job, JobError& error) {
    SynthesisSettings settings;
    return check_job(job, settings, error);
}

bool run_job(const Job& job, JobResult& result, JobError& error, const JobHooks& hooks) {
    SynthesisSettings settings;
    if (!check_job(job, settings, error)) {
        return false;
    }
    if (job.kind == JobKind::extend) {
        return run_extend_job(job, settings, result, error, hooks);
    }
    if (job.kind != JobKind::generate) {
        return run_hole_job(job, settings, result, error, hooks);
    }
    LapClock total_clock;
    LapClock clock;
    const Image& exemplar = *job.exemplar;
    const int levels = settings.levels;
    const std::vector<std::uint8_t> exemplar_rgb = matched_colours(exemplar);
    std::vector<std::uint8_t> exemplar_pyramid(
        static_cast<std::size_t>(pyramid_bytes(exemplar.width, exemplar.height, levels)));
    std::vector<std::uint8_t> output_pyramid(static_cast<std::size_t>(pyramid_bytes(job.width, job.height, levels)));
    LevelTable exemplar_levels;
    build_exemplar_pyramid(exemplar_rgb.data(), exemplar.width, exemplar.height, exemplar_pyramid, exemplar_levels,
                           levels);
    if (hooks.profile != nullptr) {
        hooks.profile->loading += clock.lap();
    }
    const LevelTable output_levels = make_level_table(job.width, job.height, levels);
    std::vector<int> drawn;
    fill_with_noise(exemplar_rgb.data(), exemplar.width * exemplar.height, settings.seed, output_pyramid,
                    settings.match != MatchMode::approximate ? &drawn : nullptr);
    if (hooks.profile != nullptr) {
        hooks.profile->noise += clock.lap();
    }
    LevelLoop loop;
    loop.settings = settings;
    loop.exemplar_pyramid = exemplar_pyramid.data();
    loop.exemplar_levels = exemplar_levels;
    loop.output_pyramid = output_pyramid.data();
    loop.output_levels = output_levels;
    // The refined search reads the exemplar's edges as its own seams suggest, and keeps a regular pattern's
    // copies in step with its periods.
    if (settings.match == MatchMode::refined) {
        choose_exemplar_edges(exemplar_rgb.data(), exemplar.width, exemplar.height, loop.exemplar_edges);
        loop.periods = find_period_lattice(exemplar_rgb.data(), exemplar.width, exemplar.height);
    }
    if (settings.match != MatchMode::approximate) {
        for (int n = 0; n < levels; ++n) {
            loop.sources.push_back(noise_sources(drawn, output_levels, exemplar_levels, n));
        }
    }
    std::vector<int> sources;
    if (!synthesize_levels(loop, sources, hooks, error)) {
        return false;
    }
    assemble_result(exemplar, sources, job.width, job.height, job.with_map, result);
    if (hooks.profile != nullptr) {
        hooks.profile->total += total_clock.lap();
    }
    return true;
}

bool apply_source_map(const Image& image, const SourceMap& map, Image& result, JobError& error) {
    if (std::string why = picture_reason(image); !why.empty()) {
        error = {"image", why};
        return false;
    }
    if (map.xy.size() != static_cast<std::size_t>(map.width) * map.height * 2) {
        error = {"source map", "its coordinates do not match its size"};
        return false;
    }
    for (std::size_t i = 0; i < map.xy.size() / 2; ++i) {
        const int x = map.xy[i * 2];
        const int y = map.xy[i * 2 + 1];
        if (x >= image.width || y >= image.height) {
            error = {"source map",
                     "pixel (" + std::to_string(i % map.width) + ", " + std::to_string(i / map.width) + ") points at (" +
                         std::to_string(x) + ", " + std::to_string(y) + "), outside the " +
                         std::to_string(image.width) + "x" + std::to_string(image.height) + " image"};
            return false;
        }
    }
    result.width = map.width;
    result.height = map.height;
    result.channels = image.channels;
    result.pixels.resize(static_cast<std::size_t>(map.width) * map.height * image.channels);
    for (std::size_t i = 0; i < map.xy.size() / 2; ++i) {
        const std::size_t source = static_cast<std::size_t>(map.xy[i * 2 + 1]) * image.width + map.xy[i * 2];
        std::copy_n(&image.pixels[source * image.channels], image.channels, &result.pixels[i * image.channels]);
    }
    return true;
}

void release_search_state() { annClose(); }
