// Times reading and writing a 512 x 512 picture against making one, for the share that files take of a run:
//   texsynth_io_bench EXEMPLAR SCRATCH_DIR
// Prints a Markdown section. The JPEG is made from the texture by ImageMagick (/usr/bin/convert), if present.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/image_file.h"
#include "synthesis/job.h"
#include "synthesis/level_profile.h"

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
    JobResult result;
    JobError error;
    double synthesis = 0;
    double write_png = 0;
    double read_png = 0;
    double read_jpeg = -1;
    const std::string png = scratch + "/texture.png";
    const std::string jpeg = scratch + "/texture.jpg";
    if (!fastest([&] { return run_job(job, result, error); }, synthesis) ||
        !fastest([&] { return write_image(png, result.image, why); }, write_png)) {
        std::fprintf(stderr, "texsynth_io_bench: %s%s\n", error.message().c_str(), why.c_str());
        return 1;
    }
    Image read_back;
    if (!fastest([&] { return read_image(png, read_back, why); }, read_png)) {
        std::fprintf(stderr, "texsynth_io_bench: %s: %s\n", png.c_str(), why.c_str());
        return 1;
    }
    const std::string convert = "/usr/bin/convert '" + png + "' -quality 90 '" + jpeg + "' 2>/dev/null";
    if (std::system(convert.c_str()) == 0) {
        fastest([&] { return read_image(jpeg, read_back, why); }, read_jpeg);
    }
    const double files = read_png + write_png;
    std::printf("### Image files\n\n");
    std::printf("Reading and writing a %d x %d picture beside making it (`texsynth_io_bench`, the fastest of %d\n"
                "runs in one process; the texture is the finished-file form's default from `%s`, on every core):\n\n",
                kSide, kSide, kRepeats, argv[1]);
    std::printf("| step | milliseconds |\n|---|--:|\n");
    std::printf("| synthesizing the texture | %.1f |\n", synthesis);
    std::printf("| writing it as PNG (complete file, fsync, rename) | %.1f |\n", write_png);
    std::printf("| reading that PNG | %.1f |\n", read_png);
    if (read_jpeg >= 0) {
        std::printf("| reading a baseline JPEG of it (quality 90) | %.1f |\n", read_jpeg);
    }
    std::printf("\nReading the exemplar and writing the result take %.1f %% of such a run (reading a %d x %d PNG and "
                "writing one: %.1f ms against %.1f ms).\n",
                100 * files / (synthesis + files), kSide, kSide, files, synthesis);
    return 0;
}
