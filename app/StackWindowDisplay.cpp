// app/StackWindowDisplay.cpp: StackDisplay on the frame-stack window, the
// progress window, the clips window and the menu state.
#include "app/StackWindowDisplay.h"

#include <memory>

#include "app/MainWindows.h"
#include "app/MenuState.h"
#include "app/WorkingDialog.h"
#include "engine/ClipsWindow.h"
#include "engine/FrameList.h"
#include "engine/StackDisplay.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/BusyScope.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/ShellWindow.h"
#include "tools/StackOverlay.h"

namespace {

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
        DrawToolOverlayOnStack(*canvas);
        canvas->Flush();
    }
    void DrawStackRect(const GWorldWrapper& image, Rect) override
    {
        // The whole image with the whole-window mapping: the pixels inside
        // the rectangle are then exactly those of a full redraw.
        DrawStackImage(image);
    }
    void StackStateChanged() override { UpdateMenuState(); }

    void OpenProgress(int total) override
    {
        mBusy = std::make_unique<BusyScope>();
        if (gWorkingDialog)
            return; // another operation's window: used, never deleted here
        mOwn = std::make_unique<WorkingDialog>(total, true, false);
        gWorkingDialog = mOwn.get();
        mStatus = mOwn->SharedRunStatus();
    }
    void SetProgress(int value) override
    {
        if (gWorkingDialog)
            gWorkingDialog->DrawWorkingDialogProgressBar(value);
    }
    bool ProgressCancelled() override
    {
        BusyScope::Pump();
        return mStatus && mStatus->load() != kWorkingRunning;
    }
    void CloseProgress() override
    {
        if (mOwn && gWorkingDialog == mOwn.get()) {
            gWorkingDialog = nullptr;
            mOwn.reset();
        } else {
            // Ended by Cancel: the window deletes itself once its click is handled.
            (void)mOwn.release();
        }
        mStatus.reset();
        mBusy.reset();
    }

    void MarkWorkingClip(int index) override { ::MarkWorkingClip(index); }
    void DrawClip(int index) override
    {
        if (Frame* frame = FrameAt(index))
            DrawFrameClip(*frame, false);
    }

private:
    std::unique_ptr<BusyScope> mBusy;
    std::unique_ptr<WorkingDialog> mOwn;
    std::shared_ptr<const WorkingRunStatus> mStatus;
};

} // namespace

void InstallStackWindowDisplay()
{
    static StackWindowDisplay display;
    SetStackDisplay(&display);
}
