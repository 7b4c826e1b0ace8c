// platform/core/PretouchedBlocks.h: blocks of memory whose every page has
// already been written once: fresh ones made ahead on a helper thread, and
// freed ones held a moment for the next block of their size.
//
// The first write to each fresh page costs the system some work; on some
// machines (virtual machines that keep shadow page tables above all) it is
// microseconds a page, milliseconds for a picture of a megabyte or two: as
// long as decoding the picture. A job about to fill many fresh images of one
// size asks for a few blocks of that size to be kept ready; the helper maps
// and touches them beside the job's threads, which take them instead of
// mapping their own. In the same way a block freed where another of its size
// is about to be made (a clip going to its temp files to make room for one
// coming back) is held a moment and handed over rather than given back to
// the system and mapped again.
#pragma once

#include <cstddef>
#include <cstdint>

// From now on keeps up to count blocks of bytes ready (each mapped as
// MapLargeBlock maps it, zero-filled, every page written once), making one
// only while free memory (FreeMem) holds the blocks still wanted twice over.
// Ready blocks of another size are given back. Any thread.
void KeepBlocksReady(std::size_t bytes, int count);

// Gives back every block still ready and makes no more; a block being made
// is given back when done. Any thread.
void StopKeepingBlocksReady();

// A ready block of exactly bytes, a held one first (its contents are then
// whatever its last owner wrote) or else a fresh one (zero-filled), from now
// on the caller's (freed by munmap(block, bytes)); null when none is ready.
// Cheap when no blocks are kept or held. Any thread.
void* TakeReadyBlock(std::size_t bytes);

// Offers a block the caller is done with (a mapping of bytes) to be held for
// the next TakeReadyBlock of its size. At least two blocks of any size are
// held, more up to 8 MiB in all, none longer than a quarter of a second (a
// block held longer is given back by the next call here or to
// TakeReadyBlock). True when the block is held (no longer the caller's);
// false when the caller must give it back itself. Any thread.
bool RecycleBlock(void* block, std::size_t bytes);

// Bytes of the blocks held now: memory this process holds but that the next
// images of those sizes take first, counted by FreeMem as free. Any thread.
int64_t RecycledBlockBytes();
