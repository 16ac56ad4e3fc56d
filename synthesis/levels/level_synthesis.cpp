#include "synthesis/levels/level_synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <atomic>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "pyramid/level_table.h"
#include "synthesis/patterns/period_cells.h"
#include "synthesis/search/neighbourhood.h"
#include "synthesis/search/pyramid_views.h"
#include "synthesis/search/source_maps.h"

namespace {

struct QueryPointDeleter {
    void operator()(ANNcoord* point) const { annDeallocPt(point); }
};

// The approximate search: the kd-tree of a training set, queried with vectors of doubles.
class TreeSearch {
public:
    TreeSearch(const TrainingSet& set, double eps)
        : set_(set), eps_(eps), query_(annAllocPt(set.dimension, 0)) {}

    template <class View>
    void gather(const int* matrix_row, int n, int levels, int x, int y, const View& view) {
        gather_neighbourhood(matrix_row, n, levels, x, y, view, query_.get(), NeighbourhoodShape::causal,
                             *set_.channels);
    }
    int find(int /*x*/, int /*y*/, const SourceMaps& /*sources*/) {
        set_.tree->annkSearch(query_.get(), 1, &index_, &distance_, eps_);
        return index_;
    }
    const std::uint8_t* colour(int index) const {
        return &set_.colours[static_cast<std::size_t>(index) * set_.channels->copied];
    }
    const CandidateGrid& grid() const { return set_.grid; }

private:
    const TrainingSet& set_;
    double eps_;
    const std::unique_ptr<ANNcoord, QueryPointDeleter> query_;
    ANNidx index_ = 0;
    ANNdist distance_ = 0;
};

// The exact search, seeded with the candidates that continue where the pixel's neighbours above and to the
// left came from, and shared by the threads of `team` (if any) where the candidates are many enough.
class ExactSearch {
public:
    ExactSearch(const ExactMatcher& matcher, SearchTeam* team)
        : matcher_(matcher), vector_(static_cast<std::size_t>(matcher.dimension())), query_(matcher.make_query()),
          team_(team != nullptr && team->size() > 1 && matcher.count() >= kMinCandidatesPerTeam ? team : nullptr),
          results_(team_ != nullptr ? static_cast<std::size_t>(team_->size()) : 0) {}

    // Only the components: the projections are made when a search needs them.
    template <class View>
    void gather(const int* matrix_row, int n, int /*levels*/, int x, int y, const View& view) {
        gather_neighbourhood(matrix_row, n, matcher_.levels_read(), x, y, view, vector_.data(), matcher_.shape(),
                             matcher_.channels());
        matcher_.load(vector_.data(), query_);
        centre_ = view.row(n, y) + view.column(n, x);
    }
    // The matched pixel the last query was gathered around (its guides are the target's).
    const std::uint8_t* centre() const { return centre_; }
    int find(int x, int y, const SourceMaps& sources) {
        // Neighbours already synthesized in this pass, shifted by their offsets.
        static constexpr int kNeighbours[][2] = {{-1, 0}, {0, -1}, {-1, -1}, {1, -1}, {-2, 0}};
        int guesses[std::size(kNeighbours)];
        int count = 0;
        for (const auto& [dx, dy] : kNeighbours) {
            if (sources.level != nullptr && x + dx >= 0 && y + dy >= 0 && x + dx < sources.width &&
                sources.at(x + dx, y + dy) >= 0) {
                const int source = sources.at(x + dx, y + dy);
                const int guess = matcher_.grid().candidate_at(source % sources.exemplar_width - dx,
                                                               source / sources.exemplar_width - dy);
                if (guess >= 0) {
                    guesses[count++] = guess;
                }
            }
        }
        return find(std::span<const int>(guesses, static_cast<std::size_t>(count)));
    }
    int find(std::span<const int> guesses) {
        matcher_.project_query(query_);
        return team_ != nullptr && matcher_.indexed() ? find_together(guesses) : matcher_.find(query_, guesses);
    }
    // The nearest candidate for which `fits` holds, or -1 if none does.
    int find_fitting(const std::function<bool(int)>& fits) {
        matcher_.project_query(query_);
        return matcher_.find_fitting(query_, fits);
    }
    const ExactMatcher::Query& query() const { return query_; }
    // The gathered neighbourhood in the usual component order.
    const std::int16_t* vector() const { return vector_.data(); }
    const std::uint8_t* colour(int index) const { return matcher_.colour(index); }
    const CandidateGrid& grid() const { return matcher_.grid(); }

private:
    // Below this many candidates a search is over before the threads could share it.
    static constexpr int kMinCandidatesPerTeam = 4'096;
    // Steps of the search a thread takes at a time.
    static constexpr int kStepsPerShare = 8;

    // The threads take the steps of the search a few at a time, each from the guesses' bound; the best of
    // them wins, so the answer is the same for any number of threads.
    int find_together(std::span<const int> guesses) {
        ExactMatcher::Best initial;
        matcher_.try_guesses(query_, guesses, initial);
        std::int64_t shared_bound = initial.distance;
        for (Result& result : results_) {
            result.best = initial;
        }
        auto work = [&](int thread, int share) {
            return matcher_.search(query_, share * kStepsPerShare, (share + 1) * kStepsPerShare,
                                   results_[thread].best, &shared_bound);
        };
        team_->share(work);
        ExactMatcher::Best best = initial;
        for (const Result& result : results_) {
            if (best.improves_on(result.best.distance, result.best.index)) {
                best = result.best;
            }
        }
        return best.index;
    }

