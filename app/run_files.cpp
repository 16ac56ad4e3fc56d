#include "app/run_files.h"

#include <algorithm>
#include <cstdio>

#include <texsynth/source_map_files.h>

#include "app/message_text.h"

namespace {

// A file's console line, out at once: a run stopped by a signal still shows what it finished.
void announce(const char* verb, const std::string& path, int width, int height) {
    std::printf("%s %s:%dx%d\n", verb, path.c_str(), width, height);
    std::fflush(stdout);
}

bool is_see_through(const Image& image) {
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    for (std::size_t i = 0; image.channels == 4 && i < pixels; ++i) {
        if (image.pixels[i * 4 + 3] != 255) {
            return true;
        }
    }
    return false;
}

void drop_alpha(Image& image) {
    if (image.channels != 4) {
        return;
    }
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::copy_n(&image.pixels[i * 4], 3, &image.pixels[i * 3]);
    }
    image.pixels.resize(pixels * 3);
    image.channels = 3;
}

}  // namespace

void report(const std::string& what, const std::string& why) {
    std::fflush(stdout);
    std::fprintf(stderr, "texsynth: %s: %s\n", printable(what).c_str(), why.c_str());
}

void report_job_error(const JobError& error, const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [subject, path] : files) {
        if (error.subject == subject) {
            report(path, error.why);
            return;
        }
    }
    std::fflush(stdout);
    std::fprintf(stderr, "texsynth: %s\n", error.message().c_str());
}

bool load_picture(const std::string& path, Image& image, const ImageSizeCheck& accept_size, Alpha alpha) {
    std::string why;
    if (!read_image(path, image, why, accept_size)) {
        report(path, why);
        return false;
    }
    if (alpha == Alpha::only_if_opaque && is_see_through(image)) {
        report(path, "has transparency, which a BMP file cannot hold; write the result to a .png");
        return false;
    }
    if (alpha != Alpha::keep) {
        drop_alpha(image);
    }
    announce("load", path, image.width, image.height);
    return true;
}

bool save_picture(const std::string& path, const Image& image) {
    std::string why;
    if (!write_image(path, image, why)) {
        report(path, why);
        return false;
    }
    announce("write", path, image.width, image.height);
    return true;
}

bool save_source_map(const std::string& path, const SourceMap& map) {
    std::string why;
    if (!write_source_map(path, map, why)) {
        report(path, why);
        return false;
    }
    announce("write", path, map.width, map.height);
    return true;
}

bool load_source_map(const std::string& path, SourceMap& map) {
    std::string why;
    if (!read_source_map(path, map, why)) {
        report(path, why);
        return false;
    }
    announce("load", path, map.width, map.height);
    return true;
}
