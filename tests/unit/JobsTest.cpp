// tests/unit/JobsTest.cpp: jobs from start to end with a self-drained event
// queue: every clip once, thread slots, the display handshake, Cancel,
// failures at the start, the wrong-size question and the clip list.
#include "engine/ClipJobs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "shell/JobEvents.h"
#include "shell/PolledMainThreadQueue.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "shell/WorkingDialog.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "shell/ScratchImages.h"
#include "engine/Selection.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"
#include "tests/support/FakeProgressWindows.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"

namespace {

// Long enough for 64 threads on a loaded machine under ThreadSanitizer;
// a job that has not ended by then has hung.
constexpr std::chrono::milliseconds kJobTimeout{60000};
constexpr int kClipSide = 2;

// What the current test's final procedure and display actions saw. Written
// on the main (test) thread only, apart from the atomics.
struct Record {
    int finals = 0;
    bool windowOpenInFinal = false;
    bool jobActiveInFinal = false;
    int remainingInFinal = -1;
    bool allDisplayEventsBeforeFinal = false;
    std::vector<bool> menuCallsJobActive;
    std::vector<int> drawn, marked, inspected;
};
Record* sRecord = nullptr;
PolledMainThreadQueue* sQueue = nullptr;
FakeProgressWindows* sWindows = nullptr;

void RecordingFinal()
{
    Record& r = *sRecord;
    ++r.finals;
    r.windowOpenInFinal = sWindows->IsOpen();
    r.jobActiveInFinal = IsJobActive();
    r.remainingInFinal = gNumThreadsRemaining;
    r.allDisplayEventsBeforeFinal = sQueue->DispatchedDisplayEvents() == sQueue->PostedDisplayEvents() &&
                                    sQueue->Dispatched(JobEventKind::jobDone) == sQueue->Posted(JobEventKind::jobDone);
}

class JobsTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetFreeMemForTesting([] { return int64_t{1} << 34; });
        gMaxClipDim = MakeRect(0, 0, kClipSide, kClipSide);
        gImageDim = MakeRect(0, 0, kClipSide, kClipSide);
        gNumThreads = 4;
        gSyncThreadDisplay = true;
        gMinimalVisualFeedback = false;
        gPersistantSelectionIndices.clear();
        gTempSelectionIndex = -1;
        sRecord = &mRecord;
        sQueue = &mQueue;
        sWindows = &mWindows;
        JobHooks& hooks = GetJobHooks();
        hooks.updateMenus = [this] { mRecord.menuCallsJobActive.push_back(IsJobActive()); };
        GetFrameJobDisplay().drawClip = [this](Frame&, int i) { mRecord.drawn.push_back(i); };
        GetFrameJobDisplay().markWorkingClip = [this](Frame&, int i) { mRecord.marked.push_back(i); };
        GetFrameJobDisplay().updateFrameInspector = [this](int i) { mRecord.inspected.push_back(i); };
        InstallJobShellHooks();
    }
    void TearDown() override
    {
        EXPECT_FALSE(IsJobActive());
        mMainTasks.Drain();
        GetJobHooks().updateMenus = nullptr;
        GetFrameJobDisplay().drawClip = nullptr;
        GetFrameJobDisplay().markWorkingClip = nullptr;
        GetFrameJobDisplay().updateFrameInspector = nullptr;
        GetJobHooks().startThread = nullptr;
        GetJobHooks().askWrongImageDim = nullptr;
        GetShellHooks().jobRunning = nullptr;
        FailNextImageAllocationsForTesting(0);
        gFrames.clear();
        gTempGWs.clear();
        gPersistantSelectionIndices.clear();
        gTempSelectionIndex = -1;
        gImageDim = Rect{};
        gNumThreads = 4;
        gSyncThreadDisplay = true;
        gMinimalVisualFeedback = false;
        SetFreeMemForTesting(nullptr);
        sRecord = nullptr;
        sQueue = nullptr;
        sWindows = nullptr;
    }

    static void AddClips(int n)
    {
        for (int i = 0; i < n; ++i) {
            auto original = MakeImage(kClipSide, kClipSide);
            auto modified = MakeImage(kClipSide, kClipSide);
            AppendFrame(std::make_unique<Frame>(FrameCount(), original.release(), modified.release()));
        }
    }

    // Runs the job's events until it has ended; false when it hangs.
    bool RunToEnd(const std::function<void()>& beforeEach = {})
    {
        const bool ended = mQueue.DispatchUntil([] { return !IsJobActive(); }, kJobTimeout, beforeEach);
        mMainTasks.Drain(); // alerts handed over by workers
        return ended;
    }

    Record mRecord;
    ScriptedInteraction mInteraction;
    TestMainThreadQueue mMainTasks;
    PolledMainThreadQueue mQueue;
    FakeProgressWindows mWindows;
};

