// Feeds every input to the BMP reader as the contents of a file. The reader must refuse it with a reason or
// read it; what it reads must survive a round trip through the writer unchanged. Sanitizers catch the rest.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/bmp_file.h"

namespace {

std::string input_path;
std::string output_path;

void write_input(const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(input_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror("cannot write the fuzzer's input file");
        std::abort();
    }
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put <= 0) {
            std::perror("cannot write the fuzzer's input file");
            std::abort();
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Each input goes through two files, so they are kept in memory (/dev/shm) where there is such a place.
    const char* temporary = std::getenv("TMPDIR");
    const char* base = temporary != nullptr ? temporary : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string folder = std::string(base) + "/texsynth-fuzz-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        std::perror("cannot create a folder for the fuzzer's files");
        std::abort();
    }
    input_path = folder + "/input.bmp";
    output_path = folder + "/output.bmp";
    static const std::string made = folder;
    std::atexit([] {
        ::unlink(input_path.c_str());
        ::unlink(output_path.c_str());
        ::rmdir(made.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    write_input(data, size);
    Image image;
    std::string why;
    ImageInput input;
    if (!input.open(input_path, why)) {
        std::abort();
    }
    if (!read_bmp(input, image, why)) {
        if (why.empty() || why.find('\n') != std::string::npos || !image.pixels.empty()) {
            std::abort();  // a refusal gives one line of reason and leaves the image alone
        }
        return 0;
    }
    const std::size_t expected = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3;
    if (image.width < 1 || image.height < 1 || image.pixels.size() != expected) {
        std::abort();
    }
    Image again;
    ImageInput output;
    if (!write_bmp(output_path, image.pixels.data(), image.width, image.height, why) ||
        !output.open(output_path, why) || !read_bmp(output, again, why) || again.width != image.width ||
        again.height != image.height || again.pixels != image.pixels) {
        std::abort();
    }
    return 0;
}
