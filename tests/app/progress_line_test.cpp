// The progress line: its text, and that it leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "app/progress_line.h"

namespace {

TEST(ProgressLine, TextGivesShareElapsedAndEstimate) {
    EXPECT_EQ(progress_text("level 1 (128x128)", 45, 100, 3.0), "level 1 (128x128): 45%, 0:03 elapsed, about 0:04 left");
    EXPECT_EQ(progress_text("level 0 (512x512)", 0, 512, 0.2), "level 0 (512x512): 0%, 0:00 elapsed");
    EXPECT_EQ(progress_text("level 0 (512x512)", 512, 512, 65.4), "level 0 (512x512): 100%, 1:05 elapsed");
}

std::string written(bool enabled) {
    std::FILE* terminal = std::tmpfile();
    ProgressLine progress(terminal, enabled);
    progress.start_level(2, 64, 64);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    progress.update(10, 64);
    progress.finish_level();
    std::rewind(terminal);
    std::string text;
    for (int c = std::fgetc(terminal); c != EOF; c = std::fgetc(terminal)) {
        text += static_cast<char>(c);
    }
    std::fclose(terminal);
    return text;
}

TEST(ProgressLine, RewritesItselfInPlaceAndIsErasedWhenDone) {
    EXPECT_EQ(written(false), "");
    const std::string text = written(true);
    EXPECT_EQ(text.rfind("\rlevel 2 (64x64): 15%, 0:00 elapsed, about 0:0", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K");
    EXPECT_EQ(text.find('\n'), std::string::npos);
}

}  // namespace
