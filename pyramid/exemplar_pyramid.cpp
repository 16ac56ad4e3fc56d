#include "pyramid/exemplar_pyramid.h"

#include <algorithm>
#include <cassert>

void build_exemplar_pyramid(const std::uint8_t* image, int width, int height, std::span<std::uint8_t> buffer,
                            LevelTable& table, int levels, int channels) {
    assert(levels >= 1 && levels <= kLevelTableCapacity);
    assert(pyramid_bytes(width, height, levels, channels) <= static_cast<std::int64_t>(buffer.size()));
    table = make_level_table(width, height, levels, channels);
    std::copy_n(image, static_cast<std::size_t>(width) * height * channels, buffer.begin());

    std::uint8_t* const base = buffer.data();
    for (int k = 0; k + 1 < levels; ++k) {
        for (int y = 0; y < table.height[k + 1]; ++y) {
            for (int x = 0; x < table.width[k + 1]; ++x) {
                const std::uint8_t* a = base + pixel_index(table, k, 2 * x, 2 * y);
                const std::uint8_t* b = a + channels;
                const std::uint8_t* d = base + pixel_index(table, k, 2 * x, 2 * y + 1);
                const std::uint8_t* e = d + channels;
                std::uint8_t* out = base + pixel_index(table, k + 1, x, y);
                for (int c = 0; c < channels; ++c) {
                    out[c] = static_cast<std::uint8_t>((int{a[c]} + b[c] + d[c] + e[c]) / 4);
                }
            }
        }
    }
}
