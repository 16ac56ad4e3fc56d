#pragma once

#include <cstdint>

// Calls of the global operator new (and so of new[]) made by this process so far, from any code in it:
// ours, the standard library's and the ANN library's.
std::int64_t allocation_count();

// write() and similar system calls made by this process so far (syscw of /proc/self/io), or -1 if unknown.
std::int64_t write_call_count();
