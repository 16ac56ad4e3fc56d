#include "synthesis/patterns/exemplar_lattice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// Shifts are first looked for on a copy at most this many pixels on its shorter side (halved as often as it
// takes): the search weighs every shift up to half the side against every pixel, so its cost grows with the
// fourth power of the side (a 96-pixel exemplar searched whole took 13 ms, halved 2 ms). Periods are then
// refined on the full-size exemplar.
constexpr int kAnalysisSide = 64;
// Shifts found on the reduced copy that are worth refining: the reduced copy is smoother, so its
// differences run lower, but not this high.
constexpr double kCoarsePeriodDifference = 0.85;
// At most this many of them, the likest first, are refined (each costs a few dozen differences at full size).
constexpr std::size_t kRefinedMinima = 32;
// A difference weighs at most about this many pixels (every few rows of a larger overlap): exemplars up to
// 181 pixels a side are weighed whole.
constexpr int kMaxDifferencePixels = 32'768;
// Two periods are independent if the angle between them is more than about 17 degrees.
constexpr double kMinSine = 0.3;

// A seeded output may start past any boundary whose step lies within this fraction of the way from the
// quietest boundary's to the mean over the period.
constexpr double kQuietSlack = 0.5;

// A well-mixed number from a seed and a stream (the finalizer of a 64-bit splitting generator).
std::uint64_t mixed(std::uint32_t seed, std::uint64_t stream) {
    std::uint64_t z = (std::uint64_t{seed} << 8 | stream) * 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// A grey picture: one value per pixel.
struct Grey {
    int width = 0;
    int height = 0;
    std::vector<int> values;

    int at(int x, int y) const { return values[static_cast<std::size_t>(y) * width + x]; }
};

Grey grey_of(const std::uint8_t* rgb, int width, int height) {
    Grey grey{width, height, std::vector<int>(static_cast<std::size_t>(width) * height)};
    for (std::size_t i = 0; i < grey.values.size(); ++i) {
        grey.values[i] = rgb[i * 3] + rgb[i * 3 + 1] + rgb[i * 3 + 2];
    }
    return grey;
}

// Sums of 2 x 2 blocks (an odd last row or column dropped).
Grey halved(const Grey& grey) {
    Grey half{grey.width / 2, grey.height / 2, {}};
    half.values.resize(static_cast<std::size_t>(half.width) * half.height);
    for (int y = 0; y < half.height; ++y) {
        for (int x = 0; x < half.width; ++x) {
            const int top = grey.at(2 * x, 2 * y) + grey.at(2 * x + 1, 2 * y);
            const int bottom = grey.at(2 * x, 2 * y + 1) + grey.at(2 * x + 1, 2 * y + 1);
            half.values[static_cast<std::size_t>(y) * half.width + x] = top + bottom;
        }
    }
    return half;
}

// Twice the variance of the values (0 for a flat picture).
double twice_variance(const Grey& grey) {
    double sum = 0;
    double squares = 0;
    for (const int v : grey.values) {
        sum += v;
        squares += static_cast<double>(v) * v;
    }
    const double count = static_cast<double>(grey.values.size());
    const double mean = sum / count;
    return 2 * (squares / count - mean * mean);
}

double difference(const Grey& grey, double scale, int dx, int dy) {
    const int x0 = std::max(0, -dx);
    const int x1 = std::min(grey.width, grey.width - dx);
    const int y0 = std::max(0, -dy);
    const int y1 = std::min(grey.height, grey.height - dy);
    if (scale <= 0 || x1 <= x0 || y1 <= y0) {
        return 1;
    }
    // On large pictures, every few rows are enough.
    const int step = std::max(1, (x1 - x0) * (y1 - y0) / kMaxDifferencePixels);
    std::int64_t sum = 0;
    int rows = 0;
    for (int y = y0; y < y1; y += step) {
        const int* p = &grey.values[static_cast<std::size_t>(y) * grey.width];
        const int* q = &grey.values[static_cast<std::size_t>(y + dy) * grey.width + dx];
        std::int64_t row = 0;
        for (int x = x0; x < x1; ++x) {
            const int d = p[x] - q[x];
            row += static_cast<std::int64_t>(d) * d;
        }
        sum += row;
        ++rows;
    }
    return static_cast<double>(sum) / (static_cast<double>(x1 - x0) * rows) / scale;
}

struct Vector {
    double x = 0;
    double y = 0;
};

double length(Vector v) { return std::hypot(v.x, v.y); }

// The shift near `guess` (within `reach` pixels along each axis) where the difference is least, to a fraction
// of a pixel: the whole-pixel minimum, then the vertex of the parabola through it and its neighbours along
// each axis. `score` receives the difference at the whole-pixel minimum.
Vector refine(const Grey& grey, double scale, Vector guess, int reach, double& score) {
    const int gx = static_cast<int>(std::lround(guess.x));
    const int gy = static_cast<int>(std::lround(guess.y));
    int best_x = gx;
    int best_y = gy;
    score = difference(grey, scale, gx, gy);
    for (int dy = gy - reach; dy <= gy + reach; ++dy) {
        for (int dx = gx - reach; dx <= gx + reach; ++dx) {
            const double d = difference(grey, scale, dx, dy);
            if (d < score) {
                score = d;
                best_x = dx;
                best_y = dy;
            }
        }
    }
    auto vertex = [](double before, double at, double after) {
        // A shift the picture repeats at exactly (a pattern drawn pixel by pixel) is the period itself: the
        // sides of such a minimum need not be alike, and a parabola through them would move it.
        if (at == 0) {
            return 0.0;
        }
        const double curvature = before - 2 * at + after;
        return curvature > 0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5) : 0.0;
    };
    const double fx =
        vertex(difference(grey, scale, best_x - 1, best_y), score, difference(grey, scale, best_x + 1, best_y));
    const double fy =
        vertex(difference(grey, scale, best_x, best_y - 1), score, difference(grey, scale, best_x, best_y + 1));
    return {best_x + fx, best_y + fy};
}

