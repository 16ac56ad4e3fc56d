#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pyramid/level_table.h"
#include "synthesis/block_bounds.h"
#include "synthesis/squared_distance.h"

// Exact nearest-neighbour search over the candidates of one exemplar level: the same candidates, in the same
// order, and the same squared distance as the kd-tree's training set, but the true nearest candidate, ties
// going to the lowest index, so the answer does not depend on how it was found.
//
// Every candidate is projected on the leading principal axes of the candidate set. The distance between
// two projections is a lower bound of the distance between the vectors, cheap to compute, and usually close
// to it, so a search computes the true distance only for the few candidates whose bound does not already
// exceed the best distance found so far. Candidates are sorted by their projection on the first axis and
// kept in blocks of eight: a search walks the blocks outwards from the query's projection, stops on a side
// once the first axis alone rules out the next block, and bounds a whole block at a time. True distances
// are computed on 16-bit components, permuted so that the most variable come first (a partial sum then
// grows fast and a hopeless candidate is given up early) and padded with zeros.
class ExactMatcher {
public:
    ExactMatcher(const std::uint8_t* exemplar_pyramid, const LevelTable& exemplar, const int* matrix_row, int n,
                 int levels);

    int count() const { return count_; }
    int dimension() const { return dimension_; }
    // Candidate i is exemplar pixel (border + i % columns, border + i / columns) of the level.
    int border() const { return border_; }
    int columns() const { return columns_; }
    const std::uint8_t* colour(int index) const { return &colours_[static_cast<std::size_t>(index) * 3]; }

    // A prepared query: the components permuted and padded, and their projections.
    struct Query {
        std::vector<std::int16_t> components;
        std::vector<float> projections;
        int start_slab = 0;  // first slab not below the query on the first axis
    };
    Query make_query() const;
    // Fills `query` from a neighbourhood vector in the usual component order.
    void prepare(const std::int16_t* vector, Query& query) const;

    // The best candidate so far, by (distance, index).
    struct Best {
        std::int64_t distance = INT64_MAX;
        int index = -1;
        bool improves_on(std::int64_t d, int i) const { return d < distance || (d == distance && i < index); }
    };

    // Tries the candidates `guesses` (indices; negative ones are skipped): a good guess gives a tight bound
    // before the search proper.
    void try_guesses(const Query& query, std::span<const int> guesses, Best& best) const;

    // Walks the blocks outwards from the query, steps first_step .. end_step - 1 on each side (step k takes
    // the k-th block above and the k-th below), so that several threads can share a search; `shared_bound`,
    // if given, is the best distance any of them has found so far, which each lowers as it improves on it.
    // Returns false once no later step can hold a nearer candidate.
    bool search(const Query& query, int first_step, int end_step, Best& best, std::int64_t* shared_bound) const;

    // The whole search on one thread.
    int find(const Query& query, std::span<const int> guesses) const;

private:
    int count_ = 0;
    int dimension_ = 0;
    int padded_ = 0;     // dimension rounded up to kDistanceBlock
    int axes_ = 0;       // principal axes used for bounds, a multiple of 8 (unused ones are zero)
    int axis_span_ = 0;  // leading permuted components the axes are taken over
    int blocks_ = 0;
    int border_ = 0;
    int columns_ = 0;
    SquaredDistanceFunction distance_;
    SurvivingLanesFunction surviving_lanes_;
    BoxDistanceFunction box_distance_;
    bool vectorised_ = false;
    std::vector<int> component_order_;   // position j holds original component component_order_[j]
    std::vector<double> axis_;              // axes_ x axis_span_, orthonormal
    std::vector<double> axis_by_component_; // the same, transposed: axis_span_ x axes_
    std::vector<std::int16_t> vectors_;  // count x padded, in sorted order
    std::vector<float> block_projections_;  // per block: axes_ x 8 lanes
    // Slabs of blocks: candidates sorted along the first axis, cut into slabs of kSlabBlocks blocks, each
    // slab sorted along the second axis.
    struct Slab {
        int first_block;
        int end_block;
        float low;  // extent along the first axis
        float high;
    };
    std::vector<Slab> slabs_;
    std::vector<float> block_boxes_;        // per block: lower corner, then upper corner, on the first 8 axes
    std::vector<int> index_of_;          // sorted position -> candidate index (-1 past the last candidate)
    std::vector<int> position_of_;       // candidate index -> sorted position
    std::vector<std::uint8_t> colours_;  // by candidate index

    // Permutes a vector's components into `components` and projects them on the axes.
    void project(const std::int16_t* vector, std::vector<std::int16_t>& components, double* projections) const;
    void consider(const Query& query, int position, Best& best, std::int64_t bound) const;
    float box_bound(const Query& query, int block) const;
    // Searches the blocks of slab `s` that may hold a nearer candidate; false if the slab lies too far away
    // along the first axis (and with it every slab beyond).
    bool search_slab(const Query& query, int s, Best& best, std::int64_t* shared_bound) const;
    // Considers every candidate of `block` whose bound does not exceed `allowed`.
    void search_block(const Query& query, int block, double allowed, Best& best, std::int64_t bound) const;
};
