#include "synthesis/search/exact_matcher.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#include <limits>
#include <memory>
#include <numeric>

#include "synthesis/search/block_bounds.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/pyramid_views.h"
#include "synthesis/search/training_set.h"

namespace {

// Principal axes used for the lower bounds, and the most components they are taken over.
constexpr int kMaxAxes = 32;
constexpr int kMaxAxisSpan = 128;
// Candidates sampled for the statistics; more change the axes little and cost time on large exemplars.
constexpr int kMaxSamples = 4'096;
constexpr int kPowerIterations = 30;
constexpr int kStepsBetweenOrthonormalising = 3;

constexpr int kLanes = kBlockLanes;
// Blocks in a slab of candidates that lie close together along the first axis.
constexpr int kSlabBlocks = 16;

// Bounds are computed in single precision from exact integers; a bound counts as exceeding the best
// distance only beyond this slack, well above any rounding error (projections of colours are at most
// 255 * sqrt(128) in size, so each is off by less than 2e-4; those of weighted channels, at most
// kMaxComponent * sqrt(128), by less than 4e-3, which moves a bound at distance g by less than 0.016 g,
// below the slack at every g), so no candidate that could win is ever skipped.
double allowance(std::int64_t bound) {
    const double b = static_cast<double>(bound);
    return b + 1.0 + 1e-4 * b;
}

// Orthonormalises the rows of `axes` (count x span) in place, in order. The bounds are valid only if the axes
// are orthonormal, so every row is made orthogonal to the earlier ones twice over (once is not accurate for
// a row that nearly lies in their span), and a row with little left of it becomes zero: a zero axis bounds
// nothing, which is always safe.
void orthonormalise(std::vector<double>& axes, int count, int span) {
    for (int i = 0; i < count; ++i) {
        double* a = &axes[static_cast<std::size_t>(i) * span];
        const double original = std::sqrt(std::inner_product(a, a + span, a, 0.0));
        for (int pass = 0; pass < 2; ++pass) {
            for (int j = 0; j < i; ++j) {
                const double* b = &axes[static_cast<std::size_t>(j) * span];
                const double dot = std::inner_product(a, a + span, b, 0.0);
                for (int m = 0; m < span; ++m) {
                    a[m] -= dot * b[m];
                }
            }
        }
        const double norm = std::sqrt(std::inner_product(a, a + span, a, 0.0));
        if (norm > 1e-6 * original && norm > 1e-12) {
            for (int m = 0; m < span; ++m) {
                a[m] /= norm;
            }
        } else {
            std::fill(a, a + span, 0.0);
        }
        // Check the result, and give up the axis rather than risk a bound that is too high.
        for (int j = 0; j < i; ++j) {
            const double* b = &axes[static_cast<std::size_t>(j) * span];
            if (std::abs(std::inner_product(a, a + span, b, 0.0)) > 1e-9) {
                std::fill(a, a + span, 0.0);
            }
        }
    }
}

// Candidates per share when the team builds the index: whole slabs, so that no two threads write one block.
constexpr int kCandidatesPerShare = 32 * kSlabBlocks * kLanes;

// Calls work(begin, end) for consecutive ranges covering 0 .. count - 1, on the team's threads if there is one.
template <class Work>
void in_shares(SearchTeam* team, int count, Work&& work) {
    if (team == nullptr) {
        work(0, count);
        return;
    }
    auto share_work = [&](int /*thread*/, int share) {
        const int begin = share * kCandidatesPerShare;
        if (begin >= count) {
            return false;
        }
        const int end = std::min(count, begin + kCandidatesPerShare);
        work(begin, end);
        return end < count;
    };
    team->share(share_work);
}

}  // namespace

