// tests/gui/KeyboardMouseTest.cpp: the keys and clicks of the main windows:
// which command each chooses, refusals and their beeps, held mode keys and
// their releases, paging, and aspect-kept resizing and zooming.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWindow>

#include "shell/AlignmentModes.h"
#include "app/ClipsWindowMouse.h"
#include "shell/DialogPointers.h"
#include "engine/ClipViewWindow.h"
#include "app/HeldKeys.h"
#include "app/MainWindowInput.h"
#include "shell/InputActions.h"
#include "shell/QtMainThreadQueue.h"
#include "shell/Jobs.h"
#include "app/KeyboardHandler.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "shell/PointerInput.h"
#include "shell/ShellHooks.h"
#include "app/WindowResizing.h"
#include "engine/ClipSelection.h"
#include "engine/ClipsWindowLayout.h"
#include "shell/ImageDim.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "platform/qt/Screens.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tests/unit/EngineFixture.h"

namespace {

class WindowsEnvironment final : public testing::Environment {
public:
    void TearDown() override
    {
        DestroyMainWindows();
        DestroyMenuBarForTesting();
    }
};
testing::Environment* const kWindowsEnvironment = testing::AddGlobalTestEnvironment(new WindowsEnvironment);

constexpr int kCmd = 0x0100, kShift = 0x0200, kOpt = 0x0800, kCtrl = 0x1000;

// Stands in for a filter dialog that is open (never dereferenced).
alignas(16) char sDialogStandIn[16];

class KeyboardMouseTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        SetScreensForTesting({ScreenArea{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}});
        if (!gClipsWindow) {
            MenuBarInit();
            WindowInit();
        }
        InstallHeldKeyTracker();
        SetAlignmentModes(AlignmentModes{});
        gLockFrameInspectorWindowToFrameOne = false;
        gTempSelectionIndex = -1;
        ClearPersistantSelection();
        PointerScript script;
        script.position = QPoint(-10, -10);
        script.front = gClipsWindow;
        SetPointerScriptForTesting(script);
        GetShellHooks().jobRunning = [this] { return mJobRunning; };
        Record();
    }

    void TearDown() override
    {
        // Let go of anything a test left held.
        QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
        QApplication::sendEvent(qApp, &inactive);
        gGaussianBlurInterface = nullptr;
        GetShellHooks().jobRunning = nullptr;
        GetInputActions() = InputActions{};
        SetPointerScriptForTesting(std::nullopt);
        EngineFixture::TearDown();
    }

    // Every input action writes its name and arguments to mCalls.
    void Record()
    {
        InputActions& a = GetInputActions();
        auto note = [this](std::string s) { mCalls.push_back(std::move(s)); };
        a.toggleInclusion = [note](bool all) { note(all ? "toggle all" : "toggle"); };
        a.alignByDifference = [note] { note("difference " + std::to_string(gAutoAlignmentSearchSize)); };
        a.alignByCentroid = [note] { note("centroid"); };
        a.alignByCrossCorrelation = [note] { note("cross-correlation"); };
        a.alignRotationally = [note] { note("rotation " + std::to_string(gAutoRotationalAlignmentSearchSize)); };
        a.clearAlignment = [note] { note("clear"); };
        a.addRemoveSelection = [note](bool same, QPoint) { note(same ? "select same" : "select"); };
        a.subtractDarkFrame = [note](bool force) { note(force ? "dark force" : "dark"); };
        a.divideFlatFrame = [note](bool force) { note(force ? "flat force" : "flat"); };
        a.nudgeAlignment = [note](char key, bool repeat, int level) {
            note("nudge " + std::to_string(key) + (repeat ? " repeat " : " ") + std::to_string(level));
        };
        a.nudgeStack = [note](char key) { note("stack " + std::to_string(key)); };
        a.nudgeRotation = [note](bool negative, bool repeat, bool big) {
            note(std::string("rotate ") + (negative ? "-" : "+") + (repeat ? " repeat" : "") + (big ? " big" : ""));
        };
        a.deleteFrames = [note] { note("delete"); };
        a.setReferenceFrame = [note] { note("reference"); };
        a.unDebayer = [note] { note("undebayer"); };
        a.openDebayerDialog = [note] { note("debayer dialog"); };
        a.openMedianFilterDialog = [note] { note("median dialog"); };
        a.openNormalizeDialog = [note] { note("normalize dialog"); };
    }

    // Runs the event loop until the job started last has ended; false after 60 s.
    static bool RunJobToEnd()
    {
        QElapsedTimer timer;
        timer.start();
        while (IsJobActive() && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return !IsJobActive();
    }

    std::vector<std::string> TakeCalls()
    {
        std::vector<std::string> calls;
        calls.swap(mCalls);
        return calls;
    }

    // A key event as the windowing system delivers it: to the front window.
    static void SendKey(QEvent::Type type, int key, Qt::KeyboardModifiers mods, const QString& text,
                        quint32 scanCode = 0, bool autoRepeat = false)
    {
        QKeyEvent event(type, key, mods, scanCode, 0, 0, text, autoRepeat);
        gClipsWindow->winId();
        QApplication::sendEvent(gClipsWindow->windowHandle(), &event);
    }
    static void Press(int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        SendKey(QEvent::KeyPress, key, mods, text);
    }
    static void Release(int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        SendKey(QEvent::KeyRelease, key, mods, text);
    }
    static void Tap(int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        Press(key, text, mods);
        Release(key, text, mods);
    }

    static void BlockClipChanges(bool blocked)
    {
        gGaussianBlurInterface = blocked ? reinterpret_cast<GaussianBlurInterface*>(sDialogStandIn) : nullptr;
    }

    ScriptedInteraction mUser;
    bool mJobRunning = false;
    std::vector<std::string> mCalls;
};

