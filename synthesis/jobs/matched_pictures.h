#pragma once

#include <cstdint>
#include <vector>

#include <texsynth/image.h>
#include <texsynth/job.h>

#include "synthesis/search/matched_channels.h"

// The pixels a job matches, as bytes: R, G and B of a picture, then the channels of its structure maps, then
// those of its guide (synthesis/search/matched_channels.h). Alpha is never matched.

// How many channels pictures of one kind (the maps of one kind, or every guide of a job) take each: 1 if every
// one of them is grey (R = G = B at every pixel), 3 otherwise.
int kind_channels(const std::vector<const Image*>& pictures);

// The layout of a job's matched pixels: how many channels each kind of map takes, how many the guides take, and
// the weight of each channel. A kind of `k` channels weighing W counts W times as much as the colour's three:
// 3 W / k a channel.
struct ChannelPlan {
    std::vector<int> map_channels;  // per kind of map (Job::match_also), in order
    int guide_channels = 0;         // 0: no guides
    MatchedChannels channels;
};

// The plan of `maps` and `guides` (all of them, exemplars' and target's), the guides weighing `guide_weight`.
ChannelPlan plan_channels(const std::vector<MatchedMaps>& maps, const std::vector<const Image*>& guides,
                          double guide_weight);

// The matched pixels of exemplar `index`: its colour, the maps' (maps[k].maps[index]) and its guide (or none),
// laid out as `plan` says.
std::vector<std::uint8_t> matched_exemplar(const Image& exemplar, const std::vector<MatchedMaps>& maps, int index,
                                           const Image* guide, const ChannelPlan& plan);

// Pixels of the output's pyramid at level 0 before synthesis: every channel 0 but the target guide's.
std::vector<std::uint8_t> matched_target(const Image& target_guide, const ChannelPlan& plan);
