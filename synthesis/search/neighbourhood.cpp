#include "synthesis/search/neighbourhood.h"

int neighbourhood_dimension(const int* row, int n, int levels, NeighbourhoodShape shape) {
    const int own_side = 2 * row[n] + 1;
    int dimension = shape == NeighbourhoodShape::full ? 3 * (own_side * own_side - 1) : 6 * row[n] * (row[n] + 1);
    for (int v = n + 1; v < levels; ++v) {
        const int side = 2 * row[v] + 1;
        dimension += 3 * side * side;
    }
    return dimension;
}
