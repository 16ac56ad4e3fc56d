#pragma once

#include <string>

#include "synthesis/synthesis_settings.h"

// Longest input path or output prefix accepted, in characters.
inline constexpr int kMaxPathLength = 255;
// Longest last part of the output prefix: with "_<level>.bmp" it makes a file name of at most 255 characters,
// the most a file system accepts.
inline constexpr int kMaxPrefixNameLength = 255 - 6;

// The settings of one run of the program: how to synthesize, and the files and console around it.
struct RunSettings : SynthesisSettings {
    std::string input_path = "./demo2.bmp";
    std::string output_prefix = "./out";
    int width = 256;   // of output level 0
    int height = 256;  // of output level 0
    bool quiet = false;  // no progress line
};
