// tests/gui/StackWindowDisplayTest.cpp: the summed stack on the program's
// windows: the frame-stack window sized to the stack and showing it, hidden
// when the stack goes, and the progress window's Cancel ending a build.
#include "engine/StackWindowDisplay.h"

#include <QCoreApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/MainWindows.h"
#include "shell/WorkingDialog.h"
#include "engine/ClipsWindow.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/StackDisplay.h"
#include "engine/SummedStack.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

class StackWindowDisplayTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        StartShell({});
        InstallStackWindowDisplay();
    }
    void TearDown() override
    {
        DeleteFrameStack();
        EngineFixture::TearDown();
        EndShell();
        SetStackDisplay(nullptr);
    }
};

} // namespace

TEST_F(StackWindowDisplayTest, StackShowsInItsWindowAndGoesWithIt)
{
    ScriptedInteraction interaction;
    gImageDim = MakeRect(0, 0, 30, 40);
    for (int i = 0; i < 3; ++i) {
        Frame* frame = AddClip(40, 30, static_cast<uint32_t>(i));
        FrameLease original = frame->GetOriginal();
        FillFlat(*original, static_cast<uint8_t>(60 * i), 100, 200);
        frame->UpdateFrameMinimal();
    }
    ASSERT_TRUE(CreateInitialStack());
    ASSERT_TRUE(gFrameStackWindow->isVisible());
    EXPECT_EQ(gFrameStackWindow->ContentSize(), QSize(40, 30));
    EXPECT_EQ(gWorkingDialog, nullptr);
    Canvas* canvas = ContentCanvas(gFrameStackWindow);
    ASSERT_NE(canvas, nullptr);
    const QColor shown = canvas->Image().pixelColor(10, 10);
    EXPECT_EQ(shown.red(), 60); // (0 + 60 + 120) / 3
    EXPECT_EQ(shown.green(), 100);
    EXPECT_EQ(shown.blue(), 200);
    DeleteFrameStack();
    EXPECT_FALSE(gFrameStackWindow->isVisible());
}

TEST_F(StackWindowDisplayTest, CancelInTheProgressWindowEndsTheBuild)
{
    gImageDim = MakeRect(0, 0, 8, 8);
    for (int i = 0; i < 40; ++i)
        AddClip(8, 8, static_cast<uint32_t>(i));
    StackDisplay& display = GetStackDisplay();
    // The window's Cancel as the user would press it, once the build is under way.
    class CancellingDisplay final : public StackDisplay {
    public:
        explicit CancellingDisplay(StackDisplay& real) : mReal(real) {}
        void ShowStackWindow(int w, int h) override { mReal.ShowStackWindow(w, h); }
        void ResizeStackWindow(int w, int h) override { mReal.ResizeStackWindow(w, h); }
        void HideStackWindows() override { mReal.HideStackWindows(); }
        void DrawStackImage(const GWorldWrapper& i) override { mReal.DrawStackImage(i); }
        void DrawStackRect(const GWorldWrapper& i, Rect r) override { mReal.DrawStackRect(i, r); }
        void StackStateChanged() override { mReal.StackStateChanged(); }
        void OpenProgress(int total) override { mReal.OpenProgress(total); }
        void SetProgress(int value) override
        {
            mReal.SetProgress(value);
            if (value == 20 && gWorkingDialog)
                gWorkingDialog->HandleDialogItemHit(1000);
        }
        bool ProgressCancelled() override { return mReal.ProgressCancelled(); }
        void CloseProgress() override { mReal.CloseProgress(); }
        void MarkWorkingClip(int i) override { mReal.MarkWorkingClip(i); }
        void DrawClip(int i) override { mReal.DrawClip(i); }

    private:
        StackDisplay& mReal;
    } cancelling(display);
    SetStackDisplay(&cancelling);
    EXPECT_FALSE(CreateInitialStack());
    EXPECT_FALSE(HaveSummedStack());
    EXPECT_EQ(gNumFramesInStack, 0.0);
    EXPECT_FALSE(gFrameStackWindow->isVisible());
    EXPECT_EQ(gWorkingDialog, nullptr);
    SetStackDisplay(&display);
}

TEST_F(StackWindowDisplayTest, AQuickStackEndsWithEveryClipDrawn)
{
    // The marks and redraws of a stack faster than one screen update are
    // gathered; what the clips window holds at the end is a full redraw.
    gImageDim = MakeRect(0, 0, 8, 8);
    for (int i = 0; i < 40; ++i)
        AddClip(8, 8, static_cast<uint32_t>(i))->SetAlignment(MakePoint(0, 1), 1); // dirty: rendered by the stack
    SetMaxClipDim(gImageDim);
    FitClipsWindowToNumFrames(true);
    DrawClipsWindow();
    Canvas* canvas = ContentCanvas(gClipsWindow);
    ASSERT_NE(canvas, nullptr);
    ASSERT_GE(gNumClipsPerClipWindowPage, 2);
    ASSERT_TRUE(CreateInitialStack());
    const QImage shown = canvas->Image().copy();
    DrawClipsWindow();
    EXPECT_TRUE(shown == canvas->Image());
}
