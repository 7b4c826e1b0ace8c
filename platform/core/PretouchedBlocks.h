// platform/core/PretouchedBlocks.h: fresh blocks of memory made ahead on a
// helper thread, every page of them already written once.
//
// The first write to each fresh page costs the system some work; on some
// machines (virtual machines that keep shadow page tables above all) it is
// microseconds a page, milliseconds for a picture of a megabyte or two: as
// long as decoding the picture. A job about to fill many fresh images of one
// size asks for a few blocks of that size to be kept ready; the helper maps
// and touches them beside the job's threads, which take them instead of
// mapping their own.
#pragma once

#include <cstddef>

// From now on keeps up to count blocks of bytes ready (each mapped as
// MapLargeBlock maps it, zero-filled, every page written once), making one
// only while free memory (FreeMem) holds the blocks still wanted twice over.
// Ready blocks of another size are given back. Any thread.
void KeepBlocksReady(std::size_t bytes, int count);

// Gives back every block still ready and makes no more; a block being made
// is given back when done. Any thread.
void StopKeepingBlocksReady();

// A ready block of exactly bytes, from now on the caller's (freed by
// munmap(block, bytes)), or null when none is ready. Cheap when no blocks are
// kept. Any thread.
void* TakeReadyBlock(std::size_t bytes);
