// platform/core/CacheSize.cpp: the level-2 cache size from sysconf.
#include "platform/core/CacheSize.h"

#include <unistd.h>

std::size_t Level2CacheBytes()
{
    constexpr std::size_t kUnknown = std::size_t{1} << 20;
#ifdef _SC_LEVEL2_CACHE_SIZE
    static const std::size_t bytes = [] {
        const long reported = sysconf(_SC_LEVEL2_CACHE_SIZE);
        return reported > 0 ? static_cast<std::size_t>(reported) : kUnknown;
    }();
    return bytes;
#else
    return kUnknown;
#endif
}