// Whether a shift lies within the range where periods are looked for.
bool within_range(const Grey& grey, Vector v) {
    return std::abs(v.x) <= grey.width / 2.0 && std::abs(v.y) <= grey.height / 2.0;
}

// The period near `guess`, refined on the full-size picture: first near the guess, then near the furthest of
// its multiples that stays within range, whose position divided by the multiple is the more precise.
Vector refine_period(const Grey& grey, double scale, Vector guess, int reach, double& score) {
    Vector period = refine(grey, scale, guess, reach, score);
    int multiple = 1;
    while (within_range(grey, {period.x * (multiple + 1), period.y * (multiple + 1)})) {
        ++multiple;
    }
    if (multiple > 1) {
        double far_score = 0;
        const Vector far = refine(grey, scale, {period.x * multiple, period.y * multiple}, 1, far_score);
        if (far_score < kPeriodDifference) {
            period = {far.x / multiple, far.y / multiple};
        }
    }
    return period;
}

// The same lattice with its shortest basis (Lagrange-Gauss reduction), each vector's larger component positive.
void reduce(Vector& a, Vector& b) {
    auto dot = [](Vector p, Vector q) { return p.x * q.x + p.y * q.y; };
    for (int step = 0; step < 32; ++step) {
        if (dot(b, b) < dot(a, a)) {
            std::swap(a, b);
        }
        const double m = std::round(dot(a, b) / dot(a, a));
        if (m == 0) {
            break;
        }
        b = {b.x - m * a.x, b.y - m * a.y};
    }
    for (Vector* v : {&a, &b}) {
        if ((std::abs(v->x) >= std::abs(v->y) ? v->x : v->y) < 0) {
            *v = {-v->x, -v->y};
        }
    }
}

