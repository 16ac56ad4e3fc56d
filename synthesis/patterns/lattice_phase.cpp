#include "synthesis/patterns/lattice_phase.h"

#include <algorithm>
#include <cmath>

namespace {

// The inverse of the 2 x 2 matrix with columns p and q; false if it has none.
bool invert(const double p[2], const double q[2], double inverse[2][2]) {
    const double determinant = p[0] * q[1] - p[1] * q[0];
    if (std::abs(determinant) < 1e-9) {
        return false;
    }
    inverse[0][0] = q[1] / determinant;
    inverse[0][1] = -q[0] / determinant;
    inverse[1][0] = -p[1] / determinant;
    inverse[1][1] = p[0] / determinant;
    return true;
}

// The output's periods at full size: the exemplar's, changed so that whole multiples of them make (W, 0) and
// (0, H), unless that changes either by more than kMaxPhaseStretch of its length.
void output_periods(const PeriodLattice& lattice, int width, int height, double a[2], double b[2]) {
    std::copy_n(lattice.a, 2, a);
    std::copy_n(lattice.b, 2, b);
    double inverse[2][2];
    if (width <= 0 || height <= 0 || !invert(lattice.a, lattice.b, inverse)) {
        return;
    }
    // How many of each period make the output's width, and its height.
    const double k1 = std::round(inverse[0][0] * width);
    const double l1 = std::round(inverse[1][0] * width);
    const double k2 = std::round(inverse[0][1] * height);
    const double l2 = std::round(inverse[1][1] * height);
    const double determinant = k1 * l2 - k2 * l1;
    if (determinant == 0) {
        return;
    }
    const double stretched_a[2] = {width * l2 / determinant, -height * l1 / determinant};
    const double stretched_b[2] = {-width * k2 / determinant, height * k1 / determinant};
    auto change = [](const double from[2], const double to[2]) {
        return std::hypot(to[0] - from[0], to[1] - from[1]) / std::hypot(from[0], from[1]);
    };
    if (change(lattice.a, stretched_a) <= kMaxPhaseStretch && change(lattice.b, stretched_b) <= kMaxPhaseStretch) {
        std::copy_n(stretched_a, 2, a);
        std::copy_n(stretched_b, 2, b);
    }
}

}  // namespace

LatticePhase::LatticePhase(const PeriodLattice& lattice, int n, int output_width, int output_height) {
    if (!lattice.found) {
        return;
    }
    const double scale = std::ldexp(1.0, -n);
    double a[2] = {lattice.a[0] * scale, lattice.a[1] * scale};
    double b[2] = {lattice.b[0] * scale, lattice.b[1] * scale};
    if (std::min(std::hypot(a[0], a[1]), std::hypot(b[0], b[1])) < kMinPhasePeriod ||
        !invert(a, b, exemplar_inverse_)) {
        return;
    }
    double out_a[2];
    double out_b[2];
    output_periods(lattice, output_width, output_height, out_a, out_b);
    // The level's output is its own size, not the full size halved (which it is only up to truncation): the
    // whole numbers of periods stay, their lengths follow the level's size.
    const double stretch_x = output_width > 0 ? static_cast<double>(output_width >> n) / output_width : scale;
    const double stretch_y = output_height > 0 ? static_cast<double>(output_height >> n) / output_height : scale;
    const double level_a[2] = {out_a[0] * stretch_x, out_a[1] * stretch_y};
    const double level_b[2] = {out_b[0] * stretch_x, out_b[1] * stretch_y};
    double full_exemplar[2][2];
    double full_output[2][2];
    if (!invert(level_a, level_b, output_inverse_) || !invert(lattice.a, lattice.b, full_exemplar) ||
        !invert(out_a, out_b, full_output)) {
        return;
    }
    // The output's first pixel lies at the lattice's origin in the pattern. A pixel of level n is placed at
    // the middle of the full-size pixels it covers, in the exemplar and the output alike.
    const double middle = (std::ldexp(1.0, n) - 1) / 2;
    for (int i = 0; i < 2; ++i) {
        constant_[i] = 0;
        output_place_[i] = 0;
        for (int j = 0; j < 2; ++j) {
            constant_[i] += -full_exemplar[i][j] * lattice.origin[j] +
                            (full_exemplar[i][j] - full_output[i][j]) * middle;
            output_place_[i] += full_exemplar[i][j] * lattice.origin[j] + full_output[i][j] * middle;
        }
    }
    std::copy_n(a, 2, basis_[0]);
    std::copy_n(b, 2, basis_[1]);
    std::copy_n(lattice.boundary, 2, boundary_);
    std::copy_n(level_a, 2, output_basis_[0]);
    std::copy_n(level_b, 2, output_basis_[1]);
    active_ = true;
}

void LatticePhase::output_basis(double a[2], double b[2]) const {
    std::copy_n(output_basis_[0], 2, a);
    std::copy_n(output_basis_[1], 2, b);
}
