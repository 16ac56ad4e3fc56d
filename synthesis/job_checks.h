#pragma once

#include <cstdint>
#include <string>

#include "synthesis/synthesis_settings.h"

// The exemplar's pyramid may take at most this many bytes (an exemplar of about 886 x 886 pixels): the
// candidates of a level, and the time each search takes, grow with the exemplar.
inline constexpr int kMaxExemplarPyramidBytes = 3'145'728;
// Pixels are addressed with 32-bit byte indices, which bounds the output pyramid.
inline constexpr std::int64_t kMaxOutputPyramidBytes = 2'147'483'647;
// Most components a training set may hold in all (2 GiB of coordinates).
inline constexpr std::int64_t kMaxTrainingComponents = std::int64_t{1} << 28;

// Checks that every setting lies in its range (the command line checks these as it reads them).
// Returns "<what>: <why>", or "" if fine.
std::string check_setting_ranges(const SynthesisSettings& settings);

// Checks what a run needs that the settings and the output size alone decide: the output fits its buffers,
// no output level is empty, and the coarsest level has a neighbourhood to compare. Returns "<what>: <why>",
// or "" if fine.
std::string check_settings(const SynthesisSettings& settings, int width, int height);

// The side of the largest square exemplar whose pyramid of `levels` levels fits its buffer.
int largest_square_exemplar(int levels);

// Checks what depends on the exemplar's size: its pyramid fits its buffer, and every level has candidates
// inside the border its neighbourhoods need and a training set of a sane size. Returns the reason for
// refusing the exemplar, or "" if fine.
std::string check_exemplar(const SynthesisSettings& settings, int width, int height);

// `settings` with the number of levels decided: unchanged if it is given; otherwise those that suit the
// exemplar (automatic_levels), fewer if the output is too small for them, with automatic_matrix's
// neighbourhoods.
SynthesisSettings with_levels_chosen(const SynthesisSettings& settings, int exemplar_width, int exemplar_height,
                                     int output_width, int output_height);
