// platform/core/LargePages.h: advice to the system about large working
// blocks of memory.
#pragma once

#include <cstddef>

// Asks the system to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages, so that the first writes into a fresh block of many
// megabytes take one page fault per 2 MiB instead of one per 4 KiB. Advice
// only: the contents do not change, a refusal is ignored, and where the
// system has no such pages nothing happens. Any thread.
void AdviseLargePages(void* data, std::size_t bytes);

// Asks the system to back every page of [data, data + bytes) with writable
// memory now, in one call, rather than one page fault per page on first
// write: for a fresh block that is about to be written in full anyway.
// Advice only: where the system cannot, the pages come on first touch as
// usual. Any thread.
void PrefaultPages(void* data, std::size_t bytes);
