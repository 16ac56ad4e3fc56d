#pragma once

#include <cstdint>
#include <string>

#include "app/run_synthesis.h"

// One whole run as the benchmark measures it, sent back from the child process that made it.
struct RunSample {
    RunProfile profile;            // all zero for a run made without a profile
    double wall = 0;               // seconds from the call of run_synthesis to its return
    int status = -1;               // what run_synthesis returned
    std::int64_t allocations = 0;  // operator new calls during the run, the ANN library's included
    std::int64_t write_calls = 0;  // write system calls during the run
    long peak_rss_kib = 0;         // of the whole child process
    long minor_faults = 0;         // of the whole child process
    double cpu_seconds = 0;        // of the whole child process
};

// A default-matrix run (L = 3) of a square exemplar to a square output.
struct BenchCase {
    std::string label;      // the exemplar's short name, such as "demo"
    std::string input;      // path of the exemplar
    int exemplar_size = 0;  // its width, which is also its height
    int output_size = 0;    // W, which is also H
};

struct CaseResult {
    BenchCase wanted;
    RunSample profiled;               // the fastest of the profiled runs
    RunSample plain;                  // the fastest of the runs without a profile: what a user waits
    long peak_rss_kib = 0;            // the largest over all runs
    std::int64_t training_bytes = 0;  // memory held by the largest level's training set, points and tree
    int runs = 0;                     // of each kind
    bool failed = false;              // some run did not complete or did not return 0
};

// Runs the case `repeats` times with a profile and as many times without, alternating, each in a child
// process of its own, writing the output files under `scratch`.
CaseResult run_case(const BenchCase& wanted, const std::string& scratch, int repeats);

// Memory taken by the largest training set the default matrix builds from `input`: its points and
// what it took from the heap (measured in a child process), or -1 if it could not be measured.
std::int64_t training_set_bytes(const std::string& input);

// Writes the centre `size` x `size` square of the BMP `source` as the BMP `destination` (in a child process,
// so the "load" and "write" lines go nowhere). Returns false if that failed.
bool write_centre_crop(const std::string& source, int size, const std::string& destination);

// Seconds one LapClock::lap() takes: the cost of each clock reading the profiled scan adds per stage.
double lap_seconds();

// How many times one annkSearch call allocates inside the ANN library.
std::int64_t allocations_per_search();
