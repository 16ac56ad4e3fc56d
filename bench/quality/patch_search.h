#pragma once

#include <cstdint>
#include <vector>

#include "image/rgb_image.h"

// Exact nearest-patch search between an output texture and its exemplar, on 5 x 5 RGB patches.

inline constexpr int kPatchRadius = 2;
inline constexpr int kPatchSide = 2 * kPatchRadius + 1;
inline constexpr int kPatchComponents = kPatchSide * kPatchSide * 3;

// An exemplar patch and its squared distance (sum over the 75 components) to the patch it was found for.
struct PatchMatch {
    int index = -1;
    std::uint32_t distance = 0;
};

// Number of 5 x 5 patches lying fully inside an image of this size: (width - 4) x (height - 4), or 0.
int exemplar_patch_count(int width, int height);

// For every pixel of `output`, row-major, the exemplar patch nearest to the output's 5 x 5 patch centred on
// that pixel, read wrapping around the output's edges. Exemplar patches lie fully inside the exemplar and
// are numbered row-major by position (patch i has its top-left corner at (i % (width - 4), i / (width - 4))).
// The search is exact; among equally near patches the lowest number wins. Uses up to `threads` threads
// (0: one per core); the result does not depend on the count. An exemplar smaller than 5 x 5 has no patch:
// then every match has index -1.
std::vector<PatchMatch> nearest_exemplar_patches(const RgbImage& exemplar, const RgbImage& output,
                                                 int threads = 0);

// The top-left corner of a 5 x 5 patch.
struct PatchCorner {
    int left = 0;
    int top = 0;
};

// For every query patch, the nearest of the candidate patches, both read from `image` (patches lying fully
// inside it, given by their top-left corners). A match's index is the candidate's position in `candidates`.
// The search is exact; among equally near candidates the lowest position wins. Uses up to `threads` threads
// (0: one per core); the result does not depend on the count. Without candidates every index is -1.
std::vector<PatchMatch> nearest_patches_among(const RgbImage& image, const std::vector<PatchCorner>& candidates,
                                              const std::vector<PatchCorner>& queries, int threads = 0);
