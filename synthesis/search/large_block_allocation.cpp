// The program's `new` and `delete`: blocks of a few MiB and more (pictures, pyramids, the search's candidate
// vectors) start on a large-page boundary and are offered to the kernel as large pages. A 4000 x 3000 photo
// goes through several such blocks, and taking each 4 KiB page at a time costs a fault per page: on a
// virtual machine, about a third of a large fill's time. Everything else is plain malloc and free.

#include <cstdlib>
#include <new>

#include "synthesis/search/large_pages.h"

namespace {

constexpr std::size_t kLargeBlockBytes = 2 * kLargePageBytes;

void* allocate(std::size_t size) {
    if (size >= kLargeBlockBytes) {
        const std::size_t rounded = (size + kLargePageBytes - 1) / kLargePageBytes * kLargePageBytes;
        if (void* block = std::aligned_alloc(kLargePageBytes, rounded)) {
            offer_large_pages(block, rounded);
            return block;
        }
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// Every form without an alignment argument, so that none of them pairs with another allocator's counterpart.
void* operator new(std::size_t size) {
    if (void* block = allocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t& /*tag*/) noexcept { return allocate(size); }

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t /*size*/) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t /*size*/) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t& /*tag*/) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t& /*tag*/) noexcept { std::free(block); }
