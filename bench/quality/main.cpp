// texsynth-quality: prints the quality figures of a synthesized texture against its exemplar, or of a filled
// hole against the original picture, as one line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/quality/fill_metrics.h"
#include "bench/quality/patch_search.h"
#include "bench/quality/quality_metrics.h"
#include "bench/quality/repeat_share.h"
#include "image/image_file.h"

#include <texsynth/source_map_files.h>

namespace {

constexpr const char* kUsage =
    "usage: texsynth-quality [--threads=N] [--map=MAP.png] [--heat-map=HEAT.png] [--error-map=ERRORS.png]\n"
    "                        EXEMPLAR OUTPUT\n"
    "       texsynth-quality [--threads=N] --fill ORIGINAL MASK RESULT\n"
    "       texsynth-quality --same-sources MAP.png OTHER_MAP.png\n"
    "(pictures: BMP, PNG or JPEG files; maps: the source maps of texsynth --save-map)\n"
    "Prints one line: seam_z seam_z_columns seam_z_rows coherence_mean coherence_p95 completeness histogram\n"
    "block_ratio block_ratio_4 exemplar_block_ratio exemplar_block_ratio_4 repeat_share repeat_shift\n"
    "repeat_from; with --fill: boundary_z hole_coherence outside_changed original_hole_coherence hole_detail\n"
    "original_hole_detail hole_step_ratio boundary_step reference_step reference_shifts hole_pixels edge_pairs;\n"
    "with --same-sources: same_source_share.\n";

// The one place pictures are read: BMP, PNG or JPEG, as RGB.
bool read_picture(const std::string& path, RgbImage& image, std::string& why) { return read_rgb_image(path, image, why); }

// Reads every path into the picture beside it, or says on standard error why one could not be read.
bool read_all(char** paths, RgbImage* images[], int count) {
    for (int i = 0; i < count; ++i) {
        std::string why;
        if (!read_picture(paths[i], *images[i], why)) {
            std::fprintf(stderr, "texsynth-quality: %s: %s\n", paths[i], why.c_str());
            return false;
        }
    }
    return true;
}

// Writes a picture, or says on standard error why it could not be written.
bool write_picture(const std::string& path, const RgbImage& picture) {
    std::string why;
    if (!write_image(path, Image{picture.width, picture.height, 3, picture.pixels}, why)) {
        std::fprintf(stderr, "texsynth-quality: %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    return true;
}

// Reads a source map, or says on standard error why it could not be read.
bool read_map(const std::string& path, SourceMap& map) {
    std::string why;
    if (!read_source_map(path, map, why)) {
        std::fprintf(stderr, "texsynth-quality: %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    return true;
}

int measure_texture(char** paths, int threads, const std::string& map_path, const std::string& heat_path,
                    const std::string& error_path) {
    RgbImage exemplar;
    RgbImage output;
    RgbImage* images[] = {&exemplar, &output};
    if (!read_all(paths, images, 2)) {
        return 1;
    }
    if (exemplar_patch_count(exemplar.width, exemplar.height) == 0) {
        std::fprintf(stderr, "texsynth-quality: %s: the exemplar must be at least %d x %d\n", paths[0], kPatchSide,
                     kPatchSide);
        return 1;
    }
    // The repeat share from the map where there is one, else from the pixels' 3 x 3 neighbourhoods.
    SourceMap map;
    if (!map_path.empty()) {
        if (!read_map(map_path, map)) {
            return 1;
        }
        if (map.width != output.width || map.height != output.height) {
            std::fprintf(stderr, "texsynth-quality: %s: the map is %d x %d, the output %d x %d\n", map_path.c_str(),
                         map.width, map.height, output.width, output.height);
            return 1;
        }
    }
    const RepeatShare repeats = repeat_share(map_path.empty() ? labels_of_pixels(output) : labels_of_map(map.xy),
                                             output.width, output.height);
    if (!heat_path.empty() && !write_picture(heat_path, repeat_heat_map(repeats))) {
        return 1;
    }
    const QualityFigures figures = measure_quality(exemplar, output, threads);
    if (!error_path.empty() && !write_picture(error_path, coherence_error_map(figures, output.width, output.height))) {
        return 1;
    }
    std::printf("%s repeat_share=%.4f repeat_shift=%d,%d repeat_from=%s\n", format_figures(figures).c_str(),
                repeats.share, repeats.dx, repeats.dy, map_path.empty() ? "pixels" : "map");
    return 0;
}

int compare_maps(char** paths) {
    SourceMap a;
    SourceMap b;
    if (!read_map(paths[0], a) || !read_map(paths[1], b)) {
        return 1;
    }
    if (a.width != b.width || a.height != b.height) {
        std::fprintf(stderr, "texsynth-quality: %s: the maps differ in size\n", paths[1]);
        return 1;
    }
    std::printf("same_source_share=%.4f\n", same_position_share(labels_of_map(a.xy), labels_of_map(b.xy)));
    return 0;
}

int measure_hole(char** paths, int threads) {
    RgbImage original;
    RgbImage mask;
    RgbImage result;
    RgbImage* images[] = {&original, &mask, &result};
    if (!read_all(paths, images, 3)) {
        return 1;
    }
    FillFigures figures;
    std::string why;
    if (!measure_fill(original, mask, result, threads, figures, why)) {
        const bool mask_differs = mask.width != original.width || mask.height != original.height;
        std::fprintf(stderr, "texsynth-quality: %s: %s\n", paths[mask_differs ? 1 : 2], why.c_str());
        return 1;
    }
    std::puts(format_fill_figures(figures).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int threads = 0;
    int first = 1;
    if (argc > first && std::string(argv[first]).starts_with("--threads=")) {
        char* end = nullptr;
        const long count = std::strtol(argv[first] + 10, &end, 10);
        if (*end != '\0' || end == argv[first] + 10 || count < 1 || count > 256) {
            std::fprintf(stderr, "texsynth-quality: --threads needs a count from 1 to 256\n%s", kUsage);
            return 2;
        }
        threads = static_cast<int>(count);
        ++first;
    }
    if (argc > first && std::string(argv[first]) == "--same-sources") {
        if (argc - first != 3) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return compare_maps(argv + first + 1);
    }
    std::string map_path;
    std::string heat_path;
    std::string error_path;
    for (; argc > first && argv[first][0] == '-' && argv[first][1] == '-'; ++first) {
        const std::string option = argv[first];
        if (option.starts_with("--map=") && option.size() > 6) {
            map_path = option.substr(6);
        } else if (option.starts_with("--heat-map=") && option.size() > 11) {
            heat_path = option.substr(11);
        } else if (option.starts_with("--error-map=") && option.size() > 12) {
            error_path = option.substr(12);
        } else {
            break;
        }
    }
    if (argc > first && std::string(argv[first]) == "--fill") {
        if (argc - first != 4 || !map_path.empty() || !heat_path.empty() || !error_path.empty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return measure_hole(argv + first + 1, threads);
    }
    if (argc - first != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return measure_texture(argv + first, threads, map_path, heat_path, error_path);
}
