#pragma once

#include <vector>

#include <texsynth/job.h>

#include "synthesis/jobs/hole_geometry.h"

// Growing a picture: the border around it is filled in parts, one after another, each a fill of a region of
// the grown picture through the level loop. A part's region reaches kExtendContext pixels into what is
// already there (the picture, and the parts before it), which stays as it is and which the new pixels must
// fit; its candidates come from a strip of the picture along the nearest edge (or from the exemplar given),
// so that the time follows the border's size, not the picture's. The top and bottom bands go first, corners
// included, left to right; then the left and right bands, top to bottom.

// How far a part's region reaches into what is already there.
inline constexpr int kExtendContext = 32;

// One part of the border.
struct ExtendPart {
    Rect region;  // of the grown picture: its pixels not yet made are synthesized, the others stay
    Rect strip;   // of the picture: its candidates, unless an exemplar is given
};

// The parts that grow a width x height picture by `border`, in the order they are made. Every pixel of the
// border lies in the region of at least one part.
std::vector<ExtendPart> extend_parts(int width, int height, const Border& border);

// Checks a grown picture's job and decides its levels.
bool check_extend_job(const Job& job, SynthesisSettings& settings, JobError& error);

// Does a checked job of growing a picture.
bool run_extend_job(const Job& job, const SynthesisSettings& settings, JobResult& result, JobError& error,
                    const JobHooks& hooks);
