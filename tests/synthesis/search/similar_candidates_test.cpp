// The candidates of the coherent search, on sources that can be followed by hand.
#include <gtest/gtest.h>

#include <vector>

#include "synthesis/search/similar_candidates.h"

namespace {

// A 10 x 10 exemplar level with a border of 1: candidate (x - 1) + 8 (y - 1) is exemplar pixel (x, y).
const CandidateGrid kGrid{1, 1, 8, 8, 10, 10};

int at(int x, int y) { return (y - 1) * 8 + (x - 1); }

struct Fixture {
    // A 4 x 4 output level whose pixels all came from exemplar pixel (5, 5), except pixel (3, 3), which came
    // from (1, 1), and a 2 x 2 coarser level whose pixels came from (2, 3) of the 5 x 5 exemplar level above.
    std::vector<int> level = std::vector<int>(16, 5 * 10 + 5);
    std::vector<int> coarser = std::vector<int>(4, 3 * 5 + 2);
    Fixture() { level[3 * 4 + 3] = 1 * 10 + 1; }
    SourceMaps sources() const { return {level.data(), 4, 4, coarser.data(), 2, 2, 10}; }
};

std::vector<int> candidates_of(const SimilarCandidates& similar, const SourceMaps& sources, int x, int y,
                               bool all_around) {
    static std::vector<int> seen(64, -1);
    static int stamp = 0;
    std::vector<int> out;
    coherent_candidates(kGrid, similar, sources, x, y, 1, all_around, out, seen, ++stamp);
    return out;
}

TEST(CoherentCandidates, ContinueTheNeighboursSourcesAndTheParents) {
    const Fixture fixture;
    const SimilarCandidates none(0, {});
    // Pixel (2, 1): its neighbours before it are (1, 0), (2, 0), (3, 0) and (1, 1), each from (5, 5), which
    // shifted back by their offsets give (6, 6), (5, 6), (4, 6) and (6, 5); the parent (1, 0) came from
    // (2, 3), so this pixel continues (2 * 2 + 0, 2 * 3 + 1) = (4, 7).
    EXPECT_EQ(candidates_of(none, fixture.sources(), 2, 1, false),
              (std::vector<int>{at(6, 6), at(5, 6), at(4, 6), at(6, 5), at(4, 7)}));

    // All around pixel (2, 2): nine neighbours, the pixel's own source included; (3, 3) came from (1, 1),
    // which shifted back by (1, 1) is (0, 0), no candidate. The parent's (4, 6) is there already.
    EXPECT_EQ(candidates_of(none, fixture.sources(), 2, 2, true),
              (std::vector<int>{at(6, 6), at(5, 6), at(4, 6), at(6, 5), at(5, 5), at(4, 5), at(6, 4), at(5, 4)}));
    // What the neighbours' copies continue at the pixel, with how many continue there: the pixel itself and
    // (3, 3) left out, the parent and similar candidates no continuations.
    std::vector<int> out;
    std::vector<std::pair<int, int>> continued;
    std::vector<int> seen(64, -1);
    const SimilarCandidates similar(1, std::vector<int>(64, at(8, 8)));
    coherent_candidates(kGrid, similar, fixture.sources(), 2, 2, 1, true, out, seen, 1, nullptr, &continued);
    EXPECT_EQ(continued, (std::vector<std::pair<int, int>>{
                             {at(6, 6), 1}, {at(5, 6), 1}, {at(4, 6), 1}, {at(6, 5), 1}, {at(4, 5), 1}, {at(6, 4), 1},
                             {at(5, 4), 1}}));
    // Neighbours of one copy, their sources side by side along a row of the exemplar ((2, 5) to (5, 5) along the
    // top row), continue it at one place, (4, 6) for pixel (2, 1): counted once for each of them.
    Fixture one_copy;
    for (int x = 0; x < 4; ++x) {
        one_copy.level[static_cast<std::size_t>(x)] = 5 * 10 + 2 + x;
    }
    coherent_candidates(kGrid, similar, one_copy.sources(), 2, 1, 1, false, out, seen, 2, nullptr, &continued);
    EXPECT_EQ(continued, (std::vector<std::pair<int, int>>{{at(4, 6), 3}, {at(6, 5), 1}}));
    EXPECT_EQ(out, (std::vector<int>{at(4, 6), at(8, 8), at(6, 5), at(4, 7)}));

    // Pixel (0, 0) wraps: its neighbours before it are (3, 3) (from (1, 1), continued at (2, 2)), (0, 3),
    // (1, 3) and (3, 0); a coarsest level has no parent.
    SourceMaps coarsest = fixture.sources();
    coarsest.coarser = nullptr;
    EXPECT_EQ(candidates_of(none, coarsest, 0, 0, false),
              (std::vector<int>{at(2, 2), at(5, 6), at(4, 6), at(6, 5)}));
}

TEST(CoherentCandidates, AddEachSourcesSimilarCandidatesOnce) {
    const Fixture fixture;
    // Candidate (6, 6) is most similar to (2, 2) and (5, 6); every other candidate to (8, 8) and (7, 8).
    std::vector<int> table(64 * 2);
    for (int c = 0; c < 64; ++c) {
        table[c * 2] = at(8, 8);
        table[c * 2 + 1] = at(7, 8);
    }
    table[at(6, 6) * 2] = at(2, 2);
    table[at(6, 6) * 2 + 1] = at(5, 6);
    const SimilarCandidates similar(2, table);
    EXPECT_EQ(candidates_of(similar, fixture.sources(), 2, 1, false),
              (std::vector<int>{at(6, 6), at(2, 2), at(5, 6), at(8, 8), at(7, 8), at(4, 6), at(6, 5), at(4, 7)}));
}

}  // namespace
