#pragma once

#include <cstdint>
#include <vector>

#include "pyramid/level_table.h"

// Pixel lookup in a packed pyramid for gather_neighbourhood, without wrap-around: every coordinate asked
// for must lie inside its level.
class DirectPyramidView {
public:
    DirectPyramidView(const std::uint8_t* pyramid, const LevelTable& table) : pyramid_(pyramid), table_(table) {}

    const std::uint8_t* row(int level, int r) const {
        return pyramid_ + table_.offset[level] + r * table_.width[level] * table_.channels;
    }
    int column(int /*level*/, int c) const { return c * table_.channels; }

private:
    const std::uint8_t* pyramid_;
    const LevelTable& table_;
};

// What a coordinate outside a level reads.
enum class EdgeRule {
    wrap,   // the coordinate modulo the level's size (a true modulo, so even a reach wider than the level stays in
            // it), or moved by whole spans where a span is given
    clamp,  // the nearest row or column inside the level
};

// Pixel lookup in a packed pyramid that reaches past the levels' edges by a rule for columns and one for rows. The positions are computed
// once, for every coordinate the neighbourhoods of `levels` can ask for.
class EdgePyramidView {
public:
    // Prepares levels n .. levels-1 of `table` for neighbourhoods of the given matrix row. Wrapping columns
    // (rows) move by `column_span` (`row_span`) pixels of level n, halved at each coarser level, if it is
    // above 0 and below the level's size.
    EdgePyramidView(const std::uint8_t* pyramid, const LevelTable& table, const int* matrix_row, int n, int levels,
                    EdgeRule columns, EdgeRule rows, int column_span = 0, int row_span = 0);

    const std::uint8_t* row(int level, int r) const {
        return pyramid_ + row_offsets_[level][r + reach_[level]];
    }
    int column(int level, int c) const { return column_offsets_[level][c + reach_[level]]; }

private:
    const std::uint8_t* pyramid_;
    int reach_[kLevelTableCapacity] = {};
    // Indexed by coordinate + reach: byte offset of the row start, and of the column, that it reads.
    std::vector<int> row_offsets_[kLevelTableCapacity];
    std::vector<int> column_offsets_[kLevelTableCapacity];
};

// The output's view: reads wrap around every level, so that the result tiles.
class WrappedPyramidView : public EdgePyramidView {
public:
    WrappedPyramidView(const std::uint8_t* pyramid, const LevelTable& table, const int* matrix_row, int n, int levels)
        : EdgePyramidView(pyramid, table, matrix_row, n, levels, EdgeRule::wrap, EdgeRule::wrap) {}
};
