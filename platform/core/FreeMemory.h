// platform/core/FreeMemory.h: the free-memory figure that the memory policy
// compares with its threshold.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Bytes the system can still give this process: the tightest of
//  - MemAvailable of /proc/meminfo (kB × 1024), or the free pages when that
//    line is missing;
//  - for the process's own cgroup v2 (its path from the "0::" line of
//    /proc/self/cgroup) and each of its ancestors: memory.max − memory.current;
//  - for its cgroup v1 memory controller: memory.limit_in_bytes −
//    memory.usage_in_bytes.
// A limit that is "max", missing or unreadable does not count. Freed pixel
// blocks held for the next images (RecycledBlockBytes) are added: they are
// memory those images take first. One call reads a few small files (some
// microseconds each; which files, from /proc/self/cgroup, is found again at
// most once a second): call it once per decision. Any thread.
int64_t FreeMem();

// The same figure read below `root` instead of "/" (root + "/proc/meminfo",
// root + "/sys/fs/cgroup/...", and /proc/self/cgroup taken from
// root + "/proc/self/cgroup"), so tests can point it at fixture trees. Never
// consults the test hook. Any thread.
int64_t FreeMemUnder(const std::string& root);

// Test hook: FreeMem returns source() plus the held blocks instead (any
// thread may call it, so the source must be thread-safe); an empty function
// restores the system figure.
void SetFreeMemForTesting(std::function<int64_t()> source);
