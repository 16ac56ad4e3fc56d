#include "image/bmp_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoHeaderBytes = 40;
constexpr int kHeaderBytes = kFileHeaderBytes + kInfoHeaderBytes;  // what the writer produces: 54

// Field offsets within the file.
constexpr int kPixelOffsetField = 10;
constexpr int kInfoSizeField = 14;
constexpr int kWidthField = 18;
constexpr int kHeightField = 22;
constexpr int kBitsPerPixelField = 28;
constexpr int kCompressionField = 30;

// Longest name of one file (the last part of a path) that Linux file systems accept.
constexpr std::size_t kMaxFileNameLength = NAME_MAX;

// Downstream code indexes pixel bytes with int, so width x height x 3 must fit in one.
constexpr std::int64_t kMaxPixelBytes = INT_MAX;

std::uint16_t get_u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t get_u32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::int32_t get_s32(const std::uint8_t* p) { return static_cast<std::int32_t>(get_u32(p)); }

void put_u16(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void put_u32(std::uint8_t* p, std::uint32_t value) {
    put_u16(p, value);
    put_u16(p + 2, value >> 16);
}

// Bytes per stored row: three per pixel, padded to a multiple of four.
std::int64_t row_stride(std::int64_t width) { return (width * 3 + 3) & ~std::int64_t{3}; }

std::string system_reason(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

std::string size_text(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// "1 byte", "2 bytes".
std::string count_text(std::int64_t count, const char* unit) {
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

// Closes the descriptor when it goes out of scope (for reading, where a failed close loses nothing).
class ReadDescriptor {
public:
    explicit ReadDescriptor(int fd) : fd_(fd) {}
    ReadDescriptor(const ReadDescriptor&) = delete;
    ReadDescriptor& operator=(const ReadDescriptor&) = delete;
    ~ReadDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads exactly `count` bytes at `offset`. Returns false with errno set on an error, or with errno 0 when the
// file ends first.
bool read_exactly(int fd, std::uint8_t* buffer, std::size_t count, off_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, buffer, count, offset);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            errno = 0;
            return false;
        }
        buffer += got;
        count -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

// Checks the 54 header bytes against the file's real length. On success gives the picture's size, whether its
// rows are stored top-down, and where the pixel rows start.
struct PixelLayout {
    int width = 0;
    int height = 0;
    bool top_down = false;
    std::int64_t offset = 0;
    std::int64_t stride = 0;
};

std::string check_header(const std::uint8_t* header, std::int64_t file_bytes, PixelLayout& layout) {
    if (file_bytes >= 2 && (header[0] != 'B' || header[1] != 'M')) {
        return "not a BMP file (it does not start with \"BM\")";
    }
    if (file_bytes < kHeaderBytes) {
        return "the file is too short for a BMP header: it has " + count_text(file_bytes, "byte") +
               ", the header takes " + std::to_string(kHeaderBytes);
    }
    const std::uint32_t info_bytes = get_u32(header + kInfoSizeField);
    if (info_bytes < kInfoHeaderBytes) {
        return "the info header is " + std::to_string(info_bytes) + " bytes long; only BMP files with an info " +
               "header of at least " + std::to_string(kInfoHeaderBytes) + " bytes are supported";
    }
    if (kFileHeaderBytes + std::int64_t{info_bytes} > file_bytes) {
        return "the info header claims " + std::to_string(info_bytes) + " bytes, more than the file holds (" +
               std::to_string(file_bytes) + " bytes in all)";
    }
    const int bits = get_u16(header + kBitsPerPixelField);
    if (bits != 24) {
        return "24-bit colour is required, but the file has " + count_text(bits, "bit") + " per pixel";
    }
    const std::uint32_t compression = get_u32(header + kCompressionField);
    if (compression != 0) {
        return "compressed BMP files are not supported (compression method " + std::to_string(compression) + ")";
    }
    const std::int64_t width = get_s32(header + kWidthField);
    const std::int64_t stored_height = get_s32(header + kHeightField);
    if (width < 1) {
        return "the width must be at least 1, but the file says " + std::to_string(width);
    }
    if (stored_height == 0) {
        return "the height is 0, so the image has no rows";
    }
    // A negative height means the rows are stored top-down; kept in 64 bits so INT_MIN negates safely.
    const std::int64_t height = stored_height < 0 ? -stored_height : stored_height;
    if (height > kMaxPixelBytes / 3 / width) {
        const std::uint64_t bytes = static_cast<std::uint64_t>(width * height) * 3;  // up to 3 x 2^62: unsigned
        return "the image is too large: " + size_text(width, height) + " pixels would take " +
               std::to_string(bytes) + " bytes, at most " + std::to_string(kMaxPixelBytes) + " are supported";
    }

    // An offset short of a plain 40-byte info header is taken to mean the rows follow the header, as this
    // reader has always done; a larger header must say where its rows are.
    const std::int64_t header_end = kFileHeaderBytes + std::int64_t{info_bytes};
    std::int64_t offset = get_u32(header + kPixelOffsetField);
    if (offset < header_end) {
        if (info_bytes > kInfoHeaderBytes) {
            return "the pixel data offset " + std::to_string(offset) + " points inside the " +
                   std::to_string(header_end) + "-byte header";
        }
        offset = kHeaderBytes;
    }
    if (offset == file_bytes) {
        return "the file ends where its pixel data should start (byte " + std::to_string(offset) + ")";
    }
    if (offset > file_bytes) {
        return "the pixel data offset " + std::to_string(offset) + " is past the end of the file (" +
               std::to_string(file_bytes) + " bytes)";
    }
    // Some writers leave out the padding after the very last row, so only its pixel bytes are required.
    const std::int64_t stride = row_stride(width);
    const std::int64_t needed = offset + stride * (height - 1) + width * 3;
    if (file_bytes < needed) {
        return "the file is too short: its header promises " + std::to_string(offset + stride * height) +
               " bytes, it has " + std::to_string(file_bytes);
    }

    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.top_down = stored_height < 0;
    layout.offset = offset;
    layout.stride = stride;
    return "";
}

// Turns stored rows (B, G, R, padded) into RgbImage rows (R, G, B, top row first).
void convert_rows(const std::uint8_t* stored, const PixelLayout& layout, std::uint8_t* pixels) {
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t height = static_cast<std::size_t>(layout.height);
    const std::size_t stride = static_cast<std::size_t>(layout.stride);
    for (std::size_t r = 0; r < height; ++r) {
        const std::size_t y = layout.top_down ? r : height - 1 - r;
        const std::uint8_t* from = stored + r * stride;
        std::uint8_t* to = pixels + y * width * 3;
        for (std::size_t x = 0; x < width; ++x) {
            to[3 * x + 0] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x + 0];
        }
    }
}

// The whole file as it goes to disk: the 54-byte header, then the rows bottom-up, padding bytes zero.
std::vector<std::uint8_t> encode(const std::uint8_t* pixels, int width, int height) {
    const std::size_t stride = static_cast<std::size_t>(row_stride(width));
    const std::size_t image_bytes = stride * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> file(kHeaderBytes + image_bytes, 0);
    std::uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    put_u32(h + 2, static_cast<std::uint32_t>(file.size()));
    put_u32(h + kPixelOffsetField, kHeaderBytes);
    put_u32(h + kInfoSizeField, kInfoHeaderBytes);
    put_u32(h + kWidthField, static_cast<std::uint32_t>(width));
    put_u32(h + kHeightField, static_cast<std::uint32_t>(height));
    put_u16(h + 26, 1);  // planes
    put_u16(h + kBitsPerPixelField, 24);
    put_u32(h + 34, static_cast<std::uint32_t>(image_bytes));
    // Compression, resolution and colour counts stay 0.

    const std::size_t w = static_cast<std::size_t>(width);
    for (std::size_t r = 0; r < static_cast<std::size_t>(height); ++r) {
        const std::uint8_t* from = pixels + (static_cast<std::size_t>(height) - 1 - r) * w * 3;
        std::uint8_t* to = file.data() + kHeaderBytes + r * stride;
        for (std::size_t x = 0; x < w; ++x) {
            to[3 * x + 0] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x + 0];
        }
    }
    return file;
}

// The name of the temporary file being written, if any, kept where remove_unfinished_output() can reach it from
// a signal handler: a fixed buffer and a flag, read without locks or allocation. The buffer is changed only
// while signals are blocked, so a handler never sees it half written.
char unfinished_name[PATH_MAX];
volatile std::sig_atomic_t unfinished_known = 0;

// Blocks every asynchronous signal for its lifetime, so that a file being created or renamed and its entry in
// unfinished_name change together.
class SignalBlock {
public:
    SignalBlock() {
        sigset_t all;
        sigfillset(&all);
        for (const int synchronous : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) {
            sigdelset(&all, synchronous);
        }
        pthread_sigmask(SIG_BLOCK, &all, &saved_);
    }
    ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t saved_{};
};

// A file being written beside its final name. It appears under that name only through commit(); until then,
// and on every failure, it is removed again, so no half-written file is ever left under the final name. While
// it exists, its name is also known to remove_unfinished_output().
class TemporaryOutput {
public:
    explicit TemporaryOutput(std::string final_path) : final_path_(std::move(final_path)) {}
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
    ~TemporaryOutput() { discard(); }

    // Creates a new, empty temporary file; never reuses an existing one.
    bool create(std::string& why) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = temporary_name(std::to_string(::getpid()) + "." + std::to_string(counter++));
            if (name.size() >= sizeof unfinished_name) {
                why = system_reason("cannot create", ENAMETOOLONG);
                return false;
            }
            const SignalBlock block;
            const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (fd >= 0) {
                fd_ = fd;
                name_ = std::move(name);
                std::memcpy(unfinished_name, name_.c_str(), name_.size() + 1);
                unfinished_known = 1;
                return true;
            }
            if (errno != EEXIST) {
                why = system_reason("cannot create", errno);
                return false;
            }
        }
        why = "cannot create: no free name for a temporary file";
        return false;
    }

    bool write_all(const std::uint8_t* data, std::size_t count, std::string& why) {
        while (count > 0) {
            const ssize_t put = ::write(fd_, data, count);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                why = system_reason("cannot write", errno);
                return false;
            }
            data += put;
            count -= static_cast<std::size_t>(put);
        }
        return true;
    }

    // Makes the data durable, closes the file and moves it onto the final name.
    bool commit(std::string& why) {
        if (::fsync(fd_) != 0) {
            why = system_reason("cannot write", errno);
            return false;
        }
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) {
            why = system_reason("cannot write", errno);
            return false;
        }
        const SignalBlock block;
        if (std::rename(name_.c_str(), final_path_.c_str()) != 0) {
            why = system_reason("cannot replace", errno);
            return false;
        }
        unfinished_known = 0;
        name_.clear();
        return true;
    }

