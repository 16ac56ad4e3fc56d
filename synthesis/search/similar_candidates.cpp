#include "synthesis/search/similar_candidates.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int kCandidatesPerShare = 64;

}  // namespace

SimilarCandidates::SimilarCandidates(const ExactMatcher& matcher, int k, SearchTeam& team)
    : k_(k), similar_(static_cast<std::size_t>(matcher.count()) * k, -1) {
    if (k == 0) {
        return;
    }
    const int count = matcher.count();
    // Every candidate's search is independent of the others', so the threads simply take turns.
    auto work = [&](int /*thread*/, int share) {
        const int first = share * kCandidatesPerShare;
        const int end = std::min(first + kCandidatesPerShare, count);
        for (int index = first; index < end; ++index) {
            if (!matcher.is_candidate(index)) {
                continue;
            }
            ExactMatcher::Nearest nearest(k, index);
            matcher.find_nearest(matcher.query_of(index), nearest);
            for (std::size_t j = 0; j < nearest.items().size(); ++j) {
                similar_[static_cast<std::size_t>(index) * k + j] = nearest.items()[j].index;
            }
        }
        return end < count;
    };
    team.share(work);
}

void coherent_candidates(const CandidateGrid& grid, const SimilarCandidates& similar, const SourceMaps& sources,
                         int x, int y, int half_size, bool all_around, std::vector<int>& out, std::vector<int>& seen,
                         int stamp, const LatticePhase* phase, std::vector<std::pair<int, int>>* continued) {
    out.clear();
    if (continued != nullptr) {
        continued->clear();
    }
    // A run continuing the candidate of the run before adds to its entry; others take an entry of their own.
    auto count_continued = [&](int candidate, int count) {
        if (!continued->empty() && continued->back().first == candidate) {
            continued->back().second += count;
        } else {
            continued->emplace_back(candidate, count);
        }
    };
    auto add = [&](int candidate) {
        if (candidate >= 0 && seen[candidate] != stamp) {
            seen[candidate] = stamp;
            out.push_back(candidate);
        }
    };
    // Neighbours copied from one copy continue it at one position, so the few positions last put in step
    // are kept (snapping one costs more than looking it up).
    constexpr int kKept = 4;
    int kept_x[kKept];
    int kept_y[kKept];
    int kept_candidate[kKept];
    int kept = 0;
    auto candidate_at = [&](int sx, int sy) {
        if (phase == nullptr) {
            return grid.candidate_at(sx, sy);
        }
        for (int i = 0; i < kept && i < kKept; ++i) {
            if (kept_x[i] == sx && kept_y[i] == sy) {
                return kept_candidate[i];
            }
        }
        const int candidate = phase->candidate(grid, sx, sy, x, y);
        kept_x[kept % kKept] = sx;
        kept_y[kept % kKept] = sy;
        kept_candidate[kept % kKept] = candidate;
        ++kept;
        return candidate;
    };
    const int s = half_size;
    const int width = sources.width;
    const int height = sources.height;
    // Where the square stays within one wrap of the level, rows and columns wrap by a step, not a division.
    const bool near = s < width && s < height;
    const int exemplar_width = sources.exemplar_width;
    const double inverse_width = 1.0 / exemplar_width;
    constexpr int kNoSource = std::numeric_limits<int>::min();
    for (int dy = -s; dy <= (all_around ? s : 0); ++dy) {
        const int last = all_around || dy < 0 ? s : -1;
        int row = y + dy;
        row = row < 0 ? row + height : row >= height ? row - height : row;
        const int* level_row = near ? sources.level + static_cast<std::size_t>(row) * width : nullptr;
        int column = x - s < 0 ? x - s + width : x - s;
        // The source that continues the copy of the neighbour before in the row (its continuation is already
        // added with its similar ones), and how many neighbours in a row have continued it (the pixel left out).
        int continuing = kNoSource;
        int before_x = 0;
        int before_candidate = -1;
        int run = 0;
        const auto end_run = [&] {
            if (run > 0 && continued != nullptr && before_candidate >= 0) {
                count_continued(before_candidate, run);
            }
            run = 0;
        };
        for (int dx = -s; dx <= last; ++dx, column = column + 1 == width ? 0 : column + 1) {
            const int source = near ? level_row[column] : sources.at(x + dx, y + dy);
            if (source == continuing) {
                ++before_x;
                continuing = before_x + 1 < exemplar_width ? source + 1 : kNoSource;
                run += (dx != 0 || dy != 0) ? 1 : 0;
                continue;
            }
            end_run();
            if (source < 0) {
                continuing = kNoSource;
                continue;
            }
            // source / exemplar_width by a product, put right where it rounds the wrong way (a division
            // here took a tenth of the search's time).
            int source_y = static_cast<int>(source * inverse_width);
            int source_x = source - source_y * exemplar_width;
            if (source_x < 0) {
                --source_y;
                source_x += exemplar_width;
            } else if (source_x >= exemplar_width) {
                ++source_y;
                source_x -= exemplar_width;
            }
            const int candidate = candidate_at(source_x - dx, source_y - dy);
            continuing = source_x + 1 < exemplar_width ? source + 1 : kNoSource;
            before_x = source_x;
            before_candidate = candidate;
            run = (dx != 0 || dy != 0) ? 1 : 0;
            add(candidate);
            if (candidate >= 0) {
                for (const int other : similar.of(candidate)) {
                    if (phase == nullptr || other < 0) {
                        add(other);
                    } else {
                        const int pixel = grid.pixel_of(other);
                        add(candidate_at(pixel % grid.exemplar_width, pixel / grid.exemplar_width));
                    }
                }
            }
        }
        end_run();
    }
    if (sources.coarser != nullptr) {
        // The parent's source, at twice the coordinates in this level, plus the pixel's place in its block.
        const int parent = sources.parent_at(x, y);
        const int coarser_exemplar_width = sources.exemplar_width / 2;
        if (parent >= 0) {
            add(candidate_at(2 * (parent % coarser_exemplar_width) + x % 2,
                             2 * (parent / coarser_exemplar_width) + y % 2));
        }
    }
}
