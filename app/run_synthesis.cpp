#include "app/run_synthesis.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/progress_line.h"
#include "app/message_text.h"
#include "app/run_checks.h"
#include "image/bmp_file.h"
#include "pyramid/enlarge.h"
#include "pyramid/exemplar_pyramid.h"
#include "synthesis/exemplar_edges.h"
#include "synthesis/level_synthesis.h"
#include "synthesis/refined_plan.h"
#include "synthesis/training_set.h"

namespace {

// The search error bound: a returned neighbour may be up to 1 + eps times as far as the nearest one.
constexpr double kSearchErrorBound = 2.0;

void report(const std::string& what, const std::string& why) {
    std::fflush(stdout);
    std::fprintf(stderr, "texsynth: %s: %s\n", printable(what).c_str(), why.c_str());
}

// Fills the output pyramid with pixels of the exemplar drawn by rand(), in buffer order, from the start of
// its sequence: the sequence of a generator never seeded, which srand(1) restarts. With `drawn`, also
// records which exemplar pixel each output pixel was drawn from.
void fill_with_noise(const RgbImage& exemplar, std::vector<std::uint8_t>& output_pyramid, std::vector<int>* drawn) {
    std::srand(1);
    const int exemplar_pixels = exemplar.width * exemplar.height;
    const int draws = static_cast<int>(output_pyramid.size() / 3);
    if (drawn != nullptr) {
        drawn->resize(static_cast<std::size_t>(draws));
    }
    for (int i = 0; i < draws; ++i) {
        const int p = std::rand() % exemplar_pixels;
        std::copy_n(&exemplar.pixels[static_cast<std::size_t>(p) * 3], 3, &output_pyramid[static_cast<std::size_t>(i) * 3]);
        if (drawn != nullptr) {
            (*drawn)[static_cast<std::size_t>(i)] = p;
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

int thread_count(const RunSettings& settings) {
    if (settings.threads > 0) {
        return settings.threads;
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

}  // namespace

int run_synthesis(const RunSettings& given, RunProfile* profile) {
    LapClock total_clock;
    LapClock clock;
    RgbImage exemplar;
    std::string why;
    // Levels chosen from the exemplar's size are settled, and checked, as soon as its size is known.
    RunSettings settings = given;
    const auto accept_size = [&settings](int width, int height) {
        if (settings.automatic_levels) {
            settings.levels = automatic_levels(width, height);
            while (settings.levels > 1 && std::min(settings.width, settings.height) >> (settings.levels - 1) < 1) {
                --settings.levels;
            }
            settings.matrix = automatic_matrix(settings.levels);
            const std::string refusal = check_settings(settings);
            if (!refusal.empty()) {
                return refusal;
            }
        }
        return check_exemplar(settings, width, height);
    };
    if (!read_bmp(settings.input_path, exemplar, why, accept_size)) {
        report(settings.input_path, why);
        return 1;
    }

    const int levels = settings.levels;
    // Working memory, sized for this run: the two pyramids and one enlarged level.
    std::vector<std::uint8_t> exemplar_pyramid(
        static_cast<std::size_t>(pyramid_bytes(exemplar.width, exemplar.height, levels)));
    std::vector<std::uint8_t> output_pyramid(
        static_cast<std::size_t>(pyramid_bytes(settings.width, settings.height, levels)));
    std::vector<std::uint8_t> enlarged(static_cast<std::size_t>(settings.width) * settings.height * 3);
    LevelTable exemplar_levels;
    build_exemplar_pyramid(exemplar.pixels.data(), exemplar.width, exemplar.height, exemplar_pyramid,
                           exemplar_levels, levels);
    if (profile != nullptr) {
        profile->loading += clock.lap();
    }
    // The exact and coherent searches start from where each pixel came from.
    const bool keep_sources = settings.match != MatchMode::approximate;
    const LevelTable output_levels = make_level_table(settings.width, settings.height, levels);
    std::vector<int> drawn;
    fill_with_noise(exemplar, output_pyramid, keep_sources ? &drawn : nullptr);
    if (profile != nullptr) {
        profile->noise += clock.lap();
    }

    // The refined search reads the exemplar's edges as its own seams suggest.
    CandidateOptions edges;
    if (settings.match == MatchMode::refined) {
        choose_exemplar_edges(exemplar.pixels.data(), exemplar.width, exemplar.height, edges);
    }

    bool output_lost = false;
    TrainingSet training;
    // The kd-tree search keeps its state in globals: only the exact and coherent searches use more threads.
    SearchTeam team(settings.match == MatchMode::approximate ? 1 : thread_count(settings));
    ProgressLine progress(stderr, !settings.quiet && isatty(STDERR_FILENO) != 0);
    std::vector<std::vector<int>> sources(static_cast<std::size_t>(levels));
    for (int n = levels - 1; n >= 0; --n) {
        const int* row = settings.matrix.row(n, levels);
        LevelJob job;
        job.matrix_row = row;
        job.output_pyramid = output_pyramid.data();
        job.output_width = settings.width;
        job.output_height = settings.height;
        job.n = n;
        job.levels = levels;
        job.passes = settings.passes;
        job.team = &team;
        if (keep_sources) {
            sources[n] = noise_sources(drawn, output_levels, exemplar_levels, n);
            job.sources = &sources[n];
            job.coarser_sources = n + 1 < levels ? &sources[n + 1] : nullptr;
        }
        job.hooks.profile = profile != nullptr ? &profile->levels[n] : nullptr;
        job.hooks.on_row = [&progress](int rows_done, int rows) { progress.update(rows_done, rows); };
        progress.start_level(n, output_levels.width[n], output_levels.height[n]);
        LevelGeometry level;
        if (settings.match == MatchMode::approximate) {
            build_training_set(exemplar_pyramid.data(), exemplar_levels, row, n, levels, training, job.hooks.profile);
            level = synthesize_level(training, job, kSearchErrorBound);
        } else if (settings.match == MatchMode::refined) {
            LapClock build_clock;
            const RefinedLevelPlan plan = refined_level_plan(n, levels, settings.passes, edges.edges_x, edges.edges_y);
            job.passes = plan.passes;
            job.first_pass = plan.first_pass;
            job.later.lattice = plan.lattice;
            job.later.repeat_penalty = plan.repeat_penalty;
            // A first pass that only carries the parent's result over needs no search of its own: the later
            // passes' candidates lie where its candidates would.
            std::optional<ExactMatcher> later;
            if (plan.passes > 1) {
                later.emplace(exemplar_pyramid.data(), exemplar_levels, row, n, levels, plan.later);
            }
            std::optional<ExactMatcher> first;
            if (!later || plan.first_pass == FirstPass::scan) {
                first.emplace(exemplar_pyramid.data(), exemplar_levels, row, n, levels, plan.first);
            }
            const ExactMatcher& first_matcher = first ? *first : *later;
            const SimilarCandidates similar(first_matcher, settings.similar, team);
            std::optional<SimilarCandidates> later_similar;
            if (later) {
                later_similar.emplace(*later, settings.similar, team);
                job.later.matcher = &*later;
                job.later.similar = &*later_similar;
            }
            if (job.hooks.profile != nullptr) {
                job.hooks.profile->tree_construction += build_clock.lap();
            }
            level = synthesize_level_coherent(first_matcher, similar, job);
        } else {
            LapClock build_clock;
            const ExactMatcher matcher(exemplar_pyramid.data(), exemplar_levels, row, n, levels);
            if (settings.match == MatchMode::exact) {
                if (job.hooks.profile != nullptr) {
                    job.hooks.profile->tree_construction += build_clock.lap();
                }
                level = synthesize_level_exact(matcher, job);
            } else {
                const SimilarCandidates similar(matcher, settings.similar, team);
                if (job.hooks.profile != nullptr) {
                    job.hooks.profile->tree_construction += build_clock.lap();
                }
                level = synthesize_level_coherent(matcher, similar, job);
            }
        }
        progress.finish_level();
        if (profile != nullptr) {
            clock.lap();
        }
        if (!settings.output_file.empty() && n > 0) {
            continue;  // the --output form writes only the finished texture
        }
        int enlarged_width = 0;
        int enlarged_height = 0;
        enlarge_by_replication(output_pyramid.data() + level.offset, level.width, level.height, enlarged.data(),
                               enlarged_width, enlarged_height, 1 << n);
        const std::string name = settings.output_file.empty()
                                     ? settings.output_prefix + "_" + std::to_string(n) + ".bmp"
                                     : settings.output_file;
        if (!write_bmp(name, enlarged.data(), enlarged_width, enlarged_height, why)) {
            report(name, why);
            output_lost = true;
        }
        if (profile != nullptr) {
            profile->output_files += clock.lap();
        }
    }
    if (profile != nullptr) {
        profile->total += total_clock.lap();
    }
    return output_lost ? 1 : 0;
}
