// tests/gui/ClipsWindowTest.cpp: the clips window's layout, hit testing,
// paging marks, hover, Shift-drags, inclusion clicks and what its redraws render.
#include "engine/ClipsWindow.h"

#include <cmath>
#include <random>

#include <QCursor>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "shell/DialogPointers.h"
#include "engine/ClipViewWindow.h"
#include "app/ClipsWindowMouse.h"
#include "app/MainWindowInput.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "shell/PointerInput.h"
#include "shell/MainWindowSet.h"
#include "shell/ShellHooks.h"
#include "engine/ClipSelection.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Screens.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/gui/MainWindowsTestSupport.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

testing::Environment* const kWindowsTeardown = RegisterWindowsTeardown();

// A document of n clips of w × h with the program's windows up.
class ClipsWindowTest : public EngineFixture {
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
        InstallClipsWindow();
        gMaxClipWidthOrHeight = 64;
        gClipsWindow->SetContentSize(1, 1);
        SetCurrentClipsGrid(ClipsGrid{});
        ClearPersistantSelection();
        gTempSelectionIndex = -1;
        gLockFrameInspectorWindowToFrameOne = false;
        PointerScript script;
        script.position = QPoint(-10, -10);
        SetPointerScriptForTesting(script);
        GetShellHooks().jobRunning = [this] { return mJobRunning; };
        ResetClipRenderRequestsForTesting();
    }
    void TearDown() override
    {
        SetPointerScriptForTesting(std::nullopt);
        GetShellHooks().jobRunning = nullptr;
        ClearPersistantSelection();
        gTempSelectionIndex = -1;
        gRedStack.reset();
        gGreenStack.reset();
        gBlueStack.reset();
        gFrameStack.reset();
        EngineFixture::TearDown();
    }

    void MakeDocument(int n, int w = 64, int h = 48)
    {
        gImageDim = MakeRect(0, 0, h, w);
        gMaxClipDim = MakeRect(0, 0, 96, 128);
        // The layout reads only gImageDim; the clips' own pixels stay small.
        for (int i = 0; i < n; ++i)
            AddClip(std::min(w, 64), std::min(h, 48), 100 + i);
        FitClipsWindowToNumFrames(true);
    }

    // Puts the mouse at the centre of clip's slot.
    void HoverOver(int clip)
    {
        const Rect r = FindClipRectFromFrameIndex(clip);
        ASSERT_NE(r.left, -1);
        PointerScriptForTesting()->position = QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        UpdateSelectedFrameClipFromMouse();
        ASSERT_EQ(gTempSelectionIndex, clip);
    }
    QPoint Centre(int clip)
    {
        const Rect r = FindClipRectFromFrameIndex(clip);
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void MakeStack()
    {
        gRedStack = std::make_unique<int32_t[]>(4);
        gGreenStack = std::make_unique<int32_t[]>(4);
        gBlueStack = std::make_unique<int32_t[]>(4);
        gFrameStack = MakeImage(2, 2);
    }

    bool mJobRunning = false;
};

} // namespace

// ---------------------------------------------------------------- layout

TEST(ClipsLayout, SlotAndThumbnailSizes)
{
    const Point slot = ScaledClipSize(1600, 1200, 64);
    EXPECT_EQ(slot.h, 64);
    EXPECT_EQ(slot.v, 48);
    const Point thumb = ScaledClipSize(1600, 1200, 128);
    EXPECT_EQ(thumb.h, 128);
    EXPECT_EQ(thumb.v, 96);
    // An extreme aspect: the short side truncates to 0 and is kept at 1.
    const Point thin = ScaledClipSize(1, 300, 64);
    EXPECT_EQ(thin.h, 1);
    EXPECT_EQ(thin.v, 64);
    EXPECT_EQ(ScaledClipSize(300, 1, 32).v, 1);
}

TEST(ClipsLayout, NewWindowTakesPreferredWidthRoundedUp)
{
    ClipsLayoutInput in;
    in.imageWidth = 1600;
    in.imageHeight = 1200;
    in.maxClipSide = 64;
    in.contentWidth = in.contentHeight = 1;
    in.maxContentHeight = 1000;
    in.preferredWidth = 800;
    in.numClips = 1000;
    const ClipsLayout out = ComputeClipsLayout(in);
    EXPECT_EQ(out.columns, 13); // 800 / 64 = 12.5
    EXPECT_EQ(out.contentWidth, 832);
    // 1000 / 48 = 20.83: 20 rows, and not a 21st, which would pass Hmax.
    EXPECT_EQ(out.rows, 20);
    EXPECT_LE(out.contentHeight, 1000);
}

