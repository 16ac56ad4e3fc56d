#pragma once

#include <chrono>
#include <cstdint>

#include <texsynth/settings.h>

// Where the time of a job went, in seconds: filled only when a caller asks for it (benchmarks); jobs run
// without it take no clock readings.

// One level.
struct LevelProfile {
    double training_vectors = 0;    // gathering the candidates' neighbourhood vectors and colours
    double tree_construction = 0;   // building the kd-tree over them
    double query_construction = 0;  // gathering the output pixels' neighbourhood vectors
    double search = 0;              // the nearest-neighbour searches
    double pixel_writing = 0;       // storing the chosen colours
    std::int64_t queries = 0;
};

// A whole job.
struct RunProfile {
    double loading = 0;  // building the exemplar's pyramid (and, for the command line, reading it)
    double noise = 0;    // filling the output pyramid with noise
    LevelProfile levels[kMaxLevels];
    double output_files = 0;  // enlarging and writing the levels (the command line's part)
    double total = 0;
};

// Measures consecutive stages: each lap() returns the seconds since the previous one (or the start).
class LapClock {
public:
    LapClock() : last_(std::chrono::steady_clock::now()) {}
    double lap() {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - last_).count();
        last_ = now;
        return seconds;
    }

private:
    std::chrono::steady_clock::time_point last_;
};
