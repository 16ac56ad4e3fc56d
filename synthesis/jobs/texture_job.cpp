#include "synthesis/jobs/texture_job.h"

#include <algorithm>
#include <cstdio>

#include <texsynth/settings.h>

#include "pyramid/exemplar_pyramid.h"
#include "synthesis/jobs/exemplar_set.h"
#include "synthesis/jobs/job_pictures.h"
#include "synthesis/jobs/matched_pictures.h"
#include "synthesis/jobs/output_noise.h"
#include "synthesis/jobs/seam_cut.h"
#include "synthesis/jobs/transfer_guides.h"
#include "synthesis/levels/level_loop.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/training_set.h"

namespace {

// LevelJob::guide_tolerance of a job with guides, in grey levels. A label guide's regions differ by far more;
// for a transfer's light and dark, 32 keeps the result's luminance in step with the target's (correlation 0.82
// on a 512 x 512 photo, 0.61 with 64) while its texture stays the exemplar's (24 gains little and costs
// coherence).
constexpr int kGuideTolerance = 32;
// A remix's cells weigh this much as a guide.
constexpr double kRemixGuideWeight = 0.0;

std::string size_text(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// "guide" for the only exemplar's, "guide 2" for the second of several.
std::string numbered(const std::string& what, std::size_t index, std::size_t count) {
    return count > 1 ? what + " " + std::to_string(index + 1) : what;
}

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A job's pictures as the synthesis takes them: a transfer's guides made from its pictures' light and dark.
struct TextureInputs {
    std::vector<const Image*> exemplars;
    // A transfer's guides (the target's first, then each exemplar's), or a remix's (each exemplar's, then the
    // cells').
    std::vector<Image> made_guides;
    std::vector<const Image*> guides;
    const Image* target_guide = nullptr;
    int width = 0;
    int height = 0;
    double guide_weight = kDefaultGuideWeight;
};

std::vector<const Image*> exemplars_of(const Job& job) {
    return job.exemplars.empty() ? std::vector<const Image*>{job.exemplar} : job.exemplars;
}

// Whether a job remixes several exemplars without guides: the remix's cells are then its guides.
bool remixes(const Job& job) {
    return job.kind == JobKind::generate && job.exemplars.size() > 1 && job.target_guide == nullptr;
}

// A grey picture of the given size whose every pixel is `value`.
Image flat_picture(int width, int height, std::uint8_t value) {
    return {width, height, 3, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, value)};
}

// Exemplar i's label in a remix: the labels spread evenly over the grey levels.
std::uint8_t remix_label(std::size_t i, std::size_t count) { return static_cast<std::uint8_t>(i * 255 / (count - 1)); }

TextureInputs inputs_of(const Job& job) {
    TextureInputs inputs;
    inputs.exemplars = exemplars_of(job);
    if (remixes(job)) {
        const std::size_t count = inputs.exemplars.size();
        inputs.width = job.width;
        inputs.height = job.height;
        std::vector<ExemplarPlace> places;
        inputs.made_guides.reserve(count + 1);
        for (std::size_t i = 0; i < count; ++i) {
            const Image& exemplar = *inputs.exemplars[i];
            places.push_back({0, 0, exemplar.width, exemplar.height});
            inputs.made_guides.push_back(flat_picture(exemplar.width, exemplar.height, remix_label(i, count)));
            inputs.guides.push_back(&inputs.made_guides.back());
        }
        const std::vector<int> cells = remix_cells(places, job.width, job.height, job.settings.seed);
        Image target = flat_picture(job.width, job.height, 0);
        for (std::size_t p = 0; p < cells.size(); ++p) {
            std::fill_n(&target.pixels[p * 3], 3, remix_label(static_cast<std::size_t>(cells[p]), count));
        }
        inputs.made_guides.push_back(std::move(target));
        inputs.target_guide = &inputs.made_guides.back();
        inputs.guide_weight = kRemixGuideWeight;
        return inputs;
    }
    if (job.kind != JobKind::transfer) {
        inputs.width = job.width;
        inputs.height = job.height;
        inputs.guides = job.guides;
        inputs.target_guide = job.target_guide;
        inputs.guide_weight = job.guide_weight.value_or(kDefaultGuideWeight);
        return inputs;
    }
    inputs.width = job.picture->width;
    inputs.height = job.picture->height;
    inputs.made_guides.reserve(inputs.exemplars.size() + 1);
    inputs.made_guides.push_back(luminance(*job.picture));
    for (const Image* exemplar : inputs.exemplars) {
        inputs.made_guides.push_back(matched_to(luminance(*exemplar), inputs.made_guides[0]));
        inputs.guides.push_back(&inputs.made_guides.back());
    }
    inputs.target_guide = &inputs.made_guides[0];
    inputs.guide_weight = job.guide_weight.value_or(kDefaultTransferWeight);
    return inputs;
}

// Every guide of the job, the exemplars' and the target's.
std::vector<const Image*> every_guide(const TextureInputs& inputs) {
    std::vector<const Image*> guides = inputs.guides;
    if (inputs.target_guide != nullptr) {
        guides.push_back(inputs.target_guide);
    }
    return guides;
}

bool weight_in_range(double weight) { return weight >= 0 && weight <= kMaxMatchWeight; }

std::string weight_reason(double weight) {
    return "expected a weight from 0 to " + number_text(kMaxMatchWeight) + ", got " + number_text(weight);
}

// Checks what the job gives beside its exemplars: the lists' counts, the pictures' sizes and the weights.
bool check_companions(const Job& job, const std::vector<const Image*>& exemplars, JobError& error) {
    const std::size_t count = exemplars.size();
    const auto count_reason = [count](std::size_t given) {
        return "expected one for every exemplar (" + std::to_string(count) + "), got " + std::to_string(given);
    };
    const auto size_reason = [](const Image& picture, const Image& exemplar, const std::string& whose) {
        return "is " + size_text(picture.width, picture.height) + ", not the size of " + whose + " (" +
               size_text(exemplar.width, exemplar.height) + ")";
    };
    if (!job.sample_masks.empty() && job.sample_masks.size() != count) {
        error = {"sample masks", count_reason(job.sample_masks.size())};
        return false;
    }
    if (!job.guides.empty() && job.guides.size() != count) {
        error = {"guides", count_reason(job.guides.size())};
        return false;
    }
    if (!job.guides.empty() && job.target_guide == nullptr) {
        error = {"guides", "lay out the result only with a target guide, the layout wanted; none given"};
        return false;
    }
    if (job.guides.empty() && job.target_guide != nullptr) {
        error = {"target guide", "needs a guide of every exemplar as well, saying where each shows what it asks for"};
        return false;
    }
    if (job.guide_weight && !weight_in_range(*job.guide_weight)) {
        error = {"guide weight", weight_reason(*job.guide_weight)};
        return false;
    }
    for (const MatchedMaps& kind : job.match_also) {
        if (kind.maps.size() != count) {
            error = {"match-also maps", count_reason(kind.maps.size())};
            return false;
        }
        if (!weight_in_range(kind.weight)) {
            error = {"match-also weight", weight_reason(kind.weight)};
            return false;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const Image& exemplar = *exemplars[i];
        const std::string whose = count > 1 ? "exemplar " + std::to_string(i + 1) : "the exemplar";
        const std::size_t pixels = static_cast<std::size_t>(exemplar.width) * exemplar.height;
        if (!job.sample_masks.empty()) {
            const std::string subject = numbered("sample mask", i, count);
            const std::vector<std::uint8_t>* mask = job.sample_masks[i];
            if (mask == nullptr || mask->size() != pixels) {
                error = {subject, "is not the size of " + whose + " (" + size_text(exemplar.width, exemplar.height) +
                                      ")"};
                return false;
            }
            if (std::all_of(mask->begin(), mask->end(), [](std::uint8_t m) { return m == 0; })) {
                error = {subject, "allows no pixel to be copied (non-black pixels mark those that may be)"};
                return false;
            }
        }
        std::vector<std::pair<std::string, const Image*>> pictures;
        if (!job.guides.empty()) {
            pictures.emplace_back(numbered("guide", i, count), job.guides[i]);
        }
        for (std::size_t k = 0; k < job.match_also.size(); ++k) {
            pictures.emplace_back("map " + std::to_string(k * count + i + 1), job.match_also[k].maps[i]);
        }
        for (const auto& [subject, picture] : pictures) {
            if (picture == nullptr) {
                error = {subject, "none given"};
                return false;
            }
            if (std::string why = picture_reason(*picture); !why.empty()) {
                error = {subject, why};
                return false;
            }
            if (picture->width != exemplar.width || picture->height != exemplar.height) {
                error = {subject, size_reason(*picture, exemplar, whose)};
                return false;
            }
        }
    }
    if (job.target_guide != nullptr) {
        if (std::string why = picture_reason(*job.target_guide); !why.empty()) {
            error = {"target guide", why};
            return false;
        }
        if (job.target_guide->width != job.width || job.target_guide->height != job.height) {
            error = {"target guide", "is " + size_text(job.target_guide->width, job.target_guide->height) +
                                         ", not the output's size (" + size_text(job.width, job.height) + ")"};
            return false;
        }
    }
    return true;
}

// Where the noise of output level n was drawn from, as pixels of the set's level n.
std::vector<int> noise_sources(const std::vector<int>& drawn, const LevelTable& output, const ExemplarSet& set,
                               int n) {
    const std::size_t first = static_cast<std::size_t>(output.offset[n] / output.channels);
    std::vector<int> sources(static_cast<std::size_t>(output.width[n]) * output.height[n]);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        sources[i] = set.at_level(drawn[first + i], n);
    }
    return sources;
}

// The result made of the exemplars' pixels at `sources` (pixels of the set's level 0), and its source map.
void assemble_result(const ExemplarSet& set, const std::vector<const Image*>& exemplars,
                     const std::vector<int>& sources, int width, int height, bool with_map, JobResult& result) {
    int channels = 3;
    for (const Image* exemplar : exemplars) {
        channels = std::max(channels, exemplar->channels);
    }
    result.image.width = width;
    result.image.height = height;
    result.image.channels = channels;
    result.image.pixels.resize(sources.size() * static_cast<std::size_t>(channels));
    result.map = {};
    if (with_map) {
        result.map.width = width;
        result.map.height = height;
        result.map.xy.resize(sources.size() * 2);
        if (exemplars.size() > 1) {
            result.map.exemplar.resize(sources.size());
        }
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const ExemplarSet::Source source = set.source_of(sources[i]);
        const Image& exemplar = *exemplars[static_cast<std::size_t>(source.exemplar)];
        copy_pixel(exemplar, static_cast<std::size_t>(source.y) * exemplar.width + source.x, result.image, i);
        if (with_map) {
            result.map.xy[i * 2] = static_cast<std::uint16_t>(source.x);
            result.map.xy[i * 2 + 1] = static_cast<std::uint16_t>(source.y);
            if (!result.map.exemplar.empty()) {
                result.map.exemplar[i] = static_cast<std::uint16_t>(source.exemplar);
            }
        }
    }
}

}  // namespace

