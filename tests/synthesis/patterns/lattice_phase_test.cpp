// Copies kept in step with a regular pattern's lattice, and the cells the lattice cuts an output into.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "synthesis/patterns/lattice_phase.h"
#include "synthesis/patterns/period_cells.h"

namespace {

// A lattice of periods (10, 0) and (0, 8), starting at the exemplar's first pixel.
PeriodLattice ten_by_eight() {
    PeriodLattice lattice;
    lattice.found = true;
    lattice.a[0] = 10;
    lattice.b[1] = 8;
    return lattice;
}

// Whether exemplar position (sx, sy) is in step with output pixel (x, y): snapping leaves it where it is.
bool in_step(const LatticePhase& phase, int sx, int sy, int x, int y) {
    int tx = sx;
    int ty = sy;
    phase.snap(tx, ty, x, y);
    return tx == sx && ty == sy;
}

TEST(LatticePhase, SnapsToTheNearestPositionInStepByHand) {
    const LatticePhase phase(ten_by_eight(), 0, 0, 0);
    ASSERT_TRUE(phase.active());
    // From output pixel (0, 0), exemplar position (13, 4) lies 1.3 periods across and half a period down:
    // 0.3 of a period (3 pixels) past (10, 0) across, and half-way down, which goes to the next period (8).
    int sx = 13;
    int sy = 4;
    phase.snap(sx, sy, 0, 0);
    EXPECT_EQ(sx, 10);
    EXPECT_EQ(sy, 8);
    // From (2, 1), (13, 4) is 1.1 periods across (1 pixel past) and 3/8 down (3 pixels past 0): (12, 1), one
    // period from the pixel itself.
    sx = 13;
    sy = 4;
    phase.snap(sx, sy, 2, 1);
    EXPECT_EQ(sx, 12);
    EXPECT_EQ(sy, 1);
    EXPECT_TRUE(in_step(phase, 12, 1, 2, 1));
    EXPECT_TRUE(in_step(phase, 2 + 30, 1 + 16, 2, 1));
    EXPECT_FALSE(in_step(phase, 3, 1, 2, 1));
}

TEST(LatticePhase, LevelsHalveThePeriodsAndKeepNoneTheyDoNotResolve) {
    const PeriodLattice lattice = ten_by_eight();
    EXPECT_TRUE(LatticePhase(lattice, 1, 0, 0).active());    // periods 5 and 4
    EXPECT_FALSE(LatticePhase(lattice, 2, 0, 0).active());   // 2.5 and 2
    EXPECT_FALSE(LatticePhase(PeriodLattice{}, 0, 0, 0).active());
    const LatticePhase level_one(lattice, 1, 0, 0);
    EXPECT_TRUE(in_step(level_one, 5, 4, 0, 0));
    EXPECT_FALSE(in_step(level_one, 10, 0, 0, 1));
}

TEST(LatticePhase, TheOutputTakesWholePeriodsIfThatStretchesThemLittle) {
    const PeriodLattice lattice = ten_by_eight();
    double a[2];
    double b[2];
    // 102 x 78: 10.2 periods across become 10 of 10.2 pixels (2 % longer), 9.75 down become 10 of 7.8.
    LatticePhase(lattice, 0, 102, 78).output_basis(a, b);
    EXPECT_NEAR(a[0], 10.2, 1e-9);
    EXPECT_NEAR(a[1], 0, 1e-9);
    EXPECT_NEAR(b[0], 0, 1e-9);
    EXPECT_NEAR(b[1], 7.8, 1e-9);
    // Level 1 is 51 x 39: the same ten periods each way.
    LatticePhase(lattice, 1, 102, 78).output_basis(a, b);
    EXPECT_NEAR(a[0], 5.1, 1e-9);
    EXPECT_NEAR(b[1], 3.9, 1e-9);
    // 115 x 78: 11.5 periods across would be 12 of 9.58 pixels (4.2 % shorter): the exemplar's periods stay.
    LatticePhase(lattice, 0, 115, 78).output_basis(a, b);
    EXPECT_NEAR(a[0], 10, 1e-9);
    EXPECT_NEAR(b[1], 8, 1e-9);
}

// Periods of 4 to 20 pixels at any angle, at least 30 degrees apart, from an origin anywhere.
PeriodLattice random_lattice(std::mt19937& random) {
    std::uniform_real_distribution<double> length(4, 20);
    std::uniform_real_distribution<double> angle(0, std::acos(-1.0));
    std::uniform_real_distribution<double> place(0, 40);
    PeriodLattice lattice;
    lattice.found = true;
    const double first = angle(random);
    const double second = first + std::acos(-1.0) / 6 + angle(random) * 2 / 3;
    const double la = length(random);
    const double lb = length(random);
    lattice.a[0] = la * std::cos(first);
    lattice.a[1] = la * std::sin(first);
    lattice.b[0] = lb * std::cos(second);
    lattice.b[1] = lb * std::sin(second);
    lattice.origin[0] = place(random);
    lattice.origin[1] = place(random);
    return lattice;
}

TEST(LatticePhase, SnappedPositionsAreInStepAndCopiesStayInStep) {
    std::mt19937 random(4);
    std::uniform_int_distribution<int> coordinate(-300, 300);
    for (int trial = 0; trial < 200; ++trial) {
        const PeriodLattice lattice = random_lattice(random);
        const LatticePhase phase(lattice, 0, 0, 0);
        const LatticePhase stretched(lattice, 0, 256, 192);
        ASSERT_TRUE(phase.active());
        for (int i = 0; i < 20; ++i) {
            const int x = coordinate(random);
            const int y = coordinate(random);
            int sx = coordinate(random);
            int sy = coordinate(random);
            for (const LatticePhase* p : {&phase, &stretched}) {
                int tx = sx;
                int ty = sy;
                p->snap(tx, ty, x, y);
                EXPECT_TRUE(in_step(*p, tx, ty, x, y));
                // It moves to the nearest period's position: at most half of each period (plus the rounding)
                // along each axis.
                EXPECT_LE(std::abs(tx - sx), (std::abs(lattice.a[0]) + std::abs(lattice.b[0])) / 2 + 1);
                EXPECT_LE(std::abs(ty - sy), (std::abs(lattice.a[1]) + std::abs(lattice.b[1])) / 2 + 1);
            }
            // On the exemplar's own periods, a copy in step is in step all along: the pixel beside it continues
            // it at the position beside it.
            phase.snap(sx, sy, x, y);
            EXPECT_TRUE(in_step(phase, sx + 1, sy, x + 1, y));
            EXPECT_TRUE(in_step(phase, sx - 3, sy + 7, x - 3, y + 7));
        }
    }
}

TEST(LatticePhase, OutputsOfWholePeriodsAreInStepAcrossTheirWrapAroundSeam) {
    std::mt19937 random(8);
    std::uniform_int_distribution<int> coordinate(0, 100);
    int stretched = 0;
    for (int trial = 0; trial < 100; ++trial) {
        const PeriodLattice lattice = random_lattice(random);
        const LatticePhase phase(lattice, 0, 240, 200);
        double a[2];
        double b[2];
        phase.output_basis(a, b);
        if (a[0] == lattice.a[0] && a[1] == lattice.a[1]) {
            continue;  // not stretched: too far from whole periods
        }
        ++stretched;
        const int x = coordinate(random);
        const int y = coordinate(random);
        int sx = coordinate(random);
        int sy = coordinate(random);
        phase.snap(sx, sy, x, y);
        // The pixel one output width (height) on is the same pixel of the tiled output.
        EXPECT_TRUE(in_step(phase, sx, sy, x + 240, y));
        EXPECT_TRUE(in_step(phase, sx, sy, x, y - 200));
    }
    EXPECT_GT(stretched, 10);
}

TEST(LatticePhase, CandidatesPastAWrappedEdgeAreWrappedThenPutInStep) {
    // A 40 x 32 exemplar level whose pattern repeats over 30 of its columns (three periods of 10), its rows
    // clamped.
    const LatticePhase phase(ten_by_eight(), 0, 0, 0);
    CandidateGrid grid{0, 0, 40, 32, 40, 32};
    grid.wraps_x = true;
    grid.span_x = 30;
    // Output pixel (0, 0) and position (41, 3): in step is (40, 0), past the edge, which wraps to (10, 0).
    EXPECT_EQ(phase.candidate(grid, 41, 3, 0, 0), 0 * 40 + 10);
    // Past the edge that does not wrap: none.
    EXPECT_EQ(phase.candidate(grid, 12, 30, 0, 0), -1);
    // Without a phase, the grid's own candidate.
    EXPECT_EQ(candidate_in_step(grid, nullptr, 41, 3, 0, 0), 3 * 40 + 11);
    EXPECT_EQ(candidate_in_step(grid, &phase, 41, 3, 0, 0), 10);
}

TEST(LatticePhase, CellsHaveTheirSidesOnTheBoundaryLines) {
    PeriodLattice lattice = ten_by_eight();
    lattice.boundary[0] = 0.25;  // the sides across x lie at 2.5 pixels past every period
    lattice.boundary[1] = 0.5;   // those across y at 4 pixels past
    const LatticePhase phase(lattice, 0, 0, 0);
    int k = 0;
    int l = 0;
    phase.cell_of(2, 3, k, l);
    EXPECT_EQ(k, -1);
    EXPECT_EQ(l, -1);
    phase.cell_of(3, 4, k, l);
    EXPECT_EQ(k, 0);
    EXPECT_EQ(l, 0);
    phase.cell_of(12, 11, k, l);
    EXPECT_EQ(k, 0);
    EXPECT_EQ(l, 0);
    phase.cell_of(13, 12, k, l);
    EXPECT_EQ(k, 1);
    EXPECT_EQ(l, 1);
    // At level 1 a pixel stands for the middle of the two full-size pixels it covers: with the sides at 3
    // pixels past every period, pixel 1 (2.5) lies before one, pixel 2 (4.5) after it.
    lattice.boundary[0] = 0.3;
    const LatticePhase level_one(lattice, 1, 0, 0);
    level_one.cell_of(1, 1, k, l);
    EXPECT_EQ(k, -1);
    level_one.cell_of(2, 1, k, l);
    EXPECT_EQ(k, 0);
}

}  // namespace
