// engine/ClipReadAhead.cpp: the helpers' loop, the clip they take next, the
// room they make, the copies they read and the owner's wait for a clip in
// transit.
#include "engine/ClipReadAhead.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <utility>

#include "engine/Frame.h"
#include "engine/MemoryPolicy.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"

namespace {

std::atomic<int64_t> sCopyBytes{0};

} // namespace

int64_t ClipCopyBytes()
{
    return sCopyBytes.load(std::memory_order_relaxed);
}

int ReadAheadHelpers(int threads)
{
    constexpr int kLeastHelpers = 8;
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(std::max(threads, kLeastHelpers), 1, std::max(processors, 1));
}

ClipReadAhead::ClipReadAhead(std::vector<std::vector<Frame*>> lanes, int threads, int ahead, int64_t clipBytes)
    : ClipReadAhead(std::move(lanes), threads, ahead, clipBytes, 0)
{
}

ClipReadAhead::ClipReadAhead(std::vector<Frame*> clips, int threads, int ahead, int64_t clipBytes,
                             CopyRendered copies)
    : ClipReadAhead(std::vector<std::vector<Frame*>>{std::move(clips)}, threads, ahead, clipBytes, copies.copyBytes)
{
}

ClipReadAhead::ClipReadAhead(std::vector<std::vector<Frame*>> lanes, int threads, int ahead, int64_t clipBytes,
                             int64_t copyBytes)
    : mAhead(ahead), mClipBytes(clipBytes), mCopyBytes(copyBytes)
{
    mLanes.resize(lanes.size());
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        mLanes[i].clips = std::move(lanes[i]);
        mLanes[i].taken.assign(mLanes[i].clips.size(), kUntaken);
        if (mCopyBytes > 0)
            mLanes[i].copies.resize(mLanes[i].clips.size());
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
    int64_t copies = static_cast<int64_t>(mSpareCopies.size());
    for (const Lane& l : mLanes)
        for (const auto& copy : l.copies)
            copies += copy ? 1 : 0;
    sCopyBytes -= copies * mCopyBytes;
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
        // The copies of finished clips serve the next ones.
        if (mCopyBytes > 0)
            for (int i = l.finished; i < position; ++i)
                if (auto& copy = l.copies[static_cast<std::size_t>(i)])
                    mSpareCopies.push_back(std::move(copy));
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
            auto queued = mQueued.begin();
            int64_t wanted = mComing; // bytes reserved, or claimed before this ticket, and its own
            for (; queued->first != ticket; ++queued)
                wanted += queued->second;
            wanted += queued->second;
            if (FreeMem() - wanted >= kLowMemoryThreshold) {
                mComing += queued->second;
                mQueued.erase(queued);
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

bool ClipReadAhead::Copies(const Lane& l, int position) const
{
    if (mCopyBytes == 0)
        return false;
    const Frame* frame = l.clips[static_cast<std::size_t>(position)];
    return frame->GetResidency() == Frame::Residency::OnDisk && !frame->IsDirty();
}

bool ClipReadAhead::Move(std::unique_lock<std::mutex>& lock, Lane& l, int position, bool copy)
{
    const std::size_t p = static_cast<std::size_t>(position);
    Frame* frame = l.clips[p];
    std::unique_ptr<GWorldWrapper> image;
    int64_t bytes = 0; // the room to reserve first
    if (copy && !mSpareCopies.empty()) {
        image = std::move(mSpareCopies.back());
        mSpareCopies.pop_back();
    } else if (copy) {
        bytes = mCopyBytes;
    } else if (frame->GetResidency() == Frame::Residency::OnDisk) {
        bytes = mClipBytes;
    }
    const uint64_t ticket = ++mLastTicket;
    if (bytes > 0)
        mQueued.emplace_back(ticket, bytes);
    ++mMoving;
    lock.unlock();
    const bool room = bytes == 0 || MakeRoom(ticket);
    const bool spare = image != nullptr;
    bool read = false;
    if (room && copy) {
        try {
            read = frame->ReadModifiedFromTempFile(&image);
        } catch (const std::bad_alloc&) {
            // The taker then brings the clip back itself, or reports it.
        }
    } else if (room && bytes > 0) {
        (void)frame->RetrieveFromTempDiskFile(); // a failure is the taker's to report
    }
    lock.lock();
    if (room)
        mComing -= bytes;
    if (copy && read != spare) // a new copy made, or a spare one lost with a failed read
        sCopyBytes += read ? mCopyBytes : -mCopyBytes;
    --mMoving;
    ++mMovesEnded;
    mChanged.notify_all();
    if (!room) {
        // No room until a taker finishes more clips: the clip is tried
        // again then, unless its taker has reached it meanwhile.
        l.taken[p] = kUntaken;
        l.next = std::min(l.next, position);
        return false;
    }
    if (copy)
        l.copies[p] = read ? std::move(image) : nullptr;
    l.taken[p] = kTaken;
    return true;
}

const GWorldWrapper* ClipReadAhead::TakeCopy(int position)
{
    std::unique_lock<std::mutex> lock(mMutex);
    if (mCopyBytes == 0 || mLanes.empty() || position < 0 ||
        static_cast<std::size_t>(position) >= mLanes[0].clips.size())
        return nullptr;
    Lane& l = mLanes[0];
    const std::size_t p = static_cast<std::size_t>(position);
    mChanged.wait(lock, [&] { return l.taken[p] != kCopying; });
    if (l.taken[p] == kUntaken && Copies(l, position)) {
        l.taken[p] = kCopying;
        (void)Move(lock, l, position, true);
    }
    return l.copies[p].get();
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
        const uint64_t finishedBefore = mFinishedSteps;
        const bool copy = Copies(l, position);
        l.taken[static_cast<std::size_t>(position)] = copy ? kCopying : kTaken;
        if (!Move(lock, l, position, copy))
            mChanged.wait(lock, [&] { return mStop || mFinishedSteps != finishedBefore; });
    }
}
