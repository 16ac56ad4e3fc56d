#include "bench/quality/patch_search.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <experimental/simd>
#include <limits>
#include <numeric>
#include <thread>

// How the search stays exact but fast:
//  - every patch also gets coordinates along the leading principal axes of the exemplar's patches. The axes
//    are orthonormal, so the squared distance over those coordinates never exceeds the true squared
//    distance: a cheap lower bound that captures most of it;
//  - exemplar patches are sorted by their first coordinate and stored in blocks of 16, coordinates
//    interleaved, so that a block's bounds take a few vector instructions (the standard library's portable
//    SIMD types, compiled for whatever vector instructions the target has). The scan walks outwards from
//    the query's first coordinate and stops once the gap in that coordinate alone rules out beating the
//    best match so far;
//  - only patches that the bounds do not rule out get the exact distance, in integers, over the 75
//    components, abandoned as soon as a partial sum exceeds the best so far;
//  - each query starts from the matches of its already searched neighbours, shifted by one pixel. In a
//    coherent output that guess is usually the answer or close to it, so the bounds are tight from the start.
// The bounds are computed in floating point and compared with a margin far above their rounding error, so
// they never reject a patch that could win; the winner is decided in integers, ties to the lowest number.

namespace {

namespace simd = std::experimental;

constexpr int kChunk = 16;
constexpr int kStride = 80;  // stored components per patch: the 75, then zeros up to whole chunks
static_assert(kStride % kChunk == 0 && kStride >= kPatchComponents);
constexpr int kAxes = 16;       // principal axes with coordinates
constexpr int kFirstAxes = 8;   // those a block is checked on before the rest
constexpr int kLanes = 16;      // exemplar patches per block
constexpr float kFarAway = 1e15f;  // coordinates of the unused places in the last block

using Components = std::array<std::int32_t, kStride>;
using Chunk = simd::fixed_size_simd<std::int32_t, kChunk>;
using Lanes = simd::fixed_size_simd<float, kLanes>;
using Coordinates = std::array<float, kAxes>;
using Vector = std::array<double, kPatchComponents>;
constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max() / 4;

// Reads the 5 x 5 patch with top-left corner (left, top); coordinates wrap around the image's edges.
Components read_patch(const RgbImage& image, int left, int top) {
    Components patch{};
    int k = 0;
    for (int dy = 0; dy < kPatchSide; ++dy) {
        const int y = ((top + dy) % image.height + image.height) % image.height;
        for (int dx = 0; dx < kPatchSide; ++dx) {
            const int x = ((left + dx) % image.width + image.width) % image.width;
            const std::uint8_t* pixel = &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                patch[k++] = pixel[c];
            }
        }
    }
    return patch;
}

// The squared distance between two patches, or, as soon as a partial sum exceeds `limit`, that sum.
inline std::int32_t distance_within(const Components& a, const Components& b, std::int32_t limit) {
    std::int32_t total = 0;
    for (int start = 0; start < kStride; start += kChunk) {
        const Chunk difference = Chunk(&a[start], simd::element_aligned) - Chunk(&b[start], simd::element_aligned);
        total += simd::reduce(difference * difference);
        if (total > limit) {
            break;
        }
    }
    return total;
}

