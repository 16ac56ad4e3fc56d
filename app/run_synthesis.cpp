#include "app/run_synthesis.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/message_text.h"
#include "app/progress_line.h"
#include "image/bmp_file.h"
#include "pyramid/enlarge.h"
#include "synthesis/job_checks.h"

namespace {

void report(const std::string& what, const std::string& why) {
    std::fflush(stdout);
    std::fprintf(stderr, "texsynth: %s: %s\n", printable(what).c_str(), why.c_str());
}

}  // namespace

int run_synthesis(const RunSettings& settings, RunProfile* profile) {
    LapClock total_clock;
    LapClock clock;
    RgbImage rgb;
    std::string why;
    const auto accept_size = [&settings](int width, int height) { return check_exemplar(settings, width, height); };
    if (!read_bmp(settings.input_path, rgb, why, accept_size)) {
        report(settings.input_path, why);
        return 1;
    }
    Image exemplar{rgb.width, rgb.height, 3, std::move(rgb.pixels)};
    if (profile != nullptr) {
        profile->loading += clock.lap();
    }

    Job job;
    job.settings = settings;
    job.exemplar = &exemplar;
    job.width = settings.width;
    job.height = settings.height;

    ProgressLine progress(stderr, !settings.quiet && isatty(STDERR_FILENO) != 0);
    bool output_lost = false;
    std::vector<std::uint8_t> enlarged(static_cast<std::size_t>(settings.width) * settings.height * 3);
    JobHooks hooks;
    hooks.profile = profile;
    hooks.on_level_start = [&progress](int n, int width, int height) { progress.start_level(n, width, height); };
    hooks.on_rows = [&progress](int rows_done, int rows) { progress.update(rows_done, rows); };
    hooks.on_level = [&](const LevelPixels& level) {
        progress.finish_level();
        LapClock write_clock;
        int enlarged_width = 0;
        int enlarged_height = 0;
        enlarge_by_replication(level.rgb, level.width, level.height, enlarged.data(), enlarged_width,
                               enlarged_height, 1 << level.n);
        const std::string name = settings.output_prefix + "_" + std::to_string(level.n) + ".bmp";
        std::string write_why;
        if (!write_bmp(name, enlarged.data(), enlarged_width, enlarged_height, write_why)) {
            report(name, write_why);
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
        report(error.subject == "exemplar" ? settings.input_path : error.subject, error.why);
        return 1;
    }
    if (profile != nullptr) {
        // The job counts its own time; what the command line adds is reading the exemplar and the files.
        profile->total = total_clock.lap();
    }
    return output_lost ? 1 : 0;
}