    struct alignas(64) Result {  // one cache line per thread
        ExactMatcher::Best best;
    };

    const ExactMatcher& matcher_;
    std::vector<std::int16_t> vector_;
    ExactMatcher::Query query_;
    const std::uint8_t* centre_ = nullptr;
    SearchTeam* team_;
    std::vector<Result> results_;
};

// The coherent search: the exact best among the candidates that continue the neighbours' sources, their
// similar candidates and the parent's, with the exact search where none of them is a candidate.
class CoherentSearch {
public:
    // How many times a kept pixel of the square counts where the search weighs every candidate: the pixels
    // around a hole are known, the hole's own pixels only guesses of the pass before, so that the pixels at
    // the hole's edge fit what surrounds it above all (before the edge's search was made sparser on large
    // levels, the edge's z-score stayed below 2 on 35 of the 42 benchmark holes with 32, on 30 with 4).
    static constexpr std::int32_t kKeptWeight = 32;

    // `half_size`: the neighbourhood's; `candidate_half_size`: the square whose pixels' copies give the candidates.
    CoherentSearch(const ExactMatcher& matcher, const SimilarCandidates& similar, int half_size,
                   int candidate_half_size, bool all_around, SearchTeam* team, const LatticePhase* phase)
        : exact_(matcher, team), matcher_(matcher), similar_(similar), half_size_(half_size),
          candidate_half_size_(candidate_half_size), all_around_(all_around),
          seen_(static_cast<std::size_t>(matcher.count()), -1), phase_(phase) {}

