#pragma once

#include <cstdint>

// Scales a width x height RGB image up by the whole factor `factor`, repeating each pixel in a
// factor x factor block. Sets width_out and height_out to the enlarged size, then fills `destination`,
// which must hold width_out * height_out * 3 bytes.
void enlarge_by_replication(const std::uint8_t* source, int width, int height, std::uint8_t* destination,
                            int& width_out, int& height_out, int factor);
