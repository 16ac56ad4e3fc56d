#include "synthesis/patterns/period_cells.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace {

struct CellShift {
    std::int64_t cell;
    int dx;
    int dy;
};

constexpr std::int64_t kRange = std::int64_t{1} << 31;  // cells and shifts stay well within +-2^30

std::int64_t cell_key(int k, int l) { return k * kRange + l; }

}  // namespace

void keep_cells_whole(const LatticePhase& phase, int width, int height, int exemplar_width, int exemplar_height,
                      std::vector<int>& sources) {
    if (!phase.active()) {
        return;
    }
    // Every pixel by cell, then by shift: runs of one shift within a cell are counted in order.
    struct Entry {
        std::int64_t cell;
        std::int64_t shift;
        int pixel;
    };
    std::vector<Entry> entries;
    entries.reserve(sources.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int pixel = y * width + x;
            const int source = sources[static_cast<std::size_t>(pixel)];
            int k = 0;
            int l = 0;
            phase.cell_of(x, y, k, l);
            const int dx = source % exemplar_width - x;
            const int dy = source / exemplar_width - y;
            entries.push_back({cell_key(k, l), dy * kRange + dx, pixel});
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.cell != b.cell ? a.cell < b.cell : a.shift != b.shift ? a.shift < b.shift : a.pixel < b.pixel;
    });
    // The shift most pixels of each cell have (the least of equally common ones), by cell.
    std::vector<CellShift> chosen;
    for (std::size_t first = 0; first < entries.size();) {
        std::size_t end = first;
        while (end < entries.size() && entries[end].cell == entries[first].cell) {
            ++end;
        }
        std::size_t best = first;
        std::size_t best_count = 0;
        for (std::size_t run = first; run < end;) {
            std::size_t next = run;
            while (next < end && entries[next].shift == entries[run].shift) {
                ++next;
            }
            if (next - run > best_count) {
                best_count = next - run;
                best = run;
            }
            run = next;
        }
        const int pixel = entries[best].pixel;
        const int source = sources[static_cast<std::size_t>(pixel)];
        chosen.push_back({entries[first].cell, source % exemplar_width - pixel % width,
                          source / exemplar_width - pixel / width});
        first = end;
    }
    auto shift_of = [&](int k, int l) -> const CellShift* {
        const std::int64_t key = cell_key(k, l);
        const auto at = std::lower_bound(chosen.begin(), chosen.end(), key,
                                         [](const CellShift& c, std::int64_t wanted) { return c.cell < wanted; });
        return at != chosen.end() && at->cell == key ? &*at : nullptr;
    };
    std::vector<int> result = sources;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int pixel = y * width + x;
            const int source = sources[static_cast<std::size_t>(pixel)];
            const int own_dx = source % exemplar_width - x;
            const int own_dy = source / exemplar_width - y;
            double u = 0;
            double v = 0;
            phase.place_in_cells(x, y, u, v);
            const int k = static_cast<int>(std::floor(u));
            const int l = static_cast<int>(std::floor(v));
            const CellShift* cell = shift_of(k, l);
            if (cell == nullptr) {
                continue;
            }
            // Near a side, the copy of the cell across it may go on: the cut between the two follows the
            // joint as the passes before found it, not the straight side.
            const double fu = u - k;
            const double fv = v - l;
            const int across_k = fu < kCellMargin ? k - 1 : fu > 1 - kCellMargin ? k + 1 : k;
            const int across_l = fv < kCellMargin ? l - 1 : fv > 1 - kCellMargin ? l + 1 : l;
            bool goes_on = false;
            for (const auto& [ck, cl] :
                 {std::pair{across_k, l}, std::pair{k, across_l}, std::pair{across_k, across_l}}) {
                const CellShift* other = ck != k || cl != l ? shift_of(ck, cl) : nullptr;
                goes_on = goes_on || (other != nullptr && other->dx == own_dx && other->dy == own_dy);
            }
            if (goes_on) {
                continue;
            }
            const int sx = x + cell->dx;
            const int sy = y + cell->dy;
            if (sx >= 0 && sx < exemplar_width && sy >= 0 && sy < exemplar_height) {
                result[static_cast<std::size_t>(pixel)] = sy * exemplar_width + sx;
            }
        }
    }
    sources = std::move(result);
}
