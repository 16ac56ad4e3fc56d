#pragma once

#include <ANN/ANN.h>

#include <cstdint>
#include <vector>

#include <texsynth/profile.h>

#include "pyramid/level_table.h"
#include "synthesis/search/candidate_grid.h"
#include "synthesis/search/neighbourhood.h"

// The candidates of one exemplar level: the neighbourhood vector of every usable pixel as a point, the
// pixel's own colour beside it, and a kd-tree over the points. Owns all three and releases them when it
// is rebuilt or goes out of scope.
class TrainingSet {
public:
    TrainingSet() = default;
    ~TrainingSet() { release(); }
    TrainingSet(const TrainingSet&) = delete;
    TrainingSet& operator=(const TrainingSet&) = delete;

    // Frees the points, the tree and the colours, in that order; the set is empty afterwards.
    void release();

    ANNkd_tree* tree = nullptr;
    ANNpointArray points = nullptr;
    // The bytes each point's exemplar pixel brings along when it is copied (MatchedChannels::copied of them:
    // R, G, B for a plain job), in point order.
    std::vector<std::uint8_t> colours;
    const MatchedChannels* channels = nullptr;  // how pixels became the points' components
    int count = 0;                      // number of points
    int dimension = 0;                  // components per point
    int border = 0;                     // pixels left out at each edge of the exemplar level
    CandidateGrid grid;                 // where the points' pixels lie
};

// The basic border of level n: the largest half-size s_v shifted left by L-1-v, over v = n .. L-1.
int basic_training_border(const int* matrix_row, int n, int levels);

// The border used for level n: the basic border where it keeps every read of every candidate inside its
// level, otherwise the smallest wider one that does. If the level runs out of candidates before such a
// border is found, the result leaves none (see training_candidate_count).
int training_border(const LevelTable& exemplar, const int* matrix_row, int n, int levels);

// Candidates of exemplar level n inside a border of `border` pixels (0 when none are left).
std::int64_t training_candidate_count(const LevelTable& exemplar, int n, int border);

// Where the candidates of exemplar level n lie: along an axis with `inside` edges within training_border,
// otherwise everywhere.
// Precondition: the level has at least one candidate.
CandidateGrid training_grid(const LevelTable& exemplar, const int* matrix_row, int n, int levels,
                            ExemplarEdges edges_x = ExemplarEdges::inside, ExemplarEdges edges_y = ExemplarEdges::inside);

// Replaces `set` with the candidates of exemplar level n: the old set is released first, then every pixel
// (x, y) inside the border becomes a point (its components as `channels` make them), row by row from the top,
// each row left to right, and the kd-tree is built over the points. Returns the number of points. Adds the time it took to `profile`, if given.
// Precondition: the level has at least one candidate and a non-empty neighbourhood.
int build_training_set(const std::uint8_t* exemplar_pyramid, const LevelTable& exemplar, const int* matrix_row,
                       int n, int levels, TrainingSet& set, LevelProfile* profile = nullptr,
                       const MatchedChannels& channels = rgb_channels());