ExactMatcher::ExactMatcher(const std::uint8_t* exemplar_pyramid, const LevelTable& exemplar, const int* matrix_row,
                           int n, int levels, CandidateOptions options, SearchTeam* team)
    : distance_(squared_distance_function()), surviving_lanes_(surviving_lanes_function()),
      box_distance_(box_distance_function()) {
#if defined(__x86_64__) || defined(__i386__)
    vectorised_ = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
    grid_ = training_grid(exemplar, matrix_row, n, levels, options.edges_x, options.edges_y);
    grid_.excluded = options.excluded;
    // A span as wide as the level is the plain wrap-around.
    grid_.span_x = options.span_x < grid_.exemplar_width ? options.span_x : 0;
    grid_.span_y = options.span_y < grid_.exemplar_height ? options.span_y : 0;
    count_ = grid_.count();
    shape_ = options.shape;
    levels = options.coarser_levels ? levels : n + 1;
    levels_read_ = levels;
    channels_ = options.channels != nullptr ? options.channels : &rgb_channels();
    stride_ = channels_->count;
    dimension_ = neighbourhood_dimension(matrix_row, n, levels, options.shape, *channels_);
    padded_ = (dimension_ + kDistanceBlock - 1) / kDistanceBlock * kDistanceBlock;
    // The candidates that may be copied, in index order; the others are left out of every search.
    std::vector<int> allowed;
    allowed.reserve(static_cast<std::size_t>(count_));
    for (int i = 0; i < count_; ++i) {
        const int x = grid_.left + i % grid_.columns;
        const int y = grid_.top + i / grid_.columns;
        if (grid_.candidate_at(x, y) == i) {
            allowed.push_back(i);
        }
    }
    stored_ = static_cast<int>(allowed.size());
    assert(stored_ > 0 && dimension_ > 0);

    // The candidates in their usual order (rows of excluded candidates are never written or read).
    const auto raw =
        std::make_unique_for_overwrite<std::int16_t[]>(static_cast<std::size_t>(count_) * dimension_);
    pixels_.resize(static_cast<std::size_t>(count_) * stride_);
    auto gather_all = [&](const auto& view) {
        in_shares(team, stored_, [&](int begin, int end) {
            for (int p = begin; p < end; ++p) {
                const int i = allowed[static_cast<std::size_t>(p)];
                const int x = grid_.left + i % grid_.columns;
                const int y = grid_.top + i / grid_.columns;
                gather_neighbourhood(matrix_row, n, levels, x, y, view,
                                     &raw[static_cast<std::size_t>(i) * dimension_], options.shape, *channels_);
                std::copy_n(exemplar_pyramid + pixel_index(exemplar, n, x, y), stride_,
                            &pixels_[static_cast<std::size_t>(i) * stride_]);
            }
        });
    };
    if (options.edges_x == ExemplarEdges::inside && options.edges_y == ExemplarEdges::inside) {
        gather_all(DirectPyramidView(exemplar_pyramid, exemplar));
    } else {
        // Inside edges are never read past, so clamping them changes nothing.
        auto rule = [](ExemplarEdges edges) { return edges == ExemplarEdges::wrapped ? EdgeRule::wrap : EdgeRule::clamp; };
        gather_all(EdgePyramidView(exemplar_pyramid, exemplar, matrix_row, n, levels, rule(options.edges_x),
                                   rule(options.edges_y), grid_.span_x, grid_.span_y));
    }

    // Statistics over an evenly spaced sample of the candidates.
    const int step = std::max(1, stored_ / kMaxSamples);
    std::vector<int> samples;
    for (int p = 0; p < stored_; p += step) {
        samples.push_back(allowed[static_cast<std::size_t>(p)]);
    }
    std::vector<double> mean(static_cast<std::size_t>(dimension_), 0.0);
    std::vector<double> variance(static_cast<std::size_t>(dimension_), 0.0);
    for (const int i : samples) {
        for (int c = 0; c < dimension_; ++c) {
            mean[c] += raw[static_cast<std::size_t>(i) * dimension_ + c];
        }
    }
    for (double& m : mean) {
        m /= static_cast<double>(samples.size());
    }
    for (const int i : samples) {
        for (int c = 0; c < dimension_; ++c) {
            const double d = raw[static_cast<std::size_t>(i) * dimension_ + c] - mean[c];
            variance[c] += d * d;
        }
    }
    component_order_.resize(static_cast<std::size_t>(dimension_));
    std::iota(component_order_.begin(), component_order_.end(), 0);
    std::stable_sort(component_order_.begin(), component_order_.end(),
                     [&](int a, int b) { return variance[a] > variance[b]; });
    // Candidate vectors are kept permuted and padded with zeros, at their position in the search's order.
    auto store_vector = [this](int position, const std::int16_t* source) {
        std::int16_t* target = &vectors_[static_cast<std::size_t>(position) * padded_];
        for (int j = 0; j < dimension_; ++j) {
            target[j] = source[component_order_[j]];
        }
        std::fill(target + dimension_, target + padded_, std::int16_t{0});
    };

    if (!options.indexed) {
        // The candidates in their own order, and no axes or slabs: every search tries them all.
        indexed_ = false;
        vectors_ = std::make_unique_for_overwrite<std::int16_t[]>(static_cast<std::size_t>(stored_) * padded_);
        index_of_ = allowed;
        position_of_.assign(static_cast<std::size_t>(count_), -1);
        in_shares(team, stored_, [&](int begin, int end) {
            for (int p = begin; p < end; ++p) {
                const int i = allowed[static_cast<std::size_t>(p)];
                position_of_[static_cast<std::size_t>(i)] = p;
                store_vector(p, &raw[static_cast<std::size_t>(i) * dimension_]);
            }
        });
        return;
    }

    // Principal axes of the leading components, by power iteration on their covariance.
    axis_span_ = std::min(dimension_, kMaxAxisSpan);
    const int real_axes = std::min(kMaxAxes, axis_span_);
    axes_ = (real_axes + kLanes - 1) / kLanes * kLanes;
    const int span = axis_span_;
    std::vector<double> covariance(static_cast<std::size_t>(span) * span, 0.0);
    std::vector<double> centred(static_cast<std::size_t>(span));
    for (const int i : samples) {
        for (int j = 0; j < span; ++j) {
            const int c = component_order_[j];
            centred[j] = raw[static_cast<std::size_t>(i) * dimension_ + c] - mean[c];
        }
        for (int j = 0; j < span; ++j) {
            double* row = &covariance[static_cast<std::size_t>(j) * span];
            for (int k = 0; k < span; ++k) {
                row[k] += centred[j] * centred[k];
            }
        }
    }
    axis_.assign(static_cast<std::size_t>(axes_) * span, 0.0);
    for (int a = 0; a < real_axes; ++a) {
        axis_[static_cast<std::size_t>(a) * span + a] = 1.0;
    }
    std::vector<double> next(axis_.size(), 0.0);
    // The axes by component, so that each covariance entry is multiplied into every axis at once: every sum
    // still adds its terms in the order of the components, but the axes' sums no longer wait on each other.
    std::vector<double> by_component(static_cast<std::size_t>(span) * real_axes);
    std::vector<double> sums(static_cast<std::size_t>(real_axes));
    for (int iteration = 0; iteration < kPowerIterations; ++iteration) {
        for (int a = 0; a < real_axes; ++a) {
            for (int k = 0; k < span; ++k) {
                by_component[static_cast<std::size_t>(k) * real_axes + a] =
                    axis_[static_cast<std::size_t>(a) * span + k];
            }
        }
        for (int j = 0; j < span; ++j) {
            const double* row = &covariance[static_cast<std::size_t>(j) * span];
            std::fill(sums.begin(), sums.end(), 0.0);
            for (int k = 0; k < span; ++k) {
                const double* v = &by_component[static_cast<std::size_t>(k) * real_axes];
                for (int a = 0; a < real_axes; ++a) {
                    sums[static_cast<std::size_t>(a)] += row[k] * v[a];
                }
            }
            for (int a = 0; a < real_axes; ++a) {
                next[static_cast<std::size_t>(a) * span + j] = sums[static_cast<std::size_t>(a)];
            }
        }
        // Made orthonormal every few steps (growing by at most the largest eigenvalue cubed in between), and
        // after the last.
        if (iteration % kStepsBetweenOrthonormalising == kStepsBetweenOrthonormalising - 1 ||
            iteration == kPowerIterations - 1) {
            orthonormalise(next, real_axes, span);
        }
        axis_.swap(next);
    }

    axis_by_component_.resize(axis_.size());
    for (int a = 0; a < axes_; ++a) {
        for (int j = 0; j < span; ++j) {
            axis_by_component_[static_cast<std::size_t>(j) * axes_ + a] = axis_[static_cast<std::size_t>(a) * span + j];
        }
    }

    // Project the candidates. Sort them along the first axis into slabs, each slab along the second axis
    // into blocks, and store them in that order.
    const auto projections = std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(count_) * axes_);
    in_shares(team, stored_, [&](int begin, int end) {
        Query scratch = make_query();
        std::vector<std::int16_t> vector(static_cast<std::size_t>(dimension_));
        double projected[kMaxAxes];
        for (int p = begin; p < end; ++p) {
            const int i = allowed[static_cast<std::size_t>(p)];
            std::copy_n(&raw[static_cast<std::size_t>(i) * dimension_], dimension_, vector.begin());
            project(vector.data(), scratch.components, projected);
            std::copy_n(projected, axes_, &projections[static_cast<std::size_t>(i) * axes_]);
        }
    });
    auto along = [&](int axis) {
        return [&projections, axis, this](int a, int b) {
            return projections[static_cast<std::size_t>(a) * axes_ + axis] <
                   projections[static_cast<std::size_t>(b) * axes_ + axis];
        };
    };
    std::vector<int> order = allowed;
    std::stable_sort(order.begin(), order.end(), along(0));
    blocks_ = (stored_ + kLanes - 1) / kLanes;
    for (int first_block = 0; first_block < blocks_; first_block += kSlabBlocks) {
        const int end_block = std::min(first_block + kSlabBlocks, blocks_);
        const auto begin = order.begin() + first_block * kLanes;
        const auto end = order.begin() + std::min(end_block * kLanes, stored_);
        std::stable_sort(begin, end, along(1));
        slabs_.push_back({first_block, end_block, std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity()});
    }

    index_of_.assign(static_cast<std::size_t>(blocks_) * kLanes, -1);
    position_of_.assign(static_cast<std::size_t>(count_), -1);
    vectors_ = std::make_unique_for_overwrite<std::int16_t[]>(static_cast<std::size_t>(stored_) * padded_);
    block_projections_ = std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(blocks_) * axes_ * kLanes);
    block_boxes_.resize(static_cast<std::size_t>(blocks_) * 2 * kLanes);
    // Shares are whole slabs, so each block is written by one thread.
    in_shares(team, blocks_ * kLanes, [&](int begin, int end) {
        for (int p = begin; p < end; ++p) {
            const int block = p / kLanes;
            float* block_projection = &block_projections_[static_cast<std::size_t>(block) * axes_ * kLanes];
            float* lower = &block_boxes_[static_cast<std::size_t>(block) * 2 * kLanes];
            float* upper = lower + kLanes;
            if (p % kLanes == 0) {
                std::fill_n(lower, kLanes, std::numeric_limits<float>::infinity());
                std::fill_n(upper, kLanes, -std::numeric_limits<float>::infinity());
            }
            if (p >= stored_) {
                // Empty lanes of the last block lie infinitely far away.
                for (int a = 0; a < axes_; ++a) {
                    block_projection[a * kLanes + p % kLanes] = std::numeric_limits<float>::infinity();
                }
                continue;
            }
            const int i = order[static_cast<std::size_t>(p)];
            index_of_[static_cast<std::size_t>(p)] = i;
            position_of_[static_cast<std::size_t>(i)] = p;
            store_vector(p, &raw[static_cast<std::size_t>(i) * dimension_]);
            for (int a = 0; a < axes_; ++a) {
                const float value = projections[static_cast<std::size_t>(i) * axes_ + a];
                block_projection[a * kLanes + p % kLanes] = value;
                if (a < kLanes) {
                    lower[a] = std::min(lower[a], value);
                    upper[a] = std::max(upper[a], value);
                }
            }
        }
    });
    for (Slab& slab : slabs_) {
        for (int block = slab.first_block; block < slab.end_block; ++block) {
            slab.low = std::min(slab.low, block_boxes_[static_cast<std::size_t>(block) * 2 * kLanes]);
            slab.high = std::max(slab.high, block_boxes_[static_cast<std::size_t>(block) * 2 * kLanes + kLanes]);
        }
    }
}

