#include "synthesis/levels/copy_seams.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "synthesis/levels/min_cut.h"
#include "synthesis/levels/pixel_difference.h"
#include "synthesis/search/repeat_shifts.h"

namespace {

// Calls work(thread, share) for shares 0, 1, 2, ... until it returns false: on the team's threads, if there is one.
template <class Work>
void in_turns(SearchTeam* team, Work& work) {
    if (team != nullptr) {
        team->share(work);
    } else {
        for (int share = 0; work(0, share); ++share) {
        }
    }
}

// Moving pixels per share of the team's work on a move's costs.
constexpr std::size_t kNodesPerShare = 256;

struct Step {
    int dx;
    int dy;
};
// Right and down first: a pixel's own seams, the ones each pair is counted from.
constexpr Step kSteps[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};

// What the seams cost: the exemplar level's pixels, and how its copies go on from pixel to pixel.
class SeamCosts {
public:
    SeamCosts(const CandidateGrid& grid, const std::uint8_t* exemplar, int channels, int compared,
              double outer_weight)
        : grid_(grid), exemplar_(exemplar), channels_(channels), compared_(compared), outer_weight_(outer_weight),
          unreached_(std::int64_t{2} * compared * 255 * 255) {
        const int pixels = grid.exemplar_width * grid.exemplar_height;
        column_.resize(static_cast<std::size_t>(pixels));
        row_.resize(static_cast<std::size_t>(pixels));
        for (int p = 0; p < pixels; ++p) {
            column_[static_cast<std::size_t>(p)] = p % grid.exemplar_width;
            row_[static_cast<std::size_t>(p)] = p / grid.exemplar_width;
        }
        for (int k = 0; k < 4; ++k) {
            next_[k].resize(static_cast<std::size_t>(pixels));
            second_[k].resize(static_cast<std::size_t>(pixels));
            for (int p = 0; p < pixels; ++p) {
                next_[k][static_cast<std::size_t>(p)] = step(p, kSteps[k].dx, kSteps[k].dy);
                second_[k][static_cast<std::size_t>(p)] = step(p, 2 * kSteps[k].dx, 2 * kSteps[k].dy);
            }
        }
    }

    int exemplar_width() const { return grid_.exemplar_width; }

    // The exemplar pixel a copy holding `source` puts (dx, dy) further on, or -1 where it does not reach.
    int step(int source, int dx, int dy) const {
        if (source < 0) {
            return -1;
        }
        const int x = column_[static_cast<std::size_t>(source)] + dx;
        const int y = row_[static_cast<std::size_t>(source)] + dy;
        if (x >= grid_.left && x < grid_.left + grid_.columns && y >= grid_.top && y < grid_.top + grid_.rows) {
            const int pixel = y * grid_.exemplar_width + x;
            return grid_.excluded != nullptr && grid_.excluded[pixel] != 0 ? -1 : pixel;
        }
        // Past the candidates' edges: none, or where the exemplar wraps around, the pixel it wraps to.
        const int candidate = grid_.candidate_at(x, y);
        return candidate < 0 ? -1 : grid_.pixel_of(candidate);
    }

    // step(source, kSteps[k].dx, kSteps[k].dy), looked up, and two steps on.
    int next(int source, int k) const { return source < 0 ? -1 : next_[k][static_cast<std::size_t>(source)]; }
    int second(int source, int k) const { return source < 0 ? -1 : second_[k][static_cast<std::size_t>(source)]; }

    // The seam between a pixel copied from `a` and its neighbour one step kSteps[k] further on, copied from `b`.
    std::int64_t cost(int a, int b, int k) const {
        const int a_there = next(a, k);
        if (a_there == b && b >= 0) {
            return 0;
        }
        const int back = (k + 2) % 4;
        std::int64_t total = difference(a, next(b, back)) + difference(a_there, b);
        if (outer_weight_ > 0) {
            const std::int64_t outer =
                difference(next(a, back), second(b, back)) + difference(second(a, k), next(b, k));
            total += std::llround(outer_weight_ * static_cast<double>(outer));
        }
        return total;
    }

private:
    std::int64_t difference(int a, int b) const {
        if (a < 0 || b < 0) {
            return unreached_;
        }
        return pixel_difference(exemplar_, channels_, compared_, a, b);
    }