// Eigenvectors of the symmetric matrix `a`, by cyclic Jacobi rotations, ordered by descending eigenvalue.
// Being a product of rotations, they are orthonormal to rounding however far the iteration got.
std::vector<Vector> eigenvectors(std::vector<Vector> a) {
    constexpr int n = kPatchComponents;
    std::vector<Vector> v(n, Vector{});
    for (int i = 0; i < n; ++i) {
        v[i][i] = 1;
    }
    for (int sweep = 0; sweep < 50; ++sweep) {
        double off = 0;
        double diagonal = 0;
        for (int p = 0; p < n; ++p) {
            diagonal += a[p][p] * a[p][p];
            for (int q = p + 1; q < n; ++q) {
                off += a[p][q] * a[p][q];
            }
        }
        if (off <= 1e-24 * diagonal) {
            break;
        }
        for (int p = 0; p < n; ++p) {
            for (int q = p + 1; q < n; ++q) {
                if (a[p][q] == 0) {
                    continue;
                }
                // The rotation in the (p, q) plane that zeroes a[p][q].
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1);
                const double s = t * c;
                for (int k = 0; k < n; ++k) {
                    const double kp = a[k][p];
                    const double kq = a[k][q];
                    a[k][p] = c * kp - s * kq;
                    a[k][q] = s * kp + c * kq;
                }
                for (int k = 0; k < n; ++k) {
                    const double pk = a[p][k];
                    const double qk = a[q][k];
                    a[p][k] = c * pk - s * qk;
                    a[q][k] = s * pk + c * qk;
                }
                for (int k = 0; k < n; ++k) {
                    const double kp = v[k][p];
                    const double kq = v[k][q];
                    v[k][p] = c * kp - s * kq;
                    v[k][q] = s * kp + c * kq;
                }
            }
        }
    }
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int i, int j) { return a[i][i] > a[j][j]; });
    std::vector<Vector> vectors(n);
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < n; ++k) {
            vectors[i][k] = v[k][order[i]];
        }
    }
    return vectors;
}

// The leading principal axes of a set of patches, and their mean.
struct Axes {
    Vector mean{};
    std::vector<Vector> axes;

    explicit Axes(const std::vector<Components>& patches) {
        for (const Components& patch : patches) {
            for (int k = 0; k < kPatchComponents; ++k) {
                mean[k] += patch[k];
            }
        }
        for (double& m : mean) {
            m /= static_cast<double>(patches.size());
        }
        std::vector<Vector> covariance(kPatchComponents, Vector{});
        Vector centred{};
        for (const Components& patch : patches) {
            for (int k = 0; k < kPatchComponents; ++k) {
                centred[k] = patch[k] - mean[k];
            }
            for (int i = 0; i < kPatchComponents; ++i) {
                for (int j = i; j < kPatchComponents; ++j) {
                    covariance[i][j] += centred[i] * centred[j];
                }
            }
        }
        for (int i = 0; i < kPatchComponents; ++i) {
            for (int j = 0; j < i; ++j) {
                covariance[i][j] = covariance[j][i];
            }
        }
        axes = eigenvectors(std::move(covariance));
        axes.resize(kAxes);
    }

    Coordinates coordinates(const Components& patch) const {
        Vector centred{};
        for (int k = 0; k < kPatchComponents; ++k) {
            centred[k] = patch[k] - mean[k];
        }
        Coordinates result{};
        for (int a = 0; a < kAxes; ++a) {
            double sum = 0;
            for (int k = 0; k < kPatchComponents; ++k) {
                sum += axes[a][k] * centred[k];
            }
            result[a] = static_cast<float>(sum);
        }
        return result;
    }
};

// The coordinates of kLanes exemplar patches, axis by axis.
struct Block {
    struct alignas(simd::memory_alignment_v<Lanes>) Axis {
        std::array<float, kLanes> lane;
    };
    std::array<Axis, kAxes> coordinate;

    Lanes along(int axis) const { return Lanes(coordinate[axis].lane.data(), simd::vector_aligned); }
};

// The exemplar's patches, in ascending order of their first coordinate.
struct ExemplarIndex {
    int columns = 0;  // patches per exemplar row
    int rows = 0;
    int count = 0;
    Axes axes;
    std::vector<Components> values;       // by sorted position
    std::vector<std::int32_t> number;     // by sorted position: the patch's row-major number
    std::vector<std::int32_t> position;   // by number: the sorted position
    std::vector<float> first;             // by sorted position: the first coordinate
    std::vector<Block> blocks;

    static std::vector<Components> patches_of(const RgbImage& exemplar) {
        std::vector<Components> patches;
        for (int top = 0; top + kPatchSide <= exemplar.height; ++top) {
            for (int left = 0; left + kPatchSide <= exemplar.width; ++left) {
                patches.push_back(read_patch(exemplar, left, top));
            }
        }
        return patches;
    }

