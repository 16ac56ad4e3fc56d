#include "app/run_synthesis.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <texsynth/image.h>
#include <texsynth/settings.h>

#include "app/progress_line.h"
#include "app/run_files.h"

int run_synthesis(const RunSettings& settings, RunProfile* profile) {
    LapClock total_clock;
    LapClock clock;
    const auto accept_size = [&settings](int width, int height) { return check_exemplar(settings, width, height); };
    Image exemplar;
    if (!load_picture(settings.input_path, exemplar, accept_size, Alpha::drop)) {
        return 1;
    }
    if (profile != nullptr) {
        profile->loading += clock.lap();
    }

    const Job job = texture_job(settings, exemplar);

    ProgressLine progress(stderr, !settings.quiet && isatty(STDERR_FILENO) != 0);
    bool output_lost = false;
    Image enlarged;  // one level at a time, enlarged back to (about) the output size
    enlarged.pixels.reserve(static_cast<std::size_t>(settings.width) * settings.height * 3);
    JobHooks hooks;
    hooks.profile = profile;
    hooks.on_level_start = [&progress](int n, int width, int height) { progress.start_level(n, width, height); };
    hooks.on_rows = [&progress](int rows_done, int rows) { progress.update(rows_done, rows); };
    hooks.on_level = [&](const LevelPixels& level) {
        progress.finish_level();
        LapClock write_clock;
        const int factor = 1 << level.n;
        enlarged.pixels.resize(static_cast<std::size_t>(level.width) * factor * level.height * factor * 3);
        enlarge_by_replication(level.rgb, level.width, level.height, enlarged.pixels.data(), enlarged.width,
                               enlarged.height, factor);
        const std::string name = settings.output_prefix + "_" + std::to_string(level.n) + ".bmp";
        if (!save_picture(name, enlarged)) {
            output_lost = true;
        }
        if (profile != nullptr) {
            profile->output_files += write_clock.lap();
        }
    };
    JobResult result;
    JobError error;
    if (!run_job(job, result, error, hooks)) {
        progress.finish_level();
        report_job_error(error, {{"exemplar", settings.input_path}});
        return 1;
    }
    if (!settings.save_map.empty() && !save_source_map(settings.save_map, result.map)) {
        output_lost = true;
    }
    if (profile != nullptr) {
        // The job counts its own time; what the command line adds is reading the exemplar and the files.
        profile->total = total_clock.lap();
    }
    return output_lost ? 1 : 0;
}
