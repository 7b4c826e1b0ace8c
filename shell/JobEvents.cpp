// shell/JobEvents.cpp: acting on job events on the main thread.
#include "shell/JobEvents.h"

#include <cassert>

#include "shell/JobRecord.h"
#include "shell/Jobs.h"
#include "platform/core/MainThread.h"

namespace {

DisplaySync* SyncOf(JobRecord* job, uint32_t slot)
{
    if (!job || slot >= job->displays.size())
        return nullptr;
    return job->displays[slot].get();
}

void ActOnClip(const JobEvent& ev)
{
    JobHooks& hooks = GetJobHooks();
    if (hooks.clipEvent)
        hooks.clipEvent(ev.kind, ev.clipIndex);
}

void AnswerWrongImageDim()
{
    if (gAcceptBadDimImages == 0) {
        JobHooks& hooks = GetJobHooks();
        const bool accept = hooks.askWrongImageDim && hooks.askWrongImageDim();
        std::lock_guard<std::mutex> lock(gWrongImageDimMutex);
        gAcceptBadDimImages = accept ? 1 : 2;
    }
    gWrongImageDimCond.notify_all();
}

} // namespace

void HandleJobEvent(const JobEvent& ev)
{
    assert(IsMainThread());
    JobRecord* job = RunningJob();
    if (job && ev.job != job->id)
        job = nullptr; // left over from an ended job: nobody waits for it

    switch (ev.kind) {
    case JobEventKind::markClip:
    case JobEventKind::drawClip:
    case JobEventKind::updateInspector:
        if (job)
            ActOnClip(ev);
        break;
    case JobEventKind::progressStep:
        if (job && job->progress)
            for (int32_t i = 0; i < ev.steps; ++i)
                job->progress->Step();
        break;
    case JobEventKind::jobDone:
        if (job)
            NoteWorkerDone(*job, ev.finalProc);
        return; // the job may be gone now
    case JobEventKind::wrongImageDim:
        // Answered whatever the job: the asking worker must never be left waiting.
        AnswerWrongImageDim();
        return;
    }
    // The job cannot have ended meanwhile: this event's worker has not yet
    // posted its done event.
    if (ev.ticket != 0)
        if (DisplaySync* sync = SyncOf(job, ev.slot))
            sync->Acknowledge(ev.ticket);
}

uint64_t JobDisplayPendingForTesting(uint32_t slot)
{
    DisplaySync* sync = SyncOf(RunningJob(), slot);
    return sync ? sync->Pending() : 0;
}

void WakeJobWorkerForTesting(uint32_t slot)
{
    if (DisplaySync* sync = SyncOf(RunningJob(), slot))
        sync->NotifyWithoutAcknowledgingForTesting();
}
