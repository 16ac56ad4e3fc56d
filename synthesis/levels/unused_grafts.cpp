#include "synthesis/levels/unused_grafts.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "synthesis/levels/area_sums.h"
#include "synthesis/levels/pixel_difference.h"

namespace {

struct Place {
    int x = -1;
    int y = -1;
};

// The output level, its sources and how often each exemplar pixel is copied, as grafts change them.
class Grafts {
public:
    Grafts(const CandidateGrid& grid, const std::uint8_t* exemplar, int channels, int compared,
           std::vector<int>& sources, int width, int height)
        : grid_(grid), exemplar_(exemplar), channels_(channels), compared_(compared), sources_(sources),
          width_(width), height_(height),
          uses_(static_cast<std::size_t>(grid.exemplar_width) * grid.exemplar_height, 0),
          grafted_(sources.size(), 0) {
        for (const int source : sources) {
            if (source >= 0) {
                ++uses_[static_cast<std::size_t>(source)];
            }
        }
    }

    bool is_candidate(int x, int y) const {
        return x >= grid_.left && x < grid_.left + grid_.columns && y >= grid_.top && y < grid_.top + grid_.rows &&
               (grid_.excluded == nullptr || grid_.excluded[y * grid_.exemplar_width + x] == 0);
    }
    bool unused(int x, int y) const {
        return is_candidate(x, y) && uses_[static_cast<std::size_t>(y) * grid_.exemplar_width + x] == 0;
    }

    // What grafting the exemplar square of `side` pixels at (ex, ey) to output place (ox, oy) costs: the squared
    // differences between what it and its surroundings hold and what the output holds there; `bound` (never
    // reached) where it would take over a graft or a pixel's only copy, or once it costs `bound` or more.
    std::int64_t cost(int ex, int ey, int side, int ox, int oy, std::int64_t bound) const {
        std::int64_t total = 0;
        for (int j = -1; j <= side; ++j) {
            const int y = ey + j;
            if (y < 0 || y >= grid_.exemplar_height) {
                continue;
            }
            for (int i = -1; i <= side; ++i) {
                const int x = ex + i;
                if (x < 0 || x >= grid_.exemplar_width) {
                    continue;
                }
                const std::size_t p = output_at(ox + i, oy + j);
                const int source = sources_[p];
                const bool inside = i >= 0 && i < side && j >= 0 && j < side;
                if (inside && (grafted_[p] != 0 || source < 0 || uses_[static_cast<std::size_t>(source)] <= 1)) {
                    return bound;
                }
                if (source >= 0) {
                    total += pixel_difference(exemplar_, channels_, compared_, y * grid_.exemplar_width + x, source);
                }
            }
            if (total >= bound) {
                return bound;
            }
        }
        return total;
    }

    void graft(int ex, int ey, int side, Place place) {
        for (int j = 0; j < side; ++j) {
            for (int i = 0; i < side; ++i) {
                const std::size_t p = output_at(place.x + i, place.y + j);
                const int source = (ey + j) * grid_.exemplar_width + ex + i;
                --uses_[static_cast<std::size_t>(sources_[p])];
                ++uses_[static_cast<std::size_t>(source)];
                sources_[p] = source;
                grafted_[p] = 1;
            }
        }
    }

    int width() const { return width_; }
    int height() const { return height_; }

private:
    std::size_t output_at(int x, int y) const {
        x = (x % width_ + width_) % width_;
        y = (y % height_ + height_) % height_;
        return static_cast<std::size_t>(y) * width_ + x;
    }

    const CandidateGrid& grid_;
    const std::uint8_t* exemplar_;
    int channels_;
    int compared_;
    std::vector<int>& sources_;
    int width_;
    int height_;
    std::vector<int> uses_;
    std::vector<std::uint8_t> grafted_;
};

// Where the exemplar square at (ex, ey) costs least: every `stride` pixels, then pixel by pixel around the best
// of those. None where every place is taken.
Place best_place(const Grafts& grafts, int ex, int ey, int side, int stride) {
    std::int64_t least = std::numeric_limits<std::int64_t>::max();
    Place best;
    const auto weigh = [&](int ox, int oy) {
        const std::int64_t cost = grafts.cost(ex, ey, side, ox, oy, least);
        if (cost < least) {
            least = cost;
            best = {ox, oy};
        }
    };
    for (int oy = 0; oy < grafts.height(); oy += stride) {
        for (int ox = 0; ox < grafts.width(); ox += stride) {
            weigh(ox, oy);
        }
    }
    if (best.x >= 0 && stride > 1) {
        const Place coarse = best;
        for (int dy = 1 - stride; dy < stride; ++dy) {
            for (int dx = 1 - stride; dx < stride; ++dx) {
                weigh((coarse.x + dx + grafts.width()) % grafts.width(),
                      (coarse.y + dy + grafts.height()) % grafts.height());
            }
        }
    }
    return best;
}

}  // namespace

int graft_unused(const CandidateGrid& grid, const std::uint8_t* exemplar, int channels, int compared,
                 std::vector<int>& sources, int width, int height, const Grafting& grafting) {
    if (grafting.side <= 0) {
        return 0;
    }
    const int side = std::max(kLeastGraftSide,
                              static_cast<int>(std::lround(grafting.side * std::min(grid.columns, grid.rows))));
    if (grid.columns < side || grid.rows < side || width < side + 2 || height < side + 2) {
        return 0;
    }
    const int exemplar_width = grid.exemplar_width;
    const int exemplar_height = grid.exemplar_height;
    Grafts grafts(grid, exemplar, channels, compared, sources, width, height);
    const auto count_all = [&](auto counted) {
        int total = 0;
        for (int y = 0; y < exemplar_height; ++y) {
            for (int x = 0; x < exemplar_width; ++x) {
                total += counted(x, y) ? 1 : 0;
            }
        }
        return total;
    };
    const int candidates = count_all([&](int x, int y) { return grafts.is_candidate(x, y); });
    const AreaSums<int> candidate_sums(exemplar_width, exemplar_height,
                                       [&](int x, int y) { return grafts.is_candidate(x, y) ? 1 : 0; });
    const int stride = std::max(1, side / 4);
    int count = 0;
    while (count_all([&](int x, int y) { return grafts.unused(x, y); }) > grafting.unused_share * candidates) {
        // The square of candidates holding the most unused pixels.
        const AreaSums<int> unused_sums(exemplar_width, exemplar_height,
                                        [&](int x, int y) { return grafts.unused(x, y) ? 1 : 0; });
        int most = 0;
        Place square;
        for (int y = 0; y + side <= exemplar_height; ++y) {
            for (int x = 0; x + side <= exemplar_width; ++x) {
                const int unused = unused_sums.sum(x, y, x + side, y + side);
                if (unused > most && candidate_sums.sum(x, y, x + side, y + side) == side * side) {
                    most = unused;
                    square = {x, y};
                }
            }
        }
        if (most == 0 || most < grafting.least_unused * side * side) {
            break;
        }
        const Place place = best_place(grafts, square.x, square.y, side, stride);
        if (place.x < 0) {
            break;
        }
        grafts.graft(square.x, square.y, side, place);
        ++count;
    }
    return count;
}
