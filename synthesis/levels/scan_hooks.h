#pragma once

#include <functional>

#include <texsynth/profile.h>

// What a caller may ask of a level's scan besides the pixels: timings, word after every row, and a way to
// stop: should_stop is asked after every row (on the calling thread), and once it says yes the scan leaves
// the rest of the level as it is and returns.
struct ScanHooks {
    LevelProfile* profile = nullptr;
    std::function<void(int rows_done, int rows)> on_row;
    std::function<bool()> should_stop;
};