    const CandidateGrid& grid_;
    const std::uint8_t* exemplar_;
    int channels_;
    int compared_;
    double outer_weight_;
    std::int64_t unreached_;
    std::vector<int> column_;  // per exemplar pixel, its column and row
    std::vector<int> row_;
    std::vector<int> next_[4];    // per step of kSteps, step() of every exemplar pixel
    std::vector<int> second_[4];  // and of two such steps
};

// The output level, which wraps around.
class Torus {
public:
    Torus(int width, int height) : width_(width), height_(height) {}
    int width() const { return width_; }
    int height() const { return height_; }
    int column(int p) const { return p % width_; }
    int row(int p) const { return p / width_; }
    // The neighbours of p one step kSteps[k] away, in that order.
    std::array<int, 4> neighbours(int p) const {
        const int x = p % width_;
        const int row = p - x;
        const int right = x + 1 == width_ ? row : p + 1;
        const int left = x == 0 ? p + width_ - 1 : p - 1;
        const int pixels = width_ * height_;
        const int down = p + width_ >= pixels ? p + width_ - pixels : p + width_;
        const int up = p < width_ ? p + pixels - width_ : p - width_;
        return {right, down, left, up};
    }
    // The pixel s away from pixel (x, y), s within the torus's size.
    int shifted(int x, int y, Step s) const {
        x += s.dx;
        y += s.dy;
        x = x < 0 ? x + width_ : x >= width_ ? x - width_ : x;
        y = y < 0 ? y + height_ : y >= height_ ? y - height_ : y;
        return y * width_ + x;
    }

private:
    int width_;
    int height_;
};

// The first pixel of every copy of at least `least` pixels, in raster order: the pixels that continue each other's
// sources, joined.
std::vector<int> copy_seeds(const SeamCosts& costs, const Torus& torus, const std::vector<int>& sources,
                            std::size_t least) {
    std::vector<std::uint8_t> seen(sources.size(), 0);
    std::vector<int> seeds;
    std::vector<int> queue;
    for (std::size_t first = 0; first < sources.size(); ++first) {
        if (seen[first] != 0 || sources[first] < 0) {
            continue;
        }
        seen[first] = 1;
        queue.assign(1, static_cast<int>(first));
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const int p = queue[head];
            const int source = sources[static_cast<std::size_t>(p)];
            const std::array<int, 4> around = torus.neighbours(p);
            for (int k = 0; k < 4; ++k) {
                const int o = around[k];
                if (seen[static_cast<std::size_t>(o)] == 0 &&
                    sources[static_cast<std::size_t>(o)] == costs.next(source, k)) {
                    seen[static_cast<std::size_t>(o)] = 1;
                    queue.push_back(o);
                }
            }
        }
        if (queue.size() >= least) {
            seeds.push_back(static_cast<int>(first));
        }
    }
    return seeds;
}

// Whether output pixel (x, y) copied from exemplar pixel `source` is in step with a regular pattern's lattice.
bool in_step(const LatticePhase& phase, int exemplar_width, int source, int x, int y) {
    int sx = source % exemplar_width;
    int sy = source / exemplar_width;
    phase.snap(sx, sy, x, y);
    return sy * exemplar_width + sx == source;
}

// One copy's move: the pixels it may take over and what it would put there.
class Move {
public:
    explicit Move(std::size_t pixels) : reached_(pixels, -1), node_(pixels, -1) {}

