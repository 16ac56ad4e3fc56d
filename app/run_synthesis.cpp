#include "app/run_synthesis.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/progress_line.h"
#include "app/message_text.h"
#include "app/run_checks.h"
#include "image/bmp_file.h"
#include "pyramid/enlarge.h"
#include "pyramid/exemplar_pyramid.h"
#include "synthesis/level_synthesis.h"
#include "synthesis/training_set.h"

namespace {

// The search error bound: a returned neighbour may be up to 1 + eps times as far as the nearest one.
constexpr double kSearchErrorBound = 2.0;

void report(const std::string& what, const std::string& why) {
    std::fflush(stdout);
    std::fprintf(stderr, "texsynth: %s: %s\n", printable(what).c_str(), why.c_str());
}

// Fills the output pyramid with pixels of the exemplar drawn by rand(), in buffer order, from the start of
// its sequence: the sequence of a generator never seeded, which srand(1) restarts.
void fill_with_noise(const RgbImage& exemplar, std::vector<std::uint8_t>& output_pyramid) {
    std::srand(1);
    const int exemplar_pixels = exemplar.width * exemplar.height;
    const int draws = static_cast<int>(output_pyramid.size() / 3);
    for (int i = 0; i < draws; ++i) {
        const int p = std::rand() % exemplar_pixels;
        std::copy_n(&exemplar.pixels[static_cast<std::size_t>(p) * 3], 3, &output_pyramid[static_cast<std::size_t>(i) * 3]);
    }
}

int thread_count(const RunSettings& settings) {
    if (settings.threads > 0) {
        return settings.threads;
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

}  // namespace

int run_synthesis(const RunSettings& settings, RunProfile* profile) {
    LapClock total_clock;
    LapClock clock;
    RgbImage exemplar;
    std::string why;
    const auto accept_size = [&settings](int width, int height) { return check_exemplar(settings, width, height); };
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
    fill_with_noise(exemplar, output_pyramid);
    if (profile != nullptr) {
        profile->noise += clock.lap();
    }

    bool output_lost = false;
    TrainingSet training;
    // The kd-tree search keeps its state in globals, so only the exact search is shared between threads.
    SearchTeam team(settings.match == MatchMode::exact ? thread_count(settings) : 1);
    ProgressLine progress(stderr, !settings.quiet && isatty(STDERR_FILENO) != 0);
    const LevelTable output_levels = make_level_table(settings.width, settings.height, levels);
    for (int n = levels - 1; n >= 0; --n) {
        const int* row = settings.matrix.row(n, levels);
        ScanHooks hooks;
        hooks.profile = profile != nullptr ? &profile->levels[n] : nullptr;
        hooks.on_row = [&progress](int rows_done, int rows) { progress.update(rows_done, rows); };
        progress.start_level(n, output_levels.width[n], output_levels.height[n]);
        LevelGeometry level;
        if (settings.match == MatchMode::exact) {
            LapClock build_clock;
            const ExactMatcher matcher(exemplar_pyramid.data(), exemplar_levels, row, n, levels);
            if (hooks.profile != nullptr) {
                hooks.profile->tree_construction += build_clock.lap();
            }
            level = synthesize_level_exact(matcher, row, output_pyramid.data(), settings.width, settings.height, n,
                                           levels, team, hooks);
        } else {
            build_training_set(exemplar_pyramid.data(), exemplar_levels, row, n, levels, training, hooks.profile);
            level = synthesize_level(training, row, output_pyramid.data(), settings.width, settings.height, n,
                                     levels, kSearchErrorBound, hooks);
        }
        progress.finish_level();
        if (profile != nullptr) {
            clock.lap();
        }
        int enlarged_width = 0;
        int enlarged_height = 0;
        enlarge_by_replication(output_pyramid.data() + level.offset, level.width, level.height, enlarged.data(),
                               enlarged_width, enlarged_height, 1 << n);
        const std::string name = settings.output_prefix + "_" + std::to_string(n) + ".bmp";
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
