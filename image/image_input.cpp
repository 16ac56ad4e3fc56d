#include "image/image_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

std::string system_reason(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

}  // namespace

ImageInput::ImageInput(std::span<const std::uint8_t> bytes)
    : memory_(bytes), size_(static_cast<std::int64_t>(bytes.size())) {}

ImageInput::~ImageInput() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool ImageInput::open(const std::string& path, std::string& why) {
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below like any other non-regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = system_reason("cannot open", errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        why = system_reason("cannot read", errno);
        ::close(fd);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        why = system_reason("cannot read", EISDIR);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        why = "cannot read: not a regular file";
        ::close(fd);
        return false;
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
    memory_ = {};
    size_ = status.st_size;
    return true;
}

std::int64_t ImageInput::read_some(std::int64_t offset, std::uint8_t* buffer, std::size_t count) const noexcept {
    if (offset >= size_ || count == 0) {
        return 0;
    }
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), size_ - offset));
    if (fd_ < 0) {
        std::memcpy(buffer, memory_.data() + offset, wanted);
        return static_cast<std::int64_t>(wanted);
    }
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t got = ::pread(fd_, buffer + done, wanted - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            errno = 0;  // shorter than when it was opened
            return -1;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

bool ImageInput::read_exactly(std::int64_t offset, std::uint8_t* buffer, std::size_t count, std::string& why) const {
    const std::int64_t got = read_some(offset, buffer, count);
    if (got == static_cast<std::int64_t>(count)) {
        return true;
    }
    why = read_failure_reason(got < 0 ? errno : 0);
    return false;
}

std::string read_failure_reason(int error) {
    return error != 0 ? system_reason("cannot read", error) : "cannot read: the file shrank while being read";
}
