#include "app/run_output_file.h"

#include <unistd.h>

#include <cctype>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <texsynth/settings.h>

#include "app/progress_line.h"
#include "app/run_files.h"

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

// Runs a job with the progress line, and writes its result and, if asked, its source map.
int run_and_save(const RunSettings& settings, const Job& job,
                 std::initializer_list<std::pair<const char*, std::string>> files) {
    ProgressLine progress(stderr, !settings.quiet && isatty(STDERR_FILENO) != 0);
    JobHooks hooks;
    hooks.on_level_start = [&progress](int n, int width, int height) { progress.start_level(n, width, height); };
    hooks.on_rows = [&progress](int rows_done, int rows) { progress.update(rows_done, rows); };
    hooks.on_level = [&progress](const LevelPixels&) { progress.finish_level(); };
    JobResult result;
    JobError error;
    if (!run_job(job, result, error, hooks)) {
        progress.finish_level();
        report_job_error(error, files);
        return 1;
    }
    bool written = save_picture(settings.output_file, result.image);
    if (!settings.save_map.empty()) {
        written = save_source_map(settings.save_map, result.map) && written;
    }
    return written ? 0 : 1;
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
    const Job job = texture_job(settings, exemplar);
    return run_and_save(settings, job, {{"exemplar", settings.input_path}});
}

// A mask's marked pixels: those that are not black (alpha is not looked at).
std::vector<std::uint8_t> marked_pixels(const Image& mask) {
    std::vector<std::uint8_t> marked(static_cast<std::size_t>(mask.width) * mask.height);
    for (std::size_t i = 0; i < marked.size(); ++i) {
        const std::uint8_t* pixel = &mask.pixels[i * mask.channels];
        marked[i] = (pixel[0] | pixel[1] | pixel[2]) != 0 ? 1 : 0;
    }
    return marked;
}

// Fills a hole, makes a picture tile or grows it.
int fill_or_tile(const RunSettings& settings) {
    Image picture;
    Image mask_picture;
    Image exemplar;
    const Alpha alpha = alpha_for(settings.output_file);
    if (!load_picture(settings.input_path, picture, {}, alpha)) {
        return 1;
    }
    Job job;
    job.settings = settings;
    job.picture = &picture;
    job.with_map = !settings.save_map.empty();
    std::vector<std::uint8_t> mask;
    if (settings.make_tileable) {
        job.kind = JobKind::tile;
        job.band = settings.band;
    } else if (settings.extend) {
        job.kind = JobKind::extend;
        job.border = settings.border;
        if (!settings.exemplar_path.empty()) {
            if (!load_picture(settings.exemplar_path, exemplar, {}, alpha)) {
                return 1;
            }
            job.exemplar = &exemplar;
        }
    } else {
        job.kind = JobKind::fill;
        if (!load_picture(settings.mask_path, mask_picture)) {
            return 1;
        }
        if (mask_picture.width != picture.width || mask_picture.height != picture.height) {
            report(settings.mask_path, "is " + std::to_string(mask_picture.width) + "x" +
                                           std::to_string(mask_picture.height) + ", not the size of the image (" +
                                           std::to_string(picture.width) + "x" + std::to_string(picture.height) + ")");
            return 1;
        }
        mask = marked_pixels(mask_picture);
        job.mask = &mask;
        if (!settings.exemplar_path.empty()) {
            if (!load_picture(settings.exemplar_path, exemplar, {}, alpha)) {
                return 1;
            }
            job.exemplar = &exemplar;
        }
    }
    return run_and_save(settings, job,
                        {{"image", settings.input_path}, {"mask", settings.mask_path},
                         {"exemplar", settings.exemplar_path}, {"band", "--make-tileable"}, {"border", "--extend"}});
}

}  // namespace

int run_output_file(const RunSettings& settings) {
    if (!settings.apply_map.empty()) {
        return apply_map(settings);
    }
    if (!settings.mask_path.empty() || settings.make_tileable || settings.extend) {
        return fill_or_tile(settings);
    }
    return generate(settings);
}
