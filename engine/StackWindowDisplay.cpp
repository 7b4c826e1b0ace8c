// engine/StackWindowDisplay.cpp: StackDisplay on the frame-stack window, the
// progress window, the clips window and the menu state.
#include "engine/StackWindowDisplay.h"

#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "shell/MainWindowSet.h"
#include "shell/ShellHooks.h"
#include "shell/WorkingDialog.h"
#include "engine/ClipsWindow.h"
#include "engine/FrameList.h"
#include "engine/StackDisplay.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/BusyScope.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/ShellWindow.h"

namespace {

std::function<void(Canvas&)> sOverlay; // main thread only

class StackWindowDisplay final : public StackDisplay {
public:
    void ShowStackWindow(int width, int height) override
    {
        if (!gFrameStackWindow)
            return;
        gFrameStackWindow->SetContentSize(width, height);
        ShowAndRaise(gFrameStackWindow);
    }
    void ResizeStackWindow(int width, int height) override
    {
        if (gFrameStackWindow)
            gFrameStackWindow->SetContentSize(width, height);
    }
    void HideStackWindows() override
    {
        if (Canvas* canvas = ContentCanvas(gFrameStackWindow)) {
            canvas->FillRect(canvas->PortBounds(), RGBColor{0xFFFF, 0xFFFF, 0xFFFF});
            canvas->Flush();
        }
        if (gFrameStackWindow)
            gFrameStackWindow->hide();
        if (gPixelValuesWindow)
            gPixelValuesWindow->hide();
    }
    void DrawStackImage(const GWorldWrapper& image) override
    {
        Canvas* canvas = ContentCanvas(gFrameStackWindow);
        if (!canvas)
            return;
        canvas->CopyBitsFrom(image, image.GetDim(), canvas->PortBounds());
        if (sOverlay)
            sOverlay(*canvas);
        canvas->Flush();
    }
    void DrawStackRect(const GWorldWrapper& image, Rect) override
    {
        // The whole image with the whole-window mapping: the pixels inside
        // the rectangle are then exactly those of a full redraw.
        DrawStackImage(image);
    }
    void StackStateChanged() override { UpdateMenuState(); }

    // While the progress window is up, the clips' marks and redraws, the
    // bar and the event pump are gathered and shown together at most once
    // every kUpdateInterval (the first one interval after the window
    // opens), and everything left is shown when the window closes: a quick
    // stack of many clips costs no more screen work than a few updates (one
    // quicker than an interval, none: its end is drawn once), and ends
    // showing what drawing every step would have shown. A clip that was
    // rendered and in memory when it was marked, still is when it is
    // redrawn, and whose mark never reached the screen looks as it did: its
    // redraw is left out.
    void OpenProgress(int total) override
    {
        mBusy = std::make_unique<BusyScope>();
        mPendingDraws.clear();
        mUnchanged.clear();
        mMarked = -1;
        mProgress = -1;
        mLastUpdate = Clock::now();
        if (gWorkingDialog)
            return; // another operation's window: used, never deleted here
        mOwn = std::make_unique<WorkingDialog>(total, true, false);
        gWorkingDialog = mOwn.get();
        mStatus = mOwn->SharedRunStatus();
    }
    void SetProgress(int value) override
    {
        if (!mBusy) {
            DrawProgress(value);
            return;
        }
        mProgress = value;
    }
    bool ProgressCancelled() override
    {
        if (!mBusy || Clock::now() - mLastUpdate >= kUpdateInterval) {
            ShowGathered();
            BusyScope::Pump();
            mLastUpdate = Clock::now();
        }
        return mStatus && mStatus->load() != kWorkingRunning;
    }
    void CloseProgress() override
    {
        ShowGathered();
        if (mOwn && gWorkingDialog == mOwn.get()) {
            gWorkingDialog = nullptr;
            mOwn.reset();
        } else {
            // Ended by Cancel: the window deletes itself once its click is handled.
            (void)mOwn.release();
        }
        mStatus.reset();
        mBusy.reset();
        mUnchanged.clear();
    }

    void MarkWorkingClip(int index) override
    {
        if (!mBusy) {
            ::MarkWorkingClip(index);
            return;
        }
        mMarked = index;
        SetUnchanged(index, Unchanged(index));
    }
    void DrawClip(int index) override
    {
        if (!mBusy) {
            DrawClipNow(index, false);
            return;
        }
        if (index == mMarked)
            mMarked = -1; // redrawn (or unchanged): its mark is gone
        if (index >= 0 && static_cast<std::size_t>(index) < mUnchanged.size() &&
            mUnchanged[static_cast<std::size_t>(index)] && Unchanged(index))
            return;
        mPendingDraws.push_back(index);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kUpdateInterval{30};

    static void DrawClipNow(int index, bool flush)
    {
        if (Frame* frame = FrameAt(index))
            DrawFrameClip(*frame, flush);
    }
    // The clip is in memory and rendered: its thumbnail and marks are those
    // last drawn.
    static bool Unchanged(int index)
    {
        const Frame* frame = FrameAt(index);
        return frame && frame->InMemory() && !frame->IsDirty();
    }
    void SetUnchanged(int index, bool unchanged)
    {
        if (index < 0)
            return;
        const std::size_t i = static_cast<std::size_t>(index);
        if (i >= mUnchanged.size())
            mUnchanged.resize(i + 1, 0);
        mUnchanged[i] = unchanged ? 1 : 0;
    }
    static void DrawProgress(int value)
    {
        if (gWorkingDialog)
            gWorkingDialog->DrawWorkingDialogProgressBar(value);
    }
    // The gathered redraws, then the latest clip still being worked on, then the bar.
    void ShowGathered()
    {
        for (std::size_t i = 0; i < mPendingDraws.size(); ++i)
            DrawClipNow(mPendingDraws[i], mMarked < 0 && i + 1 == mPendingDraws.size());
        mPendingDraws.clear();
        if (mMarked >= 0) {
            ::MarkWorkingClip(mMarked);
            SetUnchanged(mMarked, false); // its mark is on the screen
        }
        mMarked = -1;
        if (mProgress >= 0)
            DrawProgress(mProgress);
        mProgress = -1;
    }

    std::unique_ptr<BusyScope> mBusy;
    std::unique_ptr<WorkingDialog> mOwn;
    std::shared_ptr<const WorkingRunStatus> mStatus;
    std::vector<int> mPendingDraws; // clips redrawn since the last update, in order
    std::vector<char> mUnchanged;   // per clip: rendered and in memory when marked, its mark not shown
    int mMarked = -1;               // the clip last marked and not redrawn since; -1 none
    int mProgress = -1;             // the bar's value not yet shown; -1 none
    Clock::time_point mLastUpdate;
};

} // namespace

void InstallStackWindowDisplay()
{
    static StackWindowDisplay display;
    SetStackDisplay(&display);
}

void SetStackOverlay(std::function<void(Canvas& stackCanvas)> overlay)
{
    sOverlay = std::move(overlay);
}
