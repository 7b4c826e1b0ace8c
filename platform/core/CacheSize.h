// platform/core/CacheSize.h: the processor's cache sizes, for choosing how
// much data a loop keeps hot at once.
#pragma once

#include <cstddef>

// Bytes of one core's level-2 cache as the system reports it; 1 MiB when it
// does not say. Any thread.
std::size_t Level2CacheBytes();
