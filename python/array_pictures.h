#pragma once

#include <pybind11/numpy.h>

#include <cstdint>
#include <vector>

#include <texsynth/image.h>
#include <texsynth/job.h>

namespace py = pybind11;

// Pictures, masks and source maps between NumPy arrays and the library. Arrays of any strides are read
// element by element into the library's own buffers (which it needs anyway), so views, negative strides,
// Fortran order and read-only arrays all read correctly. Results come back as arrays that own the library's
// buffers. Refusals raise TypeError (wrong kind of array) or ValueError (wrong shape), naming `what`.

// How the pictures of a call were laid out, so that its result comes back the same way.
struct PictureLayout {
    bool grey = true;           // every picture had 1 channel (or 2: grey and alpha)
    bool two_dimensional = false;  // the main picture was (height, width) rather than (height, width, channels)
};

// A picture from an array of uint8: (height, width, 3) RGB, (height, width, 4) RGBA, or grey as (height, width),
// (height, width, 1) or (height, width, 2) with alpha, whose grey becomes R = G = B. `layout.grey` is cleared
// unless the picture is grey; with `main`, `layout.two_dimensional` says whether it was (height, width).
Image picture_from_array(py::handle value, const char* what, PictureLayout& layout, bool main);

// The array of a result, owning the picture's pixels: (height, width, 3) or (height, width, 4), or with a grey
// layout (height, width) or (height, width, 1) or, with alpha, (height, width, 2) (its R channel, in place).
py::array array_from_picture(Image&& picture, const PictureLayout& layout);

// A source map from an (height, width, 2) array of uint16 (either byte order), x then y, or (height, width, 3)
// with which exemplar each pixel came from (several exemplars).
SourceMap source_map_from_array(py::handle value, const char* what);

// The (height, width, 2) uint16 array of a source map's x and y, or (height, width, 3) with which exemplar each
// pixel came from where the map says it (several exemplars).
py::array array_from_source_map(SourceMap&& map);

// A mask from an array of bool or uint8 of the picture's size, (height, width) or (height, width, 1): one byte a
// pixel, 1 where the array is non-zero.
std::vector<std::uint8_t> mask_from_array(py::handle value, const char* what, int width, int height);