// Per-clip bookkeeping of a frame job, filled by its workers.
struct ClipLog {
    explicit ClipLog(int n) : processed(static_cast<std::size_t>(n)), slotOfClip(static_cast<std::size_t>(n)) {}
    std::vector<std::atomic<int>> processed;
    std::vector<std::atomic<int>> slotOfClip;
    std::mutex mutex;                             // guards ranges
    std::vector<std::pair<JobRange, int>> ranges; // each worker's range and slot
};

FrameJobProc CountingProc(ClipLog& log, int extraBadIndex = -1)
{
    return [&log, extraBadIndex](const FrameJobRange& range) {
        {
            std::lock_guard<std::mutex> lock(log.mutex);
            log.ranges.push_back({range.range, getThisThreadIndex()});
        }
        if (extraBadIndex >= 0) {
            Thread_DrawClip(extraBadIndex); // outside the clip list: ignored, worker released
            Thread_MarkWorkingClip(extraBadIndex);
        }
        ForEachClipOfRange(range, [&log](Frame&, int clip) {
            log.processed[static_cast<std::size_t>(clip)]++;
            log.slotOfClip[static_cast<std::size_t>(clip)] = getThisThreadIndex();
            return true;
        });
    };
}

// Each range went to the slot of its position, slots 0 .. T-1 in range order.
void ExpectSlotsFollowRanges(ClipLog& log, int n, int threads)
{
    const std::vector<JobRange> expected = SplitFrameJobRanges(n, threads);
    ASSERT_EQ(log.ranges.size(), expected.size());
    std::set<int> slots;
    for (auto& [range, slot] : log.ranges) {
        ASSERT_GE(slot, 0);
        ASSERT_LT(slot, static_cast<int>(expected.size()));
        EXPECT_EQ(range, expected[static_cast<std::size_t>(slot)]) << "slot " << slot;
        slots.insert(slot);
    }
    EXPECT_EQ(slots.size(), expected.size());
}

TEST_F(JobsTest, EveryClipOnceOverOneTwoAnd64Threads)
{
    for (int threads : {1, 2, 63, 64}) {
        for (int n : {1, 5, threads - 1, threads, threads + 1, 3 * threads + 7}) {
            if (n < 1)
                continue;
            for (bool sync : {true, false}) {
                SCOPED_TRACE(testing::Message() << "threads " << threads << " clips " << n << " sync " << sync);
                gFrames.clear();
                AddClips(n + 3); // three clips are not selected
                gNumThreads = threads;
                gSyncThreadDisplay = sync;
                gPersistantSelectionIndices.resize(static_cast<std::size_t>(n));
                std::iota(gPersistantSelectionIndices.rbegin(), gPersistantSelectionIndices.rend(), 0);
                mRecord = Record{};
                const int openedBefore = mWindows.Opened();

                ClipLog log(n + 3);
                ASSERT_TRUE(RunThreadedFrameProc(CountingProc(log), &RecordingFinal, 0));
                EXPECT_EQ(gNumThreadsRemaining, std::min(n, threads));
                EXPECT_TRUE(IsJobRunning());
                ASSERT_TRUE(RunToEnd());

                for (int c = 0; c < n + 3; ++c)
                    EXPECT_EQ(log.processed[static_cast<std::size_t>(c)], c < n ? 1 : 0) << "clip " << c;
                ExpectSlotsFollowRanges(log, n, threads);
                EXPECT_EQ(mRecord.finals, 1);
                EXPECT_TRUE(mRecord.allDisplayEventsBeforeFinal);
                EXPECT_EQ(mRecord.remainingInFinal, 0);
                EXPECT_TRUE(mRecord.jobActiveInFinal);
                EXPECT_EQ(mRecord.windowOpenInFinal, n >= 2);
                EXPECT_EQ(mWindows.Opened() - openedBefore, n >= 2 ? 1 : 0);
                if (n >= 2) {
                    EXPECT_EQ(mWindows.LastTotal(), n);
                    EXPECT_EQ(mWindows.Steps(), n);
                }
                EXPECT_FALSE(mWindows.IsOpen());
                EXPECT_EQ(mRecord.menuCallsJobActive, (std::vector<bool>{true, false}));
                EXPECT_FALSE(IsJobRunning());
                EXPECT_EQ(gNumThreadsRemaining, 0);
                EXPECT_EQ(mRecord.drawn.size(), static_cast<std::size_t>(n));
                EXPECT_EQ(mRecord.marked.size(), static_cast<std::size_t>(n));
                EXPECT_EQ(mRecord.inspected.size(), static_cast<std::size_t>(n));
                // Scratch images: one per menu thread, of the document's size.
                ASSERT_EQ(gTempGWs.size(), static_cast<std::size_t>(threads));
            }
        }
    }
    EXPECT_EQ(mInteraction.AlertCount(), 0);
    EXPECT_EQ(mInteraction.BeepCount(), 0);
}