    // `patches` numbered in order; `per_row` of them make one row of positions, which is how a match found
    // for one pixel is shifted into a guess for its neighbour.
    ExemplarIndex(const std::vector<Components>& patches, int per_row)
        : columns(per_row),
          rows(static_cast<int>(patches.size()) / per_row),
          count(static_cast<int>(patches.size())),
          axes(patches) {
        std::vector<Coordinates> coordinates;
        coordinates.reserve(count);
        for (const Components& patch : patches) {
            coordinates.push_back(axes.coordinates(patch));
        }
        number.resize(count);
        std::iota(number.begin(), number.end(), 0);
        std::stable_sort(number.begin(), number.end(),
                         [&](int a, int b) { return coordinates[a][0] < coordinates[b][0]; });
        position.resize(count);
        blocks.resize((count + kLanes - 1) / kLanes);
        for (Block& block : blocks) {
            for (auto& axis : block.coordinate) {
                axis.lane.fill(kFarAway);
            }
        }
        for (int at = 0; at < count; ++at) {
            const int n = number[at];
            position[n] = at;
            values.push_back(patches[n]);
            first.push_back(coordinates[n][0]);
            for (int a = 0; a < kAxes; ++a) {
                blocks[at / kLanes].coordinate[a].lane[at % kLanes] = coordinates[n][a];
            }
        }
    }
};

struct Best {
    std::int64_t distance = kNone;
    int number = -1;

    void offer(std::int64_t d, int n) {
        if (d < distance || (d == distance && n < number)) {
            distance = d;
            number = n;
        }
    }

    // A bound above this cannot belong to a patch as near as the best. Coordinates are at most 255 * sqrt(75)
    // in size, so each computed difference is off by less than 1e-3 and the bound by far less than the margin.
    float bound_limit() const {
        return distance == kNone ? std::numeric_limits<float>::infinity()
                                 : static_cast<float>(static_cast<double>(distance) * 1.001 + 1.0);
    }
};

class Searcher {
public:
    explicit Searcher(const ExemplarIndex& index) : index_(index) {}

    PatchMatch search(const Components& query, Best best) const {
        const Coordinates q = index_.axes.coordinates(query);
        const int blocks = static_cast<int>(index_.blocks.size());
        const auto from = std::lower_bound(index_.first.begin(), index_.first.end(), q[0]);
        int up = static_cast<int>(from - index_.first.begin()) / kLanes;
        int down = up - 1;
        while (true) {
            // Every block above `up` (below `down`) is at least as far away in the first coordinate.
            const float gap_up = up < blocks ? std::max(0.0f, index_.first[up * kLanes] - q[0])
                                             : std::numeric_limits<float>::infinity();
            const float gap_down = down >= 0 ? std::max(0.0f, q[0] - index_.first[down * kLanes + kLanes - 1])
                                             : std::numeric_limits<float>::infinity();
            const float gap = std::min(gap_up, gap_down);
            if (gap * gap > best.bound_limit()) {
                break;
            }
            scan_block(gap_up <= gap_down ? up++ : down--, query, q, best);
        }
        return {best.number, static_cast<std::uint32_t>(best.distance)};
    }

    // The exact distance to the patch with this number, for starting guesses.
    std::int64_t distance_to(const Components& query, int number) const {
        return distance_within(query, index_.values[index_.position[number]], 1 << 30);
    }

private:
    void scan_block(int b, const Components& query, const Coordinates& q, Best& best) const {
        const Block& block = index_.blocks[b];
        Lanes bound = 0;
        for (int a = 0; a < kFirstAxes; ++a) {
            const Lanes d = block.along(a) - q[a];
            bound += d * d;
        }
        if (simd::none_of(bound <= best.bound_limit())) {
            return;
        }
        for (int a = kFirstAxes; a < kAxes; ++a) {
            const Lanes d = block.along(a) - q[a];
            bound += d * d;
        }
        for (int lane = 0; lane < kLanes; ++lane) {
            const int at = b * kLanes + lane;
            if (at < index_.count && bound[lane] <= best.bound_limit()) {
                const auto limit = static_cast<std::int32_t>(std::min<std::int64_t>(best.distance, 1 << 30));
                best.offer(distance_within(query, index_.values[at], limit), index_.number[at]);
            }
        }
    }

    const ExemplarIndex& index_;
};

