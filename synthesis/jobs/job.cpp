#include <texsynth/job.h>

#include <ANN/ANN.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include <texsynth/settings.h>

#include "synthesis/jobs/extend_job.h"
#include "synthesis/jobs/hole_job.h"
#include "synthesis/jobs/job_pictures.h"
#include "synthesis/jobs/texture_job.h"

namespace {

// A fill's or a tiling's sample mask: one, of the size of the picture its new pixels come from.
bool check_hole_sample_mask(const Job& job, JobError& error) {
    if (job.sample_masks.empty()) {
        return true;
    }
    const Image& source = job.exemplar != nullptr ? *job.exemplar : *job.picture;
    const char* whose = job.exemplar != nullptr ? "the exemplar" : "the image";
    const std::vector<std::uint8_t>* mask = job.sample_masks[0];
    if (job.sample_masks.size() != 1) {
        error = {"sample masks", std::string("expected one, for ") + whose + ", got " +
                                     std::to_string(job.sample_masks.size())};
        return false;
    }
    if (mask == nullptr || mask->size() != static_cast<std::size_t>(source.width) * source.height) {
        error = {"sample mask", std::string("is not the size of ") + whose + " (" + std::to_string(source.width) +
                                    "x" + std::to_string(source.height) + ")"};
        return false;
    }
    if (std::all_of(mask->begin(), mask->end(), [](std::uint8_t m) { return m == 0; })) {
        error = {"sample mask", "allows no pixel to be copied (non-black pixels mark those that may be)"};
        return false;
    }
    return true;
}

// Checks the job and decides what its settings leave open.
bool check_job(const Job& job, SynthesisSettings& settings, JobError& error) {
    if (std::string why = check_setting_ranges(job.settings); !why.empty()) {
        error = {"", why};
        return false;
    }
    if (job.kind == JobKind::fill || job.kind == JobKind::tile || job.kind == JobKind::extend) {
        // What is made where is said for textures and transfers only, but for the sample mask of a fill or a
        // tiling.
        const std::pair<const char*, bool> controls[] = {
            {"exemplars", !job.exemplars.empty()},
            {"sample masks", !job.sample_masks.empty() && job.kind == JobKind::extend},
            {"guides", !job.guides.empty()},           {"target guide", job.target_guide != nullptr},
            {"guide weight", job.guide_weight.has_value()}, {"match-also maps", !job.match_also.empty()},
        };
        const char* kind = job.kind == JobKind::fill ? "a fill" : job.kind == JobKind::tile ? "a tiling" : "a grown picture";
        for (const auto& [subject, given] : controls) {
            if (given) {
                const bool mask = std::string_view(subject) == "sample masks";
                error = {subject, std::string(mask ? "only for a texture, a transfer, a fill or a tiling, not for "
                                                   : "only for a texture or a transfer, not for ") +
                                      kind};
                return false;
            }
        }
    }
    if (job.kind == JobKind::extend) {
        return check_extend_job(job, settings, error);
    }
    if (job.kind == JobKind::fill || job.kind == JobKind::tile) {
        return check_hole_job(job, settings, error) && check_hole_sample_mask(job, error);
    }
    return check_texture_job(job, settings, error);
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
    if (job.kind == JobKind::fill || job.kind == JobKind::tile) {
        return run_hole_job(job, settings, result, error, hooks);
    }
    return run_texture_job(job, settings, result, error, hooks);
}

bool apply_source_map(const Image& image, const SourceMap& map, Image& result, JobError& error) {
    return apply_source_map(std::vector<const Image*>{&image}, map, result, error);
}

bool apply_source_map(const std::vector<const Image*>& images, const SourceMap& map, Image& result,
                      JobError& error) {
    int channels = 3;
    for (std::size_t k = 0; k < images.size(); ++k) {
        std::string subject = "image";
        if (images.size() > 1) {
            subject.append(" ").append(std::to_string(k + 1));
        }
        if (images[k] == nullptr) {
            error = {subject, "none given"};
            return false;
        }
        if (std::string why = picture_reason(*images[k]); !why.empty()) {
            error = {subject, why};
            return false;
        }
        channels = std::max(channels, images[k]->channels);
    }
    const std::size_t pixels = static_cast<std::size_t>(map.width) * map.height;
    if (images.empty()) {
        error = {"image", "none given"};
        return false;
    }
    if (map.xy.size() != pixels * 2 || (!map.exemplar.empty() && map.exemplar.size() != pixels)) {
        error = {"source map", "its coordinates do not match its size"};
        return false;
    }
    const auto pixel_text = [&map](std::size_t i) {
        return "pixel (" + std::to_string(i % map.width) + ", " + std::to_string(i / map.width) + ")";
    };
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::size_t k = map.exemplar.empty() ? 0 : map.exemplar[i];
        if (k >= images.size()) {
            std::string why = pixel_text(i);
            why += " comes from picture " + std::to_string(k + 1) + " (blue " + std::to_string(k) + "), but ";
            why += std::to_string(images.size()) + (images.size() == 1 ? " is given" : " are given");
            error = {"source map", why};
            return false;
        }
        const Image& image = *images[k];
        const int x = map.xy[i * 2];
        const int y = map.xy[i * 2 + 1];
        if (x >= image.width || y >= image.height) {
            std::string why = pixel_text(i);
            why += " points at (" + std::to_string(x) + ", " + std::to_string(y) + "), outside the ";
            why += std::to_string(image.width) + "x" + std::to_string(image.height) + " image";
            if (images.size() > 1) {
                why.append(" ").append(std::to_string(k + 1));
            }
            error = {"source map", why};
            return false;
        }
    }
    result.width = map.width;
    result.height = map.height;
    result.channels = channels;
    result.pixels.resize(pixels * channels);
    for (std::size_t i = 0; i < pixels; ++i) {
        const Image& image = *images[map.exemplar.empty() ? 0 : map.exemplar[i]];
        copy_pixel(image, static_cast<std::size_t>(map.xy[i * 2 + 1]) * image.width + map.xy[i * 2], result, i);
    }
    return true;
}

void release_search_state() { annClose(); }
