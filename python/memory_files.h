#pragma once

#include <pybind11/pybind11.h>

namespace py = pybind11;

// Adds the module's functions for files held in memory: pictures and source maps as the bytes of their files
// (decode_image, encode_image, decode_source_map, encode_source_map). Batches send these bytes between their
// client and workers.
void add_memory_file_functions(py::module_& module);
