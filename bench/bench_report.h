#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_cases.h"

struct MachineInfo {
    std::string model;  // lscpu's model name
    int cores = 0;      // physical cores
    int cpus = 0;       // logical CPUs
    std::string date;   // when the benchmark ran, UTC
};

// Asks lscpu (falling back to /proc/cpuinfo) and the clock.
MachineInfo describe_machine();

struct BenchReport {
    MachineInfo machine;
    std::string command;                     // how this benchmark was started
    std::vector<CaseResult> runs;            // exemplars x output sizes
    std::vector<CaseResult> exemplar_sizes;  // crops of one exemplar at one output size; may be empty
    double lap_seconds = 0;                  // cost of one clock reading of the profile
    std::int64_t allocations_per_search = 0;
    long idle_rss_kib = 0;    // peak resident memory of a child that does nothing
    std::string load_before;  // the load averages of /proc/loadavg when the benchmark started
    std::string load_after;   // and when it ended
};

// The 1, 5 and 15 minute load averages, as /proc/loadavg gives them.
std::string load_average();

// The whole-run table, for the terminal.
void print_report(const BenchReport& report, std::FILE* out);

// Everything, as the Markdown of BENCHMARKS.md.
std::string markdown_report(const BenchReport& report);