bool check_texture_job(const Job& job, SynthesisSettings& settings, JobError& error) {
    const bool transfer = job.kind == JobKind::transfer;
    if (transfer) {
        if (job.picture == nullptr) {
            error = {"target", "none given"};
            return false;
        }
        if (std::string why = picture_reason(*job.picture); !why.empty()) {
            error = {"target", why};
            return false;
        }
        if (!job.guides.empty() || job.target_guide != nullptr) {
            error = {"guides", "a transfer makes its own, from the light and dark of the target and the exemplar"};
            return false;
        }
    }
    if (job.exemplar != nullptr && !job.exemplars.empty()) {
        error = {"exemplar", "give one exemplar or a list of them, not both"};
        return false;
    }
    const std::vector<const Image*> exemplars = exemplars_of(job);
    const std::size_t count = exemplars.size();
    int smallest_width = 0;
    int smallest_height = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (exemplars[i] == nullptr) {
            error = {numbered("exemplar", i, count), "none given"};
            return false;
        }
        if (std::string why = picture_reason(*exemplars[i]); !why.empty()) {
            error = {numbered("exemplar", i, count), why};
            return false;
        }
        smallest_width = i == 0 ? exemplars[i]->width : std::min(smallest_width, exemplars[i]->width);
        smallest_height = i == 0 ? exemplars[i]->height : std::min(smallest_height, exemplars[i]->height);
    }
    if (job.settings.match == MatchMode::approximate && (count > 1 || !job.sample_masks.empty())) {
        error = {"", "match: the kd-tree search (approximate) cannot leave pixels out; several exemplars and "
                     "sample masks use the exact, coherent or refined search"};
        return false;
    }
    if (!check_companions(job, exemplars, error)) {
        return false;
    }
    const TextureInputs inputs = transfer ? inputs_of(job) : TextureInputs{};
    const int width = transfer ? inputs.width : job.width;
    const int height = transfer ? inputs.height : job.height;
    settings = with_levels_chosen(job.settings, smallest_width, smallest_height, width, height, true);
    if (std::string why = check_settings(settings, width, height); !why.empty()) {
        error = {"", why};
        return false;
    }
    const int levels = settings.levels;
    std::vector<const Image*> guides = transfer ? every_guide(inputs) : job.guides;
    if (!transfer && job.target_guide != nullptr) {
        guides.push_back(job.target_guide);
    }
    const Image remix_label = flat_picture(1, 1, 0);
    if (remixes(job)) {
        guides.push_back(&remix_label);
    }
    const MatchedChannels channels = plan_channels(job.match_also, guides, 1.0).channels;
    if (pyramid_bytes(width, height, levels, channels.count) > kMaxOutputPyramidBytes) {
        error = {"", "output size: " + size_text(width, height) + " is too large: with its guides and maps, its " +
                         "pyramid would take more than " + std::to_string(kMaxOutputPyramidBytes) + " bytes"};
        return false;
    }
    std::int64_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Image& exemplar = *exemplars[i];
        if (std::string why = check_exemplar(settings, exemplar.width, exemplar.height); !why.empty()) {
            error = {numbered("exemplar", i, count), why};
            return false;
        }
        total += pyramid_bytes(exemplar.width, exemplar.height, levels);
        if (settings.match == MatchMode::approximate && !channels.plain()) {
            const LevelTable table = make_level_table(exemplar.width, exemplar.height, levels);
            for (int n = 0; n < levels; ++n) {
                const int* row = settings.matrix.row(n, levels);
                const std::int64_t components =
                    training_candidate_count(table, n, training_border(table, row, n, levels)) *
                    neighbourhood_dimension(row, n, levels, NeighbourhoodShape::causal, channels);
                if (components > kMaxTrainingComponents) {
                    error = {"", "level " + std::to_string(n) + " would need " + std::to_string(components) +
                                     " components, more than the " + std::to_string(kMaxTrainingComponents) +
                                     " allowed; use smaller half-sizes or a smaller exemplar"};
                    return false;
                }
            }
        }
    }
    if (total > kMaxExemplarPyramidBytes) {
        error = {"exemplars", "are too large together: their pyramids with " + std::to_string(levels) +
                                  (levels == 1 ? " level" : " levels") + " take " + std::to_string(total) +
                                  " bytes, at most " + std::to_string(kMaxExemplarPyramidBytes) + " are allowed " +
                                  "(every search compares against nearly every pixel of every exemplar)"};
        return false;
    }
    return true;
}

