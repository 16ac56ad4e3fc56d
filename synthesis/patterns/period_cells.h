#pragma once

#include <vector>

#include "synthesis/patterns/lattice_phase.h"

// Makes each period cell of a width x height level (LatticePhase::cell_of) one whole copy: every pixel takes
// the shift (its exemplar position less its own) that most pixels of its cell have (ties: the least shift, by
// y then x), unless that leads outside the exemplar level (exemplar_width x exemplar_height), or the pixel
// lies within kCellMargin of a side and has the shift chosen for the cell across it: it then keeps its own
// source. Copies that meet only along the cells' sides meet where the pattern's elements meet, so each
// element (a tile, a pair of holes) comes from one place. `sources` holds exemplar pixel indices,
// y * exemplar_width + x, row-major.
//
// Measured on square tiles: cuts along the straight sides (margin 0) keep every tile whole but leave the
// joints ragged (coherence error 1.03); letting the neighbouring copy reach 0.15 of a period into the cell
// (about a joint's width) keeps the tiles whole and the joints as the passes before matched them (0.86).
inline constexpr double kCellMargin = 0.15;
void keep_cells_whole(const LatticePhase& phase, int width, int height, int exemplar_width, int exemplar_height,
                      std::vector<int>& sources);