    template <class View>
    void gather(const int* matrix_row, int n, int levels, int x, int y, const View& view) {
        exact_.gather(matrix_row, n, levels, x, y, view);
    }
    // The one candidate of pixel (x, y) of a later pass where every neighbour and the parent lead to it (inside a
    // copy: 40 to 80 % of the pixels): the search would choose it whatever it weighs, so it needs no neighbourhood
    // gathered. -1 where there are more, or the search weighs others besides; find then takes the candidates
    // from here.
    int sole_candidate(int x, int y, const SourceMaps& sources) {
        if (exhaustive_ != nullptr || guide_tolerance_ > 0 || escape_ != nullptr) {
            return -1;
        }
        collect_candidates(x, y, sources);
        if (candidates_.size() == 1) {
            return candidates_[0];
        }
        collected_ = true;
        return -1;
    }
    int find(int x, int y, const SourceMaps& sources) {
        if (!collected_) {
            collect_candidates(x, y, sources);
        }
        collected_ = false;
        if (candidates_.empty()) {
            return exact_.find({});
        }
        if (exhaustive_ != nullptr && exhaustive_[static_cast<std::size_t>(y) * sources.width + x] != 0) {
            // The nearest of all (or of the sparse matcher's, or the pixel's hint, with its neighbours) joins the
            // candidates, and the kept pixels weigh more in choosing among them: a pixel next to kept ones has to
            // fit them above all.
            if (hints_ != nullptr) {
                add_hint((*hints_)[static_cast<std::size_t>(y) * sources.width + x]);
            } else if (sparse_ != nullptr) {
                add_sparse_nearest();
            } else {
                candidates_.push_back(exact_.find(candidates_));
            }
            matcher_.stored_order(kept_weights(x, y, sources), stored_weights_);
            ExactMatcher::Best best;
            for (const int candidate : candidates_) {
                const std::int64_t limit = best.limit_for(candidate);
                const std::int64_t d = matcher_.weighted_distance(exact_.query(), stored_weights_, candidate, limit);
                if (d <= limit) {
                    best.offer(d, candidate);
                }
            }
            return best.index;
        }
        if (guide_tolerance_ > 0) {
            // Only the candidates whose guides fit the pixel's; where none does, the nearest of all that fit (or
            // of all, where the exemplars have no such guide).
            const auto fits = [this](int candidate) { return !strays_from_guide(candidate); };
            std::erase_if(candidates_, [&fits](int candidate) { return !fits(candidate); });
            if (candidates_.empty()) {
                const int fitting = exact_.find_fitting(fits);
                return fitting >= 0 ? fitting : exact_.find({});
            }
        }
        ExactMatcher::Best best;
        if (penalty_ == nullptr && shift_weight_ == 0 && agreement_ == 0 && usage_weight_ == 0) {
            matcher_.try_guesses(exact_.query(), candidates_, best);
            return best.index;
        }
        note_continuations(x, y, sources);
        std::int64_t best_shift_penalty = 0;
        const auto weigh = [&](int candidate) {
            // The distance first: the shift penalty is worth working out only for a candidate still in the race.
            const std::int64_t usage = usage_penalty(candidate);
            const std::int64_t penalty =
                (penalty_ != nullptr ? (*penalty_)[static_cast<std::size_t>(candidate)] : 0) + disagreement(candidate) +
                usage;
            const std::int64_t limit = best.limit_for(candidate) - penalty;
            if (limit < 0) {
                return;
            }
            const std::int64_t d = matcher_.distance(exact_.query(), candidate, limit);
            if (d > limit) {
                return;
            }
            const std::int64_t shift_penalty = this->shift_penalty(candidate, x, y);
            if (best.improves_on(d + penalty + shift_penalty, candidate)) {
                best.offer(d + penalty + shift_penalty, candidate);
                best_shift_penalty = shift_penalty;
            }
        };
        for (const int candidate : candidates_) {
            weigh(candidate);
        }
        if (best_shift_penalty > 0 && escape_ != nullptr) {
            // The best would repeat copies: the candidates most like the ones weighed, put in step, may do
            // better.
            const CandidateGrid& grid = matcher_.grid();
            const std::size_t weighed = candidates_.size();
            for (std::size_t i = 0; i < weighed; ++i) {
                for (const int other : escape_->of(candidates_[i])) {
                    if (other < 0) {
                        continue;
                    }
                    const int pixel = grid.pixel_of(other);
                    const int candidate = candidate_in_step(grid, phase_, pixel % grid.exemplar_width,
                                                            pixel / grid.exemplar_width, x, y);
                    if (candidate >= 0 && seen_[candidate] != stamp_ &&
                        (guide_tolerance_ == 0 || !strays_from_guide(candidate))) {
                        seen_[candidate] = stamp_;
                        candidates_.push_back(candidate);
                        weigh(candidate);
                    }
                }
            }
        }
        if (usage_weight_ > 0 && best.index >= 0 && usage_penalty(best.index) > 0) {
            // The best would overuse its pixel: the nearest of the pixels used less than their share, wherever
            // it lies, may do better. (The candidates most like the ones weighed would start the copy near
            // where it started before: a pine plank's repeat share rose to 0.053 and 0.057 on two of ten seeds.)
            const double share = used_share();
            const int fresh = exact_.find_fitting([&](int candidate) {
                return uses_[static_cast<std::size_t>(candidate)] + 1 <= share &&
                       (guide_tolerance_ == 0 || !strays_from_guide(candidate));
            });
            if (fresh >= 0 && seen_[fresh] != stamp_) {
                seen_[fresh] = stamp_;
                weigh(fresh);
            }
        }
        return best.index;
    }
    // Pixel (x, y) was given `candidate`: the first pass counts it for the shift and usage penalties of the
    // pixels after it.
    void chose(int x, int y, int candidate) {
        if (shift_weight_ > 0 && shifts_ == &own_shifts_) {
            own_shifts_.add(x, y, matcher_.grid().pixel_of(candidate));
        }
        if (usage_weight_ > 0) {
            ++uses_[static_cast<std::size_t>(candidate)];
            ++chosen_;
        }
    }
    // The usage penalty (LevelJob::usage_penalty) from now on, counting from no pixel chosen: `weight` (0: none).
    void set_usage_penalty(double weight) {
        usage_weight_ = weight;
        uses_.assign(weight > 0 ? static_cast<std::size_t>(matcher_.count()) : 0, 0);
        chosen_ = 0;
    }
    // The shift penalty (LevelJob::shift_penalty) from now on: `weight` (0: none) and `escape`; the pairs are
    // those of `shifts`, which count every pixel of the level, or with nullptr those this search counts itself
    // as it chooses (the first pass), starting from none.
    void set_shift_penalty(double weight, const SimilarCandidates* escape, double allowed, double steep,
                           const RepeatShifts* shifts, int width, int height) {
        shift_weight_ = weight;
        escape_ = escape;
        if (shifts == nullptr && weight > 0) {
            const CandidateGrid& grid = matcher_.grid();
            own_shifts_.allow(allowed, steep);
            own_shifts_.reset(width, height, grid.exemplar_width * grid.exemplar_height);
            shifts = &own_shifts_;
        }
        shifts_ = shifts;
    }
    // LevelJob::guide_tolerance.
    void set_guide_tolerance(int tolerance) { guide_tolerance_ = tolerance; }
    // LaterPasses::agreement from now on (0: none).
    void set_agreement(double weight) { agreement_ = weight; }
    // Penalties per candidate added to the distances from now on (nullptr: none).
    void set_penalty(const std::vector<std::int64_t>* penalty) { penalty_ = penalty; }
    // Pixels whose search weighs every candidate (LevelJob::exhaustive), or none, and the kept pixels
    // (LevelJob::fixed) those searches weigh more, read past the level's edges by `edges`; a matcher over a
    // sparser set of the candidates for those searches (LaterPasses::sparse), or none.
    void set_exhaustive(const std::uint8_t* exhaustive, const std::uint8_t* kept, EdgeRule edges,
                        const ExactMatcher* sparse, const std::vector<int>* hints = nullptr) {
        exhaustive_ = exhaustive;
        hints_ = hints;
        kept_ = kept;
        kept_edges_ = edges;
        sparse_ = sparse;
        if (sparse_ != nullptr) {
            sparse_query_ = sparse_->make_query();
        }
    }
    const std::uint8_t* colour(int index) const { return matcher_.colour(index); }
    const CandidateGrid& grid() const { return matcher_.grid(); }
    int dimension() const { return matcher_.dimension(); }

private:
    void collect_candidates(int x, int y, const SourceMaps& sources) {
        coherent_candidates(matcher_.grid(), similar_, sources, x, y, candidate_half_size_, all_around_, candidates_,
                            seen_, ++stamp_, phase_, agreement_ > 0 ? &continued_ : nullptr);
        if (agreement_ > 0) {
            sum_continued();
        }
    }

    // Copied component c of `candidate`.
    std::int64_t copied_component(int candidate, int c) const {
        const MatchedChannels& channels = matcher_.channels();
        const std::uint8_t value = matcher_.colour(candidate)[c];
        return channels.components.empty() ? value : channels.component(c, value);
    }

