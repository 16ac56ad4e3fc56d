// texsynth-quality: prints the quality figures of a synthesized texture against its exemplar, or of a filled
// hole against the original picture, as one line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/quality/fill_metrics.h"
#include "bench/quality/patch_search.h"
#include "bench/quality/quality_metrics.h"
#include "image/image_file.h"

namespace {

constexpr const char* kUsage =
    "usage: texsynth-quality [--threads=N] EXEMPLAR OUTPUT   (BMP, PNG or JPEG files)\n"
    "       texsynth-quality [--threads=N] --fill ORIGINAL MASK RESULT\n"
    "Prints one line: seam_z seam_z_columns seam_z_rows coherence_mean coherence_p95 completeness histogram\n"
    "block_ratio block_ratio_4 exemplar_block_ratio exemplar_block_ratio_4; with --fill: boundary_z\n"
    "hole_coherence outside_changed original_hole_coherence hole_detail original_hole_detail boundary_step\n"
    "reference_step reference_shifts hole_pixels edge_pairs.\n";

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

int measure_texture(char** paths, int threads) {
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
    std::puts(format_figures(measure_quality(exemplar, output, threads)).c_str());
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
    if (argc > first && std::string(argv[first]) == "--fill") {
        if (argc - first != 4) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return measure_hole(argv + first + 1, threads);
    }
    if (argc - first != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return measure_texture(argv + first, threads);
}
