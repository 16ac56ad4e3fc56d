#pragma once

#include "app/run_settings.h"

// Carries one run from its settings to the output files: loads the exemplar, builds its pyramid, fills the
// output pyramid with noise and synthesizes, enlarges and writes every level, coarsest first. Prints the
// "load" and "write" lines on standard output and any failure on standard error. Returns the exit status:
// 0 on success, 1 if the exemplar was refused or an output file could not be written.
// Precondition: `settings` passed parse_command_line's checks.
int run_synthesis(const RunSettings& settings);