    // The continued candidates' counts, their copied components weighed by count and their squares weighed by
    // count, so that the disagreement of any candidate takes one product per component, however many
    // neighbours' copies there are.
    void sum_continued() {
        const int copied = matcher_.channels().copied;
        continued_count_ = 0;
        continued_squares_ = 0;
        continued_sum_.assign(static_cast<std::size_t>(copied), 0);
        for (const auto& [continued, count] : continued_) {
            continued_count_ += count;
            for (int c = 0; c < copied; ++c) {
                const std::int64_t component = copied_component(continued, c);
                continued_sum_[static_cast<std::size_t>(c)] += count * component;
                continued_squares_ += count * component * component;
            }
        }
    }

    // How far `candidate` lies from what the neighbours' copies would put at the pixel (LaterPasses::agreement):
    // the squared distance of its copied components from each continued candidate's, summed over the
    // neighbours, times the weight. Summed as count c^2 - 2 c (count o) + count o^2 with sum_continued's sums.
    std::int64_t disagreement(int candidate) const {
        if (agreement_ == 0) {
            return 0;
        }
        std::int64_t sum = continued_squares_;
        for (std::size_t c = 0; c < continued_sum_.size(); ++c) {
            const std::int64_t component = copied_component(candidate, static_cast<int>(c));
            sum += component * (continued_count_ * component - 2 * continued_sum_[c]);
        }
        return static_cast<std::int64_t>(agreement_ * static_cast<double>(sum));
    }

    // The uses each candidate would have if the pixels chosen so far were spread evenly.
    double used_share() const { return static_cast<double>(chosen_) / matcher_.count(); }

    // The candidates that continue the copies of pixel (x, y)'s left and upper neighbours, which the usage
    // penalty leaves free.
    void note_continuations(int x, int y, const SourceMaps& sources) {
        continues_left_ = -1;
        continues_up_ = -1;
        if (usage_weight_ == 0) {
            return;
        }
        const CandidateGrid& grid = matcher_.grid();
        const int width = sources.exemplar_width;
        const int left = sources.at(x - 1, y);
        const int up = sources.at(x, y - 1);
        if (left >= 0) {
            continues_left_ = grid.candidate_at(left % width + 1, left / width);
        }
        if (up >= 0) {
            continues_up_ = grid.candidate_at(up % width, up / width + 1);
        }
    }

    // LevelJob::usage_penalty for `candidate` at the pixel whose continuations note_continuations noted.
    std::int64_t usage_penalty(int candidate) const {
        if (usage_weight_ == 0 || candidate == continues_left_ || candidate == continues_up_) {
            return 0;
        }
        const double beyond = uses_[static_cast<std::size_t>(candidate)] + 1 - used_share();
        return beyond > 0 ? static_cast<std::int64_t>(usage_weight_ * matcher_.dimension() * beyond) : 0;
    }

    std::int64_t shift_penalty(int candidate, int x, int y) const {
        if (shift_weight_ == 0) {
            return 0;
        }
        const std::int64_t pairs = shifts_->pairs_at(matcher_.grid().pixel_of(candidate), x, y);
        return static_cast<std::int64_t>(shift_weight_ * matcher_.dimension() * static_cast<double>(pairs) /
                                         shifts_->pixels());
    }

