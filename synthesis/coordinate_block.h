#pragma once

#include <ANN/ANN.h>

#include <cstddef>

// Zero-filled memory straight from the kernel, for the coordinates of a training set (up to hundreds of
// megabytes, written once and then read at random by the searches). A block of 1 MiB or more is rounded up
// to whole 2 MiB pages, starts on a 2 MiB boundary and asks the kernel to back it with such pages: taking a
// fresh block one 4 KiB page at a time costs a page fault per page, which on a virtual machine can take
// longer than filling the page. Where the kernel has no large page to give, the block works as usual.
class CoordinateBlock {
public:
    CoordinateBlock() = default;
    // Throws std::bad_alloc if the memory cannot be had.
    explicit CoordinateBlock(std::size_t bytes);
    ~CoordinateBlock();
    CoordinateBlock(CoordinateBlock&& other) noexcept;
    CoordinateBlock& operator=(CoordinateBlock&& other) noexcept;

    ANNcoord* data() const { return data_; }

private:
    void release() noexcept;

    ANNcoord* data_ = nullptr;
    std::size_t bytes_ = 0;  // of the mapping that starts at data_
};
