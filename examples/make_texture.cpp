// A texture from an exemplar, through the texsynth library:
//   make_texture EXEMPLAR OUTPUT [WIDTH HEIGHT]
// reads EXEMPLAR (PNG, JPEG or BMP) and writes a WIDTH x HEIGHT texture (default 512 x 512) to OUTPUT (.png or
// .bmp), made as `texsynth --size=WIDTHxHEIGHT --output=OUTPUT EXEMPLAR` makes it: the same bytes.

#include <cstdio>
#include <string>

#include <texsynth/texsynth.h>

int main(int argc, char** argv) {
    int width = 512;
    int height = 512;
    if ((argc != 3 && argc != 5) ||
        (argc == 5 && (std::sscanf(argv[3], "%d", &width) != 1 || std::sscanf(argv[4], "%d", &height) != 1))) {
        std::fputs("usage: make_texture EXEMPLAR OUTPUT [WIDTH HEIGHT]\n", stderr);
        return 2;
    }
    const std::string exemplar_path = argv[1];
    const std::string output_path = argv[2];

    Image exemplar;
    std::string why;
    if (!read_image(exemplar_path, exemplar, why)) {
        std::fprintf(stderr, "make_texture: %s: %s\n", exemplar_path.c_str(), why.c_str());
        return 1;
    }

    Job job;  // JobKind::generate: a new texture of the given size
    job.settings = finished_texture_defaults();
    job.exemplar = &exemplar;
    job.width = width;  // checked by run_job, as every setting
    job.height = height;
    job.with_map = false;

    JobResult result;
    JobError error;
    if (!run_job(job, result, error)) {
        std::fprintf(stderr, "make_texture: %s\n", error.message().c_str());
        return 1;
    }
    if (!write_image(output_path, result.image, why)) {
        std::fprintf(stderr, "make_texture: %s: %s\n", output_path.c_str(), why.c_str());
        return 1;
    }
    std::printf("%s: %dx%d\n", output_path.c_str(), result.image.width, result.image.height);
    return 0;
}