    // The exemplar pixel (x, y) and its 3 x 3 neighbours on the grid join the candidates.
    void add_around(int x, int y) {
        const CandidateGrid& grid = matcher_.grid();
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int candidate = grid.candidate_at(x + dx, y + dy);
                if (candidate >= 0 && matcher_.is_candidate(candidate) && seen_[candidate] != stamp_) {
                    seen_[candidate] = stamp_;
                    candidates_.push_back(candidate);
                }
            }
        }
    }
    // Adds the sparse matcher's nearest candidate and its neighbours on the grid to the candidates.
    void add_sparse_nearest() {
        sparse_->prepare(exact_.vector(), sparse_query_);
        const int nearest = sparse_->find(sparse_query_, candidates_);
        const CandidateGrid& grid = matcher_.grid();
        add_around(grid.left + nearest % grid.columns, grid.top + nearest / grid.columns);
    }
    // Adds the exemplar pixel `hint` (-1: none) and its neighbours on the grid to the candidates.
    void add_hint(int hint) {
        if (hint >= 0) {
            const int width = matcher_.grid().exemplar_width;
            add_around(hint % width, hint / width);
        }
    }

    // One weight per component of the query of pixel (x, y), in the usual order: kKeptWeight for the
    // components of the kept pixels of its own level, 1 for the others.
    const std::vector<std::int32_t>& kept_weights(int x, int y, const SourceMaps& sources) {
        weights_.assign(static_cast<std::size_t>(matcher_.dimension()), 1);
        if (kept_ == nullptr) {
            return weights_;
        }
        const int per_pixel = matcher_.channels().count;
        const auto inside = [this](int c, int span) {
            return kept_edges_ == EdgeRule::wrap ? (c % span + span) % span : std::clamp(c, 0, span - 1);
        };
        // The square the matcher compares, which is the causal half where a later pass of the coherent
        // search takes its candidates from all around.
        const bool full = matcher_.shape() == NeighbourhoodShape::full;
        const int s = half_size_;
        std::size_t c = 0;
        for (int dy = -s; dy <= (full ? s : 0); ++dy) {
            for (int dx = -s; dx <= s; ++dx) {
                if (dy == 0 && (dx == 0 || (!full && dx > 0))) {
                    continue;
                }
                const int xx = inside(x + dx, sources.width);
                const int yy = inside(y + dy, sources.height);
                if (kept_[static_cast<std::size_t>(yy) * sources.width + xx] != 0) {
                    std::fill_n(weights_.begin() + static_cast<std::ptrdiff_t>(c), per_pixel, kKeptWeight);
                }
                c += static_cast<std::size_t>(per_pixel);
            }
        }
        return weights_;
    }

    ExactSearch exact_;
    const ExactMatcher& matcher_;
    const SimilarCandidates& similar_;
    int half_size_;
    int candidate_half_size_;
    bool all_around_;
    const std::uint8_t* exhaustive_ = nullptr;
    const std::vector<int>* hints_ = nullptr;
    const ExactMatcher* sparse_ = nullptr;
    ExactMatcher::Query sparse_query_;
    const std::uint8_t* kept_ = nullptr;
    EdgeRule kept_edges_ = EdgeRule::wrap;
    std::vector<std::int32_t> weights_;         // kept_weights' result, in the usual order
    std::vector<std::int32_t> stored_weights_;  // the same in the matcher's order
    std::vector<int> candidates_;
    bool collected_ = false;  // candidates_ are those of the pixel find is asked about next
    std::vector<int> seen_;  // the pixel (stamp) for which each candidate was last added
    int stamp_ = 0;
    const std::vector<std::int64_t>* penalty_ = nullptr;
    double shift_weight_ = 0;
    const SimilarCandidates* escape_ = nullptr;
    const RepeatShifts* shifts_ = nullptr;
    RepeatShifts own_shifts_;
    const LatticePhase* phase_;  // for a regular pattern
    int guide_tolerance_ = 0;
    double agreement_ = 0;
    double usage_weight_ = 0;
    std::vector<int> uses_;     // per candidate, the pixels the first pass has given it
    std::int64_t chosen_ = 0;   // the pixels the first pass has chosen
    int continues_left_ = -1;   // note_continuations'
    int continues_up_ = -1;
    // What the neighbours' copies continue at the pixel (coherent_candidates) with their counts, and
    // sum_continued's sums of them.
    std::vector<std::pair<int, int>> continued_;
    std::int64_t continued_count_ = 0;
    std::vector<std::int64_t> continued_sum_;
    std::int64_t continued_squares_ = 0;

    bool strays_from_guide(int index) const {
        const MatchedChannels& channels = matcher_.channels();
        const std::uint8_t* candidate = matcher_.colour(index);
        const std::uint8_t* wanted = exact_.centre();
        for (int c = channels.copied; c < channels.count; ++c) {
            if (std::abs(int{candidate[c]} - int{wanted[c]}) > guide_tolerance_) {
                return true;
            }
        }
        return false;
    }
};

const MatchedChannels& channels_of(const LevelJob& job) {
    return job.channels != nullptr ? *job.channels : rgb_channels();
}

// Whether the caller has asked the level to stop (asked after every row, on the calling thread).
bool stop_asked(const LevelJob& job) { return job.hooks.should_stop && job.hooks.should_stop(); }

// The first pass: the raster scan, in place. The timed variant reads the clock around every stage of every
// pixel; the untimed one, which the program runs, has nothing but the work in its loop. False if stopped.
template <bool kTimed, class Search>
bool raster_pass(Search& search, const LevelJob& job, const LevelTable& table, SourceMaps& sources,
                 std::vector<int>* level_sources) {
    const int n = job.n;
    const int copied = channels_of(job).copied;
    const EdgePyramidView view(job.output_pyramid, table, job.matrix_row, n, job.levels, job.output_edges,
                               job.output_edges);
    LapClock clock;
    double gathering = 0;
    double searching = 0;
    double writing = 0;
    for (int y = 0; y < table.height[n]; ++y) {
        std::uint8_t* row = job.output_pyramid + pixel_index(table, n, 0, y);
        const std::uint8_t* fixed_row = job.fixed != nullptr ? job.fixed + static_cast<std::size_t>(y) * table.width[n] : nullptr;
        for (int x = 0; x < table.width[n]; ++x) {
            if (fixed_row != nullptr && fixed_row[x] != 0) {
                continue;
            }
            search.gather(job.matrix_row, n, job.levels, x, y, view);
            if constexpr (kTimed) {
                gathering += clock.lap();
            }
            const int index = search.find(x, y, sources);
            if constexpr (kTimed) {
                searching += clock.lap();
            }
            std::copy_n(search.colour(index), copied, row + x * table.channels);
            if (level_sources != nullptr) {
                (*level_sources)[static_cast<std::size_t>(y) * table.width[n] + x] = search.grid().pixel_of(index);
            }
            if constexpr (requires { search.chose(x, y, index); }) {
                search.chose(x, y, index);
            }
            if constexpr (kTimed) {
                writing += clock.lap();
            }
        }
        if (job.hooks.on_row) {
            job.hooks.on_row(y + 1, table.height[n] * job.passes);
        }
        if (stop_asked(job)) {
            return false;
        }
    }
    if constexpr (kTimed) {
        LevelProfile* profile = job.hooks.profile;
        profile->query_construction += gathering;
        profile->search += searching;
        profile->pixel_writing += writing;
        profile->queries += std::int64_t{table.width[n]} * table.height[n];
    }
    return true;
}

