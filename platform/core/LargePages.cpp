// platform/core/LargePages.cpp: huge-page placement and advice through mmap
// and madvise.
#include "platform/core/LargePages.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

void* MapAnywhere(std::size_t bytes)
{
    void* mapped = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapped == MAP_FAILED ? nullptr : mapped;
}

} // namespace

void AdviseLargePages(void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
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

void* MapLargeBlock(std::size_t bytes)
{
    if (bytes < kHugePage)
        return MapAnywhere(bytes);
    // Room for the block at the first boundary of a larger mapping, whose
    // parts before and after it are then given back.
    if (bytes > SIZE_MAX - kHugePage)
        return nullptr;
    const std::size_t span = bytes + kHugePage;
    void* mapped = MapAnywhere(span);
    if (!mapped)
        return nullptr;
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(mapped), end = begin + span;
    const std::uintptr_t block = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t blockEnd = (block + bytes + page - 1) & ~(page - 1);
    if (block > begin)
        ::munmap(mapped, block - begin);
    if (end > blockEnd)
        ::munmap(reinterpret_cast<void*>(blockEnd), end - blockEnd);
    return reinterpret_cast<void*>(block);
}

void ReleaseBlockTail(void* block, std::size_t bytes, std::size_t keep)
{
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t kept = (keep + page - 1) & ~(page - 1), mapped = (bytes + page - 1) & ~(page - 1);
    if (mapped > kept)
        ::munmap(static_cast<uint8_t*>(block) + kept, mapped - kept);
}
