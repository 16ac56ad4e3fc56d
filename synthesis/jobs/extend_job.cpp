#include "synthesis/jobs/extend_job.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include <texsynth/settings.h>

#include "synthesis/jobs/hole_job.h"
#include "synthesis/jobs/job_pictures.h"

namespace {

// Parts are this long along their band, or as long as the band if shorter: long enough that their joins
// are few and their strips' searches are set up seldom.
constexpr int kPartLength = 1024;
// A part's strip reaches this far past its region on each side along the edge, and as deep into the picture
// as twice the border is wide, or as makes it hold kStripPixels pixels, within these bounds (and the picture):
// enough candidates for the pixels at the join to find a good fit (with half as many, joins stood out more on
// the benchmark photos), few enough that setting up their search does not outweigh the rest. At most
// 1216 x 512 pixels, well within the exemplar limit at any number of levels.
constexpr int kStripOverhang = 2 * kExtendContext;
constexpr int kStripPixels = 65536;
constexpr int kShallowestStrip = 64;
constexpr int kDeepestStrip = 512;

// The strip of a part whose region spans [first, last) along an edge of the picture (the picture's
// coordinates), next to a border `band` pixels wide; `along` and `across` are the picture's extent along the
// edge and into it. Returns the strip's span along the edge and its depth.
std::tuple<int, int, int> strip_span(int first, int last, int band, int along, int across) {
    const int wanted = last - first + 2 * kStripOverhang;
    const int length = std::min(along, wanted);
    const int start = std::clamp(first - kStripOverhang, 0, along - length);
    const int depth = std::clamp(std::max(2 * band, kStripPixels / length), kShallowestStrip, kDeepestStrip);
    return {start, start + length, std::min(across, depth)};
}

// [first, last) cut into as few pieces of at most `length` as it takes, as even as can be.
std::vector<std::pair<int, int>> pieces(int first, int last, int length) {
    const int count = std::max(1, (last - first + length - 1) / length);
    std::vector<std::pair<int, int>> result;
    for (int i = 0; i < count; ++i) {
        result.emplace_back(first + static_cast<int>(std::int64_t{last - first} * i / count),
                            first + static_cast<int>(std::int64_t{last - first} * (i + 1) / count));
    }
    return result;
}

std::string size_text(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// The `rect` of a picture, as a picture of its own.
Image cropped(const Image& picture, const Rect& rect) {
    Image crop;
    crop.width = rect.width;
    crop.height = rect.height;
    crop.channels = picture.channels;
    crop.pixels.resize(static_cast<std::size_t>(rect.width) * rect.height * picture.channels);
    const std::size_t row_bytes = static_cast<std::size_t>(rect.width) * picture.channels;
    for (int y = 0; y < rect.height; ++y) {
        const std::size_t from = (static_cast<std::size_t>(rect.y + y) * picture.width + rect.x) * picture.channels;
        std::copy_n(&picture.pixels[from], row_bytes, &crop.pixels[y * row_bytes]);
    }
    return crop;
}

bool check_border(const Image& picture, const Border& border, JobError& error) {
    const std::pair<const char*, int> sides[] = {
        {"left", border.left}, {"top", border.top}, {"right", border.right}, {"bottom", border.bottom}};
    for (const auto& [side, grown] : sides) {
        const bool across = side[0] == 'l' || side[0] == 'r';
        const int extent = across ? picture.width : picture.height;
        if (grown < 0 || grown > extent) {
            error = {"border", std::string("the ") + side + " side: expected from 0 to " + std::to_string(extent) +
                                   " pixels (at most the picture's " + (across ? "width" : "height") + "), got " +
                                   std::to_string(grown)};
            return false;
        }
    }
    if (border.left == 0 && border.top == 0 && border.right == 0 && border.bottom == 0) {
        error = {"border", "grows the picture by nothing; give at least one side a width of at least 1 pixel"};
        return false;
    }
    return true;
}

}  // namespace

std::vector<ExtendPart> extend_parts(int width, int height, const Border& border) {
    const int grown_width = width + border.left + border.right;
    const int grown_height = height + border.top + border.bottom;
    std::vector<ExtendPart> parts;
    // Adds the parts of a band `band` pixels wide that make [first, end) along its edge and whose regions span
    // [near, far) across it, in the band's own terms: along the edge, then across it (`beside`: the band
    // beside the picture, whose edge runs down). `at_start`: the band lies before the picture across it
    // (above it or left of it), so its strip is the picture's first rows or columns.
    const auto add_band = [&](int band, int first, int end, int near, int far, bool beside, bool at_start) {
        const int length = beside ? grown_height : grown_width;
        const int offset = beside ? border.top : border.left;
        const int along = beside ? height : width;
        const int across = beside ? width : height;
        const auto oriented = [beside](int u, int v, int u_size, int v_size) {
            return beside ? Rect{v, u, v_size, u_size} : Rect{u, v, u_size, v_size};
        };
        for (const auto& [piece_first, piece_end] : pieces(first, end, kPartLength)) {
            const int start = std::max(0, piece_first - kExtendContext);
            const int stop = std::min(length, piece_end + kExtendContext);
            const auto [strip_start, strip_stop, depth] =
                strip_span(start - offset, stop - offset, band, along, across);
            parts.push_back({oriented(start, near, stop - start, far - near),
                             oriented(strip_start, at_start ? 0 : across - depth, strip_stop - strip_start, depth)});
        }
    };
    // The bands above and below, corners included: each part reaches kExtendContext pixels into the picture
    // and into the parts before and after it.
    if (border.top > 0) {
        add_band(border.top, 0, grown_width, 0, std::min(grown_height, border.top + kExtendContext), false, true);
    }
    if (border.bottom > 0) {
        add_band(border.bottom, 0, grown_width, std::max(0, border.top + height - kExtendContext), grown_height,
                 false, false);
    }
    // The bands beside it, between the bands above and below (whose parts made their first rows).
    const int first_row = border.top > 0 ? std::min(grown_height, border.top + kExtendContext) : 0;
    const int end_row = border.bottom > 0 ? std::max(first_row, border.top + height - kExtendContext) : grown_height;
    if (border.left > 0 && first_row < end_row) {
        add_band(border.left, first_row, end_row, 0, std::min(grown_width, border.left + kExtendContext), true, true);
    }
    if (border.right > 0 && first_row < end_row) {
        add_band(border.right, first_row, end_row, std::max(0, border.left + width - kExtendContext), grown_width,
                 true, false);
    }
    return parts;
}

bool check_extend_job(const Job& job, SynthesisSettings& settings, JobError& error) {
    if (job.picture == nullptr) {
        error = {"image", "none given"};
        return false;
    }
    const Image& picture = *job.picture;
    if (std::string why = picture_reason(picture); !why.empty()) {
        error = {"image", why};
        return false;
    }
    if (job.settings.match == MatchMode::approximate) {
        error = {"", "match: the kd-tree search (approximate) cannot keep pixels as they are; growing a picture "
                     "uses the exact, coherent or refined search"};
        return false;
    }
    if (!check_border(picture, job.border, error)) {
        return false;
    }
    const int grown_width = picture.width + job.border.left + job.border.right;
    const int grown_height = picture.height + job.border.top + job.border.bottom;
    if (grown_width - 1 > kMaxMapCoordinate || grown_height - 1 > kMaxMapCoordinate) {
        error = {"border", "the grown picture would be " + size_text(grown_width, grown_height) +
                               ", wider or taller than " + std::to_string(kMaxMapCoordinate + 1) + " pixels"};
        return false;
    }
    if (job.exemplar != nullptr) {
        if (std::string why = picture_reason(*job.exemplar); !why.empty()) {
            error = {"exemplar", why};
            return false;
        }
    }
    // The levels suit the smallest region and strip, and hold for every other.
    int region_width = grown_width;
    int region_height = grown_height;
    int strip_width = picture.width;
    int strip_height = picture.height;
    for (const ExtendPart& part : extend_parts(picture.width, picture.height, job.border)) {
        region_width = std::min(region_width, part.region.width);
        region_height = std::min(region_height, part.region.height);
        strip_width = std::min(strip_width, part.strip.width);
        strip_height = std::min(strip_height, part.strip.height);
    }
    const int exemplar_width = job.exemplar != nullptr ? job.exemplar->width : strip_width;
    const int exemplar_height = job.exemplar != nullptr ? job.exemplar->height : strip_height;
    settings = with_levels_chosen(job.settings, exemplar_width, exemplar_height, region_width, region_height);
    if (job.settings.levels == 0 && settings.levels > kMostChosenHoleLevels) {
        settings.levels = kMostChosenHoleLevels;
        settings.matrix = automatic_matrix(settings.levels);
    }
    for (const auto& [width, height] : {std::pair{grown_width, grown_height}, std::pair{region_width, region_height}}) {
        if (std::string why = check_settings(settings, width, height); !why.empty()) {
            error = {"", why};
            return false;
        }
    }
    if (std::string why = check_exemplar(settings, exemplar_width, exemplar_height); !why.empty()) {
        error = {job.exemplar != nullptr ? "exemplar" : "image", why};
        return false;
    }
    return true;
}

bool run_extend_job(const Job& job, const SynthesisSettings& settings, JobResult& result, JobError& error,
                    const JobHooks& hooks) {
    LapClock total_clock;
    const Image& picture = *job.picture;
    const Border& border = job.border;
    const int width = picture.width + border.left + border.right;
    const int height = picture.height + border.top + border.bottom;

    // The grown picture, its border made part by part; `made` marks what is there so far.
    Image& grown = result.image;
    grown.width = width;
    grown.height = height;
    grown.channels = picture.channels;
    grown.pixels.assign(static_cast<std::size_t>(width) * height * picture.channels, 0);
    std::vector<std::uint8_t> made(static_cast<std::size_t>(width) * height, 0);
    result.map = {};
    if (job.with_map) {
        result.map.width = width;
        result.map.height = height;
        result.map.xy.assign(static_cast<std::size_t>(width) * height * 2, 0);
    }
    const std::size_t row_bytes = static_cast<std::size_t>(picture.width) * picture.channels;
    for (int y = 0; y < picture.height; ++y) {
        const std::size_t at = static_cast<std::size_t>(border.top + y) * width + border.left;
        std::copy_n(&picture.pixels[y * row_bytes], row_bytes, &grown.pixels[at * picture.channels]);
        std::fill_n(&made[at], picture.width, 1);
        for (int x = 0; x < picture.width && job.with_map; ++x) {
            result.map.xy[(at + x) * 2] = static_cast<std::uint16_t>(x);
            result.map.xy[(at + x) * 2 + 1] = static_cast<std::uint16_t>(y);
        }
    }

    // Progress is told as one level, the grown picture, over the parts and their levels.
    const std::vector<ExtendPart> parts = extend_parts(picture.width, picture.height, border);
    constexpr int kStepsPerLevel = 1000;
    const int steps = static_cast<int>(parts.size()) * settings.levels * kStepsPerLevel;
    int steps_done = 0;
    int level_steps = 0;
    JobHooks part_hooks;
    part_hooks.should_stop = hooks.should_stop;
    part_hooks.profile = hooks.profile;
    if (hooks.on_rows) {
        part_hooks.on_level_start = [&](int, int, int) { level_steps = 0; };
        part_hooks.on_level = [&](const LevelPixels&) { steps_done += kStepsPerLevel; };
        part_hooks.on_rows = [&](int rows_done, int rows) {
            level_steps = static_cast<int>(std::int64_t{rows_done} * kStepsPerLevel / std::max(1, rows));
            hooks.on_rows(steps_done + level_steps, steps);
        };
    }
    if (hooks.on_level_start) {
        hooks.on_level_start(0, width, height);
    }

    NoiseDraws draws(settings.seed);
    for (const ExtendPart& part : parts) {
        const Rect& region = part.region;
        std::vector<std::uint8_t> hole = crop_mask(made.data(), width, region);
        std::transform(hole.begin(), hole.end(), hole.begin(), [](std::uint8_t m) { return m == 0 ? 1 : 0; });
        if (std::find(hole.begin(), hole.end(), 1) == hole.end()) {
            steps_done += settings.levels * kStepsPerLevel;
            continue;
        }
        const Image strip = job.exemplar == nullptr ? cropped(picture, part.strip) : Image{};
        const Image& exemplar = job.exemplar != nullptr ? *job.exemplar : strip;
        RegionFill fill;
        fill.picture = &grown;
        fill.region = region;
        fill.hole = &hole;
        fill.exemplar = &exemplar;
        std::vector<int> sources;
        if (!synthesize_region(fill, settings, draws, sources, error, part_hooks)) {
            return false;
        }
        // Map coordinates are the picture's (or the exemplar's).
        const int offset_x = job.exemplar == nullptr ? part.strip.x : 0;
        const int offset_y = job.exemplar == nullptr ? part.strip.y : 0;
        for (int y = 0; y < region.height; ++y) {
            for (int x = 0; x < region.width; ++x) {
                const std::size_t r = static_cast<std::size_t>(y) * region.width + x;
                if (hole[r] == 0) {
                    continue;
                }
                const std::size_t i = static_cast<std::size_t>(region.y + y) * width + region.x + x;
                copy_pixel(exemplar, static_cast<std::size_t>(sources[r]), grown, i);
                made[i] = 1;
                if (job.with_map) {
                    result.map.xy[i * 2] = static_cast<std::uint16_t>(sources[r] % exemplar.width + offset_x);
                    result.map.xy[i * 2 + 1] = static_cast<std::uint16_t>(sources[r] / exemplar.width + offset_y);
                }
            }
        }
    }
    if (hooks.on_level) {
        const std::vector<std::uint8_t> rgb = matched_colours(grown);
        hooks.on_level({0, width, height, rgb.data()});
    }
    if (hooks.profile != nullptr) {
        hooks.profile->total += total_clock.lap();
    }
    return true;
}