// How far from an axis a span of `length` pixels may run and still count as along it: half a pixel, or a
// hundredth of its length for long spans (a pattern photographed a little askew). Copies wrapped by the span
// are put in step again, so the drift only shifts what the neighbourhoods read past the edge.
double axis_tolerance(double length) { return std::max(0.5, 0.01 * length); }

// The shortest period of the lattice (a, b) along x (or y, `rows`) within the tolerance of the axis, as its
// length along the axis; `across` receives its distance from the axis. 0 if there is none.
double axis_period(Vector a, Vector b, bool rows, double& across) {
    constexpr int kReach = 6;
    double shortest = 0;
    for (int k = -kReach; k <= kReach; ++k) {
        for (int l = -kReach; l <= kReach; ++l) {
            const Vector v{k * a.x + l * b.x, k * a.y + l * b.y};
            const double along_axis = rows ? v.y : v.x;
            const double off_axis = std::abs(rows ? v.x : v.y);
            if (along_axis >= kMinPeriodLength && off_axis <= axis_tolerance(along_axis) &&
                (shortest == 0 || along_axis < shortest)) {
                shortest = along_axis;
                across = off_axis;
            }
        }
    }
    return shortest;
}

// The most whole periods of `period` pixels (each `across` pixels off the axis) that fit in `size` pixels
// while the whole stays within the tolerance of the axis; 0 if none.
double axis_span(double period, double across, int size) {
    if (period <= 0) {
        return 0;
    }
    int multiple = static_cast<int>(size / period);
    while (multiple > 0 && multiple * across > axis_tolerance(multiple * period)) {
        --multiple;
    }
    return multiple * period;
}

// Where along x (or y, `rows`) the pattern, periodic along the axis with `period` pixels, changes least from
// one column (row) to the next: the mean absolute step between neighbouring columns, over the rows and the
// channels, gathered by place in the period; the position just after the quietest boundary (0 to period).
double quiet_place(const std::uint8_t* rgb, int width, int height, double period, bool rows,
                   std::optional<std::uint32_t> seed) {
    const int across = rows ? height : width;
    const int along = rows ? width : height;
    const int bins = std::clamp(static_cast<int>(period), 1, 64);
    std::vector<double> steps(static_cast<std::size_t>(bins), 0.0);
    std::vector<int> counts(static_cast<std::size_t>(bins), 0);
    for (int c = 1; c < across; ++c) {
        double sum = 0;
        for (int r = 0; r < along; ++r) {
            const int x = rows ? r : c;
            const int y = rows ? c : r;
            const std::uint8_t* p = rgb + (static_cast<std::size_t>(y) * width + x) * 3;
            const std::uint8_t* q = rows ? p - static_cast<std::size_t>(width) * 3 : p - 3;
            for (int k = 0; k < 3; ++k) {
                sum += std::abs(int{p[k]} - int{q[k]});
            }
        }
        // The boundary lies half a pixel before column c.
        const double place = (c - 0.5) / period;
        const int bin = std::min(bins - 1, static_cast<int>((place - std::floor(place)) * bins));
        steps[static_cast<std::size_t>(bin)] += sum;
        ++counts[static_cast<std::size_t>(bin)];
    }
    int best = -1;
    double mean = 0;
    int filled = 0;
    for (int i = 0; i < bins; ++i) {
        if (counts[i] > 0) {
            steps[i] /= counts[i];
            mean += steps[i];
            ++filled;
            if (best < 0 || steps[i] < steps[best]) {
                best = i;
            }
        }
    }
    if (best < 0) {
        return 0;
    }
    if (seed.has_value()) {
        // Any boundary nearly as quiet as the quietest will do: one of them, drawn from the seed.
        mean /= filled;
        const double bound = steps[best] + kQuietSlack * (mean - steps[best]);
        std::vector<int> quiet;
        for (int i = 0; i < bins; ++i) {
            if (counts[i] > 0 && steps[i] <= bound) {
                quiet.push_back(i);
            }
        }
        best = quiet[mixed(*seed, rows ? 2 : 1) % quiet.size()];
    }
    return (best + 0.5) / bins * period + 0.5;
}

