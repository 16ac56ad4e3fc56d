#include "synthesis/jobs/exemplar_set.h"

#include <algorithm>

#include "pyramid/exemplar_pyramid.h"
#include "synthesis/search/exemplar_edges.h"
#include "synthesis/search/training_set.h"

std::vector<std::vector<std::uint8_t>> masked_levels(const std::vector<std::uint8_t>& mask, const LevelTable& table,
                                                     int levels) {
    std::vector<std::vector<std::uint8_t>> out(static_cast<std::size_t>(levels));
    out[0].resize(mask.size());
    std::transform(mask.begin(), mask.end(), out[0].begin(), [](std::uint8_t m) { return m == 0 ? 1 : 0; });
    for (int n = 1; n < levels; ++n) {
        const int width = table.width[n];
        const int finer_width = table.width[n - 1];
        out[n].resize(static_cast<std::size_t>(width) * table.height[n]);
        for (int y = 0; y < table.height[n]; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* a = &out[n - 1][static_cast<std::size_t>(2 * y) * finer_width + 2 * x];
                const std::uint8_t* b = a + finer_width;
                out[n][static_cast<std::size_t>(y) * width + x] = a[0] & a[1] & b[0] & b[1];
            }
        }
    }
    return out;
}

namespace {

// Coordinate c of an axis of `size` pixels, brought inside by wrapping around or clamping.
int inside(int c, int size, ExemplarEdges edges) {
    if (edges == ExemplarEdges::wrapped) {
        const int r = c % size;
        return r < 0 ? r + size : r;
    }
    return std::clamp(c, 0, size - 1);
}

// One exemplar: its own pyramid, edges and periods as the refined search chooses them.
ExemplarSet single_exemplar(const ExemplarPixels& exemplar, const SynthesisSettings& settings, int channels,
                            bool refined) {
    ExemplarSet set;
    const int levels = settings.levels;
    set.pyramid.resize(static_cast<std::size_t>(pyramid_bytes(exemplar.width, exemplar.height, levels, channels)));
    build_exemplar_pyramid(exemplar.matched.data(), exemplar.width, exemplar.height, set.pyramid, set.levels, levels,
                           channels);
    if (refined) {
        set.periods = find_period_lattice(exemplar.rgb.data(), exemplar.width, exemplar.height, settings.seed);
        // Only a regular pattern is read around its edges where it tiles by itself, so that its copies stay in
        // step with its periods across them. Any other exemplar's copies stop at its edges even where it tiles:
        // a copy running on across the wrap-around seam joins pixels that never meet in the exemplar, a seam
        // of its own beside those between the copies (on demo2, 6 % of the output, 42 % of its coherence error).
        if (set.periods.found) {
            choose_exemplar_edges(exemplar.rgb.data(), exemplar.width, exemplar.height, set.edges);
        } else {
            set.edges.edges_x = set.edges.edges_y = ExemplarEdges::clamped;
        }
    }
    set.places.push_back({0, 0, exemplar.width, exemplar.height});
    if (exemplar.mask != nullptr) {
        set.excluded = masked_levels(*exemplar.mask, set.levels, levels);
    }
    return set;
}

}  // namespace