// Hands bands 0 to bands - 1 out in turn to up to `threads` threads (0: one per core), this one included.
template <typename Work>
void in_bands(int bands, int threads, const Work& work_on_band) {
    if (threads <= 0) {
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    threads = std::min(threads, bands);
    std::atomic<int> next_band{0};
    auto work = [&] {
        for (int band = next_band++; band < bands; band = next_band++) {
            work_on_band(band);
        }
    };
    std::vector<std::jthread> helpers;
    for (int t = 1; t < threads; ++t) {
        helpers.emplace_back(work);
    }
    work();
}

// Searches output rows [first, last) in raster order, starting each query from its neighbours' matches.
void search_rows(const ExemplarIndex& index, const RgbImage& output, int first, int last,
                 std::vector<PatchMatch>& matches) {
    const Searcher searcher(index);
    const int width = output.width;
    for (int y = first; y < last; ++y) {
        for (int x = 0; x < width; ++x) {
            const Components query = read_patch(output, x - kPatchRadius, y - kPatchRadius);
            Best best;
            // The neighbour at (x - dx, y - dy) matched the patch at (left, top); offer (left + dx, top + dy).
            auto offer_shifted = [&](int dx, int dy) {
                const int nx = x - dx;
                const int ny = y - dy;
                if (nx < 0 || nx >= width || ny < first) {
                    return;
                }
                const int n = matches[static_cast<std::size_t>(ny) * width + nx].index;
                const int left = n % index.columns + dx;
                const int top = n / index.columns + dy;
                if (left < 0 || left >= index.columns || top >= index.rows) {
                    return;
                }
                const int number = top * index.columns + left;
                best.offer(searcher.distance_to(query, number), number);
            };
            offer_shifted(1, 0);
            offer_shifted(0, 1);
            offer_shifted(1, 1);
            offer_shifted(-1, 1);
            matches[static_cast<std::size_t>(y) * width + x] = searcher.search(query, best);
        }
    }
}

}  // namespace

int exemplar_patch_count(int width, int height) {
    if (width < kPatchSide || height < kPatchSide) {
        return 0;
    }
    return (width - kPatchSide + 1) * (height - kPatchSide + 1);
}

std::vector<PatchMatch> nearest_exemplar_patches(const RgbImage& exemplar, const RgbImage& output, int threads) {
    std::vector<PatchMatch> matches(static_cast<std::size_t>(output.width) * output.height);
    if (matches.empty() || exemplar_patch_count(exemplar.width, exemplar.height) == 0) {
        return matches;
    }
    const ExemplarIndex index(ExemplarIndex::patches_of(exemplar), exemplar.width - kPatchSide + 1);

    // Bands of rows; each band starts its guesses afresh, so the matches do not depend on which thread
    // searched which band.
    constexpr int kBandRows = 8;
    const int bands = (output.height + kBandRows - 1) / kBandRows;
    in_bands(bands, threads, [&](int band) {
        search_rows(index, output, band * kBandRows, std::min(output.height, (band + 1) * kBandRows), matches);
    });
    return matches;
}

std::vector<PatchMatch> nearest_patches_among(const RgbImage& image, const std::vector<PatchCorner>& candidates,
                                              const std::vector<PatchCorner>& queries, int threads) {
    std::vector<PatchMatch> matches(queries.size());
    if (queries.empty() || candidates.empty()) {
        return matches;
    }
    std::vector<Components> patches;
    patches.reserve(candidates.size());
    for (const PatchCorner& corner : candidates) {
        patches.push_back(read_patch(image, corner.left, corner.top));
    }
    // One row of positions: the queries are scattered, so no match is shifted into a guess for another.
    const ExemplarIndex index(patches, static_cast<int>(patches.size()));
    constexpr int kBandQueries = 256;
    const int bands = static_cast<int>((queries.size() + kBandQueries - 1) / kBandQueries);
    in_bands(bands, threads, [&](int band) {
        const Searcher searcher(index);
        const std::size_t end = std::min(queries.size(), static_cast<std::size_t>(band + 1) * kBandQueries);
        for (std::size_t q = static_cast<std::size_t>(band) * kBandQueries; q < end; ++q) {
            matches[q] = searcher.search(read_patch(image, queries[q].left, queries[q].top), Best{});
        }
    });
    return matches;
}
