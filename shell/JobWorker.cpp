// shell/JobWorker.cpp: what a worker thread of a job calls: its reports to the
// main thread, the wrong-size question and the job's custom mutexes.
#include "shell/Jobs.h"

#include <chrono>
#include <new>

#include "shell/JobRecord.h"
#include "shell/ScratchImages.h"
#include "platform/core/StandardAlerts.h"

namespace {

// The calling worker's job and slot; null and 0 on every other thread. Set
// once when the worker starts: no search of a thread list, no waiting.
thread_local JobRecord* tJob = nullptr;
thread_local uint32_t tSlot = 0;
thread_local bool tDonePosted = false;
// Progress steps gathered by Thread_GatherWorkingDialogProgressStep and not
// yet posted, and when they were last posted.
thread_local int32_t tGatheredSteps = 0;
thread_local std::chrono::steady_clock::time_point tStepsPosted;
constexpr auto kGatheredStepsInterval = std::chrono::milliseconds(30);
// The ticket of the display event this worker posted without waiting for
// it; 0 when the main thread has acted on every one it posted.
thread_local uint64_t tAheadTicket = 0;

// The job of a worker that has not yet reported done, or null.
JobRecord* ReportingJob()
{
    return tDonePosted ? nullptr : tJob;
}

JobEvent MakeEvent(const JobRecord& job, JobEventKind kind, int clipIndex)
{
    JobEvent ev;
    ev.kind = kind;
    ev.clipIndex = clipIndex;
    ev.slot = tSlot;
    ev.job = job.id;
    return ev;
}

// The display handshake: with synchronisation on the worker waits until the
// main thread has acted on the event, so it never runs ahead of the screen.
// A progress step the worker does not wait for (ahead) is still one event
// at most: the worker's next display event first waits for it.
void PostDisplayEvent(JobRecord& job, JobEvent ev, bool ahead = false)
{
    if (!job.syncDisplay) {
        job.queue->post(ev);
        return;
    }
    DisplaySync& sync = *job.displays[ev.slot];
    if (tAheadTicket != 0) {
        sync.WaitFor(tAheadTicket);
        tAheadTicket = 0;
    }
    if (!ahead) {
        job.queue->postAndWait(ev, sync);
        return;
    }
    ev.ticket = sync.Reserve();
    tAheadTicket = ev.ticket;
    job.queue->post(ev);
}

void PostClipEvent(JobEventKind kind, int clipIndex)
{
    JobRecord* job = ReportingJob();
    if (!job || job->minimalFeedback || clipIndex < 0)
        return;
    PostDisplayEvent(*job, MakeEvent(*job, kind, clipIndex));
}

void PostGatheredSteps(JobRecord& job)
{
    if (tGatheredSteps == 0)
        return;
    JobEvent ev = MakeEvent(job, JobEventKind::progressStep, -1);
    ev.steps = tGatheredSteps;
    tGatheredSteps = 0;
    // The worker goes on with its next item while the bar is drawn.
    PostDisplayEvent(job, ev, true);
    tStepsPosted = std::chrono::steady_clock::now();
}

} // namespace

void RunJobWorker(JobRecord& job, uint32_t slot, const JobWorker& work)
{
    tJob = &job;
    tSlot = slot;
    tDonePosted = false;
    tGatheredSteps = 0;
    tStepsPosted = std::chrono::steady_clock::now();
    tAheadTicket = 0;
    SetThisThreadIndex(static_cast<int>(slot));
    try {
        work();
    } catch (const std::bad_alloc&) {
        // Handed to the main thread; the job ends by the normal path.
        try {
            DoNotEnougMemoryForOperationDialog();
        } catch (const std::bad_alloc&) {
            // No memory even to ask for the alert: the job still ends.
        }
    }
    SetThisThreadIndex(kNoThreadSlot);
    PostThreadDoneEvent(nullptr);
    tJob = nullptr;
    tSlot = 0;
}

void Thread_MarkWorkingClip(int clipIndex)
{
    PostClipEvent(JobEventKind::markClip, clipIndex);
}

void Thread_DrawClip(int clipIndex)
{
    PostClipEvent(JobEventKind::drawClip, clipIndex);
}

void Thread_UpdateFrameInspectorWindow(int clipIndex)
{
    PostClipEvent(JobEventKind::updateInspector, clipIndex);
}

bool Thread_IncrementWorkingDialogProgressBar()
{
    JobRecord* job = ReportingJob();
    if (!job)
        return false;
    // Workers never touch the window itself: Cancel may delete it any time.
    if (job->hasProgressWindow)
        PostDisplayEvent(*job, MakeEvent(*job, JobEventKind::progressStep, -1));
    return job->status->load() == 0;
}

bool Thread_GatherWorkingDialogProgressStep()
{
    JobRecord* job = ReportingJob();
    if (!job)
        return false;
    if (job->hasProgressWindow) {
        ++tGatheredSteps;
        if (std::chrono::steady_clock::now() - tStepsPosted >= kGatheredStepsInterval)
            PostGatheredSteps(*job);
    }
    return job->status->load() == 0;
}

int Thread_JobRunStatus()
{
    JobRecord* job = ReportingJob();
    return job ? job->status->load() : 1;
}

void PostThreadDoneEvent(JobFinalProc finalProc)
{
    JobRecord* job = ReportingJob();
    if (!job)
        return;
    PostGatheredSteps(*job); // the bar's last state before the end
    tDonePosted = true;
    JobEvent ev = MakeEvent(*job, JobEventKind::jobDone, -1);
    ev.finalProc = finalProc;
    job->queue->post(ev);
}

int PostWrongImageDimEvent()
{
    JobRecord* job = ReportingJob();
    if (!job)
        return 2;
    std::unique_lock<std::mutex> lock(gWrongImageDimMutex);
    if (gAcceptBadDimImages == 0)
        job->queue->post(MakeEvent(*job, JobEventKind::wrongImageDim, -1));
    // The answer is written under this mutex, so no wakeup is lost and a
    // spurious one waits again.
    gWrongImageDimCond.wait(lock, [] { return gAcceptBadDimImages != 0; });
    return gAcceptBadDimImages;
}

int AskWrongImageDimOnce()
{
    JobRecord* job = ReportingJob();
    if (!job)
        return 2;
    std::lock_guard<std::mutex> one(job->questionMutex);
    return PostWrongImageDimEvent();
}

bool lockCustomMutex(int i)
{
    JobRecord* job = tJob;
    if (!job || job->customMutexes.empty())
        return true;
    if (i < 0 || static_cast<std::size_t>(i) >= job->customMutexes.size())
        return false;
    job->customMutexes[static_cast<std::size_t>(i)]->lock();
    return true;
}

bool unlockCustomMutex(int i)
{
    JobRecord* job = tJob;
    if (!job || job->customMutexes.empty())
        return true;
    if (i < 0 || static_cast<std::size_t>(i) >= job->customMutexes.size())
        return false;
    job->customMutexes[static_cast<std::size_t>(i)]->unlock();
    return true;
}
