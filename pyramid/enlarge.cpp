#include <algorithm>

#include <texsynth/image.h>

void enlarge_by_replication(const std::uint8_t* source, int width, int height, std::uint8_t* destination,
                            int& width_out, int& height_out, int factor) {
    width_out = width * factor;
    height_out = height * factor;
    const int row_bytes = width_out * 3;
    for (int y = 0; y < height_out; ++y) {
        std::uint8_t* row = destination + static_cast<std::size_t>(y) * row_bytes;
        if (y % factor != 0) {
            // Every row of a block repeats the block's first row.
            std::copy_n(row - row_bytes, row_bytes, row);
            continue;
        }
        const std::uint8_t* source_row = source + static_cast<std::size_t>(y / factor) * width * 3;
        for (int x = 0; x < width_out; ++x) {
            std::copy_n(source_row + (x / factor) * 3, 3, row + x * 3);
        }
    }
}
