// Seams between copies moved to where the copies agree.
#include "synthesis/levels/copy_seams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// An exemplar of 20 x 4 pixels whose columns each have one grey (its rows alike), read clamped at its edges, and
// a 24 x 4 output made of two copies: A (output column x from exemplar column x) over columns 2 to 11, and B
// (column x from x - 8, wrapping around to x + 16) over the rest. B meets A at columns 1 | 2, where both copies
// put the same greys on either side (exemplar columns 1, 2 and 17, 18 are alike): no seam shows. A meets B at
// 11 | 12, where they differ; at 14 | 15 they agree (columns 6, 7 and 14, 15 alike), three pixels away.
TEST(SettleSeams, MovesASeamToWhereTheCopiesAgree) {
    const int greys[20] = {3, 40, 90, 17, 200, 66, 120, 180, 33, 250, 9, 140, 71, 222, 120, 180, 55, 40, 90, 160};
    std::vector<std::uint8_t> exemplar;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 20; ++x) {
            exemplar.insert(exemplar.end(), 3, static_cast<std::uint8_t>(greys[x]));
        }
    }
    CandidateGrid grid;
    grid.columns = grid.exemplar_width = 20;
    grid.rows = grid.exemplar_height = 4;
    const auto copy = [](int column) { return column >= 2 && column <= 11 ? column : (column + 16) % 24; };
    std::vector<int> sources;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 24; ++x) {
            sources.push_back(y * 20 + copy(x));
        }
    }
    SeamSettling settling;
    settling.reach = 4;
    settling.sweeps = 2;
    settling.least_copy = 1;
    settle_seams(grid, exemplar.data(), 3, 3, sources, 24, 4, settling);
    // A now runs on to column 14; B starts at 15. Every pixel is a pixel its copy reaches.
    const auto settled = [](int column) { return column >= 2 && column <= 14 ? column : (column + 16) % 24; };
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 24; ++x) {
            EXPECT_EQ(sources[static_cast<std::size_t>(y * 24 + x)], y * 20 + settled(x)) << x << ", " << y;
        }
    }

    // Copies smaller than the least that moves stay as they are.
    std::vector<int> small;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 24; ++x) {
            small.push_back(y * 20 + copy(x));
        }
    }
    const std::vector<int> before = small;
    settling.least_copy = 24 * 4;
    settle_seams(grid, exemplar.data(), 3, 3, small, 24, 4, settling);
    EXPECT_EQ(small, before);

    // Asked to stop before the first move: nothing moves.
    settling.least_copy = 1;
    int asked = 0;
    settle_seams(grid, exemplar.data(), 3, 3, small, 24, 4, settling, nullptr, [&] { return ++asked > 0; });
    EXPECT_EQ(small, before);
    EXPECT_EQ(asked, 1);
}

// A 96 x 96 output of nine 32 x 32 copies of a 48 x 48 exemplar of random greys, overlapping in the exemplar (so
// that some shifts repeat): with a team, large moves have their costs worked out in shares and the repeats
// counted in turns; the seams settle exactly as on one thread.
TEST(SettleSeams, ATeamSettlesAsOneThreadDoes) {
    constexpr int kSide = 48;
    std::vector<std::uint8_t> exemplar;
    std::uint32_t state = 12345;
    for (int p = 0; p < kSide * kSide; ++p) {
        state = state * 1664525U + 1013904223U;
        exemplar.insert(exemplar.end(), 3, static_cast<std::uint8_t>(state >> 24));
    }
    CandidateGrid grid;
    grid.columns = grid.exemplar_width = kSide;
    grid.rows = grid.exemplar_height = kSide;
    std::vector<int> sources;
    for (int y = 0; y < 96; ++y) {
        for (int x = 0; x < 96; ++x) {
            const int copy = (y / 32) * 3 + x / 32;
            const int left = (copy * 5) % 17;
            const int top = (copy * 7) % 13;
            sources.push_back((top + y % 32) * kSide + left + x % 32);
        }
    }
    SeamSettling settling;
    settling.reach = 8;
    settling.sweeps = 2;
    settling.least_copy = 64;
    settling.outer_weight = 0.5;
    settling.shift_penalty = 16000;
    settling.shift_allowed = 0.01;
    settling.last_use = 100;
    std::vector<int> alone = sources;
    settle_seams(grid, exemplar.data(), 3, 3, alone, 96, 96, settling);
    EXPECT_NE(alone, sources);
    SearchTeam team(3);
    std::vector<int> shared = sources;
    settle_seams(grid, exemplar.data(), 3, 3, shared, 96, 96, settling, nullptr, {}, &team);
    EXPECT_EQ(shared, alone);
}

}  // namespace
