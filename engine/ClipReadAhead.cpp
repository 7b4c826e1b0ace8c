// engine/ClipReadAhead.cpp: the helpers' loop, the clip they take next, the
// room they make and the owner's wait for a clip in transit.
#include "engine/ClipReadAhead.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "engine/Frame.h"
#include "engine/MemoryPolicy.h"
#include "platform/core/FreeMemory.h"

int ReadAheadHelpers(int threads)
{
    constexpr int kLeastHelpers = 8;
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(std::max(threads, kLeastHelpers), 1, std::max(processors, 1));
}

ClipReadAhead::ClipReadAhead(std::vector<std::vector<Frame*>> lanes, int threads, int ahead, int64_t clipBytes)
    : mAhead(ahead), mClipBytes(clipBytes)
{
    mLanes.resize(lanes.size());
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        mLanes[i].clips = std::move(lanes[i]);
        mLanes[i].taken.assign(mLanes[i].clips.size(), 0);
        mLanes[i].lastVictim = static_cast<int>(mLanes[i].clips.size());
    }
    for (int i = 0; i < threads; ++i) {
        try {
            mHelpers.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
            break; // the takers bring back what the others do not reach
        }
    }
}

ClipReadAhead::ClipReadAhead(std::vector<Frame*> clips, int threads, int ahead, int64_t clipBytes)
    : ClipReadAhead(std::vector<std::vector<Frame*>>{std::move(clips)}, threads, ahead, clipBytes)
{
}

ClipReadAhead::~ClipReadAhead()
{
    Stop();
}

void ClipReadAhead::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mJoined)
            return;
        mStop = true;
        mJoined = true;
    }
    mChanged.notify_all();
    for (std::thread& helper : mHelpers)
        helper.join();
}

void ClipReadAhead::Finished(int lane, int position)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (lane < 0 || static_cast<std::size_t>(lane) >= mLanes.size())
            return;
        Lane& l = mLanes[static_cast<std::size_t>(lane)];
        position = std::min(position, static_cast<int>(l.clips.size()));
        if (position <= l.finished)
            return;
        l.finished = position;
        ++mFinishedSteps;
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

bool ClipReadAhead::MakeRoom(uint64_t ticket)
{
    for (;;) {
        Frame* victim = nullptr;
        {
            // The test and the reservation in one step: helpers that find
            // room at once cannot together take more than there is, and
            // room is left for the clips taken before this one.
            std::lock_guard<std::mutex> lock(mMutex);
            const auto queued = std::find(mQueued.begin(), mQueued.end(), ticket);
            const int64_t earlier = queued - mQueued.begin();
            if (FreeMem() - (mComing + earlier + 1) * mClipBytes >= kLowMemoryThreshold) {
                mQueued.erase(queued);
                ++mComing;
                return true;
            }
            if (!mStop)
                for (Lane& l : mLanes)
                    if (l.nextVictim < l.finished) {
                        victim = l.clips[static_cast<std::size_t>(l.nextVictim++)];
                        break;
                    }
            if (!victim && !mStop)
                for (Lane& l : mLanes) {
                    const int reach = std::max(l.next, l.finished + mAhead);
                    if (l.lastVictim - 1 >= reach && !l.taken[static_cast<std::size_t>(l.lastVictim - 1)]) {
                        victim = l.clips[static_cast<std::size_t>(--l.lastVictim)];
                        break;
                    }
                }
            if (!victim) {
                mQueued.erase(queued);
                return false;
            }
        }
        // Clip 0 stays, as always; a clip in use is skipped by the swap itself.
        if (victim->GetIndex() != 0)
            (void)victim->TrySendToTempDiskFile();
    }
}

int ClipReadAhead::LaneToAdvance()
{
    int best = -1, bestAhead = 0;
    for (std::size_t i = 0; i < mLanes.size(); ++i) {
        Lane& l = mLanes[i];
        // The first clip of the lane at or past its taker that no helper has taken.
        l.next = std::max(l.next, l.finished);
        while (l.next < static_cast<int>(l.clips.size()) && l.taken[static_cast<std::size_t>(l.next)])
            ++l.next;
        const int ahead = l.next - l.finished;
        if (l.next >= static_cast<int>(l.clips.size()) || ahead >= mAhead)
            continue;
        if (best < 0 || ahead < bestAhead) {
            best = static_cast<int>(i);
            bestAhead = ahead;
        }
    }
    return best;
}

void ClipReadAhead::HelperLoop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        int lane = -1;
        mChanged.wait(lock, [&] { return mStop || (lane = LaneToAdvance()) >= 0; });
        if (mStop)
            return;
        Lane& l = mLanes[static_cast<std::size_t>(lane)];
        const int position = l.next;
        l.taken[static_cast<std::size_t>(position)] = 1;
        Frame* frame = l.clips[static_cast<std::size_t>(position)];
        ++mMoving;
        const uint64_t finishedBefore = mFinishedSteps;
        const bool onDisk = frame->GetResidency() == Frame::Residency::OnDisk;
        const uint64_t ticket = ++mLastTicket;
        if (onDisk)
            mQueued.push_back(ticket);
        lock.unlock();
        const bool reserved = onDisk && MakeRoom(ticket);
        if (reserved)
            (void)frame->RetrieveFromTempDiskFile(); // a failure is the taker's to report
        lock.lock();
        if (reserved)
            --mComing;
        --mMoving;
        ++mMovesEnded;
        mChanged.notify_all();
        if (onDisk && !reserved) {
            // No room until a taker finishes more clips: the clip is tried
            // again then, unless its taker has reached it meanwhile.
            l.taken[static_cast<std::size_t>(position)] = 0;
            l.next = std::min(l.next, position);
            mChanged.wait(lock, [&] { return mStop || mFinishedSteps != finishedBefore; });
        }
    }
}
