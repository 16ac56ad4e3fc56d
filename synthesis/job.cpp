#include "synthesis/job.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "pyramid/exemplar_pyramid.h"
#include "synthesis/exemplar_edges.h"
#include "synthesis/exemplar_lattice.h"
#include "synthesis/job_checks.h"
#include "synthesis/level_synthesis.h"
#include "synthesis/noise.h"
#include "synthesis/refined_plan.h"
#include "synthesis/training_set.h"

namespace {

// The search error bound of the kd-tree: a returned neighbour may be up to 1 + eps times as far as the nearest.
constexpr double kSearchErrorBound = 2.0;

// Coordinates of a source map are 16-bit.
constexpr int kMaxMapCoordinate = 65535;

// The kd-tree library keeps its search state in globals, so its jobs take turns.
std::mutex& tree_search_turn() {
    static std::mutex turn;
    return turn;
}

const char* channel_reason(const Image& image) {
    if (image.channels != 3 && image.channels != 4) {
        return "expected 3 (RGB) or 4 (RGBA) channels";
    }
    if (image.width < 1 || image.height < 1) {
        return "the picture is empty";
    }
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * image.channels) {
        return "the pixel buffer does not match the picture's size";
    }
    return nullptr;
}

// The colours that are matched: R, G and B as stored. Alpha takes no part in the match (a picture and the
// same picture without its alpha channel give the same pixels); each copied pixel brings its alpha along.
std::vector<std::uint8_t> matched_colours(const Image& image) {
    if (image.channels == 3) {
        return image.pixels;
    }
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    std::vector<std::uint8_t> rgb(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        std::copy_n(&image.pixels[i * 4], 3, &rgb[i * 3]);
    }
    return rgb;
}

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

