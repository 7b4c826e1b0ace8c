// platform/core/LargePages.cpp: huge-page advice through madvise on Linux.
#include "platform/core/LargePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void AdviseLargePages(void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end > begin)
        (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // advice: a refusal changes nothing
#else
    (void)data;
    (void)bytes;
#endif
}

void PrefaultPages(void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    (void)madvise(data, bytes, MADV_POPULATE_WRITE); // advice: where refused, pages come on first touch
#else
    (void)data;
    (void)bytes;
#endif
}
