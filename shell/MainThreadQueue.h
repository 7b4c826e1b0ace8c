// shell/MainThreadQueue.h: the events workers send to the main thread, the
// queue that carries them and the display handshake.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// A job's final procedure, run once on the main thread when its last worker
// is done. Carried whole (pointer-sized) in the job-done event.
using JobFinalProc = void (*)();

// The six kinds of job event, with the class and kind names the program has
// always used for them.
enum class JobEventKind : uint8_t {
    drawClip,        // "ClWn"/"DrCl": redraw a clip's thumbnail
    markClip,        // "ClWn"/"MkCl": mark a clip as being worked on
    updateInspector, // "FIWn"/"Updt": show a clip in the frame inspector
    progressStep,    // "WkDg"/"Bar+": step the job's progress bar
    jobDone,         // "Thrd"/"JbDn": a worker is done
    wrongImageDim,   // "Thrd"/"WrDm": ask whether pictures of another size are taken
};
constexpr int kJobEventKinds = 6;

// "ClWn/DrCl" and so on.
const char* JobEventName(JobEventKind kind);

struct JobEvent {
    JobEventKind kind = JobEventKind::jobDone;
    int32_t clipIndex = -1;           // "ClIx": clip of the three clip events
    uint32_t slot = 0;                // "ThID": the posting worker's thread slot
    JobFinalProc finalProc = nullptr; // "ThPc": final procedure named by a job-done event
    uint64_t job = 0;                 // the job that posted it
    uint64_t ticket = 0;              // handshake number of a waiting display event; 0 = none
    int32_t steps = 1;                // items a progress-step event carries
};

// One thread slot's display handshake: the worker counts what it posts, the
// main thread counts what it has acted on, and the worker waits until the
// second count reaches its event. A wakeup that finds the count short (a
// spurious one, or a notify meant for nobody) waits again.
class DisplaySync {
public:
    // Worker: the next ticket of this slot.
    uint64_t Reserve();
    // Worker: blocks until ticket is acknowledged.
    void WaitFor(uint64_t ticket);
    // Main thread: ticket has been acted on; wakes the worker.
    void Acknowledge(uint64_t ticket);
    // Posted but not yet acknowledged (tests).
    uint64_t Pending() const;
    // Wakes the waiting worker without acknowledging anything (tests).
    void NotifyWithoutAcknowledgingForTesting();

private:
    mutable std::mutex mMutex;     // guards the two counters
    std::condition_variable mCond; // notified when mAcknowledged grows
    uint64_t mPosted = 0;
    uint64_t mAcknowledged = 0;
};

// Carries job events from workers to the main thread, where each one is
// handed to HandleJobEvent (shell/JobEvents.h) in the order posted. The
// program's queue is the Qt event loop (shell/QtMainThreadQueue.h); tests use
// a queue they drain themselves.
class MainThreadQueue {
public:
    virtual ~MainThreadQueue() = default;

    // Queues ev and returns at once. Any thread; must not fail.
    virtual void post(const JobEvent& ev) = 0;

    // Queues ev with the next ticket of sync and waits until the main thread
    // has acted on it. Worker threads only (the main thread would wait for
    // itself).
    void postAndWait(JobEvent ev, DisplaySync& sync);
};

// The queue jobs post to; installed at start-up (or by a test) before any
// job starts. Main thread only; a job keeps the queue it started with.
void SetMainThreadQueue(MainThreadQueue* queue);
MainThreadQueue* GetMainThreadQueue();