namespace {

// projections[a] = sum over j < span of components[j] * by_component[j * axes + a], for axes a multiple of 4.
void project_plain(const std::int16_t* components, const double* by_component, int span, int axes,
                   double* projections) {
    std::fill_n(projections, axes, 0.0);
    for (int j = 0; j < span; ++j) {
        const double c = components[j];
        const double* row = by_component + static_cast<std::size_t>(j) * axes;
        for (int a = 0; a < axes; ++a) {
            projections[a] += row[a] * c;
        }
    }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2,fma"))) void project_avx2(const std::int16_t* components, const double* by_component,
                                                       int span, int axes, double* projections) {
    __m256d sums[kMaxAxes / 4];
    const int vectors = axes / 4;
    for (int v = 0; v < vectors; ++v) {
        sums[v] = _mm256_setzero_pd();
    }
    for (int j = 0; j < span; ++j) {
        const __m256d c = _mm256_set1_pd(components[j]);
        const double* row = by_component + static_cast<std::size_t>(j) * axes;
        for (int v = 0; v < vectors; ++v) {
            sums[v] = _mm256_fmadd_pd(_mm256_loadu_pd(row + 4 * v), c, sums[v]);
        }
    }
    for (int v = 0; v < vectors; ++v) {
        _mm256_storeu_pd(projections + 4 * v, sums[v]);
    }
}
#endif

}  // namespace