bool run_texture_job(const Job& job, const SynthesisSettings& settings, JobResult& result, JobError& error,
                     const JobHooks& hooks) {
    LapClock total_clock;
    LapClock clock;
    const TextureInputs inputs = inputs_of(job);
    const int levels = settings.levels;
    const ChannelPlan plan = plan_channels(job.match_also, every_guide(inputs), inputs.guide_weight);
    const int channels = plan.channels.count;
    const std::size_t count = inputs.exemplars.size();
    std::vector<ExemplarPixels> exemplars;
    for (std::size_t i = 0; i < count; ++i) {
        const Image& exemplar = *inputs.exemplars[i];
        const Image* guide = inputs.guides.empty() ? nullptr : inputs.guides[i];
        exemplars.push_back({exemplar.width, exemplar.height,
                             matched_exemplar(exemplar, job.match_also, static_cast<int>(i), guide, plan),
                             matched_colours(exemplar), job.sample_masks.empty() ? nullptr : job.sample_masks[i]});
    }
    const ExemplarSet set = lay_out_exemplars(exemplars, settings, channels, settings.match == MatchMode::refined);
    if (const int n = level_without_allowed(set, settings); n >= 0) {
        error = {count > 1 ? "sample masks" : "sample mask",
                 "leave no pixel to copy at level " + std::to_string(n) + " of the pyramid, inside the border its " +
                     "neighbourhoods need; allow more, or use fewer levels or the refined search"};
        return false;
    }
    std::vector<std::uint8_t> output_pyramid(
        static_cast<std::size_t>(pyramid_bytes(inputs.width, inputs.height, levels, channels)));
    LevelTable output_levels = make_level_table(inputs.width, inputs.height, levels, channels);
    if (inputs.target_guide != nullptr) {
        build_exemplar_pyramid(matched_target(*inputs.target_guide, plan).data(), inputs.width, inputs.height,
                               output_pyramid, output_levels, levels, channels);
    }
    if (hooks.profile != nullptr) {
        hooks.profile->loading += clock.lap();
    }
    std::vector<int> drawn;
    const NoisePools pools(set, plan.channels.copied, inputs.target_guide != nullptr ? plan.guide_channels : 0);
    fill_with_noise(set, pools, plan.channels.copied, levels, settings.seed, output_pyramid, output_levels,
                    settings.match != MatchMode::approximate ? &drawn : nullptr);
    if (hooks.profile != nullptr) {
        hooks.profile->noise += clock.lap();
    }
    LevelLoop loop;
    loop.settings = settings;
    loop.channels = plan.channels;
    loop.exemplar_pyramid = set.pyramid.data();
    loop.exemplar_levels = set.levels;
    loop.output_pyramid = output_pyramid.data();
    loop.output_levels = output_levels;
    // A transfer re-makes a picture, which need not tile: its reads stop at its edges.
    loop.output_edges = job.kind == JobKind::transfer ? EdgeRule::clamp : EdgeRule::wrap;
    // The refined search reads the exemplar's edges as its own seams suggest, and keeps a regular pattern's
    // copies in step with its periods.
    if (settings.match == MatchMode::refined) {
        loop.exemplar_edges = set.edges;
        loop.periods = set.periods;
    }
    loop.excluded = set.excluded;
    loop.excluded_own_level = set.excluded;
    if (inputs.target_guide != nullptr) {
        // A remix's cells lay out every level but the finest, which settles the cells' borders by matching; their
        // labels lie further apart than twice the tolerance.
        const int spacing = remixes(job) ? 255 / static_cast<int>(count - 1) : 255;
        loop.guide_tolerance.assign(static_cast<std::size_t>(levels), std::clamp(spacing / 2, 1, kGuideTolerance));
        if (remixes(job) && levels > 1) {
            loop.guide_tolerance[0] = 0;
        }
    }

    if (settings.match != MatchMode::approximate) {
        for (int n = 0; n < levels; ++n) {
            loop.sources.push_back(noise_sources(drawn, output_levels, set, n));
        }
    }
    std::vector<int> sources;
    if (!synthesize_levels(loop, sources, hooks, error)) {
        return false;
    }
    assemble_result(set, inputs.exemplars, sources, inputs.width, inputs.height, job.with_map, result);
    if (settings.typical_seam && job.kind == JobKind::generate && inputs.target_guide == nullptr) {
        // A regular pattern's cut is drawn from the seed; any other texture's copies differ with the seed anyway.
        cut_at_typical_seams(result, set.periods.found ? settings.seed : std::nullopt);
    }
    if (hooks.profile != nullptr) {
        hooks.profile->total += total_clock.lap();
    }
    return true;
}
