#pragma once

#include <cstddef>

// Large pages for large blocks of memory (the program's own new and delete, the training set's vectors).

// The size of the kernel's large pages (2 MiB on x86-64 and most 64-bit ARM systems).
inline constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

// Offers the whole large pages inside a block of memory to the kernel as large pages, before the block is first
// written. A block taken 4 KiB page at a time costs a page fault per page, which on a virtual machine can take
// longer than filling the page. A hint: where the kernel has none to give, nothing changes.
void offer_large_pages(void* start, std::size_t bytes);