    // Reaches out from the copy through `seed` (its pixels found as copy_seeds does) up to `reach` pixels past
    // its edge, as far as the copy goes on in the exemplar. Returns false if there is nothing to take over.
    bool reach_out(const SeamCosts& costs, const Torus& torus, const std::vector<int>& sources, int seed,
                   int reach, const LatticePhase* phase) {
        clear();
        touched_.push_back(seed);
        reached_[static_cast<std::size_t>(seed)] = sources[static_cast<std::size_t>(seed)];
        for (std::size_t head = 0; head < touched_.size(); ++head) {
            const int p = touched_[head];
            const std::array<int, 4> around = torus.neighbours(p);
            for (int k = 0; k < 4; ++k) {
                const int o = around[k];
                const int there = costs.next(reached_[static_cast<std::size_t>(p)], k);
                if (reached_[static_cast<std::size_t>(o)] < 0 && there >= 0 &&
                    sources[static_cast<std::size_t>(o)] == there) {
                    reached_[static_cast<std::size_t>(o)] = there;
                    touched_.push_back(o);
                }
            }
        }
        std::vector<int> front = touched_;
        std::vector<int> next;
        for (int distance = 1; distance <= reach && !front.empty(); ++distance) {
            next.clear();
            for (const int p : front) {
                const std::array<int, 4> around = torus.neighbours(p);
                for (int k = 0; k < 4; ++k) {
                    const int o = around[k];
                    const int there = costs.next(reached_[static_cast<std::size_t>(p)], k);
                    if (reached_[static_cast<std::size_t>(o)] >= 0 || there < 0 ||
                        (phase != nullptr &&
                         !in_step(*phase, costs.exemplar_width(), there, torus.column(o), torus.row(o)))) {
                        continue;
                    }
                    reached_[static_cast<std::size_t>(o)] = there;
                    node_[static_cast<std::size_t>(o)] = static_cast<int>(nodes_.size());
                    nodes_.push_back(o);
                    touched_.push_back(o);
                    next.push_back(o);
                }
            }
            front.swap(next);
        }
        return !nodes_.empty();
    }

    const std::vector<int>& nodes() const { return nodes_; }
    int node(int p) const { return node_[static_cast<std::size_t>(p)]; }
    int reached(int p) const { return reached_[static_cast<std::size_t>(p)]; }

private:
    void clear() {
        for (const int p : touched_) {
            reached_[static_cast<std::size_t>(p)] = -1;
            node_[static_cast<std::size_t>(p)] = -1;
        }
        touched_.clear();
        nodes_.clear();
    }

    std::vector<int> reached_;  // per output pixel, the source the copy would give it (-1: out of reach)
    std::vector<int> node_;     // per output pixel, its place in nodes_ (-1: not one of them)
    std::vector<int> nodes_;    // the pixels the copy may take over
    std::vector<int> touched_;  // every pixel with an entry above
};

