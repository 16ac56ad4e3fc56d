#include "bench/process_counters.h"

#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

namespace {

// The benchmark runs on one thread, so a plain counter suffices.
std::int64_t allocations = 0;

}  // namespace

std::int64_t allocation_count() { return allocations; }

std::int64_t write_call_count() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::int64_t value = 0;
    while (io >> key >> value) {
        if (key == "syscw:") {
            return value;
        }
    }
    return -1;
}

// Replacing these counts every allocation of the process, the ANN library's included: a shared library's
// calls of operator new resolve to the executable's definition.
void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
