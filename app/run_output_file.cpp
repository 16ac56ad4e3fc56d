#include "app/run_output_file.h"

#include <unistd.h>

#include <cctype>
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

// "image" for the only picture, "image 2" for the second of several: the subjects of the library's messages.
std::string numbered(const char* what, std::size_t index, std::size_t count) {
    return count > 1 ? std::string(what) + " " + std::to_string(index + 1) : std::string(what);
}

int apply_map(const RunSettings& settings) {
    std::vector<Image> inputs(settings.inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (!load_picture(settings.inputs[i], inputs[i], {}, alpha_for(settings.output_file))) {
            return 1;
        }
    }
    SourceMap map;
    if (!load_source_map(settings.apply_map, map)) {
        return 1;
    }
    std::vector<const Image*> images;
    std::vector<std::pair<std::string, std::string>> files = {{"source map", settings.apply_map}};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        images.push_back(&inputs[i]);
        files.emplace_back(numbered("image", i, inputs.size()), settings.inputs[i]);
    }
    Image result;
    JobError error;
    if (!apply_source_map(images, map, result, error)) {
        report_job_error(error, files);
        return 1;
    }
    return save_picture(settings.output_file, result) ? 0 : 1;
}

// Runs a job with the progress line, and writes its result and, if asked, its source map.
int run_and_save(const RunSettings& settings, const Job& job,
                 const std::vector<std::pair<std::string, std::string>>& files) {
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

// A mask's marked pixels: those that are not black (alpha is not looked at).
std::vector<std::uint8_t> marked_pixels(const Image& mask) {
    std::vector<std::uint8_t> marked(static_cast<std::size_t>(mask.width) * mask.height);
    for (std::size_t i = 0; i < marked.size(); ++i) {
        const std::uint8_t* pixel = &mask.pixels[i * mask.channels];
        marked[i] = (pixel[0] | pixel[1] | pixel[2]) != 0 ? 1 : 0;
    }
    return marked;
}

// A texture or a transfer: its exemplars, then the pictures that say what is made where, each read in the
// order the command line gave it.
int generate(const RunSettings& settings) {
    const std::size_t count = settings.inputs.size();
    const bool sized = settings.width > 0;
    const auto accept_size = [&settings, sized](int width, int height) {
        // Before the output's size is known, the exemplar has to fit as if it were the output.
        const int output_width = sized ? settings.width : width;
        const int output_height = sized ? settings.height : height;
        const SynthesisSettings chosen =
            with_levels_chosen(settings, width, height, output_width, output_height, true);
        std::string why = check_settings(chosen, output_width, output_height);
        return why.empty() ? check_exemplar(chosen, width, height) : why;
    };
    const Alpha alpha = alpha_for(settings.output_file);
    std::vector<Image> exemplars(count);
    std::vector<std::pair<std::string, std::string>> files;
    for (std::size_t i = 0; i < count; ++i) {
        if (!load_picture(settings.inputs[i], exemplars[i], accept_size, alpha)) {
            return 1;
        }
        files.emplace_back(numbered("exemplar", i, count), settings.inputs[i]);
    }
    Job job = texture_job(settings, exemplars[0]);
    if (count > 1) {
        job.exemplar = nullptr;
        for (const Image& exemplar : exemplars) {
            job.exemplars.push_back(&exemplar);
        }
    }
    Image target;
    if (!settings.transfer_target.empty()) {
        if (!load_picture(settings.transfer_target, target)) {
            return 1;
        }
        job.kind = JobKind::transfer;
        job.picture = &target;
        files.emplace_back("target", settings.transfer_target);
    }
    std::vector<Image> mask_pictures(settings.sample_masks.size());
    std::vector<std::vector<std::uint8_t>> masks(settings.sample_masks.size());
    for (std::size_t i = 0; i < masks.size(); ++i) {
        if (!load_picture(settings.sample_masks[i], mask_pictures[i])) {
            return 1;
        }
        masks[i] = marked_pixels(mask_pictures[i]);
        job.sample_masks.push_back(&masks[i]);
        files.emplace_back(numbered("sample mask", i, count), settings.sample_masks[i]);
    }
    std::vector<Image> guides(settings.guides.size());
    for (std::size_t i = 0; i < guides.size(); ++i) {
        if (!load_picture(settings.guides[i], guides[i])) {
            return 1;
        }
        job.guides.push_back(&guides[i]);
        files.emplace_back(numbered("guide", i, count), settings.guides[i]);
    }
    Image target_guide;
    if (!settings.target_guide.empty()) {
        if (!load_picture(settings.target_guide, target_guide)) {
            return 1;
        }
        job.target_guide = &target_guide;
        files.emplace_back("target guide", settings.target_guide);
        if (!sized) {
            job.width = target_guide.width;
            job.height = target_guide.height;
        }
    }
    job.guide_weight = settings.guide_weight;
    std::vector<Image> maps(settings.match_also.size());
    for (std::size_t i = 0; i < maps.size(); ++i) {
        if (!load_picture(settings.match_also[i].path, maps[i])) {
            return 1;
        }
        if (i % count == 0) {
            job.match_also.push_back({{}, settings.match_also[i].weight});
        }
        job.match_also.back().maps.push_back(&maps[i]);
        files.emplace_back("map " + std::to_string(i + 1), settings.match_also[i].path);
    }
    return run_and_save(settings, job, files);
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
    Image sample_mask_picture;
    std::vector<std::uint8_t> sample_mask;
    const std::string sample_mask_path = settings.sample_masks.empty() ? "" : settings.sample_masks[0];
    if (!sample_mask_path.empty()) {
        if (!load_picture(sample_mask_path, sample_mask_picture)) {
            return 1;
        }
        sample_mask = marked_pixels(sample_mask_picture);
        job.sample_masks.push_back(&sample_mask);
    }
    return run_and_save(settings, job,
                        {{"image", settings.input_path}, {"mask", settings.mask_path},
                         {"exemplar", settings.exemplar_path}, {"sample mask", sample_mask_path},
                         {"band", "--make-tileable"}, {"border", "--extend"}});
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