TEST(ClipsLayout, FewClipsShrinkToOneRowOfThem)
{
    ClipsLayoutInput in;
    in.imageWidth = 64;
    in.imageHeight = 48;
    in.contentWidth = 13 * 64;
    in.contentHeight = 10 * 48;
    in.maxContentHeight = 1000;
    in.numClips = 5;
    const ClipsLayout out = ComputeClipsLayout(in);
    EXPECT_EQ(out.columns, 5);
    EXPECT_EQ(out.rows, 1);
    EXPECT_EQ(out.page, 5);
    EXPECT_EQ(out.contentWidth, 5 * 64);
    EXPECT_EQ(out.contentHeight, 48);
}

TEST(ClipsLayout, ExtremeAspectNeverDividesByZero)
{
    for (int side : {32, 64, 128}) {
        ClipsLayoutInput in;
        in.imageWidth = 1;
        in.imageHeight = 300;
        in.maxClipSide = side;
        in.contentWidth = in.contentHeight = 1;
        in.maxContentHeight = 900;
        in.numClips = 50;
        const ClipsLayout out = ComputeClipsLayout(in);
        EXPECT_GE(out.clipDim.h, 1);
        EXPECT_GE(out.clipDim.v, 1);
        EXPECT_GE(out.columns, 1);
        EXPECT_GE(out.rows, 1);
        EXPECT_LE(out.page, 50 + out.columns);
    }
}

TEST(ClipsLayout, HitTestMatchesSlotsOverRandomLayouts)
{
    std::mt19937 rng(12345);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int trial = 0; trial < 300; ++trial) {
        const int side = std::vector<int>{32, 64, 128}[pick(0, 2)];
        gClipDim = ScaledClipSize(pick(1, 4000), pick(1, 3000), side);
        const int n = pick(1, 200);
        const int columns = pick(1, 12), rows = pick(1, 8);
        gNumClipsPerClipWindowPage = columns * rows;
        gClipWindowFirstClip = pick(0, n);
        // The window as laid out, or a bit off it (the user resizing).
        const int width = columns * gClipDim.h + pick(-gClipDim.h / 2, gClipDim.h);
        const int height = rows * gClipDim.v + pick(-gClipDim.v / 2, gClipDim.v);
        const int q = width / gClipDim.h;
        for (int i = gClipWindowFirstClip - 2; i < gClipWindowFirstClip + gNumClipsPerClipWindowPage + 2; ++i) {
            const Rect r = ClipRectForIndex(i, width);
            const bool onPage = i >= gClipWindowFirstClip && i < gClipWindowFirstClip + gNumClipsPerClipWindowPage;
            if (!onPage || width < gClipDim.h) {
                EXPECT_EQ(r, kNoClipRect) << "clip " << i;
                continue;
            }
            ASSERT_EQ(r.Width(), gClipDim.h);
            for (int k = 0; k < 5; ++k) {
                const int x = pick(r.left, r.right - 1), y = pick(r.top, r.bottom - 1);
                if (x >= width || y >= height)
                    continue;
                const int hit = ClipIndexAtPoint(MakePoint(y, x), width, height, n);
                EXPECT_EQ(hit, i < n ? i : -1) << "clip " << i << " at " << x << "," << y;
            }
        }
        // Past the last whole column, below or right of the content: no clip.
        if (q * gClipDim.h < width) {
            EXPECT_EQ(ClipIndexAtPoint(MakePoint(0, q * gClipDim.h), width, height, n), -1);
        }
        EXPECT_EQ(ClipIndexAtPoint(MakePoint(height, 0), width, height, n), -1);
        EXPECT_EQ(ClipIndexAtPoint(MakePoint(0, width), width, height, n), -1);
        EXPECT_EQ(ClipIndexAtPoint(MakePoint(-1, 0), width, height, n), -1);
    }
}

TEST(ClipsLayout, MoreMarks)
{
    gClipWindowFirstClip = 10;
    gNumClipsPerClipWindowPage = 10;
    EXPECT_TRUE(markMoreClipsBehind(10));
    EXPECT_FALSE(markMoreClipsAhead(19, 20)); // the last clip
    EXPECT_TRUE(markMoreClipsAhead(19, 21));
    gClipWindowFirstClip = 0;
    EXPECT_FALSE(markMoreClipsBehind(0));
    EXPECT_TRUE(markMoreClipsAhead(9, 20));
}

