#pragma once

#include <cstdint>

#include "synthesis/patterns/exemplar_lattice.h"
#include "synthesis/search/candidate_grid.h"

// Keeps the copies of a regular pattern in step: an output pixel may copy an exemplar pixel only if both lie
// at the same place in the pattern, within half a pixel, so that all copies continue one lattice across the
// output, whichever part of the exemplar each comes from, and joints meet joints where copies meet.
//
// The output's lattice is the exemplar's stretched a little, so that a whole number of periods fills the
// output both ways and the result tiles without a break in the pattern (unless that would stretch it by more
// than kMaxPhaseStretch; it then keeps the exemplar's periods and breaks the pattern along its wrap-around
// seam). A copy's pixels therefore drift out of step very slowly (by a pixel over many periods), and where
// one has drifted half a pixel its continuation steps a pixel aside: a copy that is in step stays so.
//
// One level's lattice: the periods at level n are the full-size periods halved n times. Levels whose
// shorter period is below kMinPhasePeriod pixels do not resolve the pattern and keep no phase.
inline constexpr double kMinPhasePeriod = 4.0;
inline constexpr double kMaxPhaseStretch = 0.03;

class LatticePhase {
public:
    LatticePhase() = default;  // keeps nothing in step
    // The phase of level n of an output whose level 0 is output_width x output_height (0 x 0: an output
    // laid out on the exemplar's own periods).
    LatticePhase(const PeriodLattice& lattice, int n, int output_width, int output_height);

    bool active() const { return active_; }

    // The position in step with output pixel (x, y) nearest to exemplar position (sx, sy): of the exemplar
    // places exactly in step with the pixel (one per period), the nearest one, rounded to whole pixels (halves
    // up). That place is worked out from the pixel and the number of whole periods alone, not from (sx, sy),
    // so every position near it snaps to the very same pixel, and positions in step stay where they are.
    void snap(int& sx, int& sy, int x, int y) const {
        if (!active_) {
            return;
        }
        // The pixel's place in the pattern, in periods, and the whole periods from there to (sx, sy).
        const double pu = output_inverse_[0][0] * x + output_inverse_[0][1] * y - constant_[0];
        const double pv = output_inverse_[1][0] * x + output_inverse_[1][1] * y - constant_[1];
        const double u = static_cast<double>(
            round_half_up(exemplar_inverse_[0][0] * sx + exemplar_inverse_[0][1] * sy - pu)) + pu;
        const double v = static_cast<double>(
            round_half_up(exemplar_inverse_[1][0] * sx + exemplar_inverse_[1][1] * sy - pv)) + pv;
        sx = static_cast<int>(round_half_up(u * basis_[0][0] + v * basis_[1][0]));
        sy = static_cast<int>(round_half_up(u * basis_[0][1] + v * basis_[1][1]));
    }

    // The candidate of `grid` in step with output pixel (x, y) nearest to exemplar position (sx, sy), or -1
    // if that position is no candidate.
    // A position past an edge that the grid wraps is wrapped first and put in step again, so that the
    // candidate is in step even where the wrap is not a whole number of periods to the pixel.
    int candidate(const CandidateGrid& grid, int sx, int sy, int x, int y) const {
        snap(sx, sy, x, y);
        const bool wraps_x = grid.wraps_x && (sx < 0 || sx >= grid.exemplar_width);
        const bool wraps_y = grid.wraps_y && (sy < 0 || sy >= grid.exemplar_height);
        if (wraps_x || wraps_y) {
            if (wraps_x) {
                sx = wrap_coordinate(sx, grid.exemplar_width, grid.span_x > 0 ? grid.span_x : grid.exemplar_width);
            }
            if (wraps_y) {
                sy = wrap_coordinate(sy, grid.exemplar_height, grid.span_y > 0 ? grid.span_y : grid.exemplar_height);
            }
            snap(sx, sy, x, y);
        }
        return grid.candidate_at(sx, sy);
    }

    // The output's periods at the level (for tests).
    void output_basis(double a[2], double b[2]) const;

    // The period cell of output pixel (x, y), as whole lattice coordinates: cells have one period each, with
    // their sides on the pattern's boundary lines (PeriodLattice::boundary), so that a cell holds one tile and
    // half the joint around it, or one pair of holes and the metal around them.
    void cell_of(int x, int y, int& k, int& l) const {
        double u = 0;
        double v = 0;
        place_in_cells(x, y, u, v);
        k = static_cast<int>(round_half_up(u - 0.5));
        l = static_cast<int>(round_half_up(v - 0.5));
    }
    // Where output pixel (x, y) lies against the cells, in periods: the cell's side is at every whole number.
    void place_in_cells(int x, int y, double& u, double& v) const {
        u = output_inverse_[0][0] * x + output_inverse_[0][1] * y + output_place_[0] - boundary_[0];
        v = output_inverse_[1][0] * x + output_inverse_[1][1] * y + output_place_[1] - boundary_[1];
    }

private:
    // floor(v + 0.5), without the library call std::floor is where the build targets no SSE4.1.
    static std::int64_t round_half_up(double v) {
        const double w = v + 0.5;
        const auto t = static_cast<std::int64_t>(w);
        return t - (w < static_cast<double>(t) ? 1 : 0);
    }

    bool active_ = false;
    double basis_[2][2] = {{0, 0}, {0, 0}};  // the exemplar's periods a and b at the level
    double exemplar_inverse_[2][2] = {{0, 0}, {0, 0}};  // lattice coordinates of an exemplar position
    double output_inverse_[2][2] = {{0, 0}, {0, 0}};    // of an output position
    double output_basis_[2][2] = {{0, 0}, {0, 0}};
    double constant_[2] = {0, 0};  // where output pixel (0, 0) lies against exemplar pixel (0, 0), in periods
    double output_place_[2] = {0, 0};  // where output pixel (0, 0) lies in the pattern, in periods
    double boundary_[2] = {0, 0};
};

// The candidate of `grid` at exemplar position (sx, sy) for output pixel (x, y): with a `phase`, the nearest
// one in step.
inline int candidate_in_step(const CandidateGrid& grid, const LatticePhase* phase, int sx, int sy, int x, int y) {
    return phase != nullptr ? phase->candidate(grid, sx, sy, x, y) : grid.candidate_at(sx, sy);
}
