#include "app/progress_line.h"

namespace {

constexpr std::chrono::milliseconds kRefreshInterval{200};

std::string minutes_and_seconds(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

std::string progress_text(const std::string& label, int rows_done, int rows, double elapsed_seconds) {
    const int percent = rows > 0 ? static_cast<int>(100LL * rows_done / rows) : 100;
    std::string text = label + ": " + std::to_string(percent) + "%, " + minutes_and_seconds(elapsed_seconds) +
                       " elapsed";
    if (rows_done > 0 && rows_done < rows) {
        text += ", about " + minutes_and_seconds(elapsed_seconds * (rows - rows_done) / rows_done) + " left";
    }
    return text;
}

void ProgressLine::start_level(int n, int width, int height) {
    label_ = "level " + std::to_string(n) + " (" + std::to_string(width) + "x" + std::to_string(height) + ")";
    start_ = std::chrono::steady_clock::now();
    last_shown_ = start_;
}

void ProgressLine::update(int rows_done, int rows) {
    if (!enabled_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - last_shown_ < kRefreshInterval) {
        return;
    }
    last_shown_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    // Carriage return, the text, then erase the rest of the line.
    std::fprintf(terminal_, "\r%s\033[K", progress_text(label_, rows_done, rows, elapsed).c_str());
    std::fflush(terminal_);
    shown_ = true;
}

void ProgressLine::finish_level() {
    if (shown_) {
        std::fputs("\r\033[K", terminal_);
        std::fflush(terminal_);
        shown_ = false;
    }
}
