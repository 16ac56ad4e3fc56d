#include "synthesis/search/large_pages.h"

#include <sys/mman.h>

#include <cstdint>

void offer_large_pages(void* start, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    const auto first = (reinterpret_cast<std::uintptr_t>(start) + kLargePageBytes - 1) & ~(kLargePageBytes - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kLargePageBytes - 1);
    if (end > first) {
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
#else
    (void)start;
    (void)bytes;
#endif
}