TEST_F(JobsTest, LifecycleStressWithSpuriousWakeups)
{
    std::mt19937 random(20261209);
    for (int round = 0; round < 40; ++round) {
        const int n = std::uniform_int_distribution<int>(1, 150)(random);
        const int threads = std::uniform_int_distribution<int>(1, 64)(random);
        const bool sync = random() % 2 == 0;
        SCOPED_TRACE(testing::Message() << "round " << round << " clips " << n << " threads " << threads);
        gFrames.clear();
        AddClips(n);
        gNumThreads = threads;
        gSyncThreadDisplay = sync;
        gPersistantSelectionIndices.resize(static_cast<std::size_t>(n));
        std::iota(gPersistantSelectionIndices.begin(), gPersistantSelectionIndices.end(), 0);
        std::shuffle(gPersistantSelectionIndices.begin(), gPersistantSelectionIndices.end(), random);
        mRecord = Record{};

        ClipLog log(n);
        ASSERT_TRUE(RunThreadedFrameProc(CountingProc(log, n + 5), &RecordingFinal, 0));
        const int workers = std::min(n, threads);
        uint64_t worstPending = 0;
        ASSERT_TRUE(RunToEnd([&] {
            for (int s = 0; s < workers; ++s) {
                worstPending = std::max(worstPending, JobDisplayPendingForTesting(static_cast<uint32_t>(s)));
                if (random() % 3 == 0)
                    WakeJobWorkerForTesting(static_cast<uint32_t>(s)); // a wakeup with nothing acknowledged
            }
        }));
        // A waiting worker never gets a second display event in.
        EXPECT_LE(worstPending, sync ? 1u : 0u);
        for (int c = 0; c < n; ++c)
            EXPECT_EQ(log.processed[static_cast<std::size_t>(c)], 1) << "clip " << c;
        ExpectSlotsFollowRanges(log, n, threads);
        EXPECT_EQ(mRecord.finals, 1);
        EXPECT_TRUE(mRecord.allDisplayEventsBeforeFinal);
        // The two out-of-range events per worker were posted, not acted on.
        EXPECT_EQ(mQueue.Posted(JobEventKind::drawClip) - mQueue.Dispatched(JobEventKind::drawClip), 0u);
        EXPECT_EQ(mRecord.drawn.size(), static_cast<std::size_t>(n));
        EXPECT_EQ(std::count(mRecord.drawn.begin(), mRecord.drawn.end(), n + 5), 0);
    }
}

