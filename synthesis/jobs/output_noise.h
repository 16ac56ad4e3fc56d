#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pyramid/level_table.h"
#include "synthesis/jobs/exemplar_set.h"

// The noise a texture's output pyramid starts from: every pixel a pixel of the exemplars drawn from those that
// may be copied; with guides, from those whose guides are like the output pixel's target guide, so that every
// region starts from the exemplars' regions it asks for.
class NoisePools {
public:
    // `guide_channels` of the matched pixels from channel `first_guide` on are the guides (0: none).
    NoisePools(const ExemplarSet& set, int first_guide, int guide_channels);

    // The pixels of the set's level 0 that an output pixel whose matched pixel is `pixel` draws from.
    const std::vector<int>& pool(const std::uint8_t* pixel) const;

private:
    int bin_of(const std::uint8_t* pixel) const;

    const ExemplarSet& set_;
    int first_guide_;
    int guide_channels_;
    int bin_levels_;
    std::vector<std::vector<int>> bins_;  // the pixels whose guides fall in each bin
    std::vector<int> nearest_bin_;        // per bin, the nearest one that has pixels
};

// How a remix of several exemplars (without guides) is laid out: the output cut into cells about the exemplars'
// size, each taking one exemplar (every exemplar one cell at least, where there are as many), as an exemplar
// index per pixel of a width x height output. The cells then serve as a guide of their own, so that the result
// remixes them all rather than settling on the one nearest to noise.
std::vector<int> remix_cells(const std::vector<ExemplarPlace>& places, int width, int height,
                             std::optional<std::uint32_t> seed);

// Fills the `copied` channels of every pixel of the output pyramid (level 0 first, then level 1 and so on, every
// level from level 0 of the exemplars), one after another, with a pixel drawn from its pool. With `drawn`,
// also records which pixel of the set's level 0 each output pixel was drawn from.
void fill_with_noise(const ExemplarSet& set, const NoisePools& pools, int copied, int levels,
                     std::optional<std::uint32_t> seed, std::vector<std::uint8_t>& output_pyramid,
                     const LevelTable& output, std::vector<int>* drawn);
