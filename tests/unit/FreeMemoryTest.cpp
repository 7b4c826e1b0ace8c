// tests/unit/FreeMemoryTest.cpp: the free-memory figure and its test hook.
#include "platform/core/FreeMemory.h"

#include <cstdio>
#include <cstring>

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