using Calls = std::vector<std::string>;

// ---- Clicks in the clips window ----

TEST_F(KeyboardMouseTest, ClickRulesForEveryModifierAndMode)
{
    // Written from the click rules by hand: one row per modifier combination
    // (Command, Shift, Option, Control), one column per mode held: none,
    // difference (size 1), centroid, cross-correlation, rotation (size 2).
    struct Row {
        int modifiers;
        const char* results[5];
    };
    const Row rows[] = {
        {0, {"toggle", "difference 1", "centroid", "cross-correlation", "rotation 2"}},
        {kCmd, {"toggle all", "", "", "", ""}},
        {kShift, {"", "", "", "", ""}}, // the press selected; the release adds nothing
        {kCmd | kShift, {"", "", "", "", ""}},
        {kOpt, {"clear", "clear", "clear", "clear", "clear"}},
        {kCmd | kOpt, {"", "", "", "", ""}},
        {kShift | kOpt, {"", "", "", "", ""}},
        {kCmd | kShift | kOpt, {"", "", "", "", ""}},
        {kCtrl, {"dark", "dark", "dark", "dark", "dark"}},
        {kCmd | kCtrl, {"dark force", "dark force", "dark force", "dark force", "dark force"}},
        {kShift | kCtrl, {"flat", "flat", "flat", "flat", "flat"}},
        {kCmd | kShift | kCtrl, {"flat force", "flat force", "flat force", "flat force", "flat force"}},
        {kOpt | kCtrl, {"", "", "", "", ""}},
        {kCmd | kOpt | kCtrl, {"", "", "", "", ""}},
        {kShift | kOpt | kCtrl, {"", "", "", "", ""}},
        {kCmd | kShift | kOpt | kCtrl, {"", "", "", "", ""}},
    };
    AlignmentModes modes[5];
    modes[1].autoAlignmentSearchSize = 1;
    modes[2].alignByCentroid = true;
    modes[3].alignByCrossCorrelation = true;
    modes[4].autoRotationalAlignmentSearchSize = 2;
    for (bool blocked : {false, true}) {
        BlockClipChanges(blocked);
        for (const Row& row : rows) {
            for (int m = 0; m < 5; ++m) {
                SetAlignmentModes(modes[m]);
                const int beeps = mUser.BeepCount();
                ClipsWindowMouseUp(row.modifiers);
                const std::string expected = row.results[m];
                SCOPED_TRACE("modifiers " + std::to_string(row.modifiers) + " mode " + std::to_string(m) +
                             (blocked ? " blocked" : ""));
                if (blocked) {
                    // Everything that changes clips beeps once instead; the rest stays silent.
                    EXPECT_EQ(TakeCalls(), Calls{});
                    EXPECT_EQ(mUser.BeepCount() - beeps, expected.empty() ? 0 : 1);
                } else {
                    EXPECT_EQ(TakeCalls(), expected.empty() ? Calls{} : Calls{expected});
                    EXPECT_EQ(mUser.BeepCount(), beeps);
                }
            }
        }
    }
}