TEST_F(JobsTest, OutOfRangeIndexStillReleasesItsWorker)
{
    AddClips(3);
    gPersistantSelectionIndices = {0, 1, 2};
    gSyncThreadDisplay = true;
    gNumThreads = 1;
    const uint64_t drawsBefore = mQueue.Posted(JobEventKind::drawClip);
    ASSERT_TRUE(RunThreadedFrameProc(
        [](const FrameJobRange&) {
            Thread_DrawClip(3);
            Thread_MarkWorkingClip(1000);
            Thread_UpdateFrameInspectorWindow(7);
            Thread_DrawClip(-1); // negative: not even posted
        },
        &RecordingFinal, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(mQueue.Posted(JobEventKind::drawClip) - drawsBefore, 1u);
    EXPECT_TRUE(mRecord.drawn.empty());
    EXPECT_TRUE(mRecord.marked.empty());
    EXPECT_TRUE(mRecord.inspected.empty());
    EXPECT_EQ(mRecord.finals, 1);
}

TEST_F(JobsTest, GatheredStepsGoOnWhileTheBarIsDrawnButNeverTwoAhead)
{
    // One worker of a two-item job (so it has a progress window) gathers a
    // step past the interval: it posts it and goes on without waiting for
    // the main thread. Its next gathered step waits for the first one.
    gSyncThreadDisplay = true;
    gNumThreads = 1;
    std::atomic<bool> wentOn{false}, release{false};
    const auto interval = std::chrono::milliseconds(35); // past the 30 ms of gathering
    ASSERT_TRUE(RunThreadedProc({[&] {
                                    std::this_thread::sleep_for(interval);
                                    (void)Thread_GatherWorkingDialogProgressStep();
                                    wentOn = true;
                                    release.wait(false);
                                    std::this_thread::sleep_for(interval);
                                    (void)Thread_GatherWorkingDialogProgressStep();
                                }},
                                2, &RecordingFinal, 0));
    // Not drained meanwhile: a worker waiting for the bar would wait all along.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!wentOn && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(wentOn) << "the worker waited for the bar to be drawn";
    EXPECT_EQ(JobDisplayPendingForTesting(0), wentOn ? 1u : 0u);
    release = true;
    release.notify_all();
    uint64_t worstPending = 0;
    ASSERT_TRUE(RunToEnd([&] { worstPending = std::max(worstPending, JobDisplayPendingForTesting(0)); }));
    EXPECT_LE(worstPending, 1u);
    EXPECT_EQ(mWindows.Steps(), 2);
    EXPECT_EQ(mRecord.finals, 1);
    EXPECT_TRUE(mRecord.allDisplayEventsBeforeFinal);
}

TEST_F(JobsTest, MinimalFeedbackPostsOnlyProgress)
{
    AddClips(6);
    gPersistantSelectionIndices = {0, 1, 2, 3, 4, 5};
    gMinimalVisualFeedback = true;
    ClipLog log(6);
    ASSERT_TRUE(RunThreadedFrameProc(CountingProc(log), &RecordingFinal, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(mQueue.Posted(JobEventKind::drawClip), 0u);
    EXPECT_EQ(mQueue.Posted(JobEventKind::markClip), 0u);
    EXPECT_EQ(mQueue.Posted(JobEventKind::updateInspector), 0u);
    EXPECT_EQ(mQueue.Posted(JobEventKind::progressStep), 6u);
    EXPECT_EQ(mWindows.Steps(), 6);
}

TEST_F(JobsTest, ClipUnderTheMouseIsOneItemWithoutWindow)
{
    AddClips(5);
    gTempSelectionIndex = 3;
    std::atomic<int> worked{-1};
    std::atomic<int> stepAnswer{-1};
    ASSERT_TRUE(RunThreadedFrameProc(
        [&](const FrameJobRange& range) {
            EXPECT_EQ(range.range, (JobRange{-1, 0}));
            ASSERT_EQ(range.clips.size(), 1u);
            worked = range.clips[0];
            stepAnswer = Thread_IncrementWorkingDialogProgressBar();
        },
        &RecordingFinal, 0));
    gTempSelectionIndex = 1; // the mouse moves on during the job
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(worked, 3);
    EXPECT_EQ(stepAnswer, 0); // the one step is the last
    EXPECT_EQ(mWindows.Opened(), 0);
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingFinished);
    EXPECT_EQ(mRecord.finals, 1);

    // A batch dialog hands over the clip it saved when it opened.
    ASSERT_TRUE(RunThreadedFrameProc([&](const FrameJobRange& range) { worked = range.clips.at(0); }, nullptr, 0, 4));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(worked, 4);

    // One selected clip is likewise one item without a window.
    gPersistantSelectionIndices = {2};
    ASSERT_TRUE(RunThreadedFrameProc([&](const FrameJobRange& range) { worked = range.clips.at(0); }, nullptr, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(worked, 2);
    EXPECT_EQ(mWindows.Opened(), 0);
}

TEST_F(JobsTest, NothingToWorkOnStartsNothing)
{
    AddClips(4);
    for (int temp : {-1, 4, 99}) {
        gTempSelectionIndex = temp;
        EXPECT_FALSE(RunThreadedFrameProc([](const FrameJobRange&) { FAIL(); }, &RecordingFinal, 0)) << temp;
    }
    EXPECT_EQ(mInteraction.BeepCount(), 3);
    EXPECT_FALSE(RunThreadedProc({}, 0, &RecordingFinal, 0));
    EXPECT_EQ(mInteraction.BeepCount(), 3); // an empty list is not the user's doing
    EXPECT_FALSE(IsJobActive());
    EXPECT_TRUE(mRecord.menuCallsJobActive.empty());
    EXPECT_EQ(mWindows.Opened(), 0);
    EXPECT_EQ(mRecord.finals, 0);
    EXPECT_EQ(mInteraction.AlertCount(), 0);
}

TEST_F(JobsTest, StaleSelectedIndicesArePassedOver)
{
    AddClips(4);
    gPersistantSelectionIndices = {0, 9, 2, -4, 3};
    ClipLog log(4);
    ASSERT_TRUE(RunThreadedFrameProc(CountingProc(log), &RecordingFinal, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(log.processed[0], 1);
    EXPECT_EQ(log.processed[1], 0);
    EXPECT_EQ(log.processed[2], 1);
    EXPECT_EQ(log.processed[3], 1);
    EXPECT_EQ(mRecord.finals, 1);
}

TEST_F(JobsTest, OneJobAtATime)
{
    AddClips(8);
    gPersistantSelectionIndices = {0, 1, 2, 3, 4, 5, 6, 7};
    ClipLog log(8);
    ASSERT_TRUE(RunThreadedFrameProc(CountingProc(log), &RecordingFinal, 0));
    EXPECT_FALSE(RunThreadedFrameProc(CountingProc(log), &RecordingFinal, 0));
    EXPECT_FALSE(RunThreadedProc({[] {}}, 1, &RecordingFinal, 0));
    EXPECT_EQ(mInteraction.BeepCount(), 2);
    ASSERT_TRUE(RunToEnd());
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(log.processed[static_cast<std::size_t>(c)], 1);
    EXPECT_EQ(mRecord.finals, 1);
}

TEST_F(JobsTest, ThreadThatCannotStartCountsAsDone)
{
    for (int failAt : {0, 2, 5}) {
        SCOPED_TRACE(failAt);
        gFrames.clear();
        AddClips(24);
        gPersistantSelectionIndices.resize(24);
        std::iota(gPersistantSelectionIndices.begin(), gPersistantSelectionIndices.end(), 0);
        gNumThreads = 6;
        mRecord = Record{};
        const int alertsBefore = mInteraction.AlertCount();
        int calls = 0;
        GetJobHooks().startThread = [&](std::function<void()> body) {
            if (calls++ == failAt)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(body));
        };
        ClipLog log(24);
        ASSERT_TRUE(RunThreadedFrameProc(CountingProc(log), &RecordingFinal, 0));
        ASSERT_TRUE(RunToEnd());
        const JobRange lost = SplitJobRanges(24, 6)[static_cast<std::size_t>(failAt)];
        for (int c = 0; c < 24; ++c)
            EXPECT_EQ(log.processed[static_cast<std::size_t>(c)], c >= lost.first && c < lost.end ? 0 : 1) << c;
        EXPECT_EQ(mRecord.finals, 1);
        EXPECT_EQ(mRecord.menuCallsJobActive, (std::vector<bool>{true, false}));
        EXPECT_EQ(mInteraction.AlertCount() - alertsBefore, 1);
        EXPECT_FALSE(mWindows.IsOpen());
    }
}

TEST_F(JobsTest, OutOfMemoryAtTheStartLeavesEverythingAsItWas)
{
    AddClips(6);
    gPersistantSelectionIndices = {0, 1, 2, 3, 4, 5};
    int started = 0;
    GetJobHooks().startThread = [&](std::function<void()> body) {
        ++started;
        return std::thread(std::move(body));
    };

    // The scratch images: every one must be remade at the document's size.
    gImageDim = MakeRect(0, 0, 3, 5);
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(RunThreadedFrameProc([](const FrameJobRange&) {}, &RecordingFinal, 0));
    EXPECT_EQ(mInteraction.AlertCount(), 1);

    // The progress window.
    mWindows.FailNextOpen();
    EXPECT_FALSE(RunThreadedFrameProc([](const FrameJobRange&) {}, &RecordingFinal, 0));
    EXPECT_EQ(mInteraction.AlertCount(), 2);

    EXPECT_EQ(started, 0);
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(gNumThreadsRemaining, 0);
    EXPECT_TRUE(mRecord.menuCallsJobActive.empty());
    EXPECT_EQ(mRecord.finals, 0);
    EXPECT_FALSE(mWindows.IsOpen());

    // And the next job starts normally.
    ClipLog log(6);
    ASSERT_TRUE(RunThreadedFrameProc(CountingProc(log), &RecordingFinal, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(mRecord.finals, 1);
    EXPECT_EQ(mInteraction.AlertCount(), 2);
}

TEST_F(JobsTest, WorkerOutOfMemoryEndsItsPartAndTheJobStillEnds)
{
    AddClips(8);
    gPersistantSelectionIndices = {0, 1, 2, 3, 4, 5, 6, 7};
    ASSERT_TRUE(RunThreadedFrameProc([](const FrameJobRange&) { throw std::bad_alloc(); }, &RecordingFinal, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(mRecord.finals, 1);
    EXPECT_EQ(mInteraction.AlertCount(), 1); // four workers, one alert
    EXPECT_FALSE(IsJobActive());
}

TEST_F(JobsTest, CancelStopsEachWorkerAfterItsCurrentClip)
{
    for (bool sync : {true, false}) {
        SCOPED_TRACE(sync);
        gFrames.clear();
        AddClips(400);
        gPersistantSelectionIndices.resize(400);
        std::iota(gPersistantSelectionIndices.begin(), gPersistantSelectionIndices.end(), 0);
        gNumThreads = 4;
        gSyncThreadDisplay = sync;
        mRecord = Record{};
        std::atomic<int> perSlot[4] = {};
        std::atomic<int> total{0};
        std::atomic<bool> cancelled{false};
        int atCancel[4] = {};
        ASSERT_TRUE(RunThreadedFrameProc(
            [&](const FrameJobRange& range) {
                ForEachClipOfRange(range, [&](Frame&, int) {
                    perSlot[getThisThreadIndex()]++;
                    // Holds the job mid-way until the user has pressed Cancel.
                    if (++total >= 20)
                        cancelled.wait(false);
                    return true;
                });
            },
            &RecordingFinal, 0));
        ASSERT_TRUE(mQueue.DispatchUntil([&] { return total >= 20; }, kJobTimeout));
        for (int s = 0; s < 4; ++s)
            atCancel[s] = perSlot[s];
        mWindows.Cancel();
        cancelled = true;
        cancelled.notify_all();
        EXPECT_FALSE(mWindows.IsOpen()); // the window goes at once
        ASSERT_TRUE(RunToEnd());
        for (int s = 0; s < 4; ++s)
            EXPECT_LE(perSlot[s] - atCancel[s], 1) << "slot " << s;
        EXPECT_LT(total, 400);
        EXPECT_EQ(mRecord.finals, 1);
        EXPECT_EQ(*mWindows.LastStatus(), kWorkingCancelled); // and stays so after the end
    }
}

TEST_F(JobsTest, WrongSizeQuestionAskedOncePerJob)
{
    AddClips(4);
    gNumThreads = 4;
    for (bool sync : {true, false}) {
        for (bool accept : {true, false}) {
            for (bool spelledOut : {true, false}) {
                SCOPED_TRACE(testing::Message() << "sync " << sync << " accept " << accept);
                gSyncThreadDisplay = sync;
                int questions = 0;
                GetJobHooks().askWrongImageDim = [&] {
                    ++questions;
                    // The question's modal loop goes on delivering the other
                    // workers' events.
                    mQueue.DispatchPending();
                    return accept;
                };
                std::latch together(4);
                std::atomic<int> answers[4] = {};
                std::vector<JobWorker> workers;
                for (int w = 0; w < 4; ++w)
                    workers.push_back([&, w] {
                        Thread_DrawClip(w);
                        together.arrive_and_wait();
                        if (spelledOut) {
                            // The picture import's own protocol: custom mutex 0 lets one worker ask.
                            EXPECT_TRUE(lockCustomMutex(0));
                            if (gAcceptBadDimImages == 0)
                                PostWrongImageDimEvent();
                            answers[w] = gAcceptBadDimImages.load();
                            EXPECT_TRUE(unlockCustomMutex(0));
                        } else {
                            answers[w] = AskWrongImageDimOnce();
                        }
                        Thread_DrawClip(w);
                        answers[w] = answers[w] * 10 + AskWrongImageDimOnce(); // later pictures: no new question
                    });
                ASSERT_TRUE(RunThreadedProc(std::move(workers), 4, &RecordingFinal, 2));
                ASSERT_TRUE(RunToEnd());
                EXPECT_EQ(questions, 1);
                const int expected = accept ? 11 : 22;
                for (int w = 0; w < 4; ++w)
                    EXPECT_EQ(answers[w], expected) << w;
            }
        }
    }
}

TEST_F(JobsTest, CustomMutexes)
{
    std::vector<JobWorker> workers;
    int shared = 0; // guarded by custom mutex 1
    for (int w = 0; w < 8; ++w)
        workers.push_back([&] {
            EXPECT_FALSE(lockCustomMutex(2));
            EXPECT_FALSE(lockCustomMutex(-1));
            for (int k = 0; k < 1000; ++k) {
                ASSERT_TRUE(lockCustomMutex(1));
                ++shared;
                ASSERT_TRUE(unlockCustomMutex(1));
            }
        });
    gNumThreads = 8;
    ASSERT_TRUE(RunThreadedProc(std::move(workers), 8, nullptr, 2));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(shared, 8000);

    // A job without custom mutexes: the calls do nothing and succeed.
    std::atomic<int> results{0};
    ASSERT_TRUE(RunThreadedProc({[&] { results = lockCustomMutex(0) + unlockCustomMutex(5); }}, 1, nullptr, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(results, 2);
}

TEST_F(JobsTest, ScratchImagesFollowTheDocumentSize)
{
    AddClips(4);
    gPersistantSelectionIndices = {0, 1, 2, 3};
    gNumThreads = 4;
    // Left over from a document of another size, and too many.
    for (int i = 0; i < 6; ++i)
        gTempGWs.push_back(MakeImage(7, 5));
    gTempGWs[1] = MakeImage(kClipSide, kClipSide);
    ASSERT_TRUE(RunThreadedFrameProc(
        [](const FrameJobRange&) {
            // A resample makes each worker's scratch image the new size.
            (void)ThisThreadScratchImage(MakeRect(0, 0, 9, 11));
        },
        nullptr, 0));
    ASSERT_TRUE(RunToEnd());
    gImageDim = MakeRect(0, 0, 9, 11); // the resample's final procedure
    ASSERT_EQ(gTempGWs.size(), 4u);

    gImageDim = MakeRect(0, 0, 6, 3); // closed and reopened at another size
    std::atomic<int> wrongSize{0};
    ASSERT_TRUE(RunThreadedFrameProc(
        [&](const FrameJobRange&) {
            const GWorldWrapper& mine = *gTempGWs[static_cast<std::size_t>(getThisThreadIndex())];
            if (mine.Width() != 3 || mine.Height() != 6)
                ++wrongSize;
        },
        nullptr, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(wrongSize, 0);
    ASSERT_EQ(gTempGWs.size(), 4u);
    for (const auto& image : gTempGWs)
        EXPECT_TRUE(image->Width() == 3 && image->Height() == 6);
}

TEST_F(JobsTest, AppendsRaceDisplayEventsUnderTheClipListLock)
{
    AddClips(1);
    gNumThreads = 4;
    std::vector<JobWorker> workers;
    std::mutex appendedMutex; // guards appended
    std::vector<int> appended;
    for (int w = 0; w < 4; ++w)
        workers.push_back([&] {
            for (int k = 0; k < 25; ++k) {
                auto original = MakeImage(kClipSide, kClipSide);
                auto modified = MakeImage(kClipSide, kClipSide);
                const int index = AppendFrame(std::make_unique<Frame>(0, original.release(), modified.release()));
                {
                    std::lock_guard<std::mutex> lock(appendedMutex);
                    appended.push_back(index);
                }
                Thread_DrawClip(index);
                Thread_DrawClip(index + 3); // may or may not exist yet when the main thread looks
                if (!Thread_IncrementWorkingDialogProgressBar())
                    return;
            }
        });
    ASSERT_TRUE(RunThreadedProc(std::move(workers), 100, &RecordingFinal, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(FrameCount(), 101);
    EXPECT_EQ(appended.size(), 100u);
    for (int index : appended)
        EXPECT_GE(std::count(mRecord.drawn.begin(), mRecord.drawn.end(), index), 1) << index;
    for (int index : mRecord.drawn)
        EXPECT_LT(index, 101);
    EXPECT_EQ(mWindows.Steps(), 100);
}

TEST_F(JobsTest, WorkerCallsOutsideAJobDoNothing)
{
    // The main thread is not a worker: no events, no waiting, stop.
    Thread_DrawClip(0);
    Thread_MarkWorkingClip(0);
    Thread_UpdateFrameInspectorWindow(0);
    PostThreadDoneEvent(&RecordingFinal);
    EXPECT_FALSE(Thread_IncrementWorkingDialogProgressBar());
    EXPECT_EQ(AskWrongImageDimOnce(), 2);
    EXPECT_TRUE(lockCustomMutex(0));
    EXPECT_EQ(mQueue.DispatchPending(), 0);
    EXPECT_EQ(getThisThreadIndex(), kNoThreadSlot);
    EXPECT_EQ(mRecord.finals, 0);
}

TEST_F(JobsTest, FinalProcedureNamedByTheWorkersRuns)
{
    static int sNamed = 0;
    sNamed = 0;
    gNumThreads = 3;
    std::vector<JobWorker> workers;
    for (int w = 0; w < 3; ++w)
        workers.push_back([] {
            PostThreadDoneEvent([] { ++sNamed; });
            PostThreadDoneEvent(&RecordingFinal); // only the first report counts
            Thread_DrawClip(0);                   // nothing after the report
        });
    ASSERT_TRUE(RunThreadedProc(std::move(workers), 3, nullptr, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(sNamed, 1);
    EXPECT_EQ(mRecord.finals, 0);
    EXPECT_EQ(mQueue.Posted(JobEventKind::jobDone), 3u);
}

} // namespace

namespace {

bool sNestedStarted = true;

void FinalThatStartsAJob()
{
    sNestedStarted = RunThreadedProc({[] {}}, 1, nullptr, 0);
}

} // namespace

// A job started by a final procedure would be torn down by the end that
// follows it: debug builds stop there, release builds refuse with a beep.
#ifdef NDEBUG
TEST_F(JobsTest, FinalProcedureCannotStartAJob)
{
    ASSERT_TRUE(RunThreadedProc({[] {}}, 1, &FinalThatStartsAJob, 0));
    ASSERT_TRUE(RunToEnd());
    EXPECT_FALSE(sNestedStarted);
    EXPECT_EQ(mInteraction.BeepCount(), 1);
    EXPECT_FALSE(IsJobActive());
}
#else
TEST_F(JobsTest, FinalProcedureCannotStartAJob)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            if (RunThreadedProc({[] {}}, 1, &FinalThatStartsAJob, 0))
                (void)RunToEnd();
        },
        "sInFinalProc");
}
#endif