void ExactMatcher::project(const std::int16_t* vector, std::vector<std::int16_t>& components,
                           double* projections) const {
    for (int j = 0; j < dimension_; ++j) {
        components[j] = vector[component_order_[j]];
    }
#if defined(__x86_64__) || defined(__i386__)
    if (vectorised_) {
        project_avx2(components.data(), axis_by_component_.data(), axis_span_, axes_, projections);
        return;
    }
#endif
    project_plain(components.data(), axis_by_component_.data(), axis_span_, axes_, projections);
}

ExactMatcher::Query ExactMatcher::make_query() const {
    Query query;
    query.components.assign(static_cast<std::size_t>(padded_), 0);
    query.projections.assign(static_cast<std::size_t>(axes_), 0.0F);
    return query;
}

void ExactMatcher::prepare(const std::int16_t* vector, Query& query) const {
    double projections[kMaxAxes];
    project(vector, query.components, projections);
    for (int a = 0; a < axes_; ++a) {
        query.projections[a] = static_cast<float>(projections[a]);
    }
    place(query);
}

void ExactMatcher::load(const std::int16_t* vector, Query& query) const {
    for (int j = 0; j < dimension_; ++j) {
        query.components[j] = vector[component_order_[j]];
    }
}

void ExactMatcher::project_query(Query& query) const {
    double projections[kMaxAxes];
#if defined(__x86_64__) || defined(__i386__)
    if (vectorised_) {
        project_avx2(query.components.data(), axis_by_component_.data(), axis_span_, axes_, projections);
    } else {
        project_plain(query.components.data(), axis_by_component_.data(), axis_span_, axes_, projections);
    }
#else
    project_plain(query.components.data(), axis_by_component_.data(), axis_span_, axes_, projections);
#endif
    for (int a = 0; a < axes_; ++a) {
        query.projections[a] = static_cast<float>(projections[a]);
    }
    place(query);
}

