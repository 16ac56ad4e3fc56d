#pragma once

#include <cstdint>

// The exact matcher's distance between two neighbourhood vectors, in plain and vector-instruction
// implementations.

// Vectors compared by the exact matcher are 16-bit components padded with zeros to a multiple of this.
inline constexpr int kDistanceBlock = 32;

// Sum of squared differences of two vectors of `length` components (a multiple of kDistanceBlock), added up
// block by block and given up as soon as the sum exceeds `limit`: the result is exact when it is at most
// `limit`, and some partial sum above `limit` otherwise.
using SquaredDistanceFunction = std::int64_t (*)(const std::int16_t* a, const std::int16_t* b, int length,
                                                 std::int64_t limit);

// The fastest implementation this processor runs (AVX2 where available, plain code otherwise); all give the
// same results.
SquaredDistanceFunction squared_distance_function();

// The plain implementation, for comparison.
std::int64_t squared_distance_plain(const std::int16_t* a, const std::int16_t* b, int length, std::int64_t limit);
