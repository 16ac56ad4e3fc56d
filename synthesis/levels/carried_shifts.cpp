#include "synthesis/levels/carried_shifts.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>
#include <utility>

namespace {

// For every pixel of a width x height level that wraps around, copied from an exemplar level of
// exemplar_width x exemplar_height pixels (wrapping around along the axes that say so), its copy: the index of
// the first pixel (in raster order) of the pixels that continue each other's sources, joined.
std::vector<int> copy_labels(const int* level_sources, int width, int height, int exemplar_width, int exemplar_height,
                             bool wraps_x, bool wraps_y) {
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    std::vector<int> labels(pixels, -1);
    std::vector<int> queue;
    // The source that continues `source` one step (dx, dy) further on, or -1.
    const auto next = [&](int source, int dx, int dy) {
        int x = source % exemplar_width + dx;
        int y = source / exemplar_width + dy;
        if (wraps_x) {
            x = (x + exemplar_width) % exemplar_width;
        }
        if (wraps_y) {
            y = (y + exemplar_height) % exemplar_height;
        }
        return x < 0 || x >= exemplar_width || y < 0 || y >= exemplar_height ? -1 : y * exemplar_width + x;
    };
    constexpr int kSteps[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    for (std::size_t first = 0; first < pixels; ++first) {
        if (labels[first] >= 0) {
            continue;
        }
        labels[first] = static_cast<int>(first);
        queue.assign(1, static_cast<int>(first));
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const int p = queue[head];
            const int source = level_sources[p];
            if (source < 0) {
                continue;
            }
            const int x = p % width;
            const int y = p / width;
            for (const auto& step : kSteps) {
                const int o = ((y + step[1] + height) % height) * width + (x + step[0] + width) % width;
                if (labels[static_cast<std::size_t>(o)] < 0 && level_sources[o] == next(source, step[0], step[1])) {
                    labels[static_cast<std::size_t>(o)] = static_cast<int>(first);
                    queue.push_back(o);
                }
            }
        }
    }
    return labels;
}

// Per pixel of the coarser level, a shift of 0 or 1 along x (bit 0) and y (bit 1) drawn for its copy
// (copy_labels): the same for every pixel of a copy, depending on `salt` and on where the copy starts.
std::vector<std::uint8_t> drawn_copy_shifts(const std::vector<int>& labels, std::uint32_t salt) {
    std::vector<std::uint8_t> shifts(labels.size(), 0);
    for (std::size_t p = 0; p < labels.size(); ++p) {
        // SplitMix-style mixing of the copy's first pixel and the salt.
        std::uint64_t z = (static_cast<std::uint64_t>(labels[p]) << 32 | salt) + 0x9E3779B97F4A7C15ULL;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        shifts[p] = static_cast<std::uint8_t>((z ^ (z >> 31)) & 3);
    }
    return shifts;
}

// Per pixel of the coarser level, the shift chosen for its copy (CarriedShifts::chosen).
std::vector<std::uint8_t> chosen_copy_shifts(const SourceMaps& sources, int width, int height,
                                             const CandidateGrid& grid, const std::uint8_t* colours,
                                             const std::uint8_t* candidates, int copied,
                                             const std::vector<int>& labels, SearchTeam* team) {
    const int coarser_exemplar_width = sources.exemplar_width / 2;
    // The colour a copy whose pixel (x, y) is carried from parent `parent` with shift `shift` puts at (x + dx, y + dy).
    const auto colour = [&](int parent, int x, int y, int dx, int dy, int shift) -> const std::uint8_t* {
        int ex = 2 * (parent % coarser_exemplar_width) + x % 2 + dx + (shift & 1);
        int ey = 2 * (parent / coarser_exemplar_width) + y % 2 + dy + (shift >> 1);
        ex = grid.wraps_x ? (ex % grid.exemplar_width + grid.exemplar_width) % grid.exemplar_width
                          : std::clamp(ex, grid.left, grid.left + grid.columns - 1);
        ey = grid.wraps_y ? (ey % grid.exemplar_height + grid.exemplar_height) % grid.exemplar_height
                          : std::clamp(ey, grid.top, grid.top + grid.rows - 1);
        const std::size_t pixel = static_cast<std::size_t>(ey) * grid.exemplar_width + ex;
        return candidates[pixel] != 0 ? colours + pixel * static_cast<std::size_t>(copied) : nullptr;
    };
    const auto difference = [&](const std::uint8_t* a, const std::uint8_t* b) -> std::int64_t {
        if (a == nullptr || b == nullptr) {
            return std::int64_t{2} * copied * 255 * 255;
        }
        std::int64_t d = 0;
        for (int c = 0; c < copied; ++c) {
            d += (int{a[c]} - int{b[c]}) * (int{a[c]} - int{b[c]});
        }
        return d;
    };
    // Copies numbered in the order they start.
    std::vector<int> copy_of(labels.size(), -1);
    int copies = 0;
    for (std::size_t p = 0; p < labels.size(); ++p) {
        const auto first = static_cast<std::size_t>(labels[p]);
        if (copy_of[first] < 0) {
            copy_of[first] = copies++;
        }
        copy_of[p] = copy_of[first];
    }
    // The seams between each two copies that meet, their costs summed over the pixels where they meet: per copy a
    // (first) and b, shift of a * 4 + shift of b.
    using Costs = std::array<std::int64_t, 16>;
    using Seams = std::map<std::pair<int, int>, Costs>;
    // Found row by row, rows shared among the team's threads (each share's in its own map).
    constexpr int kRowsPerShare = 8;
    const int shares = (height + kRowsPerShare - 1) / kRowsPerShare;
    std::vector<Seams> found(static_cast<std::size_t>(shares));
    auto find_seams = [&](int /*thread*/, int share) {
        if (share >= shares) {
            return false;
        }
        Seams& seams = found[static_cast<std::size_t>(share)];
        // Along a seam the same two copies meet pixel after pixel: the last entry of each direction kept at hand.
        std::pair<int, int> last_met[2] = {{-1, -1}, {-1, -1}};
        Costs* last_cost[2] = {nullptr, nullptr};
        for (int y = share * kRowsPerShare; y < std::min(height, (share + 1) * kRowsPerShare); ++y) {
            for (int x = 0; x < width; ++x) {
                const int parent = sources.parent_at(x, y);
                if (parent < 0) {
                    continue;
                }
                const int a = copy_of[sources.parent_entry(x, y)];
                for (const int direction : {0, 1}) {
                    const std::array<int, 2> step{direction == 0 ? 1 : 0, direction == 0 ? 0 : 1};
                    const int qx = (x + step[0]) % width;
                    const int qy = (y + step[1]) % height;
                    const int other = sources.parent_at(qx, qy);
                    const int b = other < 0 ? -1 : copy_of[sources.parent_entry(qx, qy)];
                    if (b < 0 || b == a) {
                        continue;
                    }
                    // What each copy puts at both pixels, shifted each way.
                    const std::uint8_t* a_here[4];
                    const std::uint8_t* a_there[4];
                    const std::uint8_t* b_here[4];
                    const std::uint8_t* b_there[4];
                    for (int shift = 0; shift < 4; ++shift) {
                        a_here[shift] = colour(parent, x, y, 0, 0, shift);
                        a_there[shift] = colour(parent, x, y, step[0], step[1], shift);
                        b_here[shift] = colour(other, qx, qy, -step[0], -step[1], shift);
                        b_there[shift] = colour(other, qx, qy, 0, 0, shift);
                    }
                    if (last_met[direction] != std::pair<int, int>{a, b}) {
                        last_met[direction] = {a, b};
                        last_cost[direction] = &seams.try_emplace({a, b}, Costs{}).first->second;
                    }
                    Costs& cost = *last_cost[direction];
                    for (int sa = 0; sa < 4; ++sa) {
                        for (int sb = 0; sb < 4; ++sb) {
                            cost[static_cast<std::size_t>(sa * 4 + sb)] +=
                                difference(a_there[sa], b_there[sb]) + difference(a_here[sa], b_here[sb]);
                        }
                    }
                }
            }
        }
        return share + 1 < shares;
    };
    if (team != nullptr) {
        team->share(find_seams);
    } else {
        for (int share = 0; find_seams(0, share); ++share) {
        }
    }
    Seams merged;
    for (const Seams& share : found) {
        for (const auto& [copies_met, cost] : share) {
            Costs& sum = merged.try_emplace(copies_met, Costs{}).first->second;
            for (std::size_t i = 0; i < sum.size(); ++i) {
                sum[i] += cost[i];
            }
        }
    }
    struct Seam {
        int a;
        int b;
        Costs cost;
    };
    std::vector<Seam> seams;
    seams.reserve(merged.size());
    for (const auto& [copies_met, cost] : merged) {
        seams.push_back({copies_met.first, copies_met.second, cost});
    }
    std::vector<std::vector<int>> seams_of(static_cast<std::size_t>(copies));
    for (std::size_t i = 0; i < seams.size(); ++i) {
        seams_of[static_cast<std::size_t>(seams[i].a)].push_back(static_cast<int>(i));
        seams_of[static_cast<std::size_t>(seams[i].b)].push_back(static_cast<int>(i));
    }
    std::vector<int> shift(static_cast<std::size_t>(copies), 0);
    for (int sweep = 0; sweep < 2; ++sweep) {
        for (int c = 0; c < copies; ++c) {
            std::int64_t best = 0;
            int best_shift = 0;
            for (int s = 0; s < 4; ++s) {
                std::int64_t total = 0;
                for (const int i : seams_of[static_cast<std::size_t>(c)]) {
                    const Seam& seam = seams[static_cast<std::size_t>(i)];
                    total += seam.a == c
                                 ? seam.cost[static_cast<std::size_t>(s * 4 + shift[static_cast<std::size_t>(seam.b)])]
                                 : seam.cost[static_cast<std::size_t>(shift[static_cast<std::size_t>(seam.a)] * 4 + s)];
                }
                if (s == 0 || total < best) {
                    best = total;
                    best_shift = s;
                }
            }
            shift[static_cast<std::size_t>(c)] = best_shift;
        }
    }
    std::vector<std::uint8_t> shifts(labels.size());
    for (std::size_t p = 0; p < labels.size(); ++p) {
        shifts[p] = static_cast<std::uint8_t>(shift[static_cast<std::size_t>(copy_of[p])]);
    }
    return shifts;
}

}  // namespace

std::vector<std::uint8_t> carried_shifts(CarriedShifts mode, const SourceMaps& sources, int width, int height,
                                         const CandidateGrid& grid, const std::uint8_t* colours,
                                         const std::uint8_t* candidates, int copied, std::uint32_t salt,
                                         SearchTeam* team) {
    if (mode == CarriedShifts::none) {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(sources.coarser_width) * sources.coarser_height, 0);
    }
    const std::vector<int> labels =
        copy_labels(sources.coarser, sources.coarser_width, sources.coarser_height, sources.exemplar_width / 2,
                    grid.exemplar_height / 2, grid.wraps_x, grid.wraps_y);
    return mode == CarriedShifts::chosen
               ? chosen_copy_shifts(sources, width, height, grid, colours, candidates, copied, labels, team)
               : drawn_copy_shifts(labels, salt);
}
