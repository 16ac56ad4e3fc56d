#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes `size` bytes as the file `path`. The file appears under `path` only once it is complete and on disk
// (written beside it under a temporary name, synced, renamed); on failure returns false with the reason in
// `why`, leaves any earlier file under `path` as it was and no temporary file behind.
bool write_file_atomically(const std::string& path, const std::uint8_t* data, std::size_t size, std::string& why);

// Removes the temporary file write_file_atomically is filling, if there is one, so that a run stopped by a
// signal leaves nothing half written behind. Async-signal-safe: meant for signal handlers that end the program.
void remove_unfinished_output() noexcept;