// The lines where the pattern's elements meet (PeriodLattice::boundary): the pattern averaged over its
// periods, in bins of its period cell, and for each line of bins along either basis vector, how much that
// average varies along it; the line that varies least, at its bins' middle.
void find_boundaries(const std::uint8_t* rgb, int width, int height, PeriodLattice& lattice) {
    const double determinant = lattice.a[0] * lattice.b[1] - lattice.a[1] * lattice.b[0];
    const double shorter = std::min(std::hypot(lattice.a[0], lattice.a[1]), std::hypot(lattice.b[0], lattice.b[1]));
    const int bins = std::clamp(static_cast<int>(shorter), 4, 32);
    std::vector<double> sums(static_cast<std::size_t>(bins) * bins * 3, 0.0);
    std::vector<int> counts(static_cast<std::size_t>(bins) * bins, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = (lattice.b[1] * x - lattice.b[0] * y) / determinant;
            const double v = (-lattice.a[1] * x + lattice.a[0] * y) / determinant;
            const int i = std::min(bins - 1, static_cast<int>((u - std::floor(u)) * bins));
            const int j = std::min(bins - 1, static_cast<int>((v - std::floor(v)) * bins));
            const std::size_t bin = static_cast<std::size_t>(i) * bins + j;
            ++counts[bin];
            for (int c = 0; c < 3; ++c) {
                sums[bin * 3 + c] += rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c];
            }
        }
    }
    // Variation of the bins' means along line i of u (rows = false) or of v.
    auto variation = [&](int i, bool along_u) {
        double total = 0;
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            double squares = 0;
            int filled = 0;
            for (int j = 0; j < bins; ++j) {
                const std::size_t bin =
                    along_u ? static_cast<std::size_t>(j) * bins + i : static_cast<std::size_t>(i) * bins + j;
                if (counts[bin] > 0) {
                    const double mean = sums[bin * 3 + c] / counts[bin];
                    sum += mean;
                    squares += mean * mean;
                    ++filled;
                }
            }
            if (filled > 0) {
                total += squares / filled - (sum / filled) * (sum / filled);
            }
        }
        return total;
    };
    for (int axis = 0; axis < 2; ++axis) {
        int best = 0;
        double least = variation(0, axis == 1);
        for (int i = 1; i < bins; ++i) {
            const double d = variation(i, axis == 1);
            if (d < least) {
                least = d;
                best = i;
            }
        }
        lattice.boundary[axis] = (best + 0.5) / bins;
    }
}

// A refined shift and how unlike the exemplar is to itself at its nearest whole shift.
struct Period {
    Vector v;
    double score;
};