// How often each candidate of `grid` is copied in a level's sources, kept up to date as pixels change.
class CopyCounts {
public:
    CopyCounts(const CandidateGrid& grid, const std::vector<int>& sources)
        : grid_(grid), copies_(static_cast<std::size_t>(grid.count()), 0),
          share_(static_cast<double>(sources.size()) / grid.count()) {
        for (const int source : sources) {
            change(-1, source);
        }
    }

    // A pixel's source changes from `before` to `after` (-1: none).
    void change(int before, int after) {
        if (before == after) {
            return;
        }
        if (const int candidate = candidate_of(before); candidate >= 0) {
            --copies_[static_cast<std::size_t>(candidate)];
        }
        if (const int candidate = candidate_of(after); candidate >= 0) {
            ++copies_[static_cast<std::size_t>(candidate)];
        }
    }

    // Penalties per candidate for the copies beyond the share output pixels / candidates: `weight` times the
    // dimension per copy beyond it.
    void penalties(double weight, int dimension, std::vector<std::int64_t>& penalty) const {
        penalty.resize(copies_.size());
        for (std::size_t i = 0; i < copies_.size(); ++i) {
            penalty[i] = static_cast<std::int64_t>(std::max(0.0, copies_[i] - share_) * weight * dimension);
        }
    }

private:
    int candidate_of(int source) const {
        return source < 0 ? -1 : grid_.candidate_at(source % grid_.exemplar_width, source / grid_.exemplar_width);
    }

    const CandidateGrid& grid_;
    std::vector<int> copies_;
    double share_;
};

// A later pass, in lattice x lattice subsets of pixels one after another: every query reads a copy of the
// pyramid and of the sources as the subsets before left them, so the rows of a subset are independent; with
// `parallel`, the team's threads take them in turns, each with a search of its own from `make_search`.
template <class MakeSearch>
bool later_pass(MakeSearch& make_search, bool parallel, const LevelJob& job, const LevelTable& table,
                SourceMaps sources, std::vector<int>* level_sources, int pass) {
    const int n = job.n;
    const int copied = channels_of(job).copied;
    const int width = table.width[n];
    const int height = table.height[n];
    const int lattice = std::max(1, job.later.lattice);
    const std::size_t bytes =
        static_cast<std::size_t>(pyramid_bytes(table.width[0], table.height[0], job.levels, table.channels));
    std::vector<std::uint8_t> before(job.output_pyramid, job.output_pyramid + bytes);
    std::vector<int> sources_before;
    SearchTeam solo(1);
    SearchTeam& team = parallel && job.team != nullptr ? *job.team : solo;
    std::vector<decltype(make_search(0))> searches;
    for (int t = 0; t < team.size(); ++t) {
        searches.push_back(make_search(t));
    }
    // Only the coherent search weighs penalties.
    std::vector<std::int64_t> penalty;
    constexpr bool kPenalisable = requires { searches[0]->set_penalty(&penalty); };
    const bool penalised = kPenalisable && (job.later.repeat_penalty > 0 || job.later.pixel_costs != nullptr) &&
                           level_sources != nullptr;
    const bool shift_penalised = kPenalisable && job.shift_penalty > 0 && level_sources != nullptr;
    RepeatShifts shifts;
    shifts.allow(job.shift_allowed, job.shift_steep);
    if constexpr (kPenalisable) {
        for (auto& search : searches) {
            search->set_penalty(penalised ? &penalty : nullptr);
            search->set_agreement(level_sources != nullptr ? job.later.agreement : 0);
            search->set_shift_penalty(shift_penalised ? job.shift_penalty : 0, nullptr, job.shift_allowed,
                                      job.shift_steep, &shifts, width, height);
        }
    }
    const EdgePyramidView view(before.data(), table, job.matrix_row, n, job.levels, job.output_edges,
                               job.output_edges);
    int rows_visited = 0;  // over the subsets so far; a pass visits lattice x height rows
    std::atomic<bool> stopping{false};
    std::optional<CopyCounts> copy_counts;
    if (level_sources != nullptr) {
        sources_before = *level_sources;
        sources.level = sources_before.data();
        if constexpr (kPenalisable) {
            if (penalised) {
                copy_counts.emplace(searches[0]->grid(), sources_before);
            }
        }
    }
    for (int subset = 0; subset < lattice * lattice && !stopping; ++subset) {
        const int first_x = subset % lattice;
        const int first_y = subset / lattice;
        if (subset > 0) {
            // Only the pixels of the subset before have changed since: what the searches read catches up with them.
            const int last_x = (subset - 1) % lattice;
            const int last_y = (subset - 1) / lattice;
            for (int y = last_y; y < height; y += lattice) {
                for (int x = last_x; x < width; x += lattice) {
                    const int at = pixel_index(table, n, x, y);
                    std::copy_n(job.output_pyramid + at, table.channels, before.begin() + at);
                    if (level_sources != nullptr) {
                        const std::size_t i = static_cast<std::size_t>(y) * width + x;
                        if (copy_counts) {
                            copy_counts->change(sources_before[i], (*level_sources)[i]);
                        }
                        sources_before[i] = (*level_sources)[i];
                    }
                }
            }
        }
        if (level_sources != nullptr) {
            if constexpr (kPenalisable) {
                if (penalised) {
                    const CandidateGrid& grid = searches[0]->grid();
                    const int dimension = searches[0]->dimension();
                    copy_counts->penalties(job.later.repeat_penalty, dimension, penalty);
                    if (job.later.pixel_costs != nullptr) {
                        for (std::size_t c = 0; c < penalty.size(); ++c) {
                            const int pixel = grid.pixel_of(static_cast<int>(c));
                            penalty[c] += std::llround((*job.later.pixel_costs)[static_cast<std::size_t>(pixel)] *
                                                       dimension);
                        }
                    }
                }
                if (shift_penalised && subset == 0) {
                    const CandidateGrid& grid = searches[0]->grid();
                    shifts.count(sources_before, width, height, grid.exemplar_width * grid.exemplar_height, &team);
                }
            }
        }
        const int rows = first_y < height ? (height - first_y + lattice - 1) / lattice : 0;
        std::atomic<int> rows_done{0};
        auto work = [&](int thread, int share) {
            if (share >= rows || stopping.load(std::memory_order_relaxed)) {
                return false;
            }
            const int y = first_y + share * lattice;
            auto& search = *searches[static_cast<std::size_t>(thread)];
            std::uint8_t* row = job.output_pyramid + pixel_index(table, n, 0, y);
            const std::uint8_t* fixed_row = job.fixed != nullptr ? job.fixed + static_cast<std::size_t>(y) * width : nullptr;
            for (int x = first_x; x < width; x += lattice) {
                if (fixed_row != nullptr && fixed_row[x] != 0) {
                    continue;
                }
                int index = -1;
                if constexpr (requires { search.sole_candidate(x, y, sources); }) {
                    index = search.sole_candidate(x, y, sources);
                }
                if (index < 0) {
                    search.gather(job.matrix_row, n, job.levels, x, y, view);
                    index = search.find(x, y, sources);
                }
                std::copy_n(search.colour(index), copied, row + x * table.channels);
                if (level_sources != nullptr) {
                    (*level_sources)[static_cast<std::size_t>(y) * width + x] = search.grid().pixel_of(index);
                }
            }
            const int done = rows_done.fetch_add(1) + 1;
            if (thread == 0 && job.hooks.on_row) {
                job.hooks.on_row((pass - 1) * height + (rows_visited + done) / lattice, height * job.passes);
            }
            if (thread == 0 && stop_asked(job)) {
                stopping = true;
            }
            return share + 1 < rows;
        };
        team.share(work);
        rows_visited += rows;
    }
    return !stopping;
}

