// shell/JobRecord.h: the running job's objects, made whole at its start and
// destroyed at its end; shared by the job's start and end, its workers and
// the event handler (not for use outside the job framework).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "shell/Jobs.h"
#include "shell/MainThreadQueue.h"

struct JobRecord {
    // Fixed at the start, read by workers without a lock.
    uint64_t id = 0;
    MainThreadQueue* queue = nullptr;
    bool syncDisplay = true;      // gSyncThreadDisplay at the start
    bool minimalFeedback = false; // gMinimalVisualFeedback at the start
    bool hasProgressWindow = false;
    std::vector<std::unique_ptr<DisplaySync>> displays;     // one per worker slot
    std::vector<std::unique_ptr<std::mutex>> customMutexes; // the starter's, numbered from 0
    std::shared_ptr<const std::atomic<int>> status;         // the job's own run status

    std::mutex questionMutex; // lets one worker at a time ask the wrong-size question

    // Main thread only.
    std::unique_ptr<JobProgressWindow> progress;
    std::vector<std::thread> threads; // joinable, in slot order (a failed start leaves an empty thread)
    int remaining = 0;
    JobFinalProc finalProc = nullptr;
    std::function<void()> end; // the starter's end action (RunThreadedProcWithActions)
};

// The running job, or null. Main thread only.
JobRecord* RunningJob();
// A worker of job reported done (main thread); the last one ends the job:
// the final procedure, then the job's objects go and the menus come back.
void NoteWorkerDone(JobRecord& job, JobFinalProc finalProc);
// A worker thread's whole life: its slot set, work run, done posted.
void RunJobWorker(JobRecord& job, uint32_t slot, const JobWorker& work);
