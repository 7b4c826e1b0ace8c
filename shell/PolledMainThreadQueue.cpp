// shell/PolledMainThreadQueue.cpp: the self-drained job-event queue.
#include "shell/PolledMainThreadQueue.h"

#include "shell/JobEvents.h"

namespace {

std::size_t KindIndex(JobEventKind kind)
{
    return static_cast<std::size_t>(kind);
}

bool IsDisplayKind(std::size_t kind)
{
    return kind != KindIndex(JobEventKind::jobDone) && kind != KindIndex(JobEventKind::wrongImageDim);
}

} // namespace

PolledMainThreadQueue::PolledMainThreadQueue() : mPrevious(GetMainThreadQueue())
{
    SetMainThreadQueue(this);
}

PolledMainThreadQueue::~PolledMainThreadQueue()
{
    if (GetMainThreadQueue() == this)
        SetMainThreadQueue(mPrevious);
}

void PolledMainThreadQueue::post(const JobEvent& ev)
{
    bool wasEmpty;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        wasEmpty = mEvents.empty();
        mEvents.push_back(ev);
        ++mPostedCount[KindIndex(ev.kind)];
    }
    // Only the main thread waits, and only for an empty queue.
    if (wasEmpty)
        mPosted.notify_one();
}

bool PolledMainThreadQueue::PopOne(JobEvent& ev, std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mMutex);
    if (!mPosted.wait_until(lock, deadline, [&] { return !mEvents.empty(); }))
        return false;
    ev = mEvents.front();
    mEvents.pop_front();
    ++mDispatchedCount[KindIndex(ev.kind)];
    return true;
}

void PolledMainThreadQueue::Dispatch(const JobEvent& ev)
{
    HandleJobEvent(ev);
}

bool PolledMainThreadQueue::DispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                                          const std::function<void()>& beforeEach)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (beforeEach)
            beforeEach();
        JobEvent ev;
        if (!PopOne(ev, deadline))
            return done();
        Dispatch(ev);
    }
    return true;
}

int PolledMainThreadQueue::DispatchPending()
{
    int n = 0;
    JobEvent ev;
    while (PopOne(ev, std::chrono::steady_clock::now())) {
        Dispatch(ev);
        ++n;
    }
    return n;
}

uint64_t PolledMainThreadQueue::Posted(JobEventKind kind) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mPostedCount[KindIndex(kind)];
}

uint64_t PolledMainThreadQueue::Dispatched(JobEventKind kind) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mDispatchedCount[KindIndex(kind)];
}

uint64_t PolledMainThreadQueue::PostedDisplayEvents() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    uint64_t n = 0;
    for (std::size_t k = 0; k < mPostedCount.size(); ++k)
        if (IsDisplayKind(k))
            n += mPostedCount[k];
    return n;
}

uint64_t PolledMainThreadQueue::DispatchedDisplayEvents() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    uint64_t n = 0;
    for (std::size_t k = 0; k < mDispatchedCount.size(); ++k)
        if (IsDisplayKind(k))
            n += mDispatchedCount[k];
    return n;
}
