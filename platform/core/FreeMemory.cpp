// platform/core/FreeMemory.cpp: available memory from /proc and the cgroups.
#include "platform/core/FreeMemory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/PretouchedBlocks.h"

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

// Where the figure is read: the meminfo file and the cgroup limits that
// bind, each a limit file and the usage file beside it.
struct Layout {
    std::string meminfo;
    std::vector<std::pair<std::string, std::string>> limits;
};

void AddLimit(Layout& layout, const std::string& dir, const char* limitFile, const char* usageFile)
{
    layout.limits.emplace_back(dir + "/" + limitFile, dir + "/" + usageFile);
}

// The cgroup v2 limits: the process's own group and every ancestor up to the
// hierarchy's root (a parent's limit binds its children too). Inside a
// container the path may name a group outside the mounted tree; then only the
// mount's own root is read.
void AddUnifiedLimits(Layout& layout, const std::string& mount, const std::string& cgroup)
{
    std::string relative = cgroup;
    while (!relative.empty() && relative.back() == '/')
        relative.pop_back();
    if (!IsDirectory(mount + relative))
        relative.clear();
    for (;;) {
        AddLimit(layout, mount + relative, "memory.max", "memory.current");
        if (relative.empty())
            break;
        relative.erase(relative.rfind('/'));
    }
}

// The cgroup v1 memory controller's limit of the process's group (its
// hierarchical limit already folds in the ancestors'), else the mount root's.
void AddMemoryControllerLimit(Layout& layout, const std::string& mount, const std::string& cgroup)
{
    std::string dir = mount + cgroup;
    if (!IsDirectory(dir))
        dir = mount;
    AddLimit(layout, dir, "memory.limit_in_bytes", "memory.usage_in_bytes");
}

Layout LayoutUnder(const std::string& root)
{
    Layout layout;
    layout.meminfo = root + "/proc/meminfo";
    const CgroupPaths paths = ReadCgroupPaths(root + "/proc/self/cgroup");
    const std::string cgroupRoot = root + "/sys/fs/cgroup";
    if (paths.hasUnified) {
        // A pure v2 system mounts the hierarchy at /sys/fs/cgroup; a hybrid
        // one at /sys/fs/cgroup/unified.
        const std::string mount = IsDirectory(cgroupRoot + "/unified") ? cgroupRoot + "/unified" : cgroupRoot;
        AddUnifiedLimits(layout, mount, paths.unified);
    } else {
        AddLimit(layout, cgroupRoot, "memory.max", "memory.current");
    }
    if (paths.hasMemory)
        AddMemoryControllerLimit(layout, cgroupRoot + "/memory", paths.memory);
    return layout;
}

int64_t FreeMemOf(const Layout& layout)
{
    int64_t available = MemAvailable(layout.meminfo);
    if (available < 0) {
        const long pages = ::sysconf(_SC_AVPHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
        available = pages > 0 && pageSize > 0 ? static_cast<int64_t>(pages) * pageSize : 0;
    }
    for (const auto& [limitFile, usageFile] : layout.limits) {
        // What the limit leaves; none when there is no limit.
        const int64_t limit = CgroupValue(limitFile);
        const int64_t used = CgroupValue(usageFile);
        if (limit > 0 && used >= 0)
            available = std::min(available, std::max<int64_t>(0, limit - used));
    }
    return available;
}

// The process's own layout, found again once it is this old: finding it
// reads /proc/self/cgroup and looks for directories, which costs more than
// reading the figures themselves, and a process rarely changes groups.
constexpr auto kLayoutLifetime = std::chrono::seconds(1);

std::mutex sLayoutMutex; // guards the two below
std::shared_ptr<const Layout> sLayout;
std::chrono::steady_clock::time_point sLayoutFound;

std::shared_ptr<const Layout> OwnLayout()
{
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(sLayoutMutex);
        if (sLayout && now - sLayoutFound < kLayoutLifetime)
            return sLayout;
    }
    auto found = std::make_shared<const Layout>(LayoutUnder(""));
    std::lock_guard<std::mutex> lock(sLayoutMutex);
    sLayout = found;
    sLayoutFound = now;
    return found;
}

} // namespace

int64_t FreeMemUnder(const std::string& root)
{
    return FreeMemOf(LayoutUnder(root));
}

int64_t FreeMem()
{
    std::shared_ptr<const std::function<int64_t()>> source;
    {
        std::lock_guard<std::mutex> lock(sMutex);
        source = sSource;
    }
    // Freed pixel blocks held for reuse are the next images' memory.
    return (source ? (*source)() : FreeMemOf(*OwnLayout())) + RecycledBlockBytes();
}

void SetFreeMemForTesting(std::function<int64_t()> source)
{
    std::lock_guard<std::mutex> lock(sMutex);
    sSource = source ? std::make_shared<const std::function<int64_t()>>(std::move(source)) : nullptr;
}
