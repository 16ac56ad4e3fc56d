#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// A one-line progress indicator on a terminal: the level being synthesized, how far it is, the time it has
// taken and an estimate of what is left. It rewrites itself in place at most a few times a second and is
// erased when the level is done, so nothing of it stays on the screen. Inactive unless enabled.
class ProgressLine {
public:
    ProgressLine(std::FILE* terminal, bool enabled) : terminal_(terminal), enabled_(enabled) {}

    void start_level(int n, int width, int height);
    void update(int rows_done, int rows);
    void finish_level();

private:
    std::FILE* terminal_;
    bool enabled_;
    bool shown_ = false;
    std::string label_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_shown_;
};

// The progress line's text, e.g. "level 1 (128x128): 45%, 0:03 elapsed, about 0:04 left".
std::string progress_text(const std::string& label, int rows_done, int rows, double elapsed_seconds);