TEST_F(KeyboardMouseTest, ShiftClickSelectsOnceByItsPressAndWorksUnderADialog)
{
    ClipsWindowMouseDown(kShift, QPoint());
    ClipsWindowMouseUp(kShift);
    EXPECT_EQ(TakeCalls(), (Calls{"select"}));
    ClipsWindowMouseDown(kShift | kCmd, QPoint());
    ClipsWindowMouseUp(kShift | kCmd);
    EXPECT_EQ(TakeCalls(), (Calls{"select same"}));
    // Option or Control with Shift: no selection drag.
    ClipsWindowMouseDown(kShift | kOpt, QPoint());
    ClipsWindowMouseDown(kShift | kCtrl, QPoint());
    EXPECT_EQ(TakeCalls(), Calls{});
    BlockClipChanges(true);
    ClipsWindowMouseDown(kShift, QPoint());
    ClipsWindowMouseUp(kShift);
    EXPECT_EQ(TakeCalls(), (Calls{"select"}));
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(KeyboardMouseTest, ClicksAreDroppedDuringAJob)
{
    mJobRunning = true;
    ClipsWindowMouseDown(kShift, QPoint());
    ClipsWindowMouseUp(0);
    ClipsWindowMouseUp(kCtrl);
    EXPECT_EQ(TakeCalls(), Calls{});
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(KeyboardMouseTest, InstalledCommandsReachTheClips)
{
    InstallInputActions();
    InstallQtJobEvents();
    for (int i = 0; i < 3; ++i)
        AddClip(40, 30, i);
    gImageDim = MakeRect(0, 0, 30, 40);
    for (int c = 1; c <= 3; ++c)
        gFrames[2]->SetAlignment(MakePoint(2, -3), c);
    gFrames[2]->SetRotation(17);
    gTempSelectionIndex = 2;
    ClipsWindowMouseUp(kOpt); // clear alignment
    ASSERT_TRUE(RunJobToEnd());
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(gFrames[2]->GetAlignment(c), MakePoint(0, 0));
    EXPECT_EQ(gFrames[2]->GetRotation(), 0);
    // Right arrow, level 1: five pixels to the right on every channel.
    Tap(Qt::Key_Right, "", Qt::ShiftModifier);
    ASSERT_TRUE(RunJobToEnd());
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(gFrames[2]->GetAlignment(c), MakePoint(0, 5));
    EXPECT_EQ(mUser.BeepCount(), 0);
    gTempSelectionIndex = -1;
}

// ---- Held mode keys ----

TEST_F(KeyboardMouseTest, HeldDigitChoosesTheAlignmentOfAClick)
{
    Press(Qt::Key_2, "2");
    EXPECT_EQ(gAutoAlignmentSearchSize, 1);
    ClipsWindowMouseUp(0);
    EXPECT_EQ(TakeCalls(), (Calls{"difference 1"}));
    // Command-click with a mode held does nothing.
    ClipsWindowMouseUp(kCmd);
    EXPECT_EQ(TakeCalls(), Calls{});
    Release(Qt::Key_2, "2");
    EXPECT_EQ(gAutoAlignmentSearchSize, -1);
    ClipsWindowMouseUp(0);
    EXPECT_EQ(TakeCalls(), (Calls{"toggle"}));

    Press(Qt::Key_5, "5");
    ClipsWindowMouseUp(0);
    Release(Qt::Key_5, "5");
    Press(Qt::Key_4, "4");
    ClipsWindowMouseUp(0);
    Release(Qt::Key_4, "4");
    Press(Qt::Key_7, "7");
    ClipsWindowMouseUp(0);
    Release(Qt::Key_7, "7");
    EXPECT_EQ(TakeCalls(), (Calls{"cross-correlation", "centroid", "rotation 1"}));
    EXPECT_EQ(HeldKeyCountForTesting(), 0);
}

TEST_F(KeyboardMouseTest, ModeKeysOverlapAndEachReleaseEndsOnlyItsOwnMode)
{
    Press(Qt::Key_1, "1");
    EXPECT_EQ(gAutoAlignmentSearchSize, 0);
    Press(Qt::Key_4, "4"); // turns difference off
    EXPECT_EQ(gAutoAlignmentSearchSize, -1);
    EXPECT_TRUE(gAlignByCentroid);
    Release(Qt::Key_1, "1"); // its mode is already off: centroid stays
    EXPECT_TRUE(gAlignByCentroid);
    Press(Qt::Key_8, "8");
    EXPECT_FALSE(gAlignByCentroid);
    EXPECT_EQ(gAutoRotationalAlignmentSearchSize, 2);
    Release(Qt::Key_4, "4");
    EXPECT_EQ(gAutoRotationalAlignmentSearchSize, 2);
    Release(Qt::Key_8, "8");
    EXPECT_EQ(gAutoRotationalAlignmentSearchSize, -1);
}

TEST_F(KeyboardMouseTest, ReleaseUndoesItsOwnPressEvenWhenShiftChanged)
{
    // The digit key pressed plain and released with Shift down, as "$".
    SendKey(QEvent::KeyPress, Qt::Key_4, Qt::NoModifier, "4", 13);
    EXPECT_TRUE(gAlignByCentroid);
    SendKey(QEvent::KeyRelease, Qt::Key_Dollar, Qt::ShiftModifier, "$", 13);
    EXPECT_FALSE(gAlignByCentroid);
    EXPECT_EQ(HeldKeyCountForTesting(), 0);
}

TEST_F(KeyboardMouseTest, AutoRepeatReleasesAreIgnored)
{
    SendKey(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3", 12);
    for (int i = 0; i < 3; ++i) {
        SendKey(QEvent::KeyRelease, Qt::Key_3, Qt::NoModifier, "3", 12, true);
        EXPECT_EQ(gAutoAlignmentSearchSize, 2);
        SendKey(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3", 12, true);
        EXPECT_EQ(gAutoAlignmentSearchSize, 2);
    }
    SendKey(QEvent::KeyRelease, Qt::Key_3, Qt::NoModifier, "3", 12);
    EXPECT_EQ(gAutoAlignmentSearchSize, -1);
}

TEST_F(KeyboardMouseTest, ReleasesCountDuringJobsWithOtherWindowsInFrontAndAtDeactivation)
{
    Press(Qt::Key_2, "2");
    mJobRunning = true;
    Release(Qt::Key_2, "2");
    EXPECT_EQ(gAutoAlignmentSearchSize, -1);
    // A press during the job is ignored.
    Press(Qt::Key_5, "5");
    EXPECT_FALSE(gAlignByCrossCorrelation);
    Release(Qt::Key_5, "5");
    mJobRunning = false;

    Press(Qt::Key_6, "6");
    PointerScriptForTesting()->front = nullptr; // a dialog or another program in front
    Release(Qt::Key_6, "6");
    EXPECT_EQ(gAutoRotationalAlignmentSearchSize, -1);
    Press(Qt::Key_1, "1"); // presses stay gated
    EXPECT_EQ(gAutoAlignmentSearchSize, -1);
    Release(Qt::Key_1, "1");
    PointerScriptForTesting()->front = gClipsWindow;

    Press(Qt::Key_5, "5");
    Press(Qt::Key_Space, " ");
    EXPECT_TRUE(gAlignByCrossCorrelation);
    EXPECT_TRUE(gLockFrameInspectorWindowToFrameOne);
    EXPECT_EQ(HeldKeyCountForTesting(), 2);
    QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
    QApplication::sendEvent(qApp, &inactive);
    EXPECT_FALSE(gAlignByCrossCorrelation);
    EXPECT_FALSE(gLockFrameInspectorWindowToFrameOne);
    EXPECT_EQ(HeldKeyCountForTesting(), 0);
    // The real releases that follow change nothing.
    Release(Qt::Key_5, "5");
    EXPECT_EQ(TakeCalls(), Calls{});
}

// ---- Command keys ----

TEST_F(KeyboardMouseTest, CommandKeysAndTheirRepeats)
{
    // "D" held with auto-repeat deletes once; "R" likewise.
    SendKey(QEvent::KeyPress, Qt::Key_D, Qt::ShiftModifier, "D", 40);
    for (int i = 0; i < 3; ++i)
        SendKey(QEvent::KeyPress, Qt::Key_D, Qt::ShiftModifier, "D", 40, true);
    SendKey(QEvent::KeyRelease, Qt::Key_D, Qt::ShiftModifier, "D", 40);
    Tap(Qt::Key_R, "r");
    EXPECT_EQ(TakeCalls(), (Calls{"delete", "reference"}));
    // "b" acts on every repeat.
    SendKey(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b", 56);
    SendKey(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b", 56, true);
    SendKey(QEvent::KeyRelease, Qt::Key_B, Qt::NoModifier, "b", 56);
    EXPECT_EQ(TakeCalls(), (Calls{"undebayer", "undebayer"}));
    // Rotation: Z negative, X positive; capitals for the big step.
    Tap(Qt::Key_Z, "Z", Qt::ShiftModifier);
    Tap(Qt::Key_Z, "z");
    Tap(Qt::Key_X, "X", Qt::ShiftModifier);
    SendKey(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x", 53);
    SendKey(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x", 53, true);
    SendKey(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, "x", 53);
    EXPECT_EQ(TakeCalls(), (Calls{"rotate - big", "rotate -", "rotate + big", "rotate +", "rotate + repeat"}));
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(KeyboardMouseTest, CommandShortcutsOnLettersAndDigitsDoNothing)
{
    // Ctrl is the Command key: Ctrl+D and Ctrl+R are menu shortcuts, not deletions.
    Tap(Qt::Key_D, QString(QChar(4)), Qt::ControlModifier);
    Tap(Qt::Key_R, QString(QChar(18)), Qt::ControlModifier);
    Tap(Qt::Key_N, QString(QChar(14)), Qt::ControlModifier | Qt::ShiftModifier);
    Press(Qt::Key_2, "2", Qt::ControlModifier);
    EXPECT_EQ(gAutoAlignmentSearchSize, -1);
    Release(Qt::Key_2, "2", Qt::ControlModifier);
    EXPECT_EQ(TakeCalls(), Calls{});
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(KeyboardMouseTest, BatchDialogKeysNeedASelection)
{
    Tap(Qt::Key_B, "B", Qt::ShiftModifier);
    Tap(Qt::Key_M, "m");
    Tap(Qt::Key_N, "N", Qt::ShiftModifier);
    EXPECT_EQ(TakeCalls(), Calls{});
    EXPECT_EQ(mUser.BeepCount(), 3);
    gTempSelectionIndex = 0;
    Tap(Qt::Key_B, "B", Qt::ShiftModifier);
    gTempSelectionIndex = -1;
    AddPersistantSelection(0);
    Tap(Qt::Key_M, "M", Qt::ShiftModifier);
    Tap(Qt::Key_N, "n");
    EXPECT_EQ(TakeCalls(), (Calls{"debayer dialog", "median dialog", "normalize dialog"}));
    EXPECT_EQ(mUser.BeepCount(), 3);
}

TEST_F(KeyboardMouseTest, ClipChangingKeysBeepOnceUnderAFilterDialog)
{
    gTempSelectionIndex = 0;
    BlockClipChanges(true);
    const struct {
        int key;
        const char* text;
    } keys[] = {{Qt::Key_D, "D"}, {Qt::Key_R, "r"},    {Qt::Key_B, "b"},    {Qt::Key_Z, "Z"},
                {Qt::Key_X, "x"}, {Qt::Key_B, "B"},    {Qt::Key_M, "M"},    {Qt::Key_N, "n"},
                {Qt::Key_Left, ""}, {Qt::Key_Right, ""}, {Qt::Key_Up, ""}, {Qt::Key_Down, ""}};
    int expectedBeeps = 0;
    for (const auto& k : keys) {
        Tap(k.key, k.text);
        EXPECT_EQ(mUser.BeepCount(), ++expectedBeeps) << k.text;
    }
    PointerScriptForTesting()->front = gFrameStackWindow; // the stack nudges too
    Tap(Qt::Key_Up, "");
    EXPECT_EQ(mUser.BeepCount(), ++expectedBeeps);
    PointerScriptForTesting()->front = gClipsWindow;
    EXPECT_EQ(TakeCalls(), Calls{});
    // Space and the mode keys keep working.
    Press(Qt::Key_Space, " ");
    EXPECT_TRUE(gLockFrameInspectorWindowToFrameOne);
    Release(Qt::Key_Space, " ");
    EXPECT_FALSE(gLockFrameInspectorWindowToFrameOne);
    Press(Qt::Key_3, "3");
    EXPECT_EQ(gAutoAlignmentSearchSize, 2);
    Release(Qt::Key_3, "3");
    EXPECT_EQ(mUser.BeepCount(), expectedBeeps);
}

TEST_F(KeyboardMouseTest, KeysAreIgnoredDuringAJobOrWithNoMainWindowInFront)
{
    gTempSelectionIndex = 0;
    mJobRunning = true;
    Tap(Qt::Key_D, "d");
    Tap(Qt::Key_Left, "");
    Tap(Qt::Key_BracketRight, "]");
    mJobRunning = false;
    PointerScriptForTesting()->front = gPixelValuesWindow;
    Tap(Qt::Key_R, "r");
    Tap(Qt::Key_N, "n");
    EXPECT_EQ(TakeCalls(), Calls{});
    EXPECT_EQ(mUser.BeepCount(), 0);
    // Every one of the seven menu-bar windows takes keys.
    for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gDarkFrameWindow, gFlatFrameWindow, gCommandsWindow,
                           gHintsWindow}) {
        PointerScriptForTesting()->front = w;
        Tap(Qt::Key_D, "d");
    }
    EXPECT_EQ(TakeCalls().size(), 6u);
}

// ---- Arrows ----

TEST_F(KeyboardMouseTest, ArrowsNudgeAlignmentWithTheModifierLevelOrTheStack)
{
    Tap(Qt::Key_Left, "");
    Tap(Qt::Key_Right, "", Qt::ShiftModifier);
    Tap(Qt::Key_Up, "", Qt::ShiftModifier | Qt::AltModifier);
    Tap(Qt::Key_Down, "", Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    SendKey(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, "", 113);
    SendKey(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, "", 113, true);
    SendKey(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier, "", 113);
    EXPECT_EQ(TakeCalls(), (Calls{"nudge 28 0", "nudge 29 1", "nudge 30 2", "nudge 31 3", "nudge 28 0",
                                  "nudge 28 repeat 0"}));
    PointerScriptForTesting()->front = gFrameStackWindow;
    Tap(Qt::Key_Up, "", Qt::ShiftModifier);
    Tap(Qt::Key_Left, "");
    EXPECT_EQ(TakeCalls(), (Calls{"stack 30", "stack 28"}));
    EXPECT_EQ(NudgeLevel(0), 0);
    EXPECT_EQ(NudgeLevel(kCmd), 0);
    EXPECT_EQ(NudgeLevel(kShift | kOpt | kCtrl | kCmd), 3);
}

// ---- Paging ----

TEST_F(KeyboardMouseTest, PagingByHand)
{
    // 30 clips, 12 per page.
    EXPECT_EQ(PagedFirstClip(']', 0, 12, 30), 6);
    EXPECT_EQ(PagedFirstClip('}', 0, 12, 30), 12);
    EXPECT_EQ(PagedFirstClip('}', 12, 12, 30), 18);
    EXPECT_EQ(PagedFirstClip('}', 18, 12, 30), 18);
    EXPECT_EQ(PagedFirstClip('[', 6, 12, 30), 0);
    EXPECT_EQ(PagedFirstClip('[', 3, 12, 30), 0);
    EXPECT_EQ(PagedFirstClip('{', 18, 12, 30), 6);
    EXPECT_EQ(PagedFirstClip('{', 6, 12, 30), 0);
    // Fewer clips than a page: nowhere to go.
    EXPECT_EQ(PagedFirstClip(']', 0, 12, 5), 0);
    EXPECT_EQ(PagedFirstClip('}', 0, 12, 5), 0);
    // Half of 13 is 6.
    EXPECT_EQ(PagedFirstClip(']', 0, 13, 40), 6);
    EXPECT_EQ(PagedFirstClip('[', 20, 13, 40), 14);
    EXPECT_EQ(PagedFirstClip('x', 7, 13, 40), 7);
}

TEST_F(KeyboardMouseTest, PagingKeysMoveTheFirstClipOrBeep)
{
    for (int i = 0; i < 30; ++i)
        AddClip(8, 6, i);
    gImageDim = MakeRect(0, 0, 6, 8);
    gClipWindowFirstClip = 0;
    gNumClipsPerClipWindowPage = 12;
    Tap(Qt::Key_BracketRight, "]");
    EXPECT_EQ(gClipWindowFirstClip, 6);
    Tap(Qt::Key_BraceRight, "}", Qt::ShiftModifier);
    EXPECT_EQ(gClipWindowFirstClip, 18);
    EXPECT_EQ(mUser.BeepCount(), 0);
    Tap(Qt::Key_BraceRight, "}", Qt::ShiftModifier);
    EXPECT_EQ(gClipWindowFirstClip, 18);
    EXPECT_EQ(mUser.BeepCount(), 1);
    Tap(Qt::Key_BraceLeft, "{", Qt::ShiftModifier);
    Tap(Qt::Key_BracketLeft, "[");
    EXPECT_EQ(gClipWindowFirstClip, 0);
    Tap(Qt::Key_BracketLeft, "[");
    EXPECT_EQ(mUser.BeepCount(), 2);
    // Paging still works under a filter dialog.
    BlockClipChanges(true);
    Tap(Qt::Key_BracketRight, "]");
    EXPECT_EQ(gClipWindowFirstClip, 6);
    EXPECT_EQ(mUser.BeepCount(), 2);
    gClipWindowFirstClip = 0;
}

// ---- Resizing and zooming ----

TEST_F(KeyboardMouseTest, AspectByHand)
{
    EXPECT_EQ(AspectKeptHeight(640, 480, 320), 240);
    EXPECT_EQ(AspectKeptHeight(640, 480, 333), 249);
    EXPECT_EQ(AspectKeptHeight(1024, 768, 500), 375);
    EXPECT_EQ(AspectKeptHeight(1, 1, 7), 7);
    EXPECT_EQ(AspectKeptHeight(32767, 32767, 32767), 32767);
    EXPECT_EQ(AspectKeptHeight(0, 480, 320), -1);
    EXPECT_EQ(AspectKeptHeight(640, 0, 320), -1);
}

TEST_F(KeyboardMouseTest, ImageWindowsKeepTheirAspectWhenResized)
{
    gImageDim = MakeRect(0, 0, 480, 640);
    gFrameInspectorWindow->SetContentSize(320, 100);
    HandleUserResize(gFrameInspectorWindow);
    EXPECT_EQ(gFrameInspectorWindow->ContentSize(), QSize(320, 240));
    // The frame-stack window follows the stack's size, not the document's.
    gFrameStack = MakeImage(100, 50);
    gFrameStackWindow->SetContentSize(300, 10);
    HandleUserResize(gFrameStackWindow);
    EXPECT_EQ(gFrameStackWindow->ContentSize(), QSize(300, 150));
    gFrameStack.reset();
    // No image: the window is left as it is.
    gFrameStackWindow->SetContentSize(300, 10);
    HandleUserResize(gFrameStackWindow);
    EXPECT_EQ(gFrameStackWindow->ContentSize(), QSize(300, 10));
    gImageDim = Rect{};
    gFrameInspectorWindow->SetContentSize(333, 17);
    HandleUserResize(gFrameInspectorWindow);
    EXPECT_EQ(gFrameInspectorWindow->ContentSize(), QSize(333, 17));
}

TEST_F(KeyboardMouseTest, ZoomGoesFromOneToOneToTheLargestFitAndBack)
{
    gImageDim = MakeRect(0, 0, 480, 640);
    gFrameInspectorWindow->SetContentSize(640, 480);
    DoWindowZoom(gFrameInspectorWindow);
    // The screen is 1920 × 1080 less 22 pixels of title: 1058 high limits.
    EXPECT_EQ(gFrameInspectorWindow->ContentSize(), QSize(1410, 1058));
    DoWindowZoom(gFrameInspectorWindow);
    EXPECT_EQ(gFrameInspectorWindow->ContentSize(), QSize(640, 480));
    gFrameInspectorWindow->SetContentSize(300, 200);
    DoWindowZoom(gFrameInspectorWindow);
    EXPECT_EQ(gFrameInspectorWindow->ContentSize(), QSize(640, 480));
    // No image: no zoom.
    gImageDim = Rect{};
    gFrameInspectorWindow->SetContentSize(300, 200);
    DoWindowZoom(gFrameInspectorWindow);
    EXPECT_EQ(gFrameInspectorWindow->ContentSize(), QSize(300, 200));
}

TEST_F(KeyboardMouseTest, AMaximizeRequestZoomsInstead)
{
    InstallWindowResizing();
    gImageDim = MakeRect(0, 0, 480, 640);
    gFrameInspectorWindow->SetContentSize(640, 480);
    gFrameInspectorWindow->setWindowState(Qt::WindowMaximized);
    QCoreApplication::processEvents();
    EXPECT_FALSE(gFrameInspectorWindow->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(gFrameInspectorWindow->ContentSize(), QSize(1410, 1058));
    gFrameInspectorWindow->setWindowState(Qt::WindowMaximized);
    QCoreApplication::processEvents();
    EXPECT_EQ(gFrameInspectorWindow->ContentSize(), QSize(640, 480));
    gImageDim = Rect{};
}

} // namespace
