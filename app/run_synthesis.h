#pragma once

#include "app/run_settings.h"
#include "pyramid/level_table.h"
#include "synthesis/level_profile.h"

// Where the time of a run went, in seconds (for benchmarks).
struct RunProfile {
    double loading = 0;  // reading the exemplar and building its pyramid
    double noise = 0;    // filling the output pyramid with noise
    LevelProfile levels[kLevelTableCapacity];
    double output_files = 0;  // enlarging the levels, handing them to the writer and waiting for it
    double total = 0;
};

// Carries one run from its settings to the output files: loads the exemplar, builds its pyramid, fills the
// output pyramid with noise and synthesizes, enlarges and writes every level, coarsest first (each file on a
// second thread while the next level is synthesized, one file at a time). Prints the "load" and "write"
// lines on standard output and any failure on standard error. Returns the exit status:
// 0 on success, 1 if the exemplar was refused or an output file could not be written.
// Every run draws the same noise, also when one process makes several runs. With a `profile`, also records
// where the time went.
// Precondition: `settings` passed parse_command_line's checks.
int run_synthesis(const RunSettings& settings, RunProfile* profile = nullptr);
