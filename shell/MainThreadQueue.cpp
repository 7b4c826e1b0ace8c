// shell/MainThreadQueue.cpp: event names, the display handshake and the queue
// jobs post to.
#include "shell/MainThreadQueue.h"

#include <algorithm>

namespace {

MainThreadQueue* sQueue = nullptr; // main thread only

} // namespace

const char* JobEventName(JobEventKind kind)
{
    switch (kind) {
    case JobEventKind::drawClip:
        return "ClWn/DrCl";
    case JobEventKind::markClip:
        return "ClWn/MkCl";
    case JobEventKind::updateInspector:
        return "FIWn/Updt";
    case JobEventKind::progressStep:
        return "WkDg/Bar+";
    case JobEventKind::jobDone:
        return "Thrd/JbDn";
    case JobEventKind::wrongImageDim:
        return "Thrd/WrDm";
    }
    return "unknown";
}

uint64_t DisplaySync::Reserve()
{
    std::lock_guard<std::mutex> lock(mMutex);
    return ++mPosted;
}

void DisplaySync::WaitFor(uint64_t ticket)
{
    std::unique_lock<std::mutex> lock(mMutex);
    mCond.wait(lock, [&] { return mAcknowledged >= ticket; });
}

void DisplaySync::Acknowledge(uint64_t ticket)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mAcknowledged = std::max(mAcknowledged, ticket);
    }
    mCond.notify_all();
}

uint64_t DisplaySync::Pending() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mPosted - mAcknowledged;
}

void DisplaySync::NotifyWithoutAcknowledgingForTesting()
{
    mCond.notify_all();
}

void MainThreadQueue::postAndWait(JobEvent ev, DisplaySync& sync)
{
    ev.ticket = sync.Reserve();
    post(ev);
    sync.WaitFor(ev.ticket);
}

void SetMainThreadQueue(MainThreadQueue* queue)
{
    sQueue = queue;
}

MainThreadQueue* GetMainThreadQueue()
{
    return sQueue;
}