void ExactMatcher::place(Query& query) const {
    query.start_slab = static_cast<int>(
        std::partition_point(slabs_.begin(), slabs_.end(),
                             [&](const Slab& slab) { return slab.high < query.projections[0]; }) -
        slabs_.begin());
}

template <class Collector>
void ExactMatcher::consider(const Query& query, int position, Collector& best, std::int64_t bound) const {
    const int index = index_of_[position];
    const std::int64_t limit = std::min(bound, best.limit_for(index));
    if (limit < 0) {
        return;
    }
    const std::int64_t d =
        distance_(query.components.data(), &vectors_[static_cast<std::size_t>(position) * padded_], padded_, limit);
    if (d <= limit) {
        best.offer(d, index);
    }
}

namespace {

// Lowers the shared best distance to `distance` unless it is already lower.
void lower_shared_bound(std::int64_t* shared_bound, std::int64_t distance) {
    std::int64_t current = __atomic_load_n(shared_bound, __ATOMIC_RELAXED);
    while (distance < current &&
           !__atomic_compare_exchange_n(shared_bound, &current, distance, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
    }
}

}  // namespace

template <class Collector>
void ExactMatcher::search_block(const Query& query, int block, double allowed, Collector& best,
                                std::int64_t bound) const {
    const float* projections = &block_projections_[static_cast<std::size_t>(block) * axes_ * kLanes];
    const float limit = static_cast<float>(allowed);
    unsigned lanes = surviving_lanes_(projections, query.projections.data(), axes_, limit);
    while (lanes != 0) {
        const int lane = __builtin_ctz(lanes);
        lanes &= lanes - 1;
        consider(query, block * kLanes + lane, best, bound);
    }
}

float ExactMatcher::box_bound(const Query& query, int block) const {
    const float* lower = &block_boxes_[static_cast<std::size_t>(block) * 2 * kLanes];
    return box_distance_(lower, lower + kLanes, query.projections.data());
}

std::int64_t ExactMatcher::distance(const Query& query, int index, std::int64_t limit) const {
    return distance_(query.components.data(), &vectors_[static_cast<std::size_t>(position_of_[index]) * padded_],
                     padded_, limit);
}

void ExactMatcher::stored_order(std::span<const std::int32_t> weights, std::vector<std::int32_t>& stored) const {
    stored.resize(static_cast<std::size_t>(dimension_));
    for (int j = 0; j < dimension_; ++j) {
        stored[static_cast<std::size_t>(j)] = weights[static_cast<std::size_t>(component_order_[j])];
    }
}

std::int64_t ExactMatcher::weighted_distance(const Query& query, std::span<const std::int32_t> weights, int index,
                                             std::int64_t limit) const {
    if (position_of_[index] < 0) {
        return INT64_MAX;  // not a candidate
    }
    const std::int16_t* vector = &vectors_[static_cast<std::size_t>(position_of_[index]) * padded_];
    std::int64_t sum = 0;
    for (int j = 0; j < dimension_ && sum <= limit; ++j) {
        const std::int64_t d = query.components[static_cast<std::size_t>(j)] - vector[j];
        sum += weights[static_cast<std::size_t>(j)] * d * d;
    }
    return sum;
}

void ExactMatcher::try_guesses(const Query& query, std::span<const int> guesses, Best& best) const {
    for (const int guess : guesses) {
        if (guess >= 0 && position_of_[guess] >= 0) {
            consider(query, position_of_[guess], best, INT64_MAX);
        }
    }
}

template <class Collector>
bool ExactMatcher::search_slab(const Query& query, int s, Collector& best, std::int64_t* shared_bound) const {
    auto current_bound = [&] {
        return shared_bound != nullptr ? std::min(best.bound(), __atomic_load_n(shared_bound, __ATOMIC_RELAXED))
                                       : best.bound();
    };
    const Slab& slab = slabs_[static_cast<std::size_t>(s)];
    const float first = query.projections[0];
    const double gap = std::max({0.0F, slab.low - first, first - slab.high});
    if (gap * gap > allowance(current_bound())) {
        return false;
    }
    // Blocks sorted along the second axis: walk outwards from the query's place among them.
    const float second = query.projections[1];
    int start = slab.first_block;
    while (start < slab.end_block && block_boxes_[static_cast<std::size_t>(start) * 2 * kLanes + kLanes + 1] < second) {
        ++start;
    }
    auto visit = [&](int block, double across) {
        const std::int64_t bound = current_bound();
        const double allowed = allowance(bound);
        if (gap * gap + across * across > allowed) {
            return false;
        }
        if (box_bound(query, block) <= allowed) {
            const std::int64_t before = best.bound();
            search_block(query, block, allowed, best, bound);
            if (shared_bound != nullptr && best.bound() < before) {
                lower_shared_bound(shared_bound, best.bound());
            }
        }
        return true;
    };
    for (int block = start; block < slab.end_block; ++block) {
        const float* lower = &block_boxes_[static_cast<std::size_t>(block) * 2 * kLanes];
        if (!visit(block, std::max(0.0F, lower[1] - second))) {
            break;
        }
    }
    for (int block = start - 1; block >= slab.first_block; --block) {
        const float* upper = &block_boxes_[static_cast<std::size_t>(block) * 2 * kLanes + kLanes];
        if (!visit(block, std::max(0.0F, second - upper[1]))) {
            break;
        }
    }
    return true;
}

template <class Collector>
bool ExactMatcher::walk(const Query& query, int first_step, int end_step, Collector& best,
                        std::int64_t* shared_bound) const {
    const int slabs = static_cast<int>(slabs_.size());
    bool up = true;
    bool down = true;
    for (int k = first_step; k < end_step && (up || down); ++k) {
        if (up) {
            const int s = query.start_slab + k;
            up = s < slabs && search_slab(query, s, best, shared_bound);
        }
        if (down) {
            const int s = query.start_slab - 1 - k;
            down = s >= 0 && search_slab(query, s, best, shared_bound);
        }
    }
    return up || down;
}

bool ExactMatcher::search(const Query& query, int first_step, int end_step, Best& best,
                          std::int64_t* shared_bound) const {
    return walk(query, first_step, end_step, best, shared_bound);
}

int ExactMatcher::find(const Query& query, std::span<const int> guesses) const {
    Best best;
    try_guesses(query, guesses, best);
    if (!indexed_) {
        for (int position = 0; position < stored_; ++position) {
            consider(query, position, best, INT64_MAX);
        }
        return best.index;
    }
    walk(query, 0, std::numeric_limits<int>::max(), best, nullptr);
    return best.index;
}

void ExactMatcher::find_nearest(const Query& query, Nearest& nearest) const {
    if (!indexed_) {
        for (int position = 0; position < stored_; ++position) {
            consider(query, position, nearest, INT64_MAX);
        }
        return;
    }
    walk(query, 0, std::numeric_limits<int>::max(), nearest, nullptr);
}

namespace {

// The best candidate among those that fit: the others may never enter.
struct FittingBest {
    ExactMatcher::Best best;
    const std::function<bool(int)>& fits;

