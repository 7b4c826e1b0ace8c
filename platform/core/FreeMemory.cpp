// platform/core/FreeMemory.cpp: available memory from /proc and the cgroups.
#include "platform/core/FreeMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex sMutex; // guards sSource
std::shared_ptr<const std::function<int64_t()>> sSource;

// The MemAvailable line of a meminfo file in bytes, or -1.
int64_t MemAvailable(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "re");
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
int64_t CgroupValue(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "re");
    if (!file)
        return -1;
    long long value = -1;
    if (std::fscanf(file, "%lld", &value) != 1)
        value = -1;
    std::fclose(file);
    return value;
}

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The cgroup paths of this process from a /proc/self/cgroup file: the v2
// path ("0::/x") and the v1 memory controller's path ("4:memory:/y"); each is
// empty when absent.
struct CgroupPaths {
    std::string unified, memory;
    bool hasUnified = false, hasMemory = false;
};

CgroupPaths ReadCgroupPaths(const std::string& path)
{
    CgroupPaths paths;
    FILE* file = std::fopen(path.c_str(), "re");
    if (!file)
        return paths;
    char line[4096];
    while (std::fgets(line, sizeof line, file)) {
        line[std::strcspn(line, "\n")] = '\0';
        char* firstColon = std::strchr(line, ':');
        char* secondColon = firstColon ? std::strchr(firstColon + 1, ':') : nullptr;
        if (!secondColon)
            continue;
        const std::string controllers(firstColon + 1, secondColon);
        const std::string cgroup(secondColon + 1);
        if (std::strncmp(line, "0:", 2) == 0 && controllers.empty()) {
            paths.unified = cgroup;
            paths.hasUnified = true;
            continue;
        }
        // v1 lines list their controllers separated by commas.
        size_t start = 0;
        while (start <= controllers.size()) {
            const size_t end = std::min(controllers.find(',', start), controllers.size());
            if (controllers.compare(start, end - start, "memory") == 0) {
                paths.memory = cgroup;
                paths.hasMemory = true;
            }
            start = end + 1;
        }
    }
    std::fclose(file);
    return paths;
}

// What `limitFile` − `usageFile` leaves in `dir`, or -1 when there is no limit.
int64_t Headroom(const std::string& dir, const char* limitFile, const char* usageFile)
{
    const int64_t limit = CgroupValue(dir + "/" + limitFile);
    const int64_t used = CgroupValue(dir + "/" + usageFile);
    if (limit <= 0 || used < 0)
        return -1;
    return std::max<int64_t>(0, limit - used);
}

void Tighten(int64_t& available, int64_t headroom)
{
    if (headroom >= 0)
        available = std::min(available, headroom);
}

// The cgroup v2 limits: the process's own group and every ancestor up to the
// hierarchy's root (a parent's limit binds its children too). Inside a
// container the path may name a group outside the mounted tree; then only the
// mount's own root is read.
void TightenByUnified(int64_t& available, const std::string& mount, const std::string& cgroup)
{
    std::string relative = cgroup;
    while (!relative.empty() && relative.back() == '/')
        relative.pop_back();
    if (!IsDirectory(mount + relative))
        relative.clear();
    for (;;) {
        Tighten(available, Headroom(mount + relative, "memory.max", "memory.current"));
        if (relative.empty())
            break;
        relative.erase(relative.rfind('/'));
    }
}

// The cgroup v1 memory controller's limit of the process's group (its
// hierarchical limit already folds in the ancestors'), else the mount root's.
void TightenByMemoryController(int64_t& available, const std::string& mount, const std::string& cgroup)
{
    std::string dir = mount + cgroup;
    if (!IsDirectory(dir))
        dir = mount;
    Tighten(available, Headroom(dir, "memory.limit_in_bytes", "memory.usage_in_bytes"));
}

} // namespace

int64_t FreeMemUnder(const std::string& root)
{
    int64_t available = MemAvailable(root + "/proc/meminfo");
    if (available < 0) {
        const long pages = ::sysconf(_SC_AVPHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
        available = pages > 0 && pageSize > 0 ? static_cast<int64_t>(pages) * pageSize : 0;
    }
    const CgroupPaths paths = ReadCgroupPaths(root + "/proc/self/cgroup");
    const std::string cgroupRoot = root + "/sys/fs/cgroup";
    if (paths.hasUnified) {
        // A pure v2 system mounts the hierarchy at /sys/fs/cgroup; a hybrid
        // one at /sys/fs/cgroup/unified.
        const std::string mount = IsDirectory(cgroupRoot + "/unified") ? cgroupRoot + "/unified" : cgroupRoot;
        TightenByUnified(available, mount, paths.unified);
    } else {
        Tighten(available, Headroom(cgroupRoot, "memory.max", "memory.current"));
    }
    if (paths.hasMemory)
        TightenByMemoryController(available, cgroupRoot + "/memory", paths.memory);
    return available;
}

int64_t FreeMem()
{
    std::shared_ptr<const std::function<int64_t()>> source;
    {
        std::lock_guard<std::mutex> lock(sMutex);
        source = sSource;
    }
    return source ? (*source)() : FreeMemUnder("");
}

void SetFreeMemForTesting(std::function<int64_t()> source)
{
    std::lock_guard<std::mutex> lock(sMutex);
    sSource = source ? std::make_shared<const std::function<int64_t()>>(std::move(source)) : nullptr;
}
