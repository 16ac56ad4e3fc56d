#pragma once

#include <cstdint>

#include "synthesis/search/candidate_grid.h"

// How far the wrap-around seam of a width x height RGB image stands out along one axis: the mean absolute
// difference (over the rows and the three channels) between the last column and the first, as a z-score
// against the same difference across every interior column boundary (population standard deviation); with
// `rows`, the same for the last row against the first. 0 where the image has no interior boundary or they
// are all alike and the seam is like them.
double wrap_seam_z(const std::uint8_t* image, int width, int height, bool rows);

// An axis along which the exemplar's wrap-around seam scores below this looks as if it tiles: measured on
// the shipped exemplars and six photos, those that tile score 3.3 at most, those that do not 4.3 and above.
inline constexpr double kTilingSeamZ = 4.0;

// Wrapped edges where the exemplar tiles by itself along both axes, clamped edges otherwise. Wrapping only
// the axis that tiles lets copies run on endlessly along it, so that every jump the other axis forces (at its
// edge) cuts straight across the whole copy: a long straight seam, as on planks that tile sideways only.
void choose_exemplar_edges(const std::uint8_t* image, int width, int height, CandidateOptions& options);