    std::int64_t bound() const { return best.bound(); }
    std::int64_t limit_for(int i) const { return fits(i) ? best.limit_for(i) : -1; }
    void offer(std::int64_t d, int i) { best.offer(d, i); }
};

}  // namespace

int ExactMatcher::find_fitting(const Query& query, const std::function<bool(int)>& fits) const {
    FittingBest fitting{{}, fits};
    if (!indexed_) {
        for (int position = 0; position < stored_; ++position) {
            consider(query, position, fitting, INT64_MAX);
        }
        return fitting.best.index;
    }
    walk(query, 0, std::numeric_limits<int>::max(), fitting, nullptr);
    return fitting.best.index;
}

ExactMatcher::Query ExactMatcher::query_of(int index) const {
    Query query = make_query();
    const int position = position_of_[index];
    std::copy_n(&vectors_[static_cast<std::size_t>(position) * padded_], padded_, query.components.begin());
    if (indexed_) {
        const float* block = &block_projections_[static_cast<std::size_t>(position / kLanes) * axes_ * kLanes];
        for (int a = 0; a < axes_; ++a) {
            query.projections[a] = block[a * kLanes + position % kLanes];
        }
    }
    place(query);
    return query;
}

void ExactMatcher::Nearest::offer(std::int64_t distance, int index) {
    const Item item{distance, index};
    const auto at = std::upper_bound(items_.begin(), items_.end(), item, [](const Item& a, const Item& b) {
        return a.distance < b.distance || (a.distance == b.distance && a.index < b.index);
    });
    items_.insert(at, item);
    if (static_cast<int>(items_.size()) > k_) {
        items_.pop_back();
    }
}
