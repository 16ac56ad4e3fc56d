#include "app/run_output_file.h"

#include <unistd.h>

#include <cctype>

#include "app/progress_line.h"
#include "app/run_files.h"
#include "synthesis/job_checks.h"

namespace {

// A result written to BMP cannot keep transparency.
Alpha alpha_for(const std::string& output) {
    std::string extension = output.substr(output.size() - 4);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".bmp" ? Alpha::only_if_opaque : Alpha::keep;
}

int apply_map(const RunSettings& settings) {
    Image input;
    SourceMap map;
    if (!load_picture(settings.input_path, input, {}, alpha_for(settings.output_file)) ||
        !load_source_map(settings.apply_map, map)) {
        return 1;
    }
    Image result;
    JobError error;
    if (!apply_source_map(input, map, result, error)) {
        report_job_error(error, {{"source map", settings.apply_map}, {"image", settings.input_path}});
        return 1;
    }
    return save_picture(settings.output_file, result) ? 0 : 1;
}

int generate(const RunSettings& settings) {
    const auto accept_size = [&settings](int width, int height) {
        const SynthesisSettings chosen = with_levels_chosen(settings, width, height, settings.width, settings.height);
        std::string why = check_settings(chosen, settings.width, settings.height);
        return why.empty() ? check_exemplar(chosen, width, height) : why;
    };
    Image exemplar;
    if (!load_picture(settings.input_path, exemplar, accept_size, alpha_for(settings.output_file))) {
        return 1;
    }
    Job job;
    job.settings = settings;
    job.exemplar = &exemplar;
    job.width = settings.width;
    job.height = settings.height;
    ProgressLine progress(stderr, !settings.quiet && isatty(STDERR_FILENO) != 0);
    JobHooks hooks;
    hooks.on_level_start = [&progress](int n, int width, int height) { progress.start_level(n, width, height); };
    hooks.on_rows = [&progress](int rows_done, int rows) { progress.update(rows_done, rows); };
    hooks.on_level = [&progress](const LevelPixels&) { progress.finish_level(); };
    JobResult result;
    JobError error;
    if (!run_job(job, result, error, hooks)) {
        progress.finish_level();
        report_job_error(error, {{"exemplar", settings.input_path}});
        return 1;
    }
    bool written = save_picture(settings.output_file, result.image);
    if (!settings.save_map.empty()) {
        written = save_source_map(settings.save_map, result.map) && written;
    }
    return written ? 0 : 1;
}

}  // namespace

int run_output_file(const RunSettings& settings) {
    return settings.apply_map.empty() ? generate(settings) : apply_map(settings);
}
