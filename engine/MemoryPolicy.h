// engine/MemoryPolicy.h: when clips go to temporary files and come back.
#pragma once

#include <cstdint>

// Free memory below this many bytes is low: clips are then swapped out.
constexpr int64_t kLowMemoryThreshold = 15000000;

// One reading of the free-memory figure compared with the threshold
// (14,999,999 is low, 15,000,000 is not). Any thread.
bool FreeMemoryIsLow();

// Swaps out the first clip among 1, 2, ... that is in memory and that no
// thread is using (not being rendered or swapped, no leases); clip 0 never.
// Frees the calling thread's spare image (imaging/SpareImage.h) first.
// Nothing when none qualifies. Holds no clip lock while searching. Any thread.
// True when a clip was swapped out.
bool SendAFrameToATempDiskFile();

// Memory that a thread is about to take for new images, set aside against
// the free-memory figure while it lives. Making one first swaps clips out
// (the victims of SendAFrameToATempDiskFile, one at a time) until the free
// memory, less what other living reservations set aside, keeps the low
// threshold above bytes, or until no clip can go. Several threads importing
// at once thus make room for one another instead of each counting the same
// free memory. Any thread; not while holding a clip's lock.
class MemoryReservation {
public:
    explicit MemoryReservation(int64_t bytes);
    ~MemoryReservation();
    MemoryReservation(const MemoryReservation&) = delete;
    MemoryReservation& operator=(const MemoryReservation&) = delete;

    // False when the room could not be made (memory stays low).
    bool Made() const { return mMade; }

private:
    int64_t mBytes;
    bool mMade = false;
};

// Brings clips back in index order from 0 while memory is not low, stopping
// at the first low reading. Main thread, after memory was freed.
void SaturateMemory();
