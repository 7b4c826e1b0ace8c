// shell/PolledMainThreadQueue.h: a job-event queue that the main thread drains
// itself, for programs without an event loop (tests, benchmarks).
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "shell/MainThreadQueue.h"

class PolledMainThreadQueue final : public MainThreadQueue {
public:
    // Installs itself as the jobs' queue; the destructor puts back the one
    // that was installed before. Main thread; no job may run across either.
    PolledMainThreadQueue();
    ~PolledMainThreadQueue() override;
    PolledMainThreadQueue(const PolledMainThreadQueue&) = delete;
    PolledMainThreadQueue& operator=(const PolledMainThreadQueue&) = delete;

    // Any thread.
    void post(const JobEvent& ev) override;

    // Main thread: hands the queued events to HandleJobEvent in the order
    // posted until done() holds (checked before each event); waits for more
    // when the queue is empty. Gives up when timeout passes first. beforeEach
    // (when set) runs before each event. True when done() held.
    bool DispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                       const std::function<void()>& beforeEach = {});
    // Main thread: hands over what is queued now; returns how many.
    int DispatchPending();

    // Events of each kind posted, and handed over, so far (any thread).
    uint64_t Posted(JobEventKind kind) const;
    uint64_t Dispatched(JobEventKind kind) const;
    uint64_t PostedDisplayEvents() const; // clip events and progress steps
    uint64_t DispatchedDisplayEvents() const;

private:
    bool PopOne(JobEvent& ev, std::chrono::steady_clock::time_point deadline);
    void Dispatch(const JobEvent& ev);

    mutable std::mutex mMutex;       // guards everything below
    std::condition_variable mPosted; // notified when the queue stops being empty
    std::deque<JobEvent> mEvents;
    std::array<uint64_t, kJobEventKinds> mPostedCount{};
    std::array<uint64_t, kJobEventKinds> mDispatchedCount{};
    MainThreadQueue* mPrevious = nullptr; // main thread only
};
