// engine/ClipReadAhead.cpp: the helpers' loop, the room they make and the
// owner's wait for a clip in transit.
#include "engine/ClipReadAhead.h"

#include <system_error>
#include <utility>

#include "engine/Frame.h"
#include "engine/MemoryPolicy.h"
#include "platform/core/FreeMemory.h"

ClipReadAhead::ClipReadAhead(std::vector<Frame*> clips, int threads, int ahead, int64_t clipBytes)
    : mClips(std::move(clips)), mAhead(ahead), mClipBytes(clipBytes)
{
    for (int i = 0; i < threads; ++i) {
        try {
            mHelpers.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
            break; // the owner brings back what the others do not reach
        }
    }
}

ClipReadAhead::~ClipReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mChanged.notify_all();
    for (std::thread& helper : mHelpers)
        helper.join();
}

void ClipReadAhead::Finished(int position)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (position <= mFinished)
            return;
        mFinished = position;
    }
    mChanged.notify_all();
}

bool ClipReadAhead::WaitForMove()
{
    std::unique_lock<std::mutex> lock(mMutex);
    if (mMoving == 0)
        return false;
    const uint64_t seen = mMovesEnded;
    mChanged.wait(lock, [&] { return mMovesEnded != seen; });
    return true;
}

bool ClipReadAhead::MakeRoom()
{
    for (;;) {
        Frame* victim = nullptr;
        {
            // The test and the reservation in one step: helpers that find
            // room at once cannot together take more than there is.
            std::lock_guard<std::mutex> lock(mMutex);
            if (FreeMem() - (mComing + 1) * mClipBytes >= kLowMemoryThreshold) {
                ++mComing;
                return true;
            }
            if (mStop || mNextVictim >= mFinished)
                return false;
            victim = mClips[static_cast<std::size_t>(mNextVictim++)];
        }
        // Clip 0 stays, as always; a clip in use is skipped by the swap itself.
        if (victim->GetIndex() != 0)
            (void)victim->TrySendToTempDiskFile();
    }
}

void ClipReadAhead::BringBack(Frame& frame)
{
    if (frame.GetResidency() != Frame::Residency::OnDisk)
        return;
    const bool reserved = MakeRoom();
    (void)frame.RetrieveFromTempDiskFile(); // a failure shows when the owner takes the clip
    if (reserved) {
        std::lock_guard<std::mutex> lock(mMutex);
        --mComing;
    }
}

void ClipReadAhead::HelperLoop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        mChanged.wait(lock, [this] {
            return mStop || (mNext < static_cast<int>(mClips.size()) && mNext < mFinished + mAhead);
        });
        if (mStop)
            return;
        const int position = mNext++;
        Frame* frame = mClips[static_cast<std::size_t>(position)];
        ++mMoving;
        lock.unlock();
        bool reserved = false;
        if (frame->GetResidency() == Frame::Residency::OnDisk && (reserved = MakeRoom()))
            (void)frame->RetrieveFromTempDiskFile(); // a failure is the owner's to report
        lock.lock();
        if (reserved)
            --mComing;
        --mMoving;
        ++mMovesEnded;
        mChanged.notify_all();
    }
}
