#include "synthesis/levels/level_loop.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "synthesis/levels/block_grid.h"
#include "synthesis/levels/copy_seams.h"
#include "synthesis/levels/level_synthesis.h"
#include "synthesis/levels/refined_plan.h"
#include "synthesis/levels/unused_grafts.h"
#include "synthesis/search/training_set.h"

namespace {

// The search error bound of the kd-tree: a returned neighbour may be up to 1 + eps times as far as the nearest.
constexpr double kSearchErrorBound = 2.0;

// Above this many exemplar pixels at a level (about 90 x 90), the pixels that weigh every candidate search every
// other one along each axis, and the nearest one's neighbours join their candidates. On the 42 benchmark holes
// this takes a quarter less time than searching them all and leaves the edge's z-score above 2 on 3 rather than
// 7 (the neighbours give the kept pixels' weights more to choose from), for coherence 1 % worse; on a 210 x 160
// hole in a 4000 x 3000 photo it halves the time. Applied at every level, coherence is 2 % worse.
constexpr int kMostDenseRimCandidates = 8'192;

// The kd-tree library keeps its search state in globals, so its jobs take turns.
std::mutex& tree_search_turn() {
    static std::mutex turn;
    return turn;
}

int thread_count(const SynthesisSettings& settings) {
    if (settings.threads > 0) {
        return settings.threads;
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

// Level n's entry of a per-level table, or nullptr where the table or the entry is empty.
const std::uint8_t* level_data(const std::vector<std::vector<std::uint8_t>>& table, int n) {
    return static_cast<std::size_t>(n) < table.size() && !table[n].empty() ? table[n].data() : nullptr;
}

// Marks every pixel of a width x height level as excluded but those at even columns of even rows that are not
// excluded already (`excluded`, or none).
std::vector<std::uint8_t> every_other_pixel(const std::uint8_t* excluded, int width, int height) {
    std::vector<std::uint8_t> sparse(static_cast<std::size_t>(width) * height, 1);
    for (int y = 0; y < height; y += 2) {
        for (int x = 0; x < width; x += 2) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            sparse[i] = excluded != nullptr ? excluded[i] : 0;
        }
    }
    return sparse;
}

// Synthesizes every level of the output pyramid, coarsest first. On return `final_sources` holds, for every
// pixel of output level 0, the exemplar pixel it was copied from.
}  // namespace

bool synthesize_levels(LevelLoop& loop, std::vector<int>& final_sources, const JobHooks& hooks, JobError& error) {
    const SynthesisSettings& settings = loop.settings;
    const std::uint8_t* exemplar_pyramid = loop.exemplar_pyramid;
    const LevelTable& exemplar_levels = loop.exemplar_levels;
    const LevelTable& output_levels = loop.output_levels;
    const int levels = settings.levels;
    const bool approximate = settings.match == MatchMode::approximate;
    std::unique_lock<std::mutex> tree_turn(tree_search_turn(), std::defer_lock);
    if (approximate) {
        tree_turn.lock();
    }
    TrainingSet training;
    // The exact and coherent searches run on the team; the kd-tree search on one thread.
    SearchTeam team(approximate ? 1 : thread_count(settings));
    // The kd-tree search only reports where the finest level's pixels came from.
    std::vector<std::vector<int>>& sources = loop.sources;
    sources.resize(static_cast<std::size_t>(levels));
    // Once the caller asks to stop, the scans are told so until the job returns.
    bool stop_requested = false;
    std::function<bool()> should_stop;
    if (hooks.should_stop) {
        should_stop = [&] { return stop_requested = stop_requested || hooks.should_stop(); };
    }
    for (int n = levels - 1; n >= 0; --n) {
        const int* row = settings.matrix.row(n, levels);
        LevelJob job;
        job.matrix_row = row;
        job.output_pyramid = loop.output_pyramid;
        job.output_width = output_levels.width[0];
        job.output_height = output_levels.height[0];
        job.n = n;
        job.levels = levels;
        job.passes = settings.passes;
        job.team = &team;
        if (!approximate) {
            job.coarser_sources = n + 1 < levels ? &sources[n + 1] : nullptr;
        } else if (n == 0) {
            sources[n].resize(static_cast<std::size_t>(output_levels.width[0]) * output_levels.height[0]);
        }
        job.sources = sources[n].empty() ? nullptr : &sources[n];
        job.fixed = level_data(loop.fixed, n);
        job.exhaustive = level_data(loop.exhaustive, n);
        if (static_cast<std::size_t>(n) < loop.rim_hints.size() && !loop.rim_hints[n].empty()) {
            job.rim_hints = &loop.rim_hints[n];
        }
        job.output_edges = loop.output_edges;
        job.channels = &loop.channels;
        const auto at = static_cast<std::size_t>(n);
        job.guide_tolerance = at < loop.guide_tolerance.size() ? loop.guide_tolerance[at] : 0;
        const std::uint8_t* excluded = level_data(loop.excluded, n);
        const std::uint8_t* excluded_own_level = level_data(loop.excluded_own_level, n);
        job.hooks.profile = hooks.profile != nullptr ? &hooks.profile->levels[n] : nullptr;
        job.hooks.on_row = hooks.on_rows;
        job.hooks.should_stop = should_stop;
        if (hooks.on_level_start) {
            hooks.on_level_start(n, output_levels.width[n], output_levels.height[n]);
        }
        LevelGeometry level;
        LapClock build_clock;
        const auto count_build_time = [&] {
            if (job.hooks.profile != nullptr) {
                job.hooks.profile->tree_construction += build_clock.lap();
            }
        };
        if (approximate) {
            build_training_set(exemplar_pyramid, exemplar_levels, row, n, levels, training, job.hooks.profile,
                               loop.channels);
            level = synthesize_level(training, job, kSearchErrorBound);
        } else if (settings.match == MatchMode::refined) {
            RefinedLevelPlan plan =
                refined_level_plan(n, levels, settings.passes, loop.exemplar_edges.edges_x, loop.exemplar_edges.edges_y,
                                   loop.periods, output_levels.width[0], output_levels.height[0],
                                   std::int64_t{exemplar_levels.width[0]} * exemplar_levels.height[0]);
            job.phase = plan.phase.active() ? &plan.phase : nullptr;
            job.parent_phase = plan.parent_phase.active() ? &plan.parent_phase : nullptr;
            plan.first.excluded = excluded;
            plan.first.channels = &loop.channels;
            plan.later.channels = &loop.channels;
            const std::uint8_t* excluded_later = plan.later.coarser_levels ? excluded : excluded_own_level;
            plan.later.excluded = excluded_later;
            // The searches this level builds, or built in an earlier run of the loop.
            std::unique_ptr<LevelSearches> own_searches;
            if (loop.keep_searches && loop.searches.size() < static_cast<std::size_t>(levels)) {
                loop.searches.resize(static_cast<std::size_t>(levels));
            }
            std::unique_ptr<LevelSearches>& kept = loop.keep_searches ? loop.searches[at] : own_searches;
            const bool built = kept != nullptr;
            if (!built) {
                kept = std::make_unique<LevelSearches>();
            }
            LevelSearches& searches = *kept;
            // Pixels that weigh every candidate need an index: of every candidate, or where they are many, of
            // every other one along each axis.
            std::vector<std::uint8_t>& sparse_excluded = searches.sparse_excluded;
            if (!built && job.exhaustive != nullptr && plan.passes > 1 &&
                exemplar_levels.width[n] * exemplar_levels.height[n] > kMostDenseRimCandidates) {
                sparse_excluded =
                    every_other_pixel(excluded_later, exemplar_levels.width[n], exemplar_levels.height[n]);
            }
            // (Unless the hole leaves only pixels in odd rows or columns to copy.)
            const bool sparse_index =
                std::find(sparse_excluded.begin(), sparse_excluded.end(), 0) != sparse_excluded.end();
            if (sparse_index) {
                if (!searches.sparse) {
                    CandidateOptions options = plan.later;
                    options.excluded = sparse_excluded.data();
                    options.indexed = true;
                    searches.sparse.emplace(exemplar_pyramid, exemplar_levels, row, n, levels, options, &team);
                }
                job.later.sparse = &*searches.sparse;
            }
            plan.later.indexed =
                plan.later.indexed || (job.exhaustive != nullptr && !sparse_index) || job.guide_tolerance > 0;
            // A texture's seams are settled after its finest level's passes (synthesis/levels/copy_seams.h), and
            // the parts of its exemplar that its coarse levels leave out are grafted in (synthesis/levels/
            // unused_grafts.h), where its copies are all of its exemplar's colours: not with guides, whose copies
            // follow a target.
            const bool texture = loop.fixed.empty() && loop.channels.guides() == 0 && job.sources != nullptr;
            const bool settles_seams = texture && plan.texture_seams.reach > 0;
            const bool grafts_unused = texture && plan.texture_grafts.side > 0;
            job.passes = plan.passes;
            job.first_pass = plan.first_pass;
            job.later.lattice = plan.lattice;
            job.later.repeat_penalty = plan.repeat_penalty;
            if (at < loop.candidate_costs.size() && !loop.candidate_costs[at].empty()) {
                job.later.pixel_costs = &loop.candidate_costs[at];
            }
            // Only a texture is penalised for repeating copies: a fill or a band copies from the picture around
            // it, whose kept pixels are their own sources, so that its every coherent copy would pair with them.
            // A texture's candidates are also weighed by how they agree with the neighbours' copies, over more
            // passes (not measured on fills).
            if (loop.fixed.empty()) {
                job.passes = settles_seams ? plan.settled_agreeing_passes : plan.agreeing_passes;
                job.later.agreement = plan.agreement;
                job.shift_penalty = plan.shift_penalty;
                job.shift_allowed = plan.shift_allowed;
                job.shift_steep = plan.shift_steep;
                job.usage_penalty = plan.usage_penalty;
                job.later.repeat_penalty = plan.texture_repeat_penalty;
                job.later.candidate_half_size = plan.texture_candidate_half_size;
            } else {
                plan.shift_escape = 0;
            }
            std::optional<ExactMatcher>& later = searches.later;
            if (plan.passes > 1) {
                if (!later) {
                    later.emplace(exemplar_pyramid, exemplar_levels, row, n, levels, plan.later, &team);
                    searches.later_similar.emplace(*later, settings.similar, team);
                }
                job.later.matcher = &*later;
                job.later.similar = &*searches.later_similar;
            }
            // A first pass that only carries the parent's result over needs no search of its own: the later
            // passes' candidates lie where its candidates would.
            std::optional<ExactMatcher>& first = searches.first;
            if (!first && (!later || plan.first_pass == FirstPass::scan)) {
                first.emplace(exemplar_pyramid, exemplar_levels, row, n, levels, plan.first, &team);
            }
            const ExactMatcher& first_matcher = first ? *first : *later;
            if (!searches.similar) {
                searches.similar.emplace(first_matcher, settings.similar, team);
            }
            const SimilarCandidates& similar = *searches.similar;
            if (plan.shift_escape > 0 && plan.first_pass == FirstPass::scan) {
                if (!searches.first_escape) {
                    searches.first_escape.emplace(first_matcher, plan.shift_escape, team);
                }
                job.shift_escape = &*searches.first_escape;
            }
            count_build_time();
            // A texture's finest level carries each coarser copy over where its seams with its neighbours cost
            // least, at an even place in the exemplar or one pixel off it (LevelJob::carried_shifts).
            const bool shifts_copies =
                n == 0 && texture && !plan.phase.active() && job.first_pass == FirstPass::continue_parent;
            job.carried_shifts = shifts_copies ? CarriedShifts::chosen : CarriedShifts::none;
            level = synthesize_level_coherent(first_matcher, similar, job);
            if (shifts_copies && !stop_requested &&
                shows_block_grid(loop.output_pyramid + output_levels.offset[0], output_levels.width[0],
                                 output_levels.height[0], output_levels.channels,
                                 exemplar_pyramid + exemplar_levels.offset[0], exemplar_levels.width[0],
                                 exemplar_levels.height[0], exemplar_levels.channels, kBlockGridTolerance)) {
                // Where the copies kept most of their even places, the exemplar's steps that fall on some columns
                // and rows more than others, and the coarser levels' seams on their blocks' edges, can still show
                // as a grid of blocks: the level is made again with a shift drawn for each copy.
                job.carried_shifts = CarriedShifts::drawn;
                level = synthesize_level_coherent(first_matcher, similar, job);
            }
            if ((settles_seams || grafts_unused) && !stop_requested) {
                // The texture's seams moved to where the copies on either side differ least, or the parts of the
                // exemplar left out grafted in, and the pixels that change copied again.
                const std::vector<int> before = sources[n];
                const CandidateGrid& grid =
                    (job.later.matcher != nullptr ? *job.later.matcher : first_matcher).grid();
                const std::uint8_t* exemplar = exemplar_pyramid + exemplar_levels.offset[n];
                const int channels = exemplar_levels.channels;
                const int width = output_levels.width[n];
                const int height = output_levels.height[n];
                if (grafts_unused) {
                    graft_unused(grid, exemplar, channels, loop.channels.copied, sources[n], width, height,
                                 plan.texture_grafts);
                }
                if (settles_seams) {
                    settle_seams(grid, exemplar, channels, loop.channels.copied, sources[n], width, height,
                                 plan.texture_seams, job.phase, should_stop, &team);
                }
                std::uint8_t* output = loop.output_pyramid + output_levels.offset[n];
                for (std::size_t p = 0; p < before.size(); ++p) {
                    if (sources[n][p] != before[p]) {
                        std::copy_n(exemplar + static_cast<std::size_t>(sources[n][p]) * channels,
                                    loop.channels.copied,
                                    output + p * static_cast<std::size_t>(output_levels.channels));
                    }
                }
            }
        } else {
            CandidateOptions options;
            options.excluded = excluded;
            options.channels = &loop.channels;
            const ExactMatcher matcher(exemplar_pyramid, exemplar_levels, row, n, levels, options, &team);
            if (settings.match == MatchMode::exact) {
                count_build_time();
                level = synthesize_level_exact(matcher, job);
            } else {
                const SimilarCandidates similar(matcher, settings.similar, team);
                count_build_time();
                level = synthesize_level_coherent(matcher, similar, job);
            }
        }
        if (stop_requested) {
            error = {"", "interrupted"};
            return false;
        }
        if (hooks.on_level) {
            hooks.on_level({n, level.width, level.height, loop.output_pyramid + level.offset, loop.channels.count});
        }
    }
    final_sources = std::move(sources[0]);
    return true;
}

