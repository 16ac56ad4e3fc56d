#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <texsynth/image.h>
#include <texsynth/job.h>

// A picture file read with the program's own reader; a failure fails the test (and gives an empty picture).
Image read_picture_file(const std::string& path);

// The result of a job that must succeed; a failure fails the test.
JobResult run_job_or_fail(const Job& job);

// A width x height RGB image whose R, G and B are all `value(x, y)` (clamped to 0 .. 255), row-major.
template <class Value>
std::vector<std::uint8_t> grey_image(int width, int height, Value value) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double v = std::clamp(static_cast<double>(value(x, y)), 0.0, 255.0);
            std::fill_n(&image[(static_cast<std::size_t>(y) * width + x) * 3], 3, static_cast<std::uint8_t>(v));
        }
    }
    return image;
}
