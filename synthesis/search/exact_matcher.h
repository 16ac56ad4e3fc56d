#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "pyramid/level_table.h"
#include "synthesis/search/block_bounds.h"
#include "synthesis/search/candidate_grid.h"
#include "synthesis/search/search_team.h"
#include "synthesis/search/squared_distance.h"

// Exact nearest-neighbour search over the candidates of one exemplar level: the same candidates, in the same
// order, and the same squared distance as the kd-tree's training set, but the true nearest candidate, ties
// going to the lowest index, so the answer does not depend on how it was found.
//
// Every candidate is projected on the leading principal axes of the candidate set. The distance between
// two projections is a lower bound of the distance between the vectors, cheap to compute, and usually close
// to it, so a search computes the true distance only for the few candidates whose bound does not already
// exceed the best distance found so far. Candidates are sorted along the first axis and cut into slabs,
// each slab sorted along the second axis and kept in blocks of eight. A search walks the slabs outwards from
// the query along the first axis, and within a slab the blocks outwards along the second; it stops a walk
// once those axes alone rule out what lies beyond, skips a block whose bounding box is too far away, and
// bounds the eight candidates of a block at once. True distances are computed on 16-bit components,
// permuted so that the most variable come first (a partial sum then grows fast and a hopeless candidate is
// given up early) and padded with zeros.
class ExactMatcher {
public:
    // With a team, its threads share the building of the index.
    ExactMatcher(const std::uint8_t* exemplar_pyramid, const LevelTable& exemplar, const int* matrix_row, int n,
                 int levels, CandidateOptions options = {}, SearchTeam* team = nullptr);

    // Candidates are numbered as the grid numbers them; those excluded (CandidateOptions::excluded) keep their
    // numbers but are never found, tried or returned.
    int count() const { return count_; }
    bool is_candidate(int index) const { return position_of_[static_cast<std::size_t>(index)] >= 0; }
    int dimension() const { return dimension_; }
    NeighbourhoodShape shape() const { return shape_; }
    // Without an index (CandidateOptions::indexed), every search tries every candidate.
    bool indexed() const { return indexed_; }
    // The levels its neighbourhoods take: n .. levels_read() - 1.
    int levels_read() const { return levels_read_; }
    const CandidateGrid& grid() const { return grid_; }
    // How pixels become components, for the queries: the same as for the candidates.
    const MatchedChannels& channels() const { return *channels_; }
    // Candidate `index`'s matched pixel (MatchedChannels::count bytes): the leading `copied` ones are what it
    // brings along when it is copied, the rest its guides.
    const std::uint8_t* colour(int index) const { return &pixels_[static_cast<std::size_t>(index) * stride_]; }

    // A prepared query: the components permuted and padded, and their projections.
    struct Query {
        std::vector<std::int16_t> components;
        std::vector<float> projections;
        int start_slab = 0;  // first slab not below the query on the first axis
    };
    Query make_query() const;
    // Fills `query` from a neighbourhood vector in the usual component order.
    void prepare(const std::int16_t* vector, Query& query) const;
    // Fills only the components of `query`: enough for try_guesses. project_query completes it for a search.
    void load(const std::int16_t* vector, Query& query) const;
    void project_query(Query& query) const;

    // The best candidate so far, by (distance, index).
    struct Best {
        std::int64_t distance = INT64_MAX;
        int index = -1;
        bool improves_on(std::int64_t d, int i) const { return d < distance || (d == distance && i < index); }

        // What a search asks of what it collects: beyond what distance nothing can enter, what distance a
        // candidate may have at most to enter (one after the best in index order must be strictly nearer),
        // and a candidate that is within that.
        std::int64_t bound() const { return distance; }
        std::int64_t limit_for(int i) const { return i < index ? distance : distance - 1; }
        void offer(std::int64_t d, int i) {
            if (improves_on(d, i)) {
                distance = d;
                index = i;
            }
        }
    };

    // The k nearest candidates, by (distance, index), leaving out one candidate (or none: -1).
    class Nearest {
    public:
        struct Item {
            std::int64_t distance;
            int index;
        };
        Nearest(int k, int excluded) : k_(k), excluded_(excluded) {}
        const std::vector<Item>& items() const { return items_; }

