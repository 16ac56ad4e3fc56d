#include "app/run_synthesis.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/run_checks.h"
#include "image/bmp_file.h"
#include "pyramid/enlarge.h"
#include "pyramid/exemplar_pyramid.h"
#include "synthesis/level_synthesis.h"
#include "synthesis/training_set.h"

namespace {

// The search error bound: a returned neighbour may be up to 1 + eps times as far as the nearest one.
constexpr double kSearchErrorBound = 2.0;

void report(const std::string& what, const std::string& why) {
    std::fflush(stdout);
    std::fprintf(stderr, "texsynth: %s: %s\n", what.c_str(), why.c_str());
}

// Fills the first 4 x W x H pixels of the output pyramid buffer with pixels of the exemplar drawn by rand(),
// from the start of its sequence: the sequence of a generator never seeded, which srand(1) restarts.
void fill_with_noise(const RgbImage& exemplar, int width, int height, std::uint8_t* output_pyramid) {
    std::srand(1);
    const int exemplar_pixels = exemplar.width * exemplar.height;
    const int draws = 4 * width * height;
    for (int i = 0; i < draws; ++i) {
        const int p = std::rand() % exemplar_pixels;
        std::copy_n(&exemplar.pixels[static_cast<std::size_t>(p) * 3], 3, &output_pyramid[static_cast<std::size_t>(i) * 3]);
    }
}

// Writes one level's file and reports a failure. Runs beside the synthesis of the next level, so that the
// wait for the disk (write_bmp makes every file durable before it appears) overlaps with the search.
bool write_level(const std::string& name, const std::uint8_t* pixels, int width, int height) {
    std::string why;
    if (write_bmp(name, pixels, width, height, why)) {
        return true;
    }
    report(name, why);
    return false;
}

}  // namespace

int run_synthesis(const RunSettings& settings, RunProfile* profile) {
    LapClock total_clock;
    LapClock clock;
    // The working buffers are left uncleared: a run writes every byte before reading it (the noise covers the
    // whole output pyramid), and the pages of a fresh block that are never written cost neither the time of
    // clearing them nor resident memory.
    const auto exemplar_pyramid = std::make_unique_for_overwrite<std::uint8_t[]>(kWorkingBufferBytes);
    const auto output_pyramid = std::make_unique_for_overwrite<std::uint8_t[]>(kWorkingBufferBytes);
    const auto enlarged = std::make_unique_for_overwrite<std::uint8_t[]>(kWorkingBufferBytes);

    RgbImage exemplar;
    std::string why;
    const auto accept_size = [&settings](int width, int height) { return check_exemplar(settings, width, height); };
    if (!read_bmp(settings.input_path, exemplar, why, accept_size)) {
        report(settings.input_path, why);
        return 1;
    }

    const int levels = settings.levels;
    LevelTable exemplar_levels;
    build_exemplar_pyramid(exemplar.pixels.data(), exemplar.width, exemplar.height,
                           std::span(exemplar_pyramid.get(), kWorkingBufferBytes), exemplar_levels, levels);
    if (profile != nullptr) {
        profile->loading += clock.lap();
    }
    fill_with_noise(exemplar, settings.width, settings.height, output_pyramid.get());
    if (profile != nullptr) {
        profile->noise += clock.lap();
    }

    bool output_lost = false;
    // The file of the level before, still being written from the enlargement buffer. Declared after the buffer
    // so that leaving early waits for the write before the buffer goes away. Files are written one at a time,
    // coarsest first, as the "write" lines say.
    std::future<bool> pending_write;
    const auto finish_pending_write = [&pending_write, &output_lost] {
        if (pending_write.valid() && !pending_write.get()) {
            output_lost = true;
        }
    };
    TrainingSet training;
    for (int n = levels - 1; n >= 0; --n) {
        const int* row = settings.matrix.row(n, levels);
        LevelProfile* level_profile = profile != nullptr ? &profile->levels[n] : nullptr;
        build_training_set(exemplar_pyramid.get(), exemplar_levels, row, n, levels, training, level_profile);
        const LevelGeometry level = synthesize_level(training, row, output_pyramid.get(), settings.width,
                                                     settings.height, n, levels, kSearchErrorBound, level_profile);
        if (profile != nullptr) {
            clock.lap();
        }
        finish_pending_write();  // frees the enlargement buffer
        int enlarged_width = 0;
        int enlarged_height = 0;
        enlarge_by_replication(output_pyramid.get() + level.offset, level.width, level.height, enlarged.get(),
                               enlarged_width, enlarged_height, 1 << n);
        const std::string name = settings.output_prefix + "_" + std::to_string(n) + ".bmp";
        // Where no thread can be started, the write happens at the next finish_pending_write instead.
        pending_write = std::async(std::launch::async | std::launch::deferred, write_level, name, enlarged.get(),
                                   enlarged_width, enlarged_height);
        if (profile != nullptr) {
            profile->output_files += clock.lap();
        }
    }
    finish_pending_write();
    if (profile != nullptr) {
        profile->output_files += clock.lap();
        profile->total += total_clock.lap();
    }
    return output_lost ? 1 : 0;
}
