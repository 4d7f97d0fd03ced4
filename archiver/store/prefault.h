#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace vadok::archiver {

// Has the kernel back the whole pages of [at, at + size) at once, in one call: each page
// first written otherwise costs a fault of its own, and in a virtual machine a fault costs
// many times the page's zeroing. Contents stay as they are; a kernel without it (before
// Linux 5.14) leaves the faults.
inline void prefaultForWriting(void* at, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(at) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(at) + size) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)at;
    (void)size;
#endif
}

} // namespace vadok::archiver
