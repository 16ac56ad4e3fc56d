#pragma once

#include <texsynth/image.h>

// A style transfer's guides: the light and dark of the picture to re-make (the target) and of the exemplar
// whose pixels re-make it (the style), the style's mapped onto the target's range.

// The luminance of every pixel (0.299 R + 0.587 G + 0.114 B), as a grey picture (R = G = B).
Image luminance(const Image& picture);

// `grey` (a grey picture) with its values moved and stretched linearly so that their mean and standard
// deviation are those of `reference` (another grey picture), rounded and clamped to 0 .. 255. A flat picture
// takes the reference's mean.
Image matched_to(const Image& grey, const Image& reference);
