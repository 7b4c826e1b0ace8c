// tests/gui/CloseDocumentTest.cpp: closing a whole document of the real engine:
// clips (one swapped out), stack, dark and flat frames, mask, bounds rectangle
// and both selections all go, and the menus are back to their start state.
#include "app/MainWindows.h"

#include <set>

#include <QAction>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellHooks.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/gui/MainWindowsTestSupport.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

class CloseDocumentTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
    }
    void TearDown() override
    {
        EndShell();
        GetShellHooks() = ShellHooks{};
        EngineFixture::TearDown();
    }
    TemporaryPreferences mPrefs;
};

} // namespace

TEST_F(CloseDocumentTest, EverythingIsReleasedAndTheMenusAreAsAtStart)
{
    StartShell({});
    ScriptedInteraction ui;
    const std::vector<std::set<int>> startMenus = MenuSnapshot();

    gImageDim = MakeRect(0, 0, 24, 32);
    for (uint32_t seed = 1; seed <= 3; ++seed)
        AddClip(32, 24, seed);
    ASSERT_EQ(gFrames[1]->TrySendToTempDiskFile(), Frame::SwapOutResult::swapped);
    ASSERT_GT(TempFileCount(), 0);
    gDarkFrame = MakeImage(32, 24);
    gFlatFrame = MakeImage(32, 24);
    gHotPixelMask.Reset(32, 24);
    ASSERT_TRUE(CreateInitialStack());
    ASSERT_TRUE(HaveSummedStack());
    gOperationBoundsRect = MakeRect(2, 2, 10, 10);
    gTempSelectionIndex = 1;
    gPersistantSelectionIndices = {0, 2};
    gClipWindowFirstClip = 2;
    gClipsWindow->SetContentSize(200, 100);
    for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow})
        w->show();
    UpdateMenuState();
    ASSERT_NE(MenuSnapshot(), startMenus);

    CloseMainWindow();
    EXPECT_TRUE(gFrames.empty());
    EXPECT_EQ(TempFileCount(), 0);
    EXPECT_FALSE(HaveSummedStack());
    EXPECT_EQ(gDarkFrame, nullptr);
    EXPECT_EQ(gFlatFrame, nullptr);
    EXPECT_FALSE(gHotPixelMask.HasAnyHotPixel());
    EXPECT_EQ(gHotPixelMask.width, 0);
    EXPECT_EQ(gImageDim, Rect{});
    EXPECT_EQ(gTempSelectionIndex, -1);
    EXPECT_TRUE(gPersistantSelectionIndices.empty());
    EXPECT_EQ(gClipWindowFirstClip, 0);
    EXPECT_FALSE(OperationBoundsRectExists());
    EXPECT_EQ(gClipsWindow->ContentSize(), QSize(1, 1));
    for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow})
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_TRUE(gCommandsWindow->isVisible());
    EXPECT_EQ(MenuSnapshot(), startMenus);
    EXPECT_EQ(ui.AlertCount(), 0);
}