TEST(ClipsLayout, ScoreText)
{
    EXPECT_EQ(FormatClipScore(0.0), ".000");
    EXPECT_EQ(FormatClipScore(0.25), ".250");
    EXPECT_EQ(FormatClipScore(0.5), ".500");
    EXPECT_EQ(FormatClipScore(1.0), "1.000");
    EXPECT_EQ(FormatClipScore(12.3456), "12.345");
    // Scores between -1 and 0 keep their sign; a score that is not a number
    // prints as such.
    EXPECT_EQ(FormatClipScore(-0.5), "-.500");
    EXPECT_EQ(FormatClipScore(-2.25), "-2.250");
    EXPECT_EQ(FormatClipScore(std::nan("")), "NaN");
}

// ---------------------------------------------------------------- the window

TEST_F(ClipsWindowTest, FirstLayoutOfANewWindow)
{
    MakeDocument(300, 1600, 1200);
    EXPECT_EQ(gClipDim.h, 64);
    EXPECT_EQ(gClipDim.v, 48);
    EXPECT_EQ(gMaxClipDim, MakeRect(0, 0, 96, 128));
    EXPECT_EQ(gClipsWindow->ContentSize().width(), 832);
    EXPECT_EQ(CurrentClipsGrid().columns, 13);
    EXPECT_EQ(gClipWindowFirstClip, 0);
    // Laid out already: a second fit without force changes nothing.
    EXPECT_FALSE(FitClipsWindowToNumFrames(false));
}

TEST_F(ClipsWindowTest, EmptyImageSizeGivesOneByOne)
{
    MakeDocument(3);
    gImageDim = Rect{};
    EXPECT_FALSE(FitClipsWindowToNumFrames(false));
    EXPECT_EQ(gClipsWindow->ContentSize(), QSize(1, 1));
}

TEST_F(ClipsWindowTest, HoverFollowsTheMouse)
{
    MakeDocument(5);
    HoverOver(2);
    HoverOver(4);
    // Between the clips and the window's edge (outside the content): none.
    PointerScriptForTesting()->position = QPoint(-1, 5);
    UpdateSelectedFrameClipFromMouse();
    EXPECT_EQ(gTempSelectionIndex, -1);
    // Under another window: none.
    HoverOver(1);
    PointerScriptForTesting()->covered = true;
    UpdateSelectedFrameClipFromMouse();
    EXPECT_EQ(gTempSelectionIndex, -1);
    // Under a filter dialog the selection stays where it was.
    PointerScriptForTesting()->covered = false;
    HoverOver(3);
    gUnsharpMaskInterface = reinterpret_cast<UnsharpMaskInterface*>(this);
    PointerScriptForTesting()->position = Centre(0);
    UpdateSelectedFrameClipFromMouse();
    gUnsharpMaskInterface = nullptr;
    EXPECT_EQ(gTempSelectionIndex, 3);
}

TEST_F(ClipsWindowTest, CommandDragFromUnselectedOnlyAdds)
{
    MakeDocument(6);
    AddPersistantSelection(2);
    AddPersistantSelection(4);
    HoverOver(1); // the press: clip 1, not selected
    PointerScriptForTesting()->dragPaths = {{Centre(2), Centre(3), Centre(4), Centre(5)}};
    AddRemovePersistantSelectionFrame(true);
    EXPECT_EQ(gPersistantSelectionIndices, (std::vector<int>{2, 4, 1, 3, 5}));
}

TEST_F(ClipsWindowTest, CommandDragFromSelectedOnlyRemoves)
{
    MakeDocument(6);
    for (int clip : {1, 2, 4})
        AddPersistantSelection(clip);
    HoverOver(1);
    PointerScriptForTesting()->dragPaths = {{Centre(2), Centre(3), Centre(4), Centre(5)}};
    AddRemovePersistantSelectionFrame(true);
    EXPECT_TRUE(gPersistantSelectionIndices.empty());
}

