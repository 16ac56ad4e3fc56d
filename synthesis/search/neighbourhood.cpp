#include "synthesis/search/neighbourhood.h"

const MatchedChannels& rgb_channels() {
    static const MatchedChannels rgb;
    return rgb;
}

int neighbourhood_dimension(const int* row, int n, int levels, NeighbourhoodShape shape,
                            const MatchedChannels& channels) {
    const int own_side = 2 * row[n] + 1;
    int pixels = shape == NeighbourhoodShape::full ? own_side * own_side - 1 : 2 * row[n] * (row[n] + 1);
    for (int v = n + 1; v < levels; ++v) {
        const int side = 2 * row[v] + 1;
        pixels += side * side;
    }
    return pixels * channels.count + channels.guides();
}
