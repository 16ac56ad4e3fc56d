#pragma once

#include "synthesis/candidate_grid.h"
#include "synthesis/exemplar_lattice.h"

// Keeps the copies of a regular pattern in step: an output pixel may copy an exemplar pixel only if the shift
// between them (exemplar position less output position) lies within half a pixel of a period, so that all
// copies continue one lattice across the output, whichever part of the exemplar each comes from, and joints
// meet joints where copies meet. A copy's own pixels share its shift, so a copy that is in step stays so
// pixel after pixel; only where a new copy starts does the rule bite.
//
// One level's lattice: the exemplar's periods at level n are its full-size periods halved n times. Levels
// whose shorter period is below kMinPhasePeriod pixels do not resolve the pattern and keep no phase.
inline constexpr double kMinPhasePeriod = 4.0;

class LatticePhase {
public:
    LatticePhase() = default;  // keeps nothing in step
    LatticePhase(const PeriodLattice& lattice, int n);

    bool active() const { return active_; }

    // The position in step with output pixel (x, y) nearest to exemplar position (sx, sy): the shift less its
    // distance from the nearest period, rounded to whole pixels (halves up). Positions already in step stay.
    void snap(int& sx, int& sy, int x, int y) const {
        if (active_) {
            int cx = 0;
            int cy = 0;
            correction(sx - x, sy - y, cx, cy);
            sx -= cx;
            sy -= cy;
        }
    }
    // How far shift (dx, dy) lies from the nearest period, in whole pixels: the shift less this is in step.
    void correction(int dx, int dy, int& cx, int& cy) const;

    // The candidate of `grid` in step with output pixel (x, y) nearest to exemplar position (sx, sy), or -1
    // if that position is no candidate.
    int candidate(const CandidateGrid& grid, int sx, int sy, int x, int y) const {
        snap(sx, sy, x, y);
        return grid.candidate_at(sx, sy);
    }

private:
    bool active_ = false;
    double a_[2] = {0, 0};
    double b_[2] = {0, 0};
    double inverse_[2][2] = {{0, 0}, {0, 0}};  // lattice coordinates of a shift: inverse_ * (dx, dy)
};

// The candidates of `grid` in step with output pixels nearest to exemplar positions.
// The pixels of one copy share its shift, and the positions asked for one after another mostly belong to a few
// copies, so the corrections of the last few shifts are kept.
class InStepCandidates {
public:
    InStepCandidates(const CandidateGrid& grid, const LatticePhase& phase) : grid_(grid), phase_(phase) {}

    int at(int sx, int sy, int x, int y) {
        const int dx = sx - x;
        const int dy = sy - y;
        Entry& entry = entries_[static_cast<unsigned>(dx * 7 + dy * 3) % kEntries];
        if (dx != entry.dx || dy != entry.dy || !entry.known) {
            phase_.correction(dx, dy, entry.cx, entry.cy);
            entry = {true, dx, dy, entry.cx, entry.cy};
        }
        return grid_.candidate_at(sx - entry.cx, sy - entry.cy);
    }

private:
    static constexpr int kEntries = 8;
    struct Entry {
        bool known = false;
        int dx = 0;
        int dy = 0;
        int cx = 0;
        int cy = 0;
    };
    const CandidateGrid& grid_;
    const LatticePhase& phase_;
    Entry entries_[kEntries];
};
