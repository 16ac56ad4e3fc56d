#pragma once

#include <functional>
#include <string>

// What a child process sent back, and the most memory it held.
struct ChildResult {
    bool completed = false;  // the work returned and the child exited with status 0
    std::string payload;     // the bytes `work` returned
    long peak_rss_kib = 0;   // the child's peak resident set size (getrusage), in KiB
    long minor_faults = 0;   // page faults the child took that needed no I/O: mostly first touches of memory
    double cpu_seconds = 0;  // user and system time of the child
};

// Runs `work` in a forked child with its standard output sent to /dev/null, so that every run has a process
// (and a peak resident memory) of its own. The child starts as a copy of this process, so the caller should
// stay small: its resident memory at the fork counts towards the child's peak.
ChildResult run_in_child(const std::function<std::string()>& work);
