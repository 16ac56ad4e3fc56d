#pragma once

#include <optional>
#include <string>
#include <vector>

#include <texsynth/job.h>
#include <texsynth/settings.h>

// What one run of the program is asked to do: the settings read from its command line.

// Longest input path, output prefix or file name accepted, in characters.
inline constexpr int kMaxPathLength = 255;
// Longest last part of the output prefix: with "_<level>.bmp" it makes a file name of at most 255 characters,
// the most a file system accepts.
inline constexpr int kMaxPrefixNameLength = 255 - 6;
// The finished-file form's defaults where the command line leaves them open.
inline constexpr int kDefaultOutputSide = 512;

// The settings of one run of the program: how to synthesize, and the files and console around it.
struct RunSettings : SynthesisSettings {
    std::string input_path = "./demo2.bmp";
    std::string output_prefix = "./out";  // the positional form: <prefix>_<level>.bmp
    int width = 256;                      // of output level 0
    int height = 256;
    bool quiet = false;  // no progress line

    // The finished-file form (--output): only level 0, to this file. Empty: the positional form.
    std::string output_file;
    std::string save_map;   // where to write the source map (a PNG), if anywhere
    std::string apply_map;  // a source map to sample the input through instead of synthesizing
    // Filling: a mask of the input's size whose non-black pixels mark the hole, and where the hole's pixels
    // come from if not from the rest of the input.
    std::string mask_path;
    std::string exemplar_path;
    // Making the input tile: the band along its edges that is synthesized anew (0: the default width).
    bool make_tileable = false;
    int band = 0;
    // Growing the input: by how much on each side.
    bool extend = false;
    Border border;

    // What is made where. The finished-file form may take several inputs (exemplars, or with --apply-map the
    // pictures sampled through the map), in order; input_path is the first.
    std::vector<std::string> inputs;
    std::vector<std::string> sample_masks;  // one per exemplar, or none
    std::vector<std::string> guides;        // one per exemplar, or none
    std::string target_guide;
    std::optional<double> guide_weight;
    std::string transfer_target;  // --transfer: the picture re-made of the exemplar's pixels
    // --match-also, in order: with E exemplars, every E in a row are one kind of map, one per exemplar.
    struct MatchAlso {
        std::string path;
        double weight = 1.0;
    };
    std::vector<MatchAlso> match_also;
};

// The job of making the texture `settings` ask for from `exemplar` (which must outlive the job).
inline Job texture_job(const RunSettings& settings, const Image& exemplar) {
    Job job;
    job.settings = settings;
    job.exemplar = &exemplar;
    job.width = settings.width;
    job.height = settings.height;
    job.with_map = !settings.save_map.empty();
    return job;
}