TEST_F(ClipsWindowTest, RealShiftPressPicksTheClipUnderThePressNotThePointer)
{
    MakeDocument(6);
    InstallInputActions();
    InstallMainWindowMouse();
    SetPointerScriptForTesting(std::nullopt);
    Canvas* canvas = ContentCanvas(gClipsWindow);
    QCursor::setPos(canvas->mapToGlobal(Centre(4))); // the pointer is on by the time the press is handled
    QApplication::processEvents();
    QTimer release;
    release.setSingleShot(true);
    QObject::connect(&release, &QTimer::timeout,
                     [&] { QTest::mouseRelease(canvas, Qt::LeftButton, Qt::ShiftModifier, Centre(1)); });
    release.start(0);
    QTest::mousePress(canvas, Qt::LeftButton, Qt::ShiftModifier, Centre(1));
    EXPECT_EQ(gPersistantSelectionIndices, std::vector<int>{1});
    // A plain click's release picks the clip it happened on.
    ClearPersistantSelection();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, Centre(2));
    EXPECT_FALSE(FrameAt(2)->GetSumStackIncluded());
    EXPECT_TRUE(FrameAt(4)->GetSumStackIncluded());
}

TEST_F(ClipsWindowTest, DragCountsTheClipsBetweenTwoMoves)
{
    // The window system merged the moves over clip 2 into the one at clip 3.
    MakeDocument(6);
    HoverOver(1);
    PointerScriptForTesting()->dragPaths = {{Centre(3)}};
    AddRemovePersistantSelectionFrame(false);
    EXPECT_EQ(gPersistantSelectionIndices, (std::vector<int>{1, 2, 3}));
}

TEST_F(ClipsWindowTest, PlainDragOutAndBackTogglesTwice)
{
    MakeDocument(6);
    HoverOver(1);
    PointerScriptForTesting()->dragPaths = {{Centre(2), Centre(1)}};
    AddRemovePersistantSelectionFrame(false);
    // 1 added at the press, 2 added, 1 removed on the way back.
    EXPECT_EQ(gPersistantSelectionIndices, (std::vector<int>{2}));
    EXPECT_FALSE(IsPersistantlySelected(1));
}

TEST_F(ClipsWindowTest, ClickOutsideTheSelectionDoesNothing)
{
    MakeDocument(4);
    MakeStack();
    AddPersistantSelection(0);
    HoverOver(2);
    ToggleFrameSumStackInclusion(false);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(FrameAt(i)->GetSumStackIncluded());
    EXPECT_NE(gRedStack, nullptr);
}

TEST_F(ClipsWindowTest, ToggleWithoutSelectionChangesTheClickedClip)
{
    MakeDocument(4);
    MakeStack();
    HoverOver(2);
    ToggleFrameSumStackInclusion(false);
    EXPECT_FALSE(FrameAt(2)->GetSumStackIncluded());
    for (int i : {0, 1, 3})
        EXPECT_TRUE(FrameAt(i)->GetSumStackIncluded());
    EXPECT_EQ(gRedStack, nullptr); // discarded
}

TEST_F(ClipsWindowTest, SetAllAgainstInvertOnAMixedSelection)
{
    MakeDocument(4);
    FrameAt(1)->SetSumStackIncluded(false);
    for (int clip : {0, 1, 2})
        AddPersistantSelection(clip);
    HoverOver(0); // included, so setAll makes every selected clip left out
    ToggleFrameSumStackInclusion(true);
    EXPECT_FALSE(FrameAt(0)->GetSumStackIncluded());
    EXPECT_FALSE(FrameAt(1)->GetSumStackIncluded());
    EXPECT_FALSE(FrameAt(2)->GetSumStackIncluded());
    EXPECT_TRUE(FrameAt(3)->GetSumStackIncluded());

    FrameAt(1)->SetSumStackIncluded(true); // now 0 out, 1 in, 2 out
    ToggleFrameSumStackInclusion(false);   // each inverts its own
    EXPECT_TRUE(FrameAt(0)->GetSumStackIncluded());
    EXPECT_FALSE(FrameAt(1)->GetSumStackIncluded());
    EXPECT_TRUE(FrameAt(2)->GetSumStackIncluded());
}

TEST_F(ClipsWindowTest, ToggleRefusedUnderAFilterDialog)
{
    ScriptedInteraction interaction;
    MakeDocument(3);
    MakeStack();
    HoverOver(1);
    gGaussianBlurInterface = reinterpret_cast<GaussianBlurInterface*>(&interaction); // "open"
    ToggleFrameSumStackInclusion(false);
    gGaussianBlurInterface = nullptr;
    EXPECT_EQ(interaction.BeepCount(), 1);
    EXPECT_TRUE(FrameAt(1)->GetSumStackIncluded());
    EXPECT_NE(gRedStack, nullptr);
    // Selection changes stay allowed.
    gGaussianBlurInterface = reinterpret_cast<GaussianBlurInterface*>(&interaction);
    PersistantSelectAllFrames();
    gGaussianBlurInterface = nullptr;
    EXPECT_EQ(gPersistantSelectionIndices.size(), 3u);
}

