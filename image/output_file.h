#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <texsynth/image_files.h>

// Writes `size` bytes as the file `path`. The file appears under `path` only once it is complete and on disk
// (written beside it under a temporary name, synced, renamed); on failure returns false with the reason in
// `why`, leaves any earlier file under `path` as it was and no temporary file behind. remove_unfinished_output
// (<texsynth/image_files.h>) removes the temporary file this is filling.
bool write_file_atomically(const std::string& path, const std::uint8_t* data, std::size_t size, std::string& why);
