// Period cells made whole copies, on sources followed by hand.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "synthesis/patterns/period_cells.h"

namespace {

// Square cells of 4 x 4 pixels, their sides at every fourth row and column from 0.
LatticePhase four_by_four() {
    PeriodLattice lattice;
    lattice.found = true;
    lattice.a[0] = 4;
    lattice.b[1] = 4;
    return LatticePhase(lattice, 0, 0, 0);
}

// Sources of a width x height level on an exemplar 12 pixels wide, from each pixel's shift.
struct Shifts {
    int width;
    int height;
    std::vector<int> sources;

    Shifts(int w, int h) : width(w), height(h), sources(static_cast<std::size_t>(w) * h) {}
    void set(int x, int y, int dx, int dy) {
        sources[static_cast<std::size_t>(y) * width + x] = (y + dy) * 12 + x + dx;
    }
    int source_x(int x, int y) const { return sources[static_cast<std::size_t>(y) * width + x] % 12; }
    int source_y(int x, int y) const { return sources[static_cast<std::size_t>(y) * width + x] / 12; }
};

TEST(PeriodCells, EachCellTakesItsCommonestShift) {
    // Two cells side by side: x 0 to 3 and 4 to 7. Rows and columns 0 and 4 lie within the margin of a side.
    Shifts level(8, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            level.set(x, y, x < 4 ? 4 : 5, 4);
        }
    }
    // The first cell: five of its sixteen pixels from elsewhere, all inside it.
    for (const auto& [x, y] : {std::pair{1, 1}, {2, 1}, {3, 1}, {2, 2}, {3, 3}}) {
        level.set(x, y, 8, 0);
    }
    // The second cell's last column cannot take its commonest shift (5, 4): it would copy from past the
    // exemplar's edge (column 12).
    for (int y = 0; y < 4; ++y) {
        level.set(7, y, 0, 0);
    }
    level.set(4, 2, 4, 4);  // on the side, continuing the first cell's copy
    level.set(6, 2, 1, 1);  // inside, from elsewhere
    level.set(4, 1, 2, 2);  // on the side, from elsewhere
    keep_cells_whole(four_by_four(), 8, 4, 12, 12, level.sources);

    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(level.source_x(x, y), x + 4) << x << ", " << y;
            EXPECT_EQ(level.source_y(x, y), y + 4) << x << ", " << y;
        }
        EXPECT_EQ(level.source_x(7, y), 7);  // kept
        EXPECT_EQ(level.source_y(7, y), y);
    }
    EXPECT_EQ(level.source_x(4, 2), 8);  // the first cell's copy goes on across the side
    EXPECT_EQ(level.source_y(4, 2), 6);
    EXPECT_EQ(level.source_x(6, 2), 11);
    EXPECT_EQ(level.source_y(6, 2), 6);
    EXPECT_EQ(level.source_x(4, 1), 9);
    EXPECT_EQ(level.source_y(4, 1), 5);
}

TEST(PeriodCells, EquallyCommonShiftsGoToTheLeastByRowThenColumn) {
    Shifts level(4, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            if ((x + y) % 2 == 0) {
                level.set(x, y, 0, 2);
            } else {
                level.set(x, y, 2, 0);
            }
        }
    }
    keep_cells_whole(four_by_four(), 4, 4, 12, 12, level.sources);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(level.source_x(x, y), x + 2);
            EXPECT_EQ(level.source_y(x, y), y);
        }
    }
    // Without a phase, nothing changes.
    std::vector<int> before = level.sources;
    keep_cells_whole(LatticePhase(), 4, 4, 12, 12, level.sources);
    EXPECT_EQ(level.sources, before);
}

}  // namespace