        std::int64_t bound() const { return full() ? items_.back().distance : INT64_MAX; }
        std::int64_t limit_for(int i) const {
            if (i == excluded_) {
                return -1;
            }
            if (!full()) {
                return INT64_MAX - 1;
            }
            return i < items_.back().index ? items_.back().distance : items_.back().distance - 1;
        }
        void offer(std::int64_t distance, int index);

    private:
        bool full() const { return static_cast<int>(items_.size()) >= k_; }
        int k_;
        int excluded_;
        std::vector<Item> items_;
    };

    // The squared distance from the query to candidate `index`, or some value above `limit` once it exceeds it.
    std::int64_t distance(const Query& query, int index, std::int64_t limit) const;

    // One weight per component, given in the usual component order, put into `stored` in the order the matcher
    // keeps its components in: for weighted_distance.
    void stored_order(std::span<const std::int32_t> weights, std::vector<std::int32_t>& stored) const;
    // The squared distance with every component's square times its weight (`weights` from stored_order), or
    // some value above `limit` once it exceeds it (the largest value for an index that is not a candidate).
    std::int64_t weighted_distance(const Query& query, std::span<const std::int32_t> weights, int index,
                                   std::int64_t limit) const;

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

    // The k nearest candidates to `query`.
    void find_nearest(const Query& query, Nearest& nearest) const;
    // The nearest candidate for which `fits(index)` holds (ties to the lowest index), or -1 if none does.
    int find_fitting(const Query& query, const std::function<bool(int)>& fits) const;
    // The query made of candidate `index`'s own vector.
    Query query_of(int index) const;

private:
    int count_ = 0;
    int stored_ = 0;  // candidates not excluded: the positions of the search
    int dimension_ = 0;
    NeighbourhoodShape shape_ = NeighbourhoodShape::causal;
    int levels_read_ = 0;
    const MatchedChannels* channels_ = nullptr;
    int stride_ = 3;
    bool indexed_ = true;
    int padded_ = 0;     // dimension rounded up to kDistanceBlock
    int axes_ = 0;       // principal axes used for bounds, a multiple of 8 (unused ones are zero)
    int axis_span_ = 0;  // leading permuted components the axes are taken over
    int blocks_ = 0;
    CandidateGrid grid_;
    SquaredDistanceFunction distance_;
    SurvivingLanesFunction surviving_lanes_;
    BoxDistanceFunction box_distance_;
    bool vectorised_ = false;
    std::vector<int> component_order_;   // position j holds original component component_order_[j]
    std::vector<double> axis_;              // axes_ x axis_span_, orthonormal
    std::vector<double> axis_by_component_; // the same, transposed: axis_span_ x axes_
    // Written in full by the constructor, so never zeroed first: at a few hundred thousand candidates, the
    // time of touching their pages shows.
    std::unique_ptr<std::int16_t[]> vectors_;  // stored x padded, in slab order
    std::unique_ptr<float[]> block_projections_;  // per block: axes_ x 8 lanes
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
    std::vector<int> index_of_;          // position in slab order -> candidate index (-1 past the last one)
    std::vector<int> position_of_;       // candidate index -> position in slab order
    std::vector<std::uint8_t> pixels_;  // by candidate index, stride_ bytes each

    // Permutes a vector's components into `components` and projects them on the axes.
    void project(const std::int16_t* vector, std::vector<std::int16_t>& components, double* projections) const;
    // Finds the query's first slab.
    void place(Query& query) const;
    float box_bound(const Query& query, int block) const;
    // The search itself, for either kind of collector (Best or Nearest).
    template <class Collector>
    void consider(const Query& query, int position, Collector& best, std::int64_t bound) const;
    // Considers every candidate of `block` whose bound does not exceed `allowed`.
    template <class Collector>
    void search_block(const Query& query, int block, double allowed, Collector& best, std::int64_t bound) const;
    // Searches the blocks of slab `s` that may hold a nearer candidate; false if the slab lies too far away
    // along the first axis (and with it every slab beyond).
    template <class Collector>
    bool search_slab(const Query& query, int s, Collector& best, std::int64_t* shared_bound) const;
    template <class Collector>
    bool walk(const Query& query, int first_step, int end_step, Collector& best, std::int64_t* shared_bound) const;
};
