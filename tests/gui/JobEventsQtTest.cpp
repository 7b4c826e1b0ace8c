// tests/gui/JobEventsQtTest.cpp: jobs through the Qt event loop and the real
// progress window: events reach the main thread in order, the bar steps,
// Cancel in the window stops the workers and the window goes.
#include "shell/QtMainThreadQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "engine/ClipJobs.h"
#include "shell/Jobs.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "shell/WorkingDialog.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "shell/ScratchImages.h"
#include "platform/qt/MouseTracking.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/TestImages.h"

namespace {

// A job that has not ended by then has hung.
constexpr int kTimeoutMs = 60000;

QEventLoop* sLoop = nullptr;
int sFinals = 0;
bool sWindowInFinal = false;
int sBarStepsInFinal = -1;

void QuittingFinal()
{
    ++sFinals;
    sWindowInFinal = gWorkingDialog != nullptr;
    sBarStepsInFinal = gWorkingDialog ? gWorkingDialog->Current() : -1;
    if (sLoop)
        sLoop->quit();
}

class JobEventsQtTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        InstallQtJobEvents();
        GetFrameJobDisplay().drawClip = [this](Frame&, int clip) {
            mDrawn.push_back(clip);
            mOnMainThread = mOnMainThread && std::this_thread::get_id() == mMainThread;
            if (mOnDraw)
                mOnDraw();
        };
        GetFrameJobDisplay().markWorkingClip = nullptr;
        GetFrameJobDisplay().updateFrameInspector = nullptr;
        gMaxClipDim = MakeRect(0, 0, 2, 2);
        gImageDim = MakeRect(0, 0, 2, 2);
        for (int i = 0; i < 8; ++i)
            AppendFrame(std::make_unique<Frame>(i, MakeImage(2, 2).release(), MakeImage(2, 2).release()));
        gNumThreads = 4;
        gSyncThreadDisplay = true;
        sFinals = 0;
    }
    void TearDown() override
    {
        GetFrameJobDisplay().drawClip = nullptr;
        gFrames.clear();
        gTempGWs.clear();
        gImageDim = Rect{};
        QCoreApplication::processEvents(); // deferred deletions
    }

    // Runs the event loop until the job's final procedure; false on timeout.
    static bool RunJobToEnd()
    {
        QEventLoop loop;
        sLoop = &loop;
        bool timedOut = false;
        QTimer::singleShot(kTimeoutMs, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        if (IsJobActive())
            loop.exec();
        sLoop = nullptr;
        return !timedOut && !IsJobActive();
    }

    std::vector<int> mDrawn;
    bool mOnMainThread = true;
    std::thread::id mMainThread = std::this_thread::get_id();
    std::function<void()> mOnDraw;
    std::chrono::steady_clock::time_point mDeadline;
};

} // namespace

TEST_F(JobEventsQtTest, EventsArriveInOrderAndTheBarSteps)
{
    for (bool sync : {true, false}) {
        gSyncThreadDisplay = sync;
        mDrawn.clear();
        sFinals = 0;
        std::vector<JobWorker> workers;
        for (int w = 0; w < 4; ++w)
            workers.push_back([w] {
                for (int k = 0; k < 2; ++k) {
                    Thread_DrawClip(2 * w + k);
                    if (!Thread_IncrementWorkingDialogProgressBar())
                        return;
                }
            });
        ASSERT_TRUE(RunThreadedProc(std::move(workers), 8, &QuittingFinal, 0));
        ASSERT_NE(gWorkingDialog, nullptr);
        EXPECT_TRUE(IsJobRunning());
        ASSERT_TRUE(RunJobToEnd());
        EXPECT_EQ(sFinals, 1);
        EXPECT_TRUE(sWindowInFinal);
        EXPECT_EQ(sBarStepsInFinal, 8);
        EXPECT_EQ(gWorkingDialog, nullptr);
        EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingFinished);
        EXPECT_TRUE(mOnMainThread);
        // Each worker's own events keep their order.
        ASSERT_EQ(mDrawn.size(), 8u);
        for (int w = 0; w < 4; ++w) {
            const auto first = std::find(mDrawn.begin(), mDrawn.end(), 2 * w);
            const auto second = std::find(mDrawn.begin(), mDrawn.end(), 2 * w + 1);
            EXPECT_LT(first, second) << w;
        }
        EXPECT_FALSE(IsJobRunning());
    }
}

TEST_F(JobEventsQtTest, CancelInTheWindowStopsTheWorkers)
{
    gNumThreads = 2;
    std::atomic<int> items{0};
    std::vector<JobWorker> workers;
    for (int w = 0; w < 2; ++w)
        workers.push_back([&items] {
            for (int k = 0; k < 1000; ++k) {
                ++items;
                Thread_DrawClip(0);
                if (!Thread_IncrementWorkingDialogProgressBar())
                    return;
            }
        });
    mOnDraw = [this] {
        if (mDrawn.size() == 10 && gWorkingDialog) {
            EXPECT_TRUE(gWorkingDialog->HandleDialogItemHit(1000));
            EXPECT_EQ(gWorkingDialog, nullptr); // gone at once
        }
    };
    ASSERT_TRUE(RunThreadedProc(std::move(workers), 2000, &QuittingFinal, 0));
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(sFinals, 1);
    EXPECT_FALSE(sWindowInFinal);
    // With the handshake each worker is held at its draw: one more item each at most.
    EXPECT_LE(items.load(), 10 + 2);
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingCancelled);
    mOnDraw = nullptr;
}

TEST_F(JobEventsQtTest, AJobEndingDuringADragEndsAfterTheRelease)
{
    gNumThreads = 1;
    gSyncThreadDisplay = false;
    std::vector<JobWorker> workers;
    workers.push_back([] {
        Thread_DrawClip(3);
        (void)Thread_IncrementWorkingDialogProgressBar();
    });
    QWidget window;
    window.resize(50, 50);
    window.show();
    int finalsDuringDrag = -1;
    size_t drawsDuringDrag = 99;
    int heldAtRelease = 0;
    // Release once the worker's draw and done events are both held.
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const bool timedOut = std::chrono::steady_clock::now() > mDeadline;
        if (HeldJobEventsForTesting() < 2 && !timedOut)
            return;
        poll.stop();
        finalsDuringDrag = sFinals;
        drawsDuringDrag = mDrawn.size();
        heldAtRelease = HeldJobEventsForTesting();
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(window.mapToGlobal(QPoint(5, 5))),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &release);
    });
    mDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    poll.start();
    ASSERT_TRUE(RunThreadedProc(std::move(workers), 1, &QuittingFinal, 0));
    TrackMouseUntilRelease(&window, [](QPoint) {});
    EXPECT_EQ(heldAtRelease, 2);
    EXPECT_EQ(finalsDuringDrag, 0);
    EXPECT_EQ(drawsDuringDrag, 0u);
    // Handed on in order as the drag ended: the draw, then the job's end.
    EXPECT_EQ(HeldJobEventsForTesting(), 0);
    EXPECT_EQ(mDrawn, std::vector<int>{3});
    EXPECT_EQ(sFinals, 1);
    EXPECT_FALSE(IsJobActive());
}