// The shifts at which the output repeats most, counted exactly as the moves change sources: for shift s, the pixels
// p whose source equals that of p + s (the same as at -s, which is not kept apart). Every other shift is taken to
// stay below the allowed share, where the penalty does not reach.
class WatchedShifts {
public:
    WatchedShifts(const std::vector<int>& sources, const Torus& torus, int exemplar_pixels,
                  const SeamSettling& settling, int compared, SearchTeam* team)
        : torus_(torus), pixels_(static_cast<std::int64_t>(torus.width()) * torus.height()),
          allowed_(static_cast<std::int64_t>(settling.shift_allowed * static_cast<double>(pixels_))),
          steep_(static_cast<std::int64_t>(std::min(1.0, settling.shift_steep) * static_cast<double>(pixels_))),
          per_pair_(settling.shift_penalty * 2.0 * compared / static_cast<double>(pixels_)) {
        if (settling.shift_penalty == 0) {
            return;
        }
        // Chosen by a count of the pairs that pixels on every kSample-th row and column make with every other
        // pixel of their source (about a kSample squared-th of all: copies are large), then counted exactly.
        const int width = torus.width();
        const int height = torus.height();
        std::vector<int> first(static_cast<std::size_t>(exemplar_pixels) + 1, 0);
        for (const int source : sources) {
            if (source >= 0) {
                ++first[static_cast<std::size_t>(source) + 1];
            }
        }
        for (std::size_t e = 1; e < first.size(); ++e) {
            first[e] += first[e - 1];
        }
        std::vector<int> uses(static_cast<std::size_t>(first.back()));
        std::vector<int> next(first.begin(), first.end() - 1);
        for (std::size_t p = 0; p < sources.size(); ++p) {
            if (sources[p] >= 0) {
                uses[static_cast<std::size_t>(next[static_cast<std::size_t>(sources[p])]++)] = static_cast<int>(p);
            }
        }
        std::vector<std::int32_t> sampled(sources.size(), 0);
        for (int y = 0; y < height; y += kSample) {
            for (int x = 0; x < width; x += kSample) {
                const int source = sources[static_cast<std::size_t>(y) * width + x];
                if (source < 0) {
                    continue;
                }
                for (int u = first[static_cast<std::size_t>(source)]; u < first[static_cast<std::size_t>(source) + 1];
                     ++u) {
                    const int q = uses[static_cast<std::size_t>(u)];
                    int dx = torus.column(q) - x;
                    int dy = torus.row(q) - y;
                    dx += dx < 0 ? width : 0;
                    dy += dy < 0 ? height : 0;
                    ++sampled[static_cast<std::size_t>(dy) * width + dx];
                }
            }
        }
        const double from = (settling.shift_allowed - kWatchMargin) * static_cast<double>(pixels_);
        for (int dy = 0; dy < height; ++dy) {
            for (int dx = 0; dx < width; ++dx) {
                // One of s and -s (the same count): the first in raster order.
                const int back_x = dx == 0 ? 0 : width - dx;
                const int back_y = dy == 0 ? 0 : height - dy;
                const bool first_of_pair = dy < back_y || (dy == back_y && dx <= back_x);
                const std::int32_t both = sampled[static_cast<std::size_t>(dy) * width + dx] +
                                          sampled[static_cast<std::size_t>(back_y) * width + back_x];
                const double estimate = static_cast<double>(both) * kSample * kSample / 2;
                if ((dx != 0 || dy != 0) && first_of_pair && estimate > from) {
                    shifts_.push_back({dx, dy});
                }
            }
        }
        pairs_.assign(shifts_.size(), 0);
        auto count_shift = [&](int /*thread*/, int share) {
            const std::size_t i = static_cast<std::size_t>(share);
            if (i >= shifts_.size()) {
                return false;
            }
            const Step shift = shifts_[i];
            std::int64_t pairs = 0;
            for (int y = 0; y < height; ++y) {
                const int* row = sources.data() + static_cast<std::size_t>(y) * width;
                const int* ahead = sources.data() + static_cast<std::size_t>((y + shift.dy) % height) * width;
                for (int x = 0; x < width - shift.dx; ++x) {
                    pairs += row[x] >= 0 && row[x] == ahead[x + shift.dx];
                }
                for (int x = width - shift.dx; x < width; ++x) {
                    pairs += row[x] >= 0 && row[x] == ahead[x + shift.dx - width];
                }
            }
            pairs_[i] = pairs;
            return i + 1 < shifts_.size();
        };
        in_turns(team, count_shift);
        list_over();
    }

    // The penalty for pixel p taking `source` (its own pairs left out where it has that source already).
    std::int64_t cost(const std::vector<int>& sources, int p, int source) const {
        if (source < 0) {
            return 0;
        }
        const bool own = sources[static_cast<std::size_t>(p)] == source;
        const int x = torus_.column(p);
        const int y = torus_.row(p);
        double total = 0;
        for (const std::size_t i : over_) {
            const int ahead = torus_.shifted(x, y, shifts_[i]);
            const int behind = torus_.shifted(x, y, {-shifts_[i].dx, -shifts_[i].dy});
            const int joined = (sources[static_cast<std::size_t>(ahead)] == source) +
                               (sources[static_cast<std::size_t>(behind)] == source);
            if (joined > 0) {
                const std::int64_t pairs = pairs_[i] - (own ? joined : 0);
                total += static_cast<double>(joined) * static_cast<double>(beyond(pairs));
            }
        }
        return std::llround(per_pair_ * total);
    }

    // Pixel p's source becomes `source` (the counts are changed before `sources` is).
    void change(const std::vector<int>& sources, int p, int source) {
        const int before = sources[static_cast<std::size_t>(p)];
        const int x = torus_.column(p);
        const int y = torus_.row(p);
        bool crossed = false;
        for (std::size_t i = 0; i < shifts_.size(); ++i) {
            const int ahead = sources[static_cast<std::size_t>(torus_.shifted(x, y, shifts_[i]))];
            const int behind = sources[static_cast<std::size_t>(torus_.shifted(x, y, {-shifts_[i].dx, -shifts_[i].dy}))];
            const std::int64_t was = pairs_[i];
            pairs_[i] += (ahead == source) + (behind == source) - (ahead == before) - (behind == before);
            crossed = crossed || (was > allowed_) != (pairs_[i] > allowed_);
        }
        if (crossed) {
            list_over();
        }
    }

private:
    // How far below the allowed share a shift is watched, and the rows and columns its pairs are estimated from.
    static constexpr double kWatchMargin = 0.01;
    static constexpr int kSample = 4;

