#pragma once

#include <cstdint>
#include <optional>

// The period of a regular pattern (square tiles, a perforated plate, a printed grid): two independent shifts
// that carry the exemplar onto itself, in pixels of the full-size exemplar, not necessarily whole. Every sum
// of whole multiples of the two is a period as well; they are the shortest such pair (a reduced basis: the
// first no longer than the second, the second no longer than their sum or difference).
struct PeriodLattice {
    bool found = false;
    double a[2] = {0, 0};  // x, y
    double b[2] = {0, 0};
    // Along x and along y: the most whole periods parallel to the axis (the whole span within half a pixel of
    // it, or a hundredth of its length) that fit in the exemplar, in pixels; 0 if none does. Positions past an
    // edge moved back by the span land on the same place in the pattern.
    double span[2] = {0, 0};
    // Where an output made of the pattern starts: the exemplar position at the place in the pattern its first
    // pixel takes. Along an axis with a period, the place just past the boundary between neighbouring columns
    // (rows) that changes least, so that the output's wrap-around seam, which lies there, looks like the
    // quietest of its boundaries rather than a joint.
    double origin[2] = {0, 0};
    // Where the pattern's elements meet, in lattice coordinates (0 to 1): the line of points p with
    // p = (boundary[0] + k) a + t b for whole k, and the line p = t a + (boundary[1] + l) b. Each is the line
    // along which the pattern averaged over its periods changes least (a joint between tiles, the metal
    // between rows of holes), so that a copy cut along it keeps its elements whole.
    double boundary[2] = {0, 0};
};

// How unlike a picture is to itself shifted by (dx, dy): the mean squared difference of the grey levels
// (R + G + B) over the part where the picture and its shifted copy overlap, divided by twice their variance
// over the whole picture, so that it is near 1 for shifts that bear no relation to the pattern and near 0 for
// its periods. 1 where the picture has no variance or the copies do not overlap. `rgb` is width x height
// RGB, row-major.
double shift_difference(const std::uint8_t* rgb, int width, int height, int dx, int dy);

// A pattern is regular if its likest shift differs less than this: measured on nine exemplars, square tiles
// and a grate score 0.19 to 0.26 at their periods, bricks 0.57, photos of wood 0.61 (at shifts that do not stand
// out, below), stone 0.77, and gravel, cork, grass and the others 0.84 and above.
inline constexpr double kPeriodDifference = 0.7;

// Its periods are then the shifts that differ at most this much more than the likest one: on the grate, moving
// the large holes onto the small ones scores 0.52 against the true periods' 0.22.
inline constexpr double kPeriodSlack = 0.15;
// Where no lattice within kPeriodSlack passes the checks, periods may differ this much more than the likest
// one: drawn rows of scales 9 and 10 pixels high (9.14 on average) differ by 0.17 at 9, their columns by 0.02.
inline constexpr double kLoosePeriodSlack = 0.25;

// Half-way to a period the exemplar is at least this many times as unlike itself as at the period (tiles: 3,
// the grate: 5.5, bricks: 1.7), or the period does not stand out (as along stripes or the grain of wood, where
// every shift is nearly a period: 0.9 and below).
inline constexpr double kPeriodContrast = 1.5;

// Periods are looked for among shifts of up to half the exemplar's side (so that at least two of them fit
// across it), at least this long: shorter ones are the grain of a photo, not a pattern.
inline constexpr double kMinPeriodLength = 4.0;

// The period lattice of a width x height RGB exemplar, if it is a regular pattern: of the shifts that are
// local minima of the shift difference, refined to fractions of a pixel, those within kPeriodSlack of the
// likest (if it is below kPeriodDifference), the two shortest independent ones, checked (their sum and
// difference are periods too, and they stand out by kPeriodContrast); failing that, the same within
// kLoosePeriodSlack. Not found otherwise.
// With a seed, the origin along each axis is drawn from the seed among the boundaries nearly as quiet as the
// quietest, so that different seeds lay the pattern out at different places in the output (the copies of two
// seeds would otherwise be in the same step, and share a source wherever they took the same cell). A finished
// texture is rolled to start at a typical boundary, which for a seed is drawn from it too
// (synthesis/jobs/seam_cut.h): that roll decides where the pattern lies in the file.
PeriodLattice find_period_lattice(const std::uint8_t* rgb, int width, int height,
                                  std::optional<std::uint32_t> seed = std::nullopt);
