// platform/core/FreeMemory.h: the free-memory figure that the memory policy
// compares with its threshold.
#pragma once

#include <cstdint>
#include <functional>

// Bytes the system can still give this process: MemAvailable of
// /proc/meminfo (kB × 1024), or the free pages when that is missing, lowered
// to what the cgroup's memory.max leaves above memory.current. One call reads
// a few small files (tens of microseconds): call it once per decision.
// Any thread.
int64_t FreeMem();

// Test hook: FreeMem returns source() instead (any thread may call it, so the
// source must be thread-safe); an empty function restores the system figure.
void SetFreeMemForTesting(std::function<int64_t()> source);
