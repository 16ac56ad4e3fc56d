#pragma once

#include "app/run_settings.h"

// Carries one run of the finished-file form (--output=FILE INPUT): reads INPUT, synthesizes a texture from it
// (or fills the hole --mask marks in it, or makes it tile), or with --apply-map samples it through a source
// map, and writes FILE (and with --save-map the source map).
// Prints the "load" and "write" lines on standard output and any failure on standard error. Returns the exit
// status: 0 on success, 1 if an input was refused or an output could not be written.
// Precondition: `settings` passed parse_command_line's checks and names an output file.
int run_output_file(const RunSettings& settings);
