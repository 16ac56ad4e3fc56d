#include "synthesis/coordinate_block.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <utility>

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
// From this size on a block is rounded up to whole large pages: the most it wastes is less than the block.
constexpr std::size_t kLargeBlock = kLargePage / 2;

std::size_t round_up(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

}  // namespace

CoordinateBlock::CoordinateBlock(std::size_t bytes) {
    if (bytes == 0) {
        return;
    }
    const bool large = bytes >= kLargeBlock;
    const std::size_t kept = round_up(bytes, large ? kLargePage : static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)));
    // A large block is mapped with room to slide its start to a large-page boundary; the slack is unmapped.
    const std::size_t mapped = large ? kept + kLargePage : kept;
    void* mapping = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        throw std::bad_alloc();
    }
    auto* start = static_cast<std::uint8_t*>(mapping);
    if (large) {
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(start);
        const std::size_t head = round_up(address, kLargePage) - address;
        if (head > 0) {
            ::munmap(start, head);
        }
        if (mapped - head > kept) {
            ::munmap(start + head + kept, mapped - head - kept);
        }
        start += head;
#ifdef MADV_HUGEPAGE
        ::madvise(start, kept, MADV_HUGEPAGE);  // a hint: a refusal changes nothing but speed
#endif
    }
    data_ = reinterpret_cast<ANNcoord*>(start);
    bytes_ = kept;
}

CoordinateBlock::~CoordinateBlock() { release(); }

CoordinateBlock::CoordinateBlock(CoordinateBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}

CoordinateBlock& CoordinateBlock::operator=(CoordinateBlock&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

void CoordinateBlock::release() noexcept {
    if (data_ != nullptr) {
        ::munmap(data_, bytes_);
        data_ = nullptr;
        bytes_ = 0;
    }
}