// The first pass that carries the coarser level's result over: each pixel takes the candidate under its
// parent's source, at twice its coordinates plus the pixel's place in its 2 x 2 block (the nearest candidate
// where that pixel is none), shifted as job.carried_shifts says.
template <class Search>
void continue_parent_pass(const Search& search, const LevelJob& job, const LevelTable& table,
                          const SourceMaps& sources, std::vector<int>& level_sources) {
    const int n = job.n;
    const int copied = channels_of(job).copied;
    const CandidateGrid& grid = search.grid();
    const int coarser_exemplar_width = sources.exemplar_width / 2;
    std::vector<std::uint8_t> shifts;
    if (job.carried_shifts != CarriedShifts::none) {
        // The colour of every exemplar pixel that is a candidate, for the shifts' seams.
        const std::size_t exemplar_pixels = static_cast<std::size_t>(grid.exemplar_width) * grid.exemplar_height;
        std::vector<std::uint8_t> colours(exemplar_pixels * static_cast<std::size_t>(copied), 0);
        std::vector<std::uint8_t> candidates(exemplar_pixels, 0);
        for (int index = 0; index < grid.count(); ++index) {
            const auto pixel = static_cast<std::size_t>(grid.pixel_of(index));
            if (grid.candidate_at(static_cast<int>(pixel) % grid.exemplar_width,
                                  static_cast<int>(pixel) / grid.exemplar_width) == index) {
                candidates[pixel] = 1;
                std::copy_n(search.colour(index), copied, &colours[pixel * static_cast<std::size_t>(copied)]);
            }
        }
        shifts = carried_shifts(job.carried_shifts, sources, table.width[n], table.height[n], grid, colours.data(),
                                candidates.data(), copied, static_cast<std::uint32_t>(n), job.team);
    }
    for (int y = 0; y < table.height[n]; ++y) {
        std::uint8_t* row = job.output_pyramid + pixel_index(table, n, 0, y);
        for (int x = 0; x < table.width[n]; ++x) {
            const int parent = sources.parent_at(x, y);
            // A kept pixel stays; so does one whose parent's source is not known (it keeps its noise).
            if ((job.fixed != nullptr && job.fixed[static_cast<std::size_t>(y) * table.width[n] + x] != 0) ||
                parent < 0) {
                continue;
            }
            // The pixel's own place in the parent's block first; where that is excluded, the block's others.
            int index = -1;
            int found_x = 0;
            int found_y = 0;
            const int shift = shifts.empty() ? 0 : shifts[sources.parent_entry(x, y)];
            for (int k = 0; k < 4 && index < 0; ++k) {
                found_x = 2 * (parent % coarser_exemplar_width) + (x + k) % 2 + (shift & 1);
                found_y = 2 * (parent / coarser_exemplar_width) + (y + k / 2) % 2 + (shift >> 1);
                if (!grid.wraps_x) {
                    found_x = std::clamp(found_x, grid.left, grid.left + grid.columns - 1);
                }
                if (!grid.wraps_y) {
                    found_y = std::clamp(found_y, grid.top, grid.top + grid.rows - 1);
                }
                index = grid.candidate_at(found_x, found_y);
            }
            if (index < 0) {
                continue;  // it keeps its noise, for the later passes to mend
            }
            if (job.phase != nullptr) {
                // In step, unless that leads past an edge that does not wrap: the later passes mend those.
                const int in_step = job.phase->candidate(grid, found_x, found_y, x, y);
                index = in_step >= 0 ? in_step : index;
            }
            std::copy_n(search.colour(index), copied, row + x * table.channels);
            level_sources[static_cast<std::size_t>(y) * table.width[n] + x] = grid.pixel_of(index);
        }
        if (job.hooks.on_row) {
            job.hooks.on_row(y + 1, table.height[n] * job.passes);
        }
    }
}

