#include "bench/bench_cases.h"

#include <ANN/ANN.h>
#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include <texsynth/settings.h>

#include "bench/child_process.h"
#include "bench/process_counters.h"
#include "image/bmp_file.h"
#include "image/image_file.h"
#include "pyramid/exemplar_pyramid.h"
#include "synthesis/search/training_set.h"

namespace {

static_assert(std::is_trivially_copyable_v<RunSample>, "a RunSample travels through a pipe as bytes");

std::string as_bytes(const void* data, std::size_t size) { return {static_cast<const char*>(data), size}; }

RunSettings settings_for(const BenchCase& wanted, const std::string& scratch) {
    RunSettings settings;  // the default matrix and number of levels
    settings.input_path = wanted.input;
    settings.output_prefix = scratch + "/out";
    settings.width = wanted.output_size;
    settings.height = wanted.output_size;
    return settings;
}

RunSample run_once(const RunSettings& settings, bool profiled) {
    const ChildResult child = run_in_child([&settings, profiled] {
        RunSample sample;
        const std::int64_t allocations = allocation_count();
        const std::int64_t writes = write_call_count();
        LapClock clock;
        sample.status = run_synthesis(settings, profiled ? &sample.profile : nullptr);
        sample.wall = clock.lap();
        sample.allocations = allocation_count() - allocations;
        sample.write_calls = write_call_count() - writes;
        return as_bytes(&sample, sizeof sample);
    });
    RunSample sample;
    if (child.completed && child.payload.size() == sizeof sample) {
        std::memcpy(&sample, child.payload.data(), sizeof sample);
    } else {
        sample.status = -1;
    }
    sample.peak_rss_kib = child.peak_rss_kib;
    sample.minor_faults = child.minor_faults;
    sample.cpu_seconds = child.cpu_seconds;
    return sample;
}

std::int64_t heap_in_use() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}

}  // namespace

CaseResult run_case(const BenchCase& wanted, const std::string& scratch, int repeats) {
    CaseResult result;
    result.wanted = wanted;
    result.runs = repeats;
    const RunSettings settings = settings_for(wanted, scratch);
    for (int i = 0; i < repeats; ++i) {
        const RunSample profiled = run_once(settings, true);
        const RunSample plain = run_once(settings, false);
        result.failed = result.failed || profiled.status != 0 || plain.status != 0;
        if (i == 0 || profiled.profile.total < result.profiled.profile.total) {
            result.profiled = profiled;
        }
        if (i == 0 || plain.wall < result.plain.wall) {
            result.plain = plain;
        }
        result.peak_rss_kib = std::max({result.peak_rss_kib, profiled.peak_rss_kib, plain.peak_rss_kib});
    }
    return result;
}

std::int64_t training_set_bytes(const std::string& input) {
    const ChildResult child = run_in_child([&input] {
        std::int64_t largest = -1;
        const RunSettings settings;
        RgbImage exemplar;
        std::string why;
        if (read_rgb_image(input, exemplar, why)) {
            std::vector<std::uint8_t> pyramid(
                static_cast<std::size_t>(pyramid_bytes(exemplar.width, exemplar.height, settings.levels)));
            LevelTable table;
            build_exemplar_pyramid(exemplar.pixels.data(), exemplar.width, exemplar.height, pyramid, table,
                                   settings.levels);
            TrainingSet set;
            for (int n = settings.levels - 1; n >= 0; --n) {
                set.release();
                const std::int64_t before = heap_in_use();
                build_training_set(pyramid.data(), table, settings.matrix.row(n, settings.levels), n,
                                   settings.levels, set);
                largest = std::max(largest, heap_in_use() - before);
            }
        }
        return as_bytes(&largest, sizeof largest);
    });
    std::int64_t bytes = -1;
    if (child.completed && child.payload.size() == sizeof bytes) {
        std::memcpy(&bytes, child.payload.data(), sizeof bytes);
    }
    return bytes;
}

bool write_centre_crop(const std::string& source, int size, const std::string& destination) {
    const ChildResult child = run_in_child([&] {
        RgbImage image;
        std::string why;
        if (!read_rgb_image(source, image, why) || image.width < size || image.height < size) {
            return std::string("no");
        }
        const int left = (image.width - size) / 2;
        const int top = (image.height - size) / 2;
        std::vector<std::uint8_t> crop(static_cast<std::size_t>(size) * size * 3);
        for (int y = 0; y < size; ++y) {
            const std::uint8_t* from = &image.pixels[((static_cast<std::size_t>(top + y) * image.width) + left) * 3];
            std::copy_n(from, static_cast<std::size_t>(size) * 3, &crop[static_cast<std::size_t>(y) * size * 3]);
        }
        return std::string(write_bmp(destination, crop.data(), size, size, why) ? "ok" : "no");
    });
    return child.completed && child.payload == "ok";
}

double lap_seconds() {
    constexpr int kLaps = 1'000'000;
    LapClock clock;
    LapClock whole;
    volatile double sink = 0;  // keeps the laps from being optimised away
    for (int i = 0; i < kLaps; ++i) {
        sink = sink + clock.lap();
    }
    return whole.lap() / kLaps;
}

std::int64_t allocations_per_search() {
    constexpr int kPoints = 64;
    constexpr int kDimension = 4;
    ANNpointArray points = annAllocPts(kPoints, kDimension);
    for (int i = 0; i < kPoints; ++i) {
        for (int d = 0; d < kDimension; ++d) {
            points[i][d] = (i * 7 + d * 13) % 31;
        }
    }
    std::int64_t per_search = 0;
    {
        ANNkd_tree tree(points, kPoints, kDimension, 1, ANN_KD_SUGGEST);
        ANNpoint query = annAllocPt(kDimension, 3.0);
        ANNidx index = 0;
        ANNdist distance = 0;
        const std::int64_t before = allocation_count();
        tree.annkSearch(query, 1, &index, &distance, 2.0);
        per_search = allocation_count() - before;
        annDeallocPt(query);
    }
    annDeallocPts(points);
    return per_search;
}
