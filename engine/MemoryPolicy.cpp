// engine/MemoryPolicy.cpp: the victim search and the refill after memory is freed.
#include "engine/MemoryPolicy.h"

#include <atomic>

#include "engine/FrameList.h"
#include "imaging/SpareImage.h"
#include "platform/core/FreeMemory.h"

namespace {

// Bytes of the living reservations.
std::atomic<int64_t> sReserved{0};

} // namespace

bool FreeMemoryIsLow()
{
    return FreeMem() < kLowMemoryThreshold;
}

bool SendAFrameToATempDiskFile()
{
    // Memory is short: the calling thread's spare image goes before any clip.
    ReleaseSpareImage();
    // First eligible clip in index order; SendToTempDiskFile itself takes the
    // clip only when, in one critical section, it is in memory, not updating
    // and unleased. A failed write ends the search: the disk refuses the
    // others as well.
    for (int i = 1;; ++i) {
        Frame* frame = FrameAt(i);
        if (!frame)
            return false;
        switch (frame->TrySendToTempDiskFile()) {
        case Frame::SwapOutResult::swapped:
            return true;
        case Frame::SwapOutResult::failed:
            return false;
        case Frame::SwapOutResult::skipped:
            break;
        }
    }
}

MemoryReservation::MemoryReservation(int64_t bytes) : mBytes(bytes)
{
    // Set aside first, so that threads deciding at the same moment each count
    // the other's share (at worst both make room).
    sReserved += mBytes;
    for (;;) {
        if (FreeMem() - (sReserved.load() - mBytes) >= kLowMemoryThreshold + mBytes) {
            mMade = true;
            return;
        }
        if (!SendAFrameToATempDiskFile())
            return;
    }
}

MemoryReservation::~MemoryReservation()
{
    sReserved -= mBytes;
}

void SaturateMemory()
{
    for (int i = 0;; ++i) {
        if (FreeMemoryIsLow())
            return;
        Frame* frame = FrameAt(i);
        if (!frame)
            return;
        if (!frame->InMemory())
            (void)frame->RetrieveFromTempDiskFile(); // a clip that cannot come back stays on disk
    }
}
