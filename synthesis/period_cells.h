#pragma once

#include <vector>

#include "synthesis/exemplar_lattice.h"

// A level cut into cells of one period each, whose sides lie on the pattern's boundary lines
// (PeriodLattice::boundary): one tile with half the joint around it, one pair of holes with the metal around
// them. Copies in step meet without a visible seam where they meet along those lines, and a cell copied
// from one place is one whole element.
class PeriodCells {
public:
    PeriodCells() = default;  // none
    // The cells of level n (the pattern's periods halved n times), if it resolves the pattern (its shorter
    // period at least kMinPhasePeriod pixels, as LatticePhase).
    PeriodCells(const PeriodLattice& lattice, int n);

    bool active() const { return active_; }

    // The cell of pixel (x, y) of the level, as whole lattice coordinates. A pixel belongs to the cell its
    // middle lies in, measured where the level's pixel covers the full-size pixels it averages.
    void cell_of(int x, int y, int& k, int& l) const;

private:
    bool active_ = false;
    double scale_ = 1;  // full-size pixels per pixel of the level
    double inverse_[2][2] = {{0, 0}, {0, 0}};  // of the full-size basis
    double boundary_[2] = {0, 0};
};

// Makes each cell of a width x height level one whole copy: every pixel takes the shift (its exemplar
// position less its own) that most pixels of its cell have (ties: the least shift, by y then x), unless that
// leads outside the exemplar level (exemplar_width x exemplar_height), where it keeps its own source.
// `sources` holds exemplar pixel indices, y * exemplar_width + x, row-major.
void keep_cells_whole(const PeriodCells& cells, int width, int height, int exemplar_width, int exemplar_height,
                      std::vector<int>& sources);