private:
    // "<final path>.<tag>.tmp"; when that would make the file's own name longer than a name may be, the final
    // name is shortened in it, so that every final name that can be written can also be written this way.
    std::string temporary_name(const std::string& tag) const {
        const std::string suffix = "." + tag + ".tmp";
        const std::size_t name_start = final_path_.rfind('/') + 1;  // 0 when there is no '/'
        const std::size_t name_length = final_path_.size() - name_start;
        const std::size_t room = kMaxFileNameLength - suffix.size();
        return final_path_.substr(0, name_start + std::min(name_length, room)) + suffix;
    }

    void discard() noexcept {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (!name_.empty()) {
            const SignalBlock block;
            ::unlink(name_.c_str());
            unfinished_known = 0;
            name_.clear();
        }
    }

    std::string final_path_;
    std::string name_;
    int fd_ = -1;
};

}  // namespace

bool read_bmp(const std::string& path, RgbImage& image, std::string& why, const BmpSizeCheck& accept_size) {
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below like any other non-regular file.
    const ReadDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        why = system_reason("cannot open", errno);
        return false;
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        why = system_reason("cannot read", errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        why = system_reason("cannot read", EISDIR);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        why = "cannot read: not a regular file";
        return false;
    }
    const std::int64_t file_bytes = status.st_size;

    std::uint8_t header[kHeaderBytes] = {};
    const std::size_t header_bytes = file_bytes < kHeaderBytes ? static_cast<std::size_t>(file_bytes) : kHeaderBytes;
    if (!read_exactly(file.get(), header, header_bytes, 0)) {
        why = errno != 0 ? system_reason("cannot read", errno) : "cannot read: the file shrank while being read";
        return false;
    }
    PixelLayout layout;
    why = check_header(header, file_bytes, layout);
    if (!why.empty()) {
        return false;
    }
    if (accept_size) {
        why = accept_size(layout.width, layout.height);
        if (!why.empty()) {
            return false;
        }
    }

    // Every size below has been checked against the file's length and the int range.
    const std::size_t stored_bytes =
        static_cast<std::size_t>(layout.stride * (layout.height - 1) + std::int64_t{layout.width} * 3);
    std::vector<std::uint8_t> stored;
    std::vector<std::uint8_t> pixels;
    try {
        stored.resize(stored_bytes);
        pixels.resize(static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height) * 3);
    } catch (const std::bad_alloc&) {
        why = "not enough memory for a " + size_text(layout.width, layout.height) + " image";
        return false;
    }
    if (!read_exactly(file.get(), stored.data(), stored_bytes, static_cast<off_t>(layout.offset))) {
        why = errno != 0 ? system_reason("cannot read", errno) : "cannot read: the file shrank while being read";
        return false;
    }
    convert_rows(stored.data(), layout, pixels.data());

    image.width = layout.width;
    image.height = layout.height;
    image.pixels = std::move(pixels);
    std::printf("load %s:%dx%d\n", path.c_str(), layout.width, layout.height);
    std::fflush(stdout);
    return true;
}

bool write_bmp(const std::string& path, const std::uint8_t* pixels, int width, int height, std::string& why) {
    if (width < 1 || height < 1) {
        why = "cannot write a " + size_text(width, height) + " image: width and height must be at least 1";
        return false;
    }
    if (height > kMaxPixelBytes / 3 / width) {
        why = "cannot write a " + size_text(width, height) + " image: it would take more than " +
              std::to_string(kMaxPixelBytes) + " bytes of pixels";
        return false;
    }
    if (pixels == nullptr) {
        why = "cannot write: no pixels given";
        return false;
    }
    std::vector<std::uint8_t> contents;
    try {
        contents = encode(pixels, width, height);
    } catch (const std::bad_alloc&) {
        why = "not enough memory to write a " + size_text(width, height) + " image";
        return false;
    }

    TemporaryOutput output(path);
    if (!output.create(why) || !output.write_all(contents.data(), contents.size(), why) || !output.commit(why)) {
        return false;
    }
    std::printf("write %s:%dx%d\n", path.c_str(), width, height);
    std::fflush(stdout);
    return true;
}

void remove_unfinished_output() noexcept {
    if (unfinished_known != 0) {
        ::unlink(unfinished_name);
        unfinished_known = 0;
    }
}
