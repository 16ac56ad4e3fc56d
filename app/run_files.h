#pragma once

#include <string>
#include <utility>
#include <vector>

#include <texsynth/image.h>
#include <texsynth/image_files.h>
#include <texsynth/job.h>

// The files of a run and their console lines: every file read successfully is announced by a "load" line,
// every file written by a "write" line; every failure is reported on standard error as one line
// "texsynth: <file>: <why>".

// Reports a failure: "texsynth: <what>: <why>".
void report(const std::string& what, const std::string& why);

// Reports why a job failed, naming the file behind the job's subject: `files` pairs subjects ("exemplar",
// "mask", ...) with the files they came from.
void report_job_error(const JobError& error, const std::vector<std::pair<std::string, std::string>>& files);

// What becomes of a picture's alpha channel when it is read.
enum class Alpha {
    keep,            // for results written to PNG
    only_if_opaque,  // for a result written to a BMP file: refused if any pixel is see-through, else dropped
    drop,            // for the positional form's BMP files, which have only ever held colours
};

// Reads a picture (BMP, PNG or JPEG); `accept_size` may refuse its size before its pixels are decoded.
bool load_picture(const std::string& path, Image& image, const ImageSizeCheck& accept_size = {},
                  Alpha alpha = Alpha::keep);

// Writes a picture as PNG or BMP by the name's extension.
bool save_picture(const std::string& path, const Image& image);

// Writes a source map as a 16-bit RGB PNG: red the column, green the row, blue 0.
bool save_source_map(const std::string& path, const SourceMap& map);

// Reads a source map written by save_source_map. Refuses anything else: another depth or number of
// channels.
bool load_source_map(const std::string& path, SourceMap& map);
