// platform/core/FreeMemory.cpp: available memory from /proc and the cgroup.
#include "platform/core/FreeMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include <unistd.h>

namespace {

std::mutex sMutex; // guards sSource
std::shared_ptr<const std::function<int64_t()>> sSource;

// The MemAvailable line of /proc/meminfo in bytes, or -1.
int64_t MemAvailable()
{
    FILE* file = std::fopen("/proc/meminfo", "re");
    if (!file)
        return -1;
    char line[256];
    int64_t result = -1;
    while (std::fgets(line, sizeof line, file)) {
        long long kilobytes = 0;
        if (std::strncmp(line, "MemAvailable:", 13) == 0 && std::sscanf(line + 13, "%lld", &kilobytes) == 1) {
            result = static_cast<int64_t>(kilobytes) * 1024;
            break;
        }
    }
    std::fclose(file);
    return result;
}

// A number from a one-line cgroup file, or -1 ("max" and missing files).
int64_t CgroupValue(const char* path)
{
    FILE* file = std::fopen(path, "re");
    if (!file)
        return -1;
    long long value = -1;
    if (std::fscanf(file, "%lld", &value) != 1)
        value = -1;
    std::fclose(file);
    return value;
}

int64_t SystemFreeMemory()
{
    int64_t available = MemAvailable();
    if (available < 0) {
        const long pages = ::sysconf(_SC_AVPHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
        available = pages > 0 && pageSize > 0 ? static_cast<int64_t>(pages) * pageSize : 0;
    }
    const int64_t limit = CgroupValue("/sys/fs/cgroup/memory.max");
    const int64_t used = CgroupValue("/sys/fs/cgroup/memory.current");
    if (limit > 0 && used >= 0)
        available = std::min(available, std::max<int64_t>(0, limit - used));
    return available;
}

} // namespace

int64_t FreeMem()
{
    std::shared_ptr<const std::function<int64_t()>> source;
    {
        std::lock_guard<std::mutex> lock(sMutex);
        source = sSource;
    }
    return source ? (*source)() : SystemFreeMemory();
}

void SetFreeMemForTesting(std::function<int64_t()> source)
{
    std::lock_guard<std::mutex> lock(sMutex);
    sSource = source ? std::make_shared<const std::function<int64_t()>>(std::move(source)) : nullptr;
}