    // The pairs beyond the allowed share, those beyond the steep one counting RepeatShifts::kSteepWeight times.
    std::int64_t beyond(std::int64_t pairs) const {
        return (pairs > allowed_ ? pairs - allowed_ : 0) +
               (pairs > steep_ ? std::int64_t{RepeatShifts::kSteepWeight - 1} * (pairs - steep_) : 0);
    }

    // The shifts beyond the allowed share, the only ones the penalty weighs.
    void list_over() {
        over_.clear();
        for (std::size_t i = 0; i < shifts_.size(); ++i) {
            if (pairs_[i] > allowed_) {
                over_.push_back(i);
            }
        }
    }

    Torus torus_;
    std::int64_t pixels_;
    std::int64_t allowed_;
    std::int64_t steep_;
    double per_pair_;
    std::vector<Step> shifts_;
    std::vector<std::int64_t> pairs_;
    std::vector<std::size_t> over_;
};

}  // namespace

void settle_seams(const CandidateGrid& grid, const std::uint8_t* exemplar, int channels, int compared,
                  std::vector<int>& sources, int width, int height, const SeamSettling& settling,
                  const LatticePhase* phase, const std::function<bool()>& should_stop, SearchTeam* team) {
    if (settling.reach <= 0 || settling.sweeps <= 0 || width * height <= 1) {
        return;
    }
    // The moves' costs are shared out many times a second, with a little work of one thread between.
    const SearchTeam::Awake awake(team);
    const SeamCosts costs(grid, exemplar, channels, compared, settling.outer_weight);
    const Torus torus(width, height);
    WatchedShifts shifts(sources, torus, grid.exemplar_width * grid.exemplar_height, settling, compared, team);
    Move move(sources.size());
    BinaryChoice choice;
    // Per exemplar pixel, the output pixels holding it: a pixel that holds the only copy of its exemplar pixel
    // keeps that part of the exemplar in the texture, and is worth settling.last_use.
    std::vector<int> uses(static_cast<std::size_t>(grid.exemplar_width) * grid.exemplar_height, 0);
    for (const int source : sources) {
        if (source >= 0) {
            ++uses[static_cast<std::size_t>(source)];
        }
    }
    const std::int64_t last_use_worth = std::llround(settling.last_use * 2.0 * compared);
    const auto only_copy = [&](int source, bool held) -> std::int64_t {
        return source >= 0 && uses[static_cast<std::size_t>(source)] - (held ? 1 : 0) == 0 ? -last_use_worth : 0;
    };
    // What each moving pixel costs with the pixels that stay as they are, keeping its source or taking the
    // copy's, and the seams between moving neighbours: each pair once, from the first of the two, with its cost
    // as each keeps (0) or takes (1): 00, 01, 10, 11.
    std::vector<std::int64_t> keep_cost;
    std::vector<std::int64_t> take_cost;
    struct SeamPair {
        int first;  // -1: no seam
        int second;
        std::int64_t cost[4];
    };
    std::vector<SeamPair> seams;  // per moving pixel, its seams right and down if the neighbour moves too
    for (int sweep = 0; sweep < settling.sweeps; ++sweep) {
        std::vector<int> seeds =
            copy_seeds(costs, torus, sources, static_cast<std::size_t>(std::max(1, settling.least_copy)));
        if (sweep % 2 == 1) {
            std::reverse(seeds.begin(), seeds.end());
        }
        std::vector<int> seed_sources;
        for (const int seed : seeds) {
            seed_sources.push_back(sources[static_cast<std::size_t>(seed)]);
        }
        for (std::size_t c = 0; c < seeds.size(); ++c) {
            if (should_stop && should_stop()) {
                return;
            }
            // A copy taken over by the ones before it this round waits for the next.
            if (sources[static_cast<std::size_t>(seeds[c])] != seed_sources[c] ||
                !move.reach_out(costs, torus, sources, seeds[c], settling.reach, phase)) {
                continue;
            }
            const std::vector<int>& nodes = move.nodes();
            keep_cost.assign(nodes.size(), 0);
            take_cost.assign(nodes.size(), 0);
            seams.resize(2 * nodes.size());
            const auto cost_nodes = [&](std::size_t begin, std::size_t end) {
                for (std::size_t i = begin; i < end; ++i) {
                    const int p = nodes[i];
                    const int keep = sources[static_cast<std::size_t>(p)];
                    const int take = move.reached(p);
                    keep_cost[i] = shifts.cost(sources, p, keep) + only_copy(keep, true);
                    take_cost[i] = shifts.cost(sources, p, take) + only_copy(take, take == keep);
                    const std::array<int, 4> around = torus.neighbours(p);
                    for (int k = 0; k < 4; ++k) {
                        const int o = around[k];
                        const int j = move.node(o);
                        if (k < 2) {
                            seams[2 * i + static_cast<std::size_t>(k)].first = -1;
                        }
                        if (o == p) {
                            continue;
                        }
                        // Each seam from its first pixel: right and down from p, left and up from o.
                        if (j < 0) {
                            const int so = sources[static_cast<std::size_t>(o)];
                            keep_cost[i] += k < 2 ? costs.cost(keep, so, k) : costs.cost(so, keep, k - 2);
                            take_cost[i] += k < 2 ? costs.cost(take, so, k) : costs.cost(so, take, k - 2);
                        } else if (k < 2) {
                            const int keep_o = sources[static_cast<std::size_t>(o)];
                            const int take_o = move.reached(o);
                            seams[2 * i + static_cast<std::size_t>(k)] = {
                                static_cast<int>(i), j,
                                {costs.cost(keep, keep_o, k), costs.cost(keep, take_o, k),
                                 costs.cost(take, keep_o, k), costs.cost(take, take_o, k)}};
                        }
                    }
                }
            };
            // The pixels' costs read only what stays as it is during a move: large moves share them out.
            auto work = [&](int /*thread*/, int share) {
                const std::size_t begin = static_cast<std::size_t>(share) * kNodesPerShare;
                if (begin >= nodes.size()) {
                    return false;
                }
                const std::size_t end = std::min(nodes.size(), begin + kNodesPerShare);
                cost_nodes(begin, end);
                return end < nodes.size();
            };
            in_turns(team, work);
            choice.reset(static_cast<int>(nodes.size()));
            std::int64_t before = 0;
            for (std::size_t i = 0; i < nodes.size(); ++i) {
                choice.add_unary(static_cast<int>(i), keep_cost[i], take_cost[i]);
                before += keep_cost[i];
            }
            for (const SeamPair& pair : seams) {
                if (pair.first < 0) {
                    continue;
                }
                // A seam may cost more than the two it would be replaced by (the cut needs it not to): the cut sees
                // it as costing no more, and the move is checked against the true costs below.
                const std::int64_t kept = std::min(pair.cost[0], pair.cost[1] + pair.cost[2] - pair.cost[3]);
                choice.add_pair(pair.first, pair.second, kept, pair.cost[1], pair.cost[2], pair.cost[3]);
                before += pair.cost[0];
            }
            const std::vector<std::uint8_t>& taken = choice.solve();
            std::int64_t after = 0;
            for (std::size_t i = 0; i < nodes.size(); ++i) {
                after += taken[i] != 0 ? take_cost[i] : keep_cost[i];
            }
            for (const SeamPair& pair : seams) {
                if (pair.first < 0) {
                    continue;
                }
                after += pair.cost[taken[static_cast<std::size_t>(pair.first)] * 2 +
                                   taken[static_cast<std::size_t>(pair.second)]];
            }
            if (after >= before) {
                continue;
            }
            for (std::size_t i = 0; i < nodes.size(); ++i) {
                const int p = nodes[i];
                if (taken[i] != 0 && sources[static_cast<std::size_t>(p)] != move.reached(p)) {
                    shifts.change(sources, p, move.reached(p));
                    --uses[static_cast<std::size_t>(sources[static_cast<std::size_t>(p)])];
                    ++uses[static_cast<std::size_t>(move.reached(p))];
                    sources[static_cast<std::size_t>(p)] = move.reached(p);
                }
            }
        }
    }
}
