#pragma once

#include <cstdint>
#include <span>
#include <string>

// The bytes of one image file, read at any offset: an open regular file, or a block of memory (for fuzzers and
// tests). The format readers work on it and never see which of the two it is.
class ImageInput {
public:
    // Input from memory; the bytes must outlive the input.
    explicit ImageInput(std::span<const std::uint8_t> bytes = {});
    ~ImageInput();
    ImageInput(const ImageInput&) = delete;
    ImageInput& operator=(const ImageInput&) = delete;

    // Opens a regular file instead; refuses folders, pipes and devices. On failure returns false with the
    // reason ("cannot open: ...", "cannot read: ...") in `why`.
    bool open(const std::string& path, std::string& why);

    // Length in bytes, as the file was when opened.
    std::int64_t size() const { return size_; }

    // Copies up to `count` bytes from `offset`, fewer only at the end of the input, and returns how many. On a
    // read error returns -1 with errno set; if the file has shrunk since it was opened, -1 with errno 0.
    // Never throws, so decoder callbacks may call it.
    std::int64_t read_some(std::int64_t offset, std::uint8_t* buffer, std::size_t count) const noexcept;

    // Copies exactly `count` bytes from `offset`, which the caller has checked against size(). On failure
    // returns false with the reason in `why`.
    bool read_exactly(std::int64_t offset, std::uint8_t* buffer, std::size_t count, std::string& why) const;

private:
    std::span<const std::uint8_t> memory_;
    int fd_ = -1;
    std::int64_t size_ = 0;
};

// The reason for a failed read_some: errno's text, or that the file shrank (errno 0).
std::string read_failure_reason(int error);