// Runs every pass of a level. make_search(-1) makes the search of the first pass (which may share each
// search among the team), make_search(t) that of thread t in a later pass; each returns a unique_ptr.
template <class MakeSearch>
LevelGeometry run_passes(MakeSearch make_search, bool parallel_later_passes, const LevelJob& job) {
    const LevelTable table = make_level_table(job.output_width, job.output_height, job.levels, channels_of(job).count);
    const int n = job.n;
    SourceMaps sources;
    sources.width = table.width[n];
    sources.height = table.height[n];
    if (job.sources != nullptr) {
        sources.level = job.sources->data();
    }
    if (job.coarser_sources != nullptr) {
        sources.coarser = job.coarser_sources->data();
        sources.coarser_width = table.width[n + 1];
        sources.coarser_height = table.height[n + 1];
    }
    auto first = make_search(-1);
    sources.exemplar_width = first->grid().exemplar_width;
    std::vector<int> whole_cells;
    if (job.parent_phase != nullptr && sources.coarser != nullptr) {
        whole_cells = *job.coarser_sources;
        keep_cells_whole(*job.parent_phase, sources.coarser_width, sources.coarser_height,
                         sources.exemplar_width / 2, first->grid().exemplar_height / 2, whole_cells);
        sources.coarser = whole_cells.data();
    }
    bool going = true;
    if (job.first_pass == FirstPass::continue_parent && sources.coarser != nullptr && job.sources != nullptr) {
        continue_parent_pass(*first, job, table, sources, *job.sources);
        going = !stop_asked(job);
    } else if (job.hooks.profile != nullptr) {
        going = raster_pass<true>(*first, job, table, sources, job.sources);
    } else {
        going = raster_pass<false>(*first, job, table, sources, job.sources);
    }
    for (int pass = 2; going && pass <= job.passes; ++pass) {
        going = later_pass(make_search, parallel_later_passes, job, table, sources, job.sources, pass);
    }
    return {table.width[n], table.height[n], table.offset[n]};
}

}  // namespace

LevelGeometry synthesize_level(const TrainingSet& set, const int* matrix_row, std::uint8_t* output_pyramid,
                               int output_width, int output_height, int n, int levels, double eps,
                               const ScanHooks& hooks) {
    LevelJob job;
    job.matrix_row = matrix_row;
    job.output_pyramid = output_pyramid;
    job.output_width = output_width;
    job.output_height = output_height;
    job.n = n;
    job.levels = levels;
    job.hooks = hooks;
    return synthesize_level(set, job, eps);
}

LevelGeometry synthesize_level(const TrainingSet& set, const LevelJob& job, double eps) {
    // The kd-tree keeps its search state in globals: one search at a time.
    return run_passes([&](int) { return std::make_unique<TreeSearch>(set, eps); }, false, job);
}

LevelGeometry synthesize_level_exact(const ExactMatcher& matcher, const LevelJob& job) {
    // The first pass (thread -1) shares each search among the team; later passes give each thread rows.
    const ExactMatcher& later_matcher = job.later.matcher != nullptr ? *job.later.matcher : matcher;
    return run_passes(
        [&](int thread) {
            return thread < 0 ? std::make_unique<ExactSearch>(matcher, job.team)
                              : std::make_unique<ExactSearch>(later_matcher, nullptr);
        },
        true, job);
}

LevelGeometry synthesize_level_coherent(const ExactMatcher& matcher, const SimilarCandidates& similar,
                                        const LevelJob& job) {
    const int half_size = job.matrix_row[job.n];
    const int later_half_size = job.later.candidate_half_size > 0 ? job.later.candidate_half_size : half_size;
    const ExactMatcher& later_matcher = job.later.matcher != nullptr ? *job.later.matcher : matcher;
    const SimilarCandidates& later_similar = job.later.similar != nullptr ? *job.later.similar : similar;
    return run_passes(
        [&](int thread) {
            auto search = thread < 0 ? std::make_unique<CoherentSearch>(matcher, similar, half_size, half_size, false,
                                                                         job.team, job.phase)
                                     : std::make_unique<CoherentSearch>(later_matcher, later_similar, half_size,
                                                                         later_half_size, true, nullptr, job.phase);
            search->set_exhaustive(job.exhaustive, job.fixed, job.output_edges,
                                   thread < 0 ? nullptr : job.later.sparse, job.rim_hints);
            if (thread < 0 && job.first_pass == FirstPass::scan) {
                // The scan counts the pixels as it chooses them.
                const LevelTable table = make_level_table(job.output_width, job.output_height, job.levels);
                search->set_shift_penalty(job.shift_penalty, job.shift_escape, job.shift_allowed, job.shift_steep,
                                          nullptr, table.width[job.n], table.height[job.n]);
                search->set_usage_penalty(job.usage_penalty);
            }
            search->set_guide_tolerance(job.guide_tolerance);
            return search;
        },
        true, job);
}
