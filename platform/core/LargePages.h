// platform/core/LargePages.h: large working blocks of memory, placed and
// advised so that the system can back them with huge pages.
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

// A fresh anonymous read-write mapping of bytes (zero-filled), or null when
// the system refuses. A block of 2 MiB or more starts on a 2 MiB boundary,
// so that every whole 2 MiB of it can be one huge page (a block placed
// anywhere leaves up to two of them to small pages, one page fault per
// 4 KiB); nothing beyond the block stays mapped. Freed by munmap(block,
// bytes). Any thread.
void* MapLargeBlock(std::size_t bytes);

// Gives back to the system the whole pages of the mapping [block, block +
// bytes) that lie past its first keep bytes (keep at most bytes); the block
// is then freed by munmap(block, keep). Any thread.
void ReleaseBlockTail(void* block, std::size_t bytes, std::size_t keep);