TEST_F(ClipsWindowTest, SelectionCommandsRenderOnlyThePage)
{
    MakeDocument(40);
    gClipsWindow->SetContentSize(5 * 64, 2 * 48);
    SetCurrentClipsGrid(ClipsGrid{});
    FitClipsWindowToNumFrames(false);
    ASSERT_EQ(gNumClipsPerClipWindowPage, 10);
    ResetClipRenderRequestsForTesting();
    PersistantSelectAllFrames();
    EXPECT_EQ(gPersistantSelectionIndices.size(), 40u);
    EXPECT_EQ(ClipRenderRequestsForTesting(), 10);
    for (int i = 10; i < 40; ++i)
        EXPECT_TRUE(FrameAt(i)->IsDirty()) << i;

    ResetClipRenderRequestsForTesting();
    InvertPersistantSelectFrames();
    EXPECT_TRUE(gPersistantSelectionIndices.empty());
    EXPECT_EQ(ClipRenderRequestsForTesting(), 10);

    FrameAt(3)->SetSumStackIncluded(false);
    ResetClipRenderRequestsForTesting();
    PersistantSelectSumStackIncludedFrames();
    EXPECT_EQ(gPersistantSelectionIndices.size(), 39u);
    EXPECT_FALSE(IsPersistantlySelected(3));
    EXPECT_EQ(gPersistantSelectionIndices.front(), 0);
    EXPECT_EQ(ClipRenderRequestsForTesting(), 10);
}

TEST_F(ClipsWindowTest, DuringAJobRedrawsRenderNothing)
{
    MakeDocument(6);
    HoverOver(2);
    for (int i = 0; i < 6; ++i)
        FrameAt(i)->SetNormalizationFactor(1.0); // dirty again
    mJobRunning = true;
    ResetClipRenderRequestsForTesting();
    PointerScriptForTesting()->position = QPoint(-5, -5);
    UpdateSelectedFrameClipFromMouse(); // leaving the window
    DrawClipsWindow();                  // activation
    PersistantSelectAllFrames();
    UpdateFrameInspectorWindow(3);
    EXPECT_EQ(ClipRenderRequestsForTesting(), 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(FrameAt(i)->IsDirty()) << i;
    mJobRunning = false;
    DrawClipsWindow();
    EXPECT_EQ(ClipRenderRequestsForTesting(), 6);
    EXPECT_FALSE(FrameAt(0)->IsDirty());
}

TEST_F(ClipsWindowTest, OffPageClipsHaveNoSlot)
{
    MakeDocument(20);
    gClipWindowFirstClip = 10;
    gNumClipsPerClipWindowPage = 5;
    EXPECT_EQ(FindClipRectFromFrameIndex(9), kNoClipRect);
    EXPECT_EQ(FindClipRectFromFrameIndex(15), kNoClipRect);
    EXPECT_EQ(FindClipRectFromFrameIndex(10).left, 0);
    EXPECT_EQ(FindClipRectFromFrameIndex(10).top, 0);
    ResetClipRenderRequestsForTesting();
    DrawFrameClipAt(3, true);
    EXPECT_EQ(ClipRenderRequestsForTesting(), 0);
}

TEST_F(ClipsWindowTest, MembershipStaysInStepWithTheVector)
{
    EXPECT_TRUE(AddPersistantSelection(5));
    EXPECT_FALSE(AddPersistantSelection(5));
    EXPECT_TRUE(AddPersistantSelection(2));
    EXPECT_EQ(gPersistantSelectionIndices, (std::vector<int>{5, 2}));
    EXPECT_TRUE(RemovePersistantSelection(5));
    EXPECT_FALSE(IsPersistantlySelected(5));
    // Rewritten behind its back (a renumbering): noticed by the length.
    gPersistantSelectionIndices = {7, 8};
    EXPECT_TRUE(IsPersistantlySelected(8));
    EXPECT_FALSE(IsPersistantlySelected(2));
    gPersistantSelectionIndices = {1, 3};
    RebuildSelectionMembership();
    EXPECT_TRUE(IsPersistantlySelected(3));
    EXPECT_FALSE(IsPersistantlySelected(8));
}