ExemplarSet lay_out_exemplars(const std::vector<ExemplarPixels>& exemplars, const SynthesisSettings& settings,
                              int channels, bool refined) {
    ExemplarSet set;
    if (exemplars.size() == 1) {
        set = single_exemplar(exemplars[0], settings, channels, refined);
    } else {
        const int levels = settings.levels;
        // Places stay whole at every level; the margin at level v reaches past the widest read at that level
        // (the half-size, and one more where an odd size puts a coarser pixel one past the end).
        const int unit = 1 << (levels - 1);
        int widest = 0;
        for (int e = 0; e < levels * levels; ++e) {
            widest = std::max(widest, settings.matrix.entries[static_cast<std::size_t>(e)]);
        }
        const int margin = (widest + 1) * unit;
        const auto rounded = [unit](int size) { return (size + unit - 1) / unit * unit; };
        int width = 0;
        int height = 0;
        for (const ExemplarPixels& exemplar : exemplars) {
            set.places.push_back({width + margin, margin, exemplar.width, exemplar.height});
            width += rounded(exemplar.width) + 2 * margin;
            height = std::max(height, rounded(exemplar.height) + 2 * margin);
        }
        set.levels = make_level_table(width, height, levels, channels);
        set.pyramid.assign(static_cast<std::size_t>(pyramid_bytes(width, height, levels, channels)), 0);
        // Everything is left out but the exemplars' own pixels (and of those, what their masks leave out).
        for (int n = 0; n < levels; ++n) {
            set.excluded.emplace_back(static_cast<std::size_t>(set.levels.width[n]) * set.levels.height[n], 1);
        }
        for (std::size_t i = 0; i < exemplars.size(); ++i) {
            const ExemplarPixels& exemplar = exemplars[i];
            std::vector<std::uint8_t> own(
                static_cast<std::size_t>(pyramid_bytes(exemplar.width, exemplar.height, levels, channels)));
            LevelTable table;
            build_exemplar_pyramid(exemplar.matched.data(), exemplar.width, exemplar.height, own, table, levels,
                                   channels);
            CandidateOptions edges;
            choose_exemplar_edges(exemplar.rgb.data(), exemplar.width, exemplar.height, edges);
            const auto masked = exemplar.mask != nullptr ? masked_levels(*exemplar.mask, table, levels)
                                                         : std::vector<std::vector<std::uint8_t>>{};
            for (int n = 0; n < levels; ++n) {
                const int left = set.places[i].x >> n;
                const int top = set.places[i].y >> n;
                const int reach = margin >> n;
                for (int y = -reach; y < table.height[n] + reach; ++y) {
                    for (int x = -reach; x < table.width[n] + reach; ++x) {
                        const int from_x = inside(x, table.width[n], edges.edges_x);
                        const int from_y = inside(y, table.height[n], edges.edges_y);
                        std::copy_n(&own[static_cast<std::size_t>(pixel_index(table, n, from_x, from_y))], channels,
                                    &set.pyramid[static_cast<std::size_t>(
                                        pixel_index(set.levels, n, left + x, top + y))]);
                    }
                }
                std::vector<std::uint8_t>& excluded = set.excluded[static_cast<std::size_t>(n)];
                for (int y = 0; y < table.height[n]; ++y) {
                    for (int x = 0; x < table.width[n]; ++x) {
                        const std::size_t own_pixel = static_cast<std::size_t>(y) * table.width[n] + x;
                        excluded[static_cast<std::size_t>(top + y) * set.levels.width[n] + left + x] =
                            masked.empty() ? 0 : masked[static_cast<std::size_t>(n)][own_pixel];
                    }
                }
            }
        }
        set.edges.edges_x = ExemplarEdges::clamped;
        set.edges.edges_y = ExemplarEdges::clamped;
    }
    const int width = set.levels.width[0];
    for (const ExemplarPlace& place : set.places) {
        for (int y = place.y; y < place.y + place.height; ++y) {
            for (int x = place.x; x < place.x + place.width; ++x) {
                const int p = y * width + x;
                if (set.excluded.empty() || set.excluded[0][static_cast<std::size_t>(p)] == 0) {
                    set.allowed.push_back(p);
                }
            }
        }
    }
    return set;
}

ExemplarSet::Source ExemplarSet::source_of(int p) const {
    const int x = p % levels.width[0];
    const int y = p / levels.width[0];
    int e = 0;
    while (e + 1 < static_cast<int>(places.size()) && x >= places[static_cast<std::size_t>(e) + 1].x) {
        ++e;
    }
    const ExemplarPlace& place = places[static_cast<std::size_t>(e)];
    return {e, x - place.x, y - place.y};
}

int ExemplarSet::at_level(int p, int n) const {
    const Source source = source_of(p);
    const ExemplarPlace& place = places[static_cast<std::size_t>(source.exemplar)];
    const int x = (place.x >> n) + std::min(source.x >> n, (place.width >> n) - 1);
    const int y = (place.y >> n) + std::min(source.y >> n, (place.height >> n) - 1);
    return y * levels.width[n] + x;
}

int level_without_allowed(const ExemplarSet& set, const SynthesisSettings& settings) {
    if (set.excluded.empty()) {
        return -1;
    }
    const int levels = settings.levels;
    const bool every_pixel = settings.match == MatchMode::refined;
    for (int n = levels - 1; n >= 0; --n) {
        const CandidateGrid grid =
            every_pixel ? training_grid(set.levels, settings.matrix.row(n, levels), n, levels, ExemplarEdges::clamped,
                                        ExemplarEdges::clamped)
                        : training_grid(set.levels, settings.matrix.row(n, levels), n, levels);
        const std::vector<std::uint8_t>& excluded = set.excluded[static_cast<std::size_t>(n)];
        bool any = false;
        for (int y = grid.top; y < grid.top + grid.rows && !any; ++y) {
            for (int x = grid.left; x < grid.left + grid.columns && !any; ++x) {
                any = excluded[static_cast<std::size_t>(y) * grid.exemplar_width + x] == 0;
            }
        }
        if (!any) {
            return n;
        }
    }
    return -1;
}
