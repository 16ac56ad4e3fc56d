#pragma once

#include <texsynth/job.h>

#include "app/run_settings.h"

// Carries one run of the positional form from its settings to the output files: loads the exemplar,
// synthesizes, and writes every level enlarged back to the output size, coarsest first. Prints the "load" and
// "write" lines on standard output and any failure on standard error. Returns the exit status: 0 on success,
// 1 if the exemplar was refused or an output file could not be written (the other levels are still written).
// With a `profile`, also records where the time went.
// Precondition: `settings` passed parse_command_line's checks.
int run_synthesis(const RunSettings& settings, RunProfile* profile = nullptr);
