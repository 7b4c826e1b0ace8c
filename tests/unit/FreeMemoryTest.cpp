// tests/unit/FreeMemoryTest.cpp: the free-memory figure and its test hook.
#include "platform/core/FreeMemory.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

#include <gtest/gtest.h>

TEST(FreeMemory, SystemFigureMatchesMemAvailable)
{
    SetFreeMemForTesting(nullptr);
    long long kilobytes = -1;
    if (FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "MemAvailable:", 13) == 0)
                std::sscanf(line + 13, "%lld", &kilobytes);
        std::fclose(f);
    }
    const int64_t figure = FreeMem();
    EXPECT_GT(figure, 0);
    if (kilobytes > 0) {
        // The figure moves between the two reads and a cgroup limit may lower
        // it; it can never be above what the kernel reports (plus drift).
        EXPECT_LE(figure, kilobytes * 1024 + (int64_t{256} << 20));
    }
}

TEST(FreeMemory, HookSetsTheFigure)
{
    int calls = 0;
    SetFreeMemForTesting([&calls] { return ++calls == 1 ? int64_t{14999999} : int64_t{15000000}; });
    EXPECT_EQ(FreeMem(), 14999999);
    EXPECT_EQ(FreeMem(), 15000000);
    SetFreeMemForTesting(nullptr);
    EXPECT_GT(FreeMem(), 1000);
    EXPECT_EQ(calls, 2);
}

namespace {

// A throw-away tree that stands in for "/" with the files a test writes.
class FixtureRoot {
public:
    FixtureRoot()
    {
        char pattern[] = "/tmp/velmora-freemem-XXXXXX";
        mRoot = ::mkdtemp(pattern);
    }
    ~FixtureRoot() { std::filesystem::remove_all(mRoot); }
    void Write(const std::string& path, const std::string& text) const
    {
        const std::filesystem::path full = mRoot + path;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full) << text;
    }
    const std::string& Path() const { return mRoot; }

private:
    std::string mRoot;
};

constexpr int64_t kMiB = int64_t{1} << 20;

} // namespace

TEST(FreeMemory, MemAvailableAloneWhenThereIsNoCgroupLimit)
{
    FixtureRoot root;
    root.Write("/proc/meminfo", "MemTotal: 8000000 kB\nMemFree: 100 kB\nMemAvailable: 4096 kB\n");
    root.Write("/proc/self/cgroup", "0::/user.slice\n");
    root.Write("/sys/fs/cgroup/user.slice/memory.max", "max\n");
    root.Write("/sys/fs/cgroup/user.slice/memory.current", "1000\n");
    EXPECT_EQ(FreeMemUnder(root.Path()), 4096 * 1024);
}

TEST(FreeMemory, OwnCgroupV2LimitAndItsAncestorsBind)
{
    FixtureRoot root;
    root.Write("/proc/meminfo", "MemAvailable: 8388608 kB\n"); // 8 GiB
    root.Write("/proc/self/cgroup", "0::/system.slice/velmora.service\n");
    root.Write("/sys/fs/cgroup/memory.max", "max\n");
    root.Write("/sys/fs/cgroup/system.slice/memory.max", std::to_string(3000 * kMiB) + "\n");
    root.Write("/sys/fs/cgroup/system.slice/memory.current", std::to_string(1000 * kMiB) + "\n");
    root.Write("/sys/fs/cgroup/system.slice/velmora.service/memory.max", std::to_string(1000 * kMiB) + "\n");
    root.Write("/sys/fs/cgroup/system.slice/velmora.service/memory.current", std::to_string(300 * kMiB) + "\n");
    EXPECT_EQ(FreeMemUnder(root.Path()), 700 * kMiB);

    // The parent's headroom (3000 − 2900 MiB) is now the tightest.
    root.Write("/sys/fs/cgroup/system.slice/memory.current", std::to_string(2900 * kMiB) + "\n");
    EXPECT_EQ(FreeMemUnder(root.Path()), 100 * kMiB);

    // Past its limit a group leaves nothing, not a negative figure.
    root.Write("/sys/fs/cgroup/system.slice/velmora.service/memory.current", std::to_string(1200 * kMiB) + "\n");
    EXPECT_EQ(FreeMemUnder(root.Path()), 0);
}

TEST(FreeMemory, CgroupV2PathOutsideTheMountFallsBackToItsRoot)
{
    // A container sees the host's path in /proc/self/cgroup but has its own
    // group mounted at /sys/fs/cgroup.
    FixtureRoot root;
    root.Write("/proc/meminfo", "MemAvailable: 8388608 kB\n");
    root.Write("/proc/self/cgroup", "0::/docker/abc123\n");
    root.Write("/sys/fs/cgroup/memory.max", std::to_string(512 * kMiB) + "\n");
    root.Write("/sys/fs/cgroup/memory.current", std::to_string(12 * kMiB) + "\n");
    EXPECT_EQ(FreeMemUnder(root.Path()), 500 * kMiB);
}

TEST(FreeMemory, CgroupV1MemoryControllerLimitBinds)
{
    FixtureRoot root;
    root.Write("/proc/meminfo", "MemAvailable: 8388608 kB\n");
    root.Write("/proc/self/cgroup", "5:cpu,cpuacct:/\n4:memory:/jobs/velmora\n0::/\n");
    root.Write("/sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n");
    root.Write("/sys/fs/cgroup/memory/memory.usage_in_bytes", std::to_string(5000 * kMiB) + "\n");
    root.Write("/sys/fs/cgroup/memory/jobs/velmora/memory.limit_in_bytes", std::to_string(2048 * kMiB) + "\n");
    root.Write("/sys/fs/cgroup/memory/jobs/velmora/memory.usage_in_bytes", std::to_string(48 * kMiB) + "\n");
    root.Write("/sys/fs/cgroup/unified/memory.max", "max\n"); // hybrid layout, no v2 limit
    EXPECT_EQ(FreeMemUnder(root.Path()), 2000 * kMiB);

    // An unlimited v1 group leaves MemAvailable.
    root.Write("/sys/fs/cgroup/memory/jobs/velmora/memory.limit_in_bytes", "9223372036854771712\n");
    EXPECT_EQ(FreeMemUnder(root.Path()), 8388608 * int64_t{1024});
}