// The lattice of the periods among `refined` (shortest first) that score at most `cut`: the shortest, the
// shortest independent of it, refined to any finer lattice they imply, reduced and checked (their sum and
// difference score within the cut, and half-way to each the exemplar is markedly less like itself).
bool lattice_within(const std::vector<Period>& refined, const Grey& full, double full_scale, double cut, Vector& a,
                    Vector& b) {
    // The shortest period, then the shortest one independent of it.
    std::vector<Vector> periods;
    for (const Period& p : refined) {
        if (p.score > cut) {
            continue;
        }
        if (periods.empty()) {
            periods.push_back(p.v);
            continue;
        }
        const Vector first = periods[0];
        const double sine = std::abs(first.x * p.v.y - first.y * p.v.x) / (length(first) * length(p.v));
        if (sine > kMinSine) {
            periods.push_back(p.v);
            break;
        }
    }
    if (periods.size() < 2) {
        return false;
    }
    a = periods[0];
    b = periods[1];
    reduce(a, b);
    // Shifts that divide the periods found may be periods too: half or a third of either, half their sum or
    // difference (a lattice with a period in the middle of each cell, as alternating holes make).
    for (bool finer = true; finer;) {
        finer = false;
        const Vector halves[] = {{(a.x + b.x) / 2, (a.y + b.y) / 2}, {(a.x - b.x) / 2, (a.y - b.y) / 2},
                                 {a.x / 2, a.y / 2}, {b.x / 2, b.y / 2}, {a.x / 3, a.y / 3}, {b.x / 3, b.y / 3}};
        for (int i = 0; i < 6 && !finer; ++i) {
            if (length(halves[i]) < kMinPeriodLength) {
                continue;
            }
            double score = 0;
            const Vector v = refine(full, full_scale, halves[i], 1, score);
            if (score <= cut) {
                // The finer lattice: a, b and v; v replaces a, or b if v divides b.
                (i == 3 || i == 5 ? b : a) = v;
                reduce(a, b);
                finer = true;
            }
        }
    }
    // The sum and the difference of two periods are periods too, where they are in range.
    for (const Vector v : {Vector{a.x + b.x, a.y + b.y}, Vector{a.x - b.x, a.y - b.y}}) {
        double score = 0;
        if (within_range(full, v)) {
            refine(full, full_scale, v, 1, score);
            if (score > cut) {
                return false;
            }
        }
    }
    // A period stands out from the shifts around it: half-way to it the picture is markedly less like itself.
    // Along stripes every shift is nearly a period, and none stands out.
    for (const Vector v : {a, b}) {
        auto at_shift = [&](double x, double y) {
            return difference(full, full_scale, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
        };
        const double at = at_shift(v.x, v.y);
        const double half_way = at_shift(v.x / 2, v.y / 2);
        if (half_way < kPeriodContrast * at) {
            return false;
        }
    }
    return length(a) >= kMinPeriodLength;
}

}  // namespace

double shift_difference(const std::uint8_t* rgb, int width, int height, int dx, int dy) {
    const Grey grey = grey_of(rgb, width, height);
    return difference(grey, twice_variance(grey), dx, dy);
}

