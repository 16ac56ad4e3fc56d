#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <texsynth/api.h>
#include <texsynth/job.h>

// Source maps as files: a 16-bit RGB PNG of the result's size whose red holds each pixel's exemplar column, green
// its row and blue which exemplar it came from (0 for the first, or only, one). Nothing here prints: on failure a
// function returns false with the reason (no file name) in `why`.

// Writes as write_image does: the file appears only when complete.
TEXSYNTH_API bool write_source_map(const std::string& path, const SourceMap& map, std::string& why);

// Refuses anything but such a map: another format, depth or number of channels. Where every blue is 0, the
// map's exemplar numbers are left empty. Leaves `map` unchanged on failure.
TEXSYNTH_API bool read_source_map(const std::string& path, SourceMap& map, std::string& why);

// The bytes write_source_map writes and read_source_map reads, for maps kept in memory.
TEXSYNTH_API bool encode_source_map(const SourceMap& map, std::vector<std::uint8_t>& file, std::string& why);
TEXSYNTH_API bool decode_source_map(std::span<const std::uint8_t> bytes, SourceMap& map, std::string& why);
