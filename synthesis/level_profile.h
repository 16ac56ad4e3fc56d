#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

// Where the time of one level went, in seconds. Filled only when a caller asks for it (benchmarks); the
// runs of the program itself take no clock readings.
struct LevelProfile {
    double training_vectors = 0;    // gathering the candidates' neighbourhood vectors and colours
    double tree_construction = 0;   // building the kd-tree over them
    double query_construction = 0;  // gathering the output pixels' neighbourhood vectors
    double search = 0;              // the nearest-neighbour searches
    double pixel_writing = 0;       // storing the chosen colours
    std::int64_t queries = 0;
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

// What a caller may ask of a level's scan besides the pixels: timings, word after every row, and a way to
// stop: should_stop is asked after every row (on the calling thread), and once it says yes the scan leaves
// the rest of the level as it is and returns.
struct ScanHooks {
    LevelProfile* profile = nullptr;
    std::function<void(int rows_done, int rows)> on_row;
    std::function<bool()> should_stop;
};