PeriodLattice find_period_lattice(const std::uint8_t* rgb, int width, int height, std::optional<std::uint32_t> seed) {
    PeriodLattice lattice;
    const Grey full = grey_of(rgb, width, height);
    const double full_scale = twice_variance(full);
    if (full_scale <= 0) {
        return lattice;
    }
    // The exemplar halved until it is small enough to search, each copy kept for refining what is found.
    std::vector<Grey> copies{full};
    std::vector<double> scales{full_scale};
    while (std::min(copies.back().width, copies.back().height) > kAnalysisSide) {
        copies.push_back(halved(copies.back()));
        scales.push_back(twice_variance(copies.back()));
    }
    const Grey& reduced = copies.back();
    const int factor = 1 << (copies.size() - 1);
    const double reduced_scale = scales.back();
    const int range_x = reduced.width / 2;
    const int range_y = reduced.height / 2;
    if (reduced_scale <= 0 || range_x < 2 || range_y < 2) {
        return lattice;
    }
    // Differences of every shift in range; a shift and its opposite differ alike.
    const int columns = 2 * range_x + 1;
    std::vector<double> table(static_cast<std::size_t>(columns) * (2 * range_y + 1));
    auto entry = [&](int dx, int dy) -> double& {
        return table[static_cast<std::size_t>(dy + range_y) * columns + dx + range_x];
    };
    for (int dy = 0; dy <= range_y; ++dy) {
        for (int dx = -range_x; dx <= range_x; ++dx) {
            entry(dx, dy) = entry(-dx, -dy) = difference(reduced, reduced_scale, dx, dy);
        }
    }
    // Local minima inside the range (one of each opposite pair), shortest first.
    struct Minimum {
        double length;
        double score;
        int dx;
        int dy;
    };
    std::vector<Minimum> minima;
    for (int dy = 0; dy < range_y; ++dy) {
        for (int dx = -range_x + 1; dx < range_x; ++dx) {
            if (dy == 0 && dx <= 0) {
                continue;
            }
            const double d = entry(dx, dy);
            const double length_full = std::hypot(dx, dy) * factor;
            if (d >= kCoarsePeriodDifference || length_full < kMinPeriodLength) {
                continue;
            }
            bool lowest = true;
            for (int ny = -1; ny <= 1 && lowest; ++ny) {
                for (int nx = -1; nx <= 1; ++nx) {
                    if ((nx != 0 || ny != 0) && entry(dx + nx, dy + ny) < d) {
                        lowest = false;
                        break;
                    }
                }
            }
            if (lowest) {
                minima.push_back({length_full, d, dx, dy});
            }
        }
    }
    if (minima.empty()) {
        return lattice;
    }
    // The shortest minima near the likest on the reduced copy, refined on the full-size exemplar. (Periods
    // that are no whole number of pixels there look less alike; their multiples are found, and divided below.)
    double least = minima[0].score;
    for (const Minimum& m : minima) {
        least = std::min(least, m.score);
    }
    std::erase_if(minima, [&](const Minimum& m) { return m.score > least + 2 * kPeriodSlack; });
    std::stable_sort(minima.begin(), minima.end(),
                     [](const Minimum& p, const Minimum& q) { return p.length < q.length; });
    if (minima.size() > kRefinedMinima) {
        minima.resize(kRefinedMinima);
    }
    std::vector<Period> refined;
    for (const Minimum& m : minima) {
        // Doubled and refined on each larger copy in turn, then on the exemplar itself.
        Vector guess{double(m.dx), double(m.dy)};
        double score = 0;
        for (std::size_t i = copies.size() - 1; i-- > 1;) {
            guess = refine(copies[i], scales[i], {2 * guess.x, 2 * guess.y}, 1, score);
        }
        const Vector period = copies.size() > 1
                                  ? refine_period(full, full_scale, {2 * guess.x, 2 * guess.y}, 1, score)
                                  : refine_period(full, full_scale, guess, 1, score);
        if (length(period) >= kMinPeriodLength) {
            refined.push_back({period, score});
        }
    }
    if (refined.empty()) {
        return lattice;
    }
    double best = refined[0].score;
    for (const Period& p : refined) {
        best = std::min(best, p.score);
    }
    if (best >= kPeriodDifference) {
        return lattice;
    }
    std::stable_sort(refined.begin(), refined.end(), [](const Period& p, const Period& q) {
        if (length(p.v) != length(q.v)) {
            return length(p.v) < length(q.v);
        }
        return p.score < q.score;
    });
    Vector a;
    Vector b;
    // Periods are the shifts about as like the exemplar as the likest: a shift much less alike is a period
    // of part of the pattern only (large holes onto small ones). Where that leaves no lattice, shifts more
    // loosely alike are allowed, if they pass the same checks: a pattern drawn with periods of no whole
    // number of pixels (rows 9.14 pixels apart drawn 9 and 10 high) is less like itself at every whole shift
    // but its side.
    if (!lattice_within(refined, full, full_scale, best + kPeriodSlack, a, b) &&
        !lattice_within(refined, full, full_scale, best + kLoosePeriodSlack, a, b)) {
        return lattice;
    }
    lattice.found = true;
    lattice.a[0] = a.x;
    lattice.a[1] = a.y;
    lattice.b[0] = b.x;
    lattice.b[1] = b.y;
    for (const bool rows : {false, true}) {
        double across = 0;
        const double period = axis_period(a, b, rows, across);
        lattice.span[rows ? 1 : 0] = axis_span(period, across, rows ? height : width);
        lattice.origin[rows ? 1 : 0] = period > 0 ? quiet_place(rgb, width, height, period, rows, seed) : 0;
    }
    find_boundaries(rgb, width, height, lattice);
    return lattice;
}
