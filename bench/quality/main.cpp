// texsynth-quality: prints the quality figures of a synthesized texture against its exemplar as one line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/quality/patch_search.h"
#include "bench/quality/quality_metrics.h"
#include "image/image_file.h"

namespace {

constexpr const char* kUsage =
    "usage: texsynth-quality [--threads=N] EXEMPLAR OUTPUT   (BMP, PNG or JPEG files)\n"
    "Prints one line: seam_z seam_z_columns seam_z_rows coherence_mean coherence_p95 completeness histogram.\n";

}  // namespace

int main(int argc, char** argv) {
    int threads = 0;
    int first = 1;
    if (argc > 1 && std::string(argv[1]).starts_with("--threads=")) {
        char* end = nullptr;
        const long count = std::strtol(argv[1] + 10, &end, 10);
        if (*end != '\0' || end == argv[1] + 10 || count < 1 || count > 256) {
            std::fprintf(stderr, "texsynth-quality: --threads needs a count from 1 to 256\n%s", kUsage);
            return 2;
        }
        threads = static_cast<int>(count);
        first = 2;
    }
    if (argc - first != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    RgbImage exemplar;
    RgbImage output;
    for (int i = 0; i < 2; ++i) {
        const std::string path = argv[first + i];
        std::string why;
        if (!read_rgb_image(path, i == 0 ? exemplar : output, why)) {
            std::fprintf(stderr, "texsynth-quality: %s: %s\n", path.c_str(), why.c_str());
            return 1;
        }
    }
    if (exemplar_patch_count(exemplar.width, exemplar.height) == 0) {
        std::fprintf(stderr, "texsynth-quality: %s: the exemplar must be at least %d x %d\n", argv[first],
                     kPatchSide, kPatchSide);
        return 1;
    }
    std::puts(format_figures(measure_quality(exemplar, output, threads)).c_str());
    return 0;
}