int thread_count(const SynthesisSettings& settings) {
    if (settings.threads > 0) {
        return settings.threads;
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

// Synthesizes every level of the output pyramid, coarsest first. On return `final_sources` holds, for every
// pixel of output level 0, the exemplar pixel it was copied from.
bool synthesize_levels(const SynthesisSettings& settings, const std::uint8_t* exemplar_pyramid,
                       const LevelTable& exemplar_levels, const CandidateOptions& exemplar_edges,
                       const PeriodLattice& periods, std::vector<std::uint8_t>& output_pyramid,
                       const LevelTable& output_levels, const std::vector<int>& drawn,
                       std::vector<int>& final_sources, const JobHooks& hooks, JobError& error) {
    const int levels = settings.levels;
    const bool approximate = settings.match == MatchMode::approximate;
    std::unique_lock<std::mutex> tree_turn(tree_search_turn(), std::defer_lock);
    if (approximate) {
        tree_turn.lock();
    }
    TrainingSet training;
    // The exact and coherent searches run on the team; the kd-tree search on one thread.
    SearchTeam team(approximate ? 1 : thread_count(settings));
    // The exact and coherent searches start from where each pixel came from; the kd-tree search only
    // reports where the finest level's pixels came from.
    std::vector<std::vector<int>> sources(static_cast<std::size_t>(levels));
    // Once the caller asks to stop, the scans are told so until the job returns.
    bool stop_requested = false;
    std::function<bool()> should_stop;
    if (hooks.should_stop) {
        should_stop = [&] { return stop_requested = stop_requested || hooks.should_stop(); };
    }
    for (int n = levels - 1; n >= 0; --n) {
        const int* row = settings.matrix.row(n, levels);
        LevelJob job;
        job.matrix_row = row;
        job.output_pyramid = output_pyramid.data();
        job.output_width = output_levels.width[0];
        job.output_height = output_levels.height[0];
        job.n = n;
        job.levels = levels;
        job.passes = settings.passes;
        job.team = &team;
        if (!approximate) {
            sources[n] = noise_sources(drawn, output_levels, exemplar_levels, n);
            job.coarser_sources = n + 1 < levels ? &sources[n + 1] : nullptr;
        } else if (n == 0) {
            sources[n].resize(static_cast<std::size_t>(output_levels.width[0]) * output_levels.height[0]);
        }
        job.sources = sources[n].empty() ? nullptr : &sources[n];
        job.hooks.profile = hooks.profile != nullptr ? &hooks.profile->levels[n] : nullptr;
        job.hooks.on_row = hooks.on_rows;
        job.hooks.should_stop = should_stop;
        if (hooks.on_level_start) {
            hooks.on_level_start(n, output_levels.width[n], output_levels.height[n]);
        }
        LevelGeometry level;
        LapClock build_clock;
        const auto count_build_time = [&] {
            if (job.hooks.profile != nullptr) {
                job.hooks.profile->tree_construction += build_clock.lap();
            }
        };
        if (approximate) {
            build_training_set(exemplar_pyramid, exemplar_levels, row, n, levels, training, job.hooks.profile);
            level = synthesize_level(training, job, kSearchErrorBound);
        } else if (settings.match == MatchMode::refined) {
            const RefinedLevelPlan plan =
                refined_level_plan(n, levels, settings.passes, exemplar_edges.edges_x, exemplar_edges.edges_y, periods,
                                   output_levels.width[0], output_levels.height[0]);
            job.phase = plan.phase.active() ? &plan.phase : nullptr;
            job.parent_phase = plan.parent_phase.active() ? &plan.parent_phase : nullptr;
            job.passes = plan.passes;
            job.first_pass = plan.first_pass;
            job.later.lattice = plan.lattice;
            job.later.repeat_penalty = plan.repeat_penalty;
            std::optional<ExactMatcher> later;
            std::optional<SimilarCandidates> later_similar;
            if (plan.passes > 1) {
                later.emplace(exemplar_pyramid, exemplar_levels, row, n, levels, plan.later);
                later_similar.emplace(*later, settings.similar, team);
                job.later.matcher = &*later;
                job.later.similar = &*later_similar;
            }
            // A first pass that only carries the parent's result over needs no search of its own: the later
            // passes' candidates lie where its candidates would.
            std::optional<ExactMatcher> first;
            if (!later || plan.first_pass == FirstPass::scan) {
                first.emplace(exemplar_pyramid, exemplar_levels, row, n, levels, plan.first);
            }
            const ExactMatcher& first_matcher = first ? *first : *later;
            const SimilarCandidates similar(first_matcher, settings.similar, team);
            count_build_time();
            level = synthesize_level_coherent(first_matcher, similar, job);
        } else {
            const ExactMatcher matcher(exemplar_pyramid, exemplar_levels, row, n, levels);
            if (settings.match == MatchMode::exact) {
                count_build_time();
                level = synthesize_level_exact(matcher, job);
            } else {
                const SimilarCandidates similar(matcher, settings.similar, team);
                count_build_time();
                level = synthesize_level_coherent(matcher, similar, job);
            }
        }
        if (stop_requested) {
            error = {"", "interrupted"};
            return false;
        }
        if (hooks.on_level) {
            hooks.on_level({n, level.width, level.height, output_pyramid.data() + level.offset});
        }
    }
    final_sources = std::move(sources[0]);
    return true;
}

// The result made of the exemplar's pixels at `sources` (indices y * width + x), and its source map.
void assemble_result(const Image& exemplar, const std::vector<int>& sources, int width, int height,
                     JobResult& result) {
    result.image.width = width;
    result.image.height = height;
    result.image.channels = exemplar.channels;
    result.image.pixels.resize(sources.size() * exemplar.channels);
    result.map.width = width;
    result.map.height = height;
    result.map.xy.resize(sources.size() * 2);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const int source = sources[i];
        std::copy_n(&exemplar.pixels[static_cast<std::size_t>(source) * exemplar.channels], exemplar.channels,
                    &result.image.pixels[i * exemplar.channels]);
        result.map.xy[i * 2] = static_cast<std::uint16_t>(source % exemplar.width);
        result.map.xy[i * 2 + 1] = static_cast<std::uint16_t>(source / exemplar.width);
    }
}

// Checks the job and decides what its settings leave open.
bool check_job(const Job& job, SynthesisSettings& settings, JobError& error) {
    if (job.kind != JobKind::generate) {
        error = {"", "filling and tiling are not built yet"};
        return false;
    }
    if (std::string why = check_setting_ranges(job.settings); !why.empty()) {
        error = {"", why};
        return false;
    }
    if (job.exemplar == nullptr) {
        error = {"exemplar", "none given"};
        return false;
    }
    const Image& exemplar = *job.exemplar;
    if (const char* why = channel_reason(exemplar); why != nullptr) {
        error = {"exemplar", why};
        return false;
    }
    if (exemplar.width - 1 > kMaxMapCoordinate || exemplar.height - 1 > kMaxMapCoordinate) {
        error = {"exemplar", "wider or taller than " + std::to_string(kMaxMapCoordinate + 1) + " pixels"};
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
    // The refined search reads the exemplar's edges as its own seams suggest, and keeps a regular pattern's
    // copies in step with its periods.
    CandidateOptions exemplar_edges;
    PeriodLattice periods;
    if (settings.match == MatchMode::refined) {
        choose_exemplar_edges(exemplar_rgb.data(), exemplar.width, exemplar.height, exemplar_edges);
        periods = find_period_lattice(exemplar_rgb.data(), exemplar.width, exemplar.height);
    }
    std::vector<int> sources;
    if (!synthesize_levels(settings, exemplar_pyramid.data(), exemplar_levels, exemplar_edges, periods,
                           output_pyramid, output_levels, drawn, sources, hooks, error)) {
        return false;
    }
    assemble_result(exemplar, sources, job.width, job.height, result);
    if (hooks.profile != nullptr) {
        hooks.profile->total += total_clock.lap();
    }
    return true;
}

bool apply_source_map(const Image& image, const SourceMap& map, Image& result, JobError& error) {
    if (const char* why = channel_reason(image); why != nullptr) {
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
