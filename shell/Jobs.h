// shell/Jobs.h: jobs: work the starter cut into pieces, run on worker threads
// that report to the main thread by events; one job at a time. Per-clip jobs
// over the selection are built on this in engine/ClipJobs.h.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "shell/JobSplit.h"
#include "shell/MainThreadQueue.h"

// Workers of the running job that have not yet reported done; 0 when none
// runs. Main thread only.
extern int gNumThreadsRemaining;

// The wrong-size question of the running job: 0 not asked yet, 1 accept all
// (scaled to the document's size), 2 reject all. Reset to 0 at every job
// start; the main thread writes the answer under gWrongImageDimMutex and then
// notifies gWrongImageDimCond. Lock order: a job's custom mutex 0 (and the
// question lock of AskWrongImageDimOnce) before gWrongImageDimMutex.
extern std::atomic<int> gAcceptBadDimImages;
extern std::mutex gWrongImageDimMutex;
extern std::condition_variable gWrongImageDimCond;

// One worker's whole work in a job started by RunThreadedProc.
using JobWorker = std::function<void()>;

// Starts a job with one worker per entry of workers, in order; worker i runs
// in thread slot i. numItems is the number of elementary items (the progress
// bar's total; a progress window with Cancel is shown when it is 2 or more).
// The job makes gNumThreads scratch images of gImageDim (CreateTempGWWs),
// one display handshake per worker and numCustomMutexes custom mutexes, all
// before any worker starts. A worker that cannot be started counts as done.
// Returns at once: true when the job started. False, with nothing changed,
// when a job already runs (a beep) or the job's objects cannot be made (the
// out-of-memory alert); an empty list starts nothing (false, silently). Main
// thread only; never from a final procedure.
[[nodiscard]] bool RunThreadedProc(std::vector<JobWorker> workers, int numItems, JobFinalProc finalProc,
                                   int numCustomMutexes);

// RunThreadedProc with two actions of the starter's, both on the main thread:
// begin runs once the job's objects exist, before any worker starts, and
// must not fail; end runs after the final procedure, once the workers are
// gone. withCancel false shows the progress window without Cancel, for jobs
// that must reach every item.
[[nodiscard]] bool RunThreadedProcWithActions(std::vector<JobWorker> workers, int numItems, JobFinalProc finalProc,
                                              int numCustomMutexes, bool withCancel, std::function<void()> begin,
                                              std::function<void()> end);

// True when a job may start now; a beep when one runs. Main thread only.
bool CanStartJob();

// min(n, gNumThreads) (0 for n <= 0).
int determineNumThreadsForOneJob(int n);

// True from a job's start until its end has finished (its final procedure
// included). Main thread only.
bool IsJobActive();

// ---- Worker side: callable only from a worker of the running job; from any
// other thread they do nothing (and the progress step answers stop). ----

// Ask the main thread to mark clipIndex as worked on, redraw its thumbnail,
// or show it in the frame inspector (the installed clipEvent hook acts).
// With display synchronisation on they
// wait until the main thread has done it. Nothing happens with minimal
// visual feedback, for a negative index or after the worker's done event.
void Thread_MarkWorkingClip(int clipIndex);
void Thread_DrawClip(int clipIndex);
void Thread_UpdateFrameInspectorWindow(int clipIndex);

// Steps the job's progress bar (only when the job has a progress window;
// waits like the display calls) and returns true while the job's own status
// is 0 (running). A job of one item answers false: its one step is its last.
// The worker stops its loop on false (Cancel, or the end).
bool Thread_IncrementWorkingDialogProgressBar();

// The same for workers whose items are short (picture import): the steps
// are gathered and posted as one event at most every 30 ms; the worker does
// not wait for the bar to be drawn but goes on with its next item, and its
// next display event (the next gathered steps included) first waits until
// the main thread has acted on this one, so it is never more than one event
// ahead of the screen. The steps still gathered are posted before the
// worker's done event, so the bar always ends where it would have. Returns
// what Thread_IncrementWorkingDialogProgressBar would.
bool Thread_GatherWorkingDialogProgressStep();

// Reports this worker done, naming the final procedure (null keeps the
// job's). The framework calls it when the worker's work returns (or throws
// std::bad_alloc, after the out-of-memory alert), so a worker need not;
// only the first call of a worker counts. Does not wait.
void PostThreadDoneEvent(JobFinalProc finalProc);

// The job's own run status without stepping the bar (0 running, 1 finished,
// 2 cancelled), for work that polls between progress steps; 1 outside a job.
int Thread_JobRunStatus();

// Asks the wrong-size question and waits for the answer (1 accept, 2 reject).
// Returns the answer at once when the job already has one. The caller holds
// the lock that lets one worker ask (custom mutex 0 of the picture import).
int PostWrongImageDimEvent();
// The whole protocol in one call: one question per job, whichever workers
// meet wrong-size pictures and whenever; every caller gets the answer.
int AskWrongImageDimOnce();

// Lock or unlock custom mutex i of the running job: true on success, false
// for an i the job does not have; true and nothing done when the job has no
// custom mutexes at all.
bool lockCustomMutex(int i);
bool unlockCustomMutex(int i);

// ---- Services the framework asks for, installed at start-up (or by tests) ----

// The progress window as a job sees it. Made, stepped and destroyed on the
// main thread.
class JobProgressWindow {
public:
    // Closes the window if the user has not (its status becomes 1 unless it
    // was already ended); leaves alone any window that is not this job's.
    virtual ~JobProgressWindow() = default;
    // The job's own status (0 running, 1 finished, 2 cancelled), which
    // workers read; changes only through this window's Cancel or its end.
    virtual std::shared_ptr<const std::atomic<int>> Status() const = 0;
    // One more item done; nothing when the window is gone.
    virtual void Step() = 0;
};

struct JobHooks {
    // Opens the progress window of a job of total items, or throws
    // std::bad_alloc. Unset: no window, and the job runs to its end.
    std::function<std::unique_ptr<JobProgressWindow>(int total)> openProgressWindow;
    // The same without a Cancel button. Unset: openProgressWindow.
    std::function<std::unique_ptr<JobProgressWindow>(int total)> openProgressWindowWithoutCancel;
    // Starts a joinable thread running body; throws (std::system_error,
    // std::bad_alloc) when the system refuses. Unset: std::thread.
    std::function<std::thread(std::function<void()> body)> startThread;
    // Recomputes menu enabling after a job starts and after it ends.
    // Unset: UpdateMenuState().
    std::function<void()> updateMenus;
    // The wrong-size question (true = accept). Unset: reject.
    std::function<bool()> askWrongImageDim;
    // The display side of the three clip events (markClip, drawClip,
    // updateInspector) of the running job, on the main thread. Unset: none.
    // The engine installs it (engine/ClipJobs.h).
    std::function<void(JobEventKind kind, int clipIndex)> clipEvent;
};
// The installed hooks. Main thread only, and not while a job runs.
JobHooks& GetJobHooks();

// Makes the shell's "a job is running" question (menus, quit, close boxes)
// answer IsJobActive().
void InstallJobShellHooks();
