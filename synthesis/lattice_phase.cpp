#include "synthesis/lattice_phase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

LatticePhase::LatticePhase(const PeriodLattice& lattice, int n) {
    if (!lattice.found) {
        return;
    }
    const double scale = std::ldexp(1.0, -n);
    a_[0] = lattice.a[0] * scale;
    a_[1] = lattice.a[1] * scale;
    b_[0] = lattice.b[0] * scale;
    b_[1] = lattice.b[1] * scale;
    const double shorter = std::min(std::hypot(a_[0], a_[1]), std::hypot(b_[0], b_[1]));
    const double determinant = a_[0] * b_[1] - a_[1] * b_[0];
    if (shorter < kMinPhasePeriod || std::abs(determinant) < 1e-9) {
        return;
    }
    active_ = true;
    inverse_[0][0] = b_[1] / determinant;
    inverse_[0][1] = -b_[0] / determinant;
    inverse_[1][0] = -a_[1] / determinant;
    inverse_[1][1] = a_[0] / determinant;
}

namespace {

// floor(v + 0.5) without a library call (std::floor is one where the build targets no SSE4.1).
std::int64_t round_half_up(double v) {
    const double w = v + 0.5;
    const auto t = static_cast<std::int64_t>(w);
    return t - (w < static_cast<double>(t) ? 1 : 0);
}

}  // namespace

void LatticePhase::correction(int dx, int dy, int& cx, int& cy) const {
    // The shift's distance from the nearest period, found in lattice coordinates.
    double u = inverse_[0][0] * dx + inverse_[0][1] * dy;
    double v = inverse_[1][0] * dx + inverse_[1][1] * dy;
    u -= static_cast<double>(round_half_up(u));
    v -= static_cast<double>(round_half_up(v));
    cx = static_cast<int>(round_half_up(u * a_[0] + v * b_[0]));
    cy = static_cast<int>(round_half_up(u * a_[1] + v * b_[1]));
}
