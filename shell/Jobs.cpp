// shell/Jobs.cpp: starting and ending jobs on the main thread.
#include "shell/Jobs.h"

#include <cassert>
#include <new>
#include <system_error>
#include <utility>

#include "shell/JobRecord.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "shell/WorkingDialog.h"
#include "shell/ScratchImages.h"
#include "platform/core/MainThread.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

int gNumThreadsRemaining = 0;
std::atomic<int> gAcceptBadDimImages{0};
std::mutex gWrongImageDimMutex;
std::condition_variable gWrongImageDimCond;

namespace {

std::unique_ptr<JobRecord> sJob; // the running job; main thread only
uint64_t sLastJobId = 0;         // main thread only
bool sInFinalProc = false;       // main thread only

// A job without a window runs until its end; its status only says so.
std::shared_ptr<const std::atomic<int>> FixedStatus(int value)
{
    return std::make_shared<const std::atomic<int>>(value);
}

void UpdateMenus()
{
    JobHooks& hooks = GetJobHooks();
    if (hooks.updateMenus)
        hooks.updateMenus();
    else
        UpdateMenuState();
}

std::thread StartThread(std::function<void()> body)
{
    JobHooks& hooks = GetJobHooks();
    if (hooks.startThread)
        return hooks.startThread(std::move(body));
    return std::thread(std::move(body));
}

// Everything a job needs before its first worker runs. Throws std::bad_alloc
// with nothing of the job left behind.
std::unique_ptr<JobRecord> MakeJobRecord(std::size_t numWorkers, int numItems, int numCustomMutexes, bool withCancel)
{
    CreateTempGWWs(gNumThreads);

    auto job = std::make_unique<JobRecord>();
    job->queue = GetMainThreadQueue();
    job->syncDisplay = gSyncThreadDisplay;
    job->minimalFeedback = gMinimalVisualFeedback;
    job->displays.reserve(numWorkers);
    for (std::size_t i = 0; i < numWorkers; ++i)
        job->displays.push_back(std::make_unique<DisplaySync>());
    for (int i = 0; i < numCustomMutexes; ++i)
        job->customMutexes.push_back(std::make_unique<std::mutex>());
    job->threads.reserve(numWorkers);

    // Last, because it shows: nothing can fail after it but a thread start.
    JobHooks& hooks = GetJobHooks();
    if (numItems >= 2) {
        if (!withCancel && hooks.openProgressWindowWithoutCancel)
            job->progress = hooks.openProgressWindowWithoutCancel(numItems);
        else if (hooks.openProgressWindow)
            job->progress = hooks.openProgressWindow(numItems);
        job->hasProgressWindow = job->progress != nullptr;
        job->status = job->progress ? job->progress->Status() : FixedStatus(kWorkingRunning);
    } else {
        // One item: its one progress step answers stop, as polls of the last
        // window's status do.
        job->status = FixedStatus(kWorkingFinished);
        WorkingDialog::Reset();
    }
    return job;
}

} // namespace

bool CanStartJob()
{
    assert(IsMainThread());
    // A final procedure's job would be torn down by the end that follows it.
    assert(!sInFinalProc);
    if (sJob || sInFinalProc) {
        SysBeep();
        return false;
    }
    return GetMainThreadQueue() != nullptr;
}

namespace {

// The end of the job's own objects: its workers joined (each has posted its
// done event as its last act, so this returns at once), its window closed
// if still open, its handshakes and mutexes destroyed.
void FinishThreadedProc(JobRecord& job)
{
    for (std::thread& thread : job.threads)
        if (thread.joinable())
            thread.join();
    job.progress.reset();
}

// The starter's end action, once.
void RunEndAction(JobRecord& job)
{
    if (auto end = std::move(job.end)) {
        job.end = nullptr;
        end();
    }
}

} // namespace

JobRecord* RunningJob()
{
    return sJob.get();
}

bool IsJobActive()
{
    return sJob != nullptr;
}

int determineNumThreadsForOneJob(int n)
{
    return NumThreadsForItems(n, gNumThreads);
}

JobHooks& GetJobHooks()
{
    static JobHooks sHooks;
    return sHooks;
}

void InstallJobShellHooks()
{
    GetShellHooks().jobRunning = [] { return IsJobActive(); };
}

namespace {

// Makes the job whole, then starts its workers in slot order.
bool StartJob(std::vector<JobWorker> workers, int numItems, JobFinalProc finalProc, int numCustomMutexes,
              bool withCancel, std::function<void()> begin, std::function<void()> end)
{
    if (workers.empty())
        return false;

    std::unique_ptr<JobRecord> job;
    try {
        job = MakeJobRecord(workers.size(), numItems, numCustomMutexes < 0 ? 0 : numCustomMutexes, withCancel);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
    job->id = ++sLastJobId;
    job->finalProc = finalProc;
    job->remaining = static_cast<int>(workers.size());
    gAcceptBadDimImages = 0;
    gNumThreadsRemaining = job->remaining;
    if (begin)
        begin();
    job->end = std::move(end);
    sJob = std::move(job);
    UpdateMenus();

    JobRecord& running = *sJob;
    bool refused = false;
    for (std::size_t i = 0; i < workers.size(); ++i) {
        const uint32_t slot = static_cast<uint32_t>(i);
        try {
            running.threads.push_back(
                StartThread([&running, slot, work = std::move(workers[i])] { RunJobWorker(running, slot, work); }));
        } catch (const std::system_error&) {
            running.threads.emplace_back();
        } catch (const std::bad_alloc&) {
            running.threads.emplace_back();
        }
        if (!running.threads.back().joinable()) {
            // Never ran: counted as done by the normal path, so the job ends.
            JobEvent done;
            done.kind = JobEventKind::jobDone;
            done.slot = slot;
            done.job = running.id;
            running.queue->post(done);
            refused = true;
        }
    }
    // The system ran out of threads: the user hears that part of the work
    // was left undone, as for any other lack of resources.
    if (refused)
        DoNotEnougMemoryForOperationDialog();
    return true;
}

} // namespace

bool RunThreadedProc(std::vector<JobWorker> workers, int numItems, JobFinalProc finalProc, int numCustomMutexes)
{
    return CanStartJob() && StartJob(std::move(workers), numItems, finalProc, numCustomMutexes, true, nullptr, nullptr);
}

bool RunThreadedProcWithActions(std::vector<JobWorker> workers, int numItems, JobFinalProc finalProc,
                                int numCustomMutexes, bool withCancel, std::function<void()> begin,
                                std::function<void()> end)
{
    return CanStartJob() && StartJob(std::move(workers), numItems, finalProc, numCustomMutexes, withCancel,
                                     std::move(begin), std::move(end));
}

void NoteWorkerDone(JobRecord& job, JobFinalProc finalProc)
{
    assert(&job == sJob.get());
    if (finalProc)
        job.finalProc = finalProc;
    if (job.remaining <= 0)
        return;
    --job.remaining;
    gNumThreadsRemaining = job.remaining;
    if (job.remaining > 0)
        return;

    // The final procedure runs while the progress window is still shown and
    // the menus still disabled.
    if (job.finalProc) {
        sInFinalProc = true;
        job.finalProc();
        sInFinalProc = false;
    }
    FinishThreadedProc(job);
    RunEndAction(job);
    sJob.reset();
    UpdateMenus();
}
