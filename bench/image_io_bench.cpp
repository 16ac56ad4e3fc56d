// Times reading an exemplar and writing a 512 x 512 texture against making it, for the share that files
// take of a run:
//   texsynth_io_bench EXEMPLAR SCRATCH_DIR
// Prints a Markdown section. The JPEG is made from the texture by ImageMagick (/usr/bin/convert), if present.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <texsynth/job.h>
#include <texsynth/profile.h>

#include "image/image_file.h"

namespace {

constexpr int kSide = 512;
constexpr int kRepeats = 7;

// The fastest of kRepeats runs of `work`, in milliseconds; false if a run failed.
template <class Work>
bool fastest(Work work, double& milliseconds) {
    milliseconds = 1e300;
    for (int i = 0; i < kRepeats; ++i) {
        LapClock clock;
        if (!work()) {
            return false;
        }
        milliseconds = std::min(milliseconds, clock.lap() * 1000);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: texsynth_io_bench EXEMPLAR SCRATCH_DIR\n", stderr);
        return 2;
    }
    const std::string scratch = argv[2];
    Image exemplar;
    std::string why;
    if (!read_image(argv[1], exemplar, why)) {
        std::fprintf(stderr, "texsynth_io_bench: %s: %s\n", argv[1], why.c_str());
        return 1;
    }
    Job job;
    job.settings = finished_texture_defaults();
    job.exemplar = &exemplar;
    job.width = kSide;
    job.height = kSide;
    job.with_map = false;
    Job coherent_job = job;
    coherent_job.settings.match = MatchMode::coherent;
    coherent_job.settings.passes = 2;
    JobResult result;
    JobError error;
    double synthesis = 0;
    double coherent = 0;
    double write_png = 0;
    double read_exemplar = 0;
    double read_png = 0;
    double read_jpeg = -1;
    const std::string png = scratch + "/texture.png";
    const std::string exemplar_png = scratch + "/exemplar.png";
    const std::string jpeg = scratch + "/texture.jpg";
    if (!fastest([&] { return run_job(coherent_job, result, error); }, coherent) ||
        !fastest([&] { return run_job(job, result, error); }, synthesis) ||
        !fastest([&] { return write_image(png, result.image, why); }, write_png) ||
        !write_image(exemplar_png, exemplar, why)) {
        std::fprintf(stderr, "texsynth_io_bench: %s%s\n", error.message().c_str(), why.c_str());
        return 1;
    }
    Image read_back;
    if (!fastest([&] { return read_image(png, read_back, why); }, read_png) ||
        !fastest([&] { return read_image(exemplar_png, read_back, why); }, read_exemplar)) {
        std::fprintf(stderr, "texsynth_io_bench: %s\n", why.c_str());
        return 1;
    }
    const std::string convert = "/usr/bin/convert '" + png + "' -quality 90 '" + jpeg + "' 2>/dev/null";
    if (std::system(convert.c_str()) == 0) {
        fastest([&] { return read_image(jpeg, read_back, why); }, read_jpeg);
    }
    // What a run does with files: it reads its exemplar and writes its result.
    const double files = read_exemplar + write_png;
    std::printf("### Image files\n\n");
    std::printf("Reading and writing pictures beside making a %d x %d texture from `%s` (`texsynth_io_bench`, the\n"
                "fastest of %d runs in one process, on every core):\n\n",
                kSide, kSide, argv[1], kRepeats);
    std::printf("| step | milliseconds |\n|---|--:|\n");
    std::printf("| synthesizing the texture (the finished-file form's default) | %.1f |\n", synthesis);
    std::printf("| synthesizing it with --match=coherent --passes=2 | %.1f |\n", coherent);
    std::printf("| reading the exemplar as PNG (%d x %d) | %.1f |\n", exemplar.width, exemplar.height, read_exemplar);
    std::printf("| writing the texture as PNG (complete file, fsync, rename) | %.1f |\n", write_png);
    std::printf("| reading that PNG | %.1f |\n", read_png);
    if (read_jpeg >= 0) {
        std::printf("| reading a baseline JPEG of it (quality 90) | %.1f |\n", read_jpeg);
    }
    std::printf("\nReading the exemplar and writing the result (%.1f ms) take %.1f %% of a run with the default and "
                "%.1f %% of one with --match=coherent --passes=2.\n",
                files, 100 * files / (synthesis + files), 100 * files / (coherent + files));
    return 0;
}
