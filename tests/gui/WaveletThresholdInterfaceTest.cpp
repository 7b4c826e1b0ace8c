// tests/gui/WaveletThresholdInterfaceTest.cpp: the wavelet noise reduction dialog over a stack: its
// sliders' mapping and clamping, the first area and its texts, a dragged threshold rebuilding only the
// preview area (checked against the imaging routine, itself checked against numpy), the lock and reset,
// a new area on the thumbnail restoring the old one, arrow keys, preview, Cancel restoring the planes
// byte for byte, OK denoising the whole stack once and the remembered thresholds.
#include "tools/WaveletThresholdInterface.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "shell/DialogPointers.h"
#include "shell/ShellSettings.h"
#include "shell/ThumbnailInterface.h"
#include "platform/qt/Controls.h"
#include "tests/gui/StackToolFixture.h"
#include "tests/support/ScriptedInteraction.h"

namespace {

class WaveletThresholdInterfaceTest : public StackToolFixture {
protected:
    void SetUp() override
    {
        StackToolFixture::SetUp();
        InstallWaveletThresholdDialog();
        const double zeros[kWaveletMaxThresholds] = {};
        SetWaveletRememberedSettingsForTesting(zeros, false);
        SetWaveletLiveLimitForTesting(1e9); // always live: the tests must not hang on the machine's speed
    }
    void TearDown() override
    {
        if (gWaveletThresholdInterface)
            gWaveletThresholdInterface->End(true);
        SetWaveletLiveLimitForTesting(-1.0);
        StackToolFixture::TearDown();
    }
    WaveletThresholdInterface& Open()
    {
        Run("OpWS");
        EXPECT_NE(gWaveletThresholdInterface, nullptr);
        return *gWaveletThresholdInterface;
    }
    // What the saved scene gives with these percents over rect, the rest as saved.
    SumPlaneSet Expected(std::vector<double> percents, Rect rect) const
    {
        SumPlaneSet out = mSaved;
        WaveletThresholdPlanes planes;
        planes.Prepare(mSaved.ConstView(), rect);
        planes.Analyse();
        planes.Synthesise(WaveletThresholdList(percents.data(), static_cast<int>(percents.size()), planes.NumLevels()),
                          mSaved.ConstView(), out.View());
        return out;
    }
    static QPoint ThumbPress(const QuadraticSlider& slider)
    {
        const Rect r = slider.ThumbRect();
        return QPoint((r.left + r.right) / 2, r.top + 5);
    }
    static int TrackX(const QuadraticSlider& slider, int d) { return slider.GetPosition().h + 5 + d; }
    static std::vector<double> Values(const WaveletThresholdInterface& dialog)
    {
        std::vector<double> v;
        for (int i = 0; i < dialog.numSliders(); ++i)
            v.push_back(dialog.slider(i).GetValue());
        return v;
    }
    static bool OutsideUnchanged(const SumPlaneSet& live, const SumPlaneSet& saved, Rect r)
    {
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < saved.height; ++y)
                for (int x = 0; x < saved.width; ++x) {
                    const bool inside = y >= r.top && y < r.bottom && x >= r.left && x < r.right;
                    if (!inside && live.At(c, x, y) != saved.At(c, x, y))
                        return false;
                }
        return true;
    }
};

} // namespace

TEST(WaveletThresholdSlider, ValueRuleMappingAndNudges)
{
    WaveletThresholdSlider s;
    s.SetParameters(MakePoint(170, 15), 0.0);
    s.SetValue(-5.0);
    EXPECT_EQ(s.GetValue(), 0.0);
    s.SetValue(150.0);
    EXPECT_EQ(s.GetValue(), 100.0);
    s.SetValue(std::nan(""));
    EXPECT_EQ(s.GetValue(), 0.0);
    s.SetValue(2.345);
    EXPECT_DOUBLE_EQ(s.GetValue(), 2.3);
    s.SetValue(2.35);
    EXPECT_DOUBLE_EQ(s.GetValue(), 2.4);
    EXPECT_EQ(s.ValueText(), "2.4");
    // Drawn at sqrt(400 × value); a pointer d pixels along the track gives d² / 400, clamped to the track.
    s.SetValue(25.0);
    EXPECT_DOUBLE_EQ(s.ThumbOffset(), 100.0);
    EXPECT_EQ(s.ThumbRect(), MakeRect(170, 15 + 2 + 100, 181, 15 + 8 + 100));
    EXPECT_DOUBLE_EQ(s.ValueForPointer(15 + 5 + 100), 25.0);
    EXPECT_DOUBLE_EQ(s.ValueForPointer(15 + 5 + 20), 1.0);
    EXPECT_DOUBLE_EQ(s.ValueForPointer(15 + 5 + 500), 100.0);
    EXPECT_DOUBLE_EQ(s.ValueForPointer(0), 0.0);
    s.SetValue(100.0);
    EXPECT_DOUBLE_EQ(s.ThumbOffset(), 200.0);
    // Nudges: 0.1, or 1.0 with Shift; nothing past either end.
    EXPECT_FALSE(s.NudgeSlider(true, false));
    EXPECT_TRUE(s.NudgeSlider(false, true));
    EXPECT_DOUBLE_EQ(s.GetValue(), 99.0);
    s.SetValue(99.5);
    EXPECT_TRUE(s.NudgeSlider(true, true));
    EXPECT_EQ(s.GetValue(), 100.0);
    s.SetValue(0.05);
    EXPECT_DOUBLE_EQ(s.GetValue(), 0.1);
    EXPECT_TRUE(s.NudgeSlider(false, true));
    EXPECT_EQ(s.GetValue(), 0.0);
    EXPECT_FALSE(s.NudgeSlider(false, false));
    // Dimmed sliders keep and change their values all the same.
    s.SetDim(true);
    EXPECT_TRUE(s.NudgeSlider(true, false));
    EXPECT_DOUBLE_EQ(s.GetValue(), 0.1);
    EXPECT_TRUE(s.IsDimmed());
}

TEST_F(WaveletThresholdInterfaceTest, OpensWithItsSlidersAndFirstArea)
{
    gNumThreads = 4;
    WaveletThresholdInterface& dialog = Open();
    EXPECT_EQ(gNumThreads, 4); // one thread only while the pyramid works
    // 83 × 71 pads to 128 × 128: three levels, four sliders (the high-pass residual first).
    ASSERT_EQ(dialog.numSliders(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dialog.slider(i).GetPosition(), MakePoint(170 + 20 * i, 15));
        EXPECT_EQ(dialog.slider(i).GetValue(), 0.0);
        EXPECT_FALSE(dialog.slider(i).IsDimmed());
    }
    EXPECT_EQ(dialog.previewRect(), MakeRect(0, 0, 71, 83));
    EXPECT_EQ(dialog.thumbnail().thumbBounds(), MakeRect(20, 20, 20 + 71, 20 + 83));
    EXPECT_EQ(dialog.control(kWaveletSizeText).Text(), "7x7");
    EXPECT_EQ(dialog.control(kWaveletCostText).Text(), "147");
    EXPECT_EQ(dialog.control(kWaveletLiveText).Text(), "On");
    EXPECT_EQ(dialog.control(kWaveletLockSliders).Value(), 0);
    EXPECT_EQ(dialog.activeSlider(), kWaveletNoSlider);
    for (int id : {kDialogPreview, kWaveletSizeText, kWaveletCostText, kWaveletLiveText, kWaveletReset,
                   kWaveletLockSliders, kDialogOK, kDialogCancel})
        EXPECT_NE(dialog.control(id).Widget(), nullptr) << id;
    EXPECT_TRUE(Live() == mSaved); // all thresholds 0: the stack exactly as it was
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_EQ(gWaveletThresholdInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(WaveletThresholdInterfaceTest, DraggedThresholdRebuildsOnlyThePreviewArea)
{
    MakeStack(150, 140, kFrames);
    WaveletThresholdInterface& dialog = Open();
    const Rect area = dialog.previewRect();
    EXPECT_EQ(area, MakeRect(0, 0, 128, 128));
    // Slider 1 (the finest bands) to d = 40: 4.0 percent; a vertical step counts as a move.
    const QuadraticSlider& slider = dialog.slider(1);
    const QPoint press = ThumbPress(slider);
    Press(dialog, press, {QPoint(TrackX(slider, 40), press.y()), QPoint(TrackX(slider, 40), press.y() + 30)});
    EXPECT_EQ(dialog.slider(1).GetValue(), 4.0);
    EXPECT_EQ(dialog.activeSlider(), 1);
    const SumPlaneSet live = Live();
    EXPECT_TRUE(live == Expected({0.0, 4.0}, area));
    EXPECT_FALSE(live == mSaved);
    EXPECT_TRUE(OutsideUnchanged(live, mSaved, area));
    // A drag that moves and comes back still counts: the area is rebuilt (the same again).
    Press(dialog, ThumbPress(dialog.slider(1)), {QPoint(TrackX(slider, 90), press.y()), ThumbPress(dialog.slider(1))});
    EXPECT_EQ(dialog.slider(1).GetValue(), 4.0);
    EXPECT_TRUE(Live() == live);
    // Arrow keys move the grabbed slider: 0.1, or 1.0 with Shift.
    Key(dialog, Qt::Key_Right, true);
    EXPECT_EQ(dialog.slider(1).GetValue(), 5.0);
    Key(dialog, Qt::Key_Down);
    EXPECT_DOUBLE_EQ(dialog.slider(1).GetValue(), 4.9);
    EXPECT_TRUE(Live() == Expected({0.0, 4.9}, area));
    // Reset: every threshold 0, the stack as saved.
    Hit(dialog, kWaveletReset);
    EXPECT_EQ(Values(dialog), std::vector<double>(5, 0.0));
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(WaveletThresholdInterfaceTest, ArrowKeysWaitForAGrabbedSlider)
{
    WaveletThresholdInterface& dialog = Open();
    Key(dialog, Qt::Key_Right);
    EXPECT_EQ(Values(dialog), std::vector<double>(4, 0.0));
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(WaveletThresholdInterfaceTest, LockMovesEverySlider)
{
    WaveletThresholdInterface& dialog = Open();
    dialog.control(kWaveletLockSliders).SetValue(1);
    Hit(dialog, kWaveletLockSliders);
    EXPECT_TRUE(dialog.lockSliders());
    const QuadraticSlider& slider = dialog.slider(2);
    const QPoint press = ThumbPress(slider);
    Press(dialog, press, {QPoint(TrackX(slider, 20), press.y())});
    EXPECT_EQ(Values(dialog), std::vector<double>(4, 1.0));
    EXPECT_TRUE(Live() == Expected({1.0, 1.0, 1.0, 1.0}, dialog.previewRect()));
    // Unlocked, the others stay.
    dialog.control(kWaveletLockSliders).SetValue(0);
    Hit(dialog, kWaveletLockSliders);
    Key(dialog, Qt::Key_Up, true);
    EXPECT_EQ(Values(dialog), (std::vector<double>{1.0, 1.0, 2.0, 1.0}));
}

TEST_F(WaveletThresholdInterfaceTest, NewAreaOnTheThumbnailRestoresTheOldOne)
{
    const double remembered[kWaveletMaxThresholds] = {3.0, 6.0, 2.0, 1.0};
    SetWaveletRememberedSettingsForTesting(remembered, false);
    WaveletThresholdInterface& dialog = Open();
    const Rect first = dialog.previewRect();
    EXPECT_TRUE(Live() == Expected({3.0, 6.0, 2.0, 1.0}, first));
    // A drag from image (40, 30) to (50, 40): 10 × 10 grows to 32 × 32, padded 32 × 32, one level.
    const Rect thumb = dialog.thumbnail().thumbBounds();
    Press(dialog, QPoint(thumb.left + 40, thumb.top + 30), {QPoint(thumb.left + 50, thumb.top + 40)});
    const Rect second = dialog.previewRect();
    EXPECT_EQ(second, MakeRect(30, 40, 62, 72));
    EXPECT_EQ(dialog.control(kWaveletSizeText).Text(), "5x5");
    EXPECT_EQ(dialog.control(kWaveletCostText).Text(), "25");
    EXPECT_FALSE(dialog.slider(1).IsDimmed());
    EXPECT_TRUE(dialog.slider(2).IsDimmed());
    EXPECT_TRUE(dialog.slider(3).IsDimmed());
    const SumPlaneSet live = Live();
    EXPECT_TRUE(live == Expected({3.0, 6.0}, second));
    EXPECT_TRUE(OutsideUnchanged(live, mSaved, second)); // the first area is as saved again
}

TEST_F(WaveletThresholdInterfaceTest, PreviewSwitchShowsTheStackAsItWas)
{
    const double remembered[kWaveletMaxThresholds] = {5.0, 10.0};
    SetWaveletRememberedSettingsForTesting(remembered, false);
    WaveletThresholdInterface& dialog = Open();
    const SumPlaneSet live = Live();
    dialog.control(kDialogPreview).SetValue(0);
    Hit(dialog, kDialogPreview);
    EXPECT_FALSE(dialog.preview());
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    EXPECT_TRUE(Live() == live); // the planes stay filtered
    dialog.control(kDialogPreview).SetValue(1);
    Hit(dialog, kDialogPreview);
    EXPECT_FALSE(SamePixels(*gFrameStack, *mSavedDisplay));
}

TEST_F(WaveletThresholdInterfaceTest, CancelRestoresThePlanesByteForByte)
{
    const double remembered[kWaveletMaxThresholds] = {5.0, 10.0, 3.0};
    SetWaveletRememberedSettingsForTesting(remembered, true);
    WaveletThresholdInterface& dialog = Open();
    EXPECT_TRUE(dialog.lockSliders());
    EXPECT_EQ(dialog.control(kWaveletLockSliders).Value(), 1);
    ASSERT_FALSE(Live() == mSaved);
    Hit(dialog, kDialogCancel);
    Flush();
    EXPECT_EQ(gWaveletThresholdInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    // Nothing remembered from a cancelled dialog.
    EXPECT_EQ(WaveletRememberedThresholds()[0], 5.0);
    EXPECT_TRUE(WaveletRememberedLockSliders());
}

TEST_F(WaveletThresholdInterfaceTest, OkDenoisesTheWholeStackOnceAndRemembers)
{
    MakeStack(150, 140, kFrames);
    const double remembered[kWaveletMaxThresholds] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 7.5};
    SetWaveletRememberedSettingsForTesting(remembered, false);
    WaveletThresholdInterface& dialog = Open();
    ASSERT_EQ(dialog.numSliders(), 5); // 256 × 256 padded: four levels
    const QuadraticSlider& slider = dialog.slider(0);
    const QPoint press = ThumbPress(slider);
    Press(dialog, press, {QPoint(TrackX(slider, 30), press.y())}); // 2.25 -> 2.3
    const QPoint press3 = ThumbPress(dialog.slider(3));
    Press(dialog, press3, {QPoint(TrackX(dialog.slider(3), 50), press3.y())});
    ASSERT_EQ(Values(dialog), (std::vector<double>{2.3, 0.0, 0.0, 6.3, 0.0}));
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_EQ(gWaveletThresholdInterface, nullptr);
    // Once, over the whole stack, from the saved planes.
    EXPECT_TRUE(Live() == Expected({2.3, 0.0, 0.0, 6.3}, MakeRect(0, 0, 140, 150)));
    // Remembered slider by slider; the tenth, without a slider here, as it was.
    const double* kept = WaveletRememberedThresholds();
    EXPECT_EQ(kept[0], 2.3);
    EXPECT_EQ(kept[3], 6.3);
    EXPECT_EQ(kept[9], 7.5);
    EXPECT_FALSE(WaveletRememberedLockSliders());
}

TEST_F(WaveletThresholdInterfaceTest, SlowAnalysisRebuildsAfterRelease)
{
    SetWaveletLiveLimitForTesting(0.0); // no analysis is that fast
    WaveletThresholdInterface& dialog = Open();
    EXPECT_FALSE(dialog.live());
    EXPECT_EQ(dialog.control(kWaveletLiveText).Text(), "Off");
    const QuadraticSlider& slider = dialog.slider(1);
    const QPoint press = ThumbPress(slider);
    Press(dialog, press, {QPoint(TrackX(slider, 40), press.y())});
    EXPECT_TRUE(Live() == Expected({0.0, 4.0}, dialog.previewRect()));
}

TEST_F(WaveletThresholdInterfaceTest, TinyStackOpensAndClosesSafely)
{
    // Smaller than the 32-pixel minimum area and than any pyramid level.
    MakeStack(9, 5, kFrames);
    const double remembered[kWaveletMaxThresholds] = {50.0};
    SetWaveletRememberedSettingsForTesting(remembered, false);
    WaveletThresholdInterface& dialog = Open();
    EXPECT_EQ(dialog.numSliders(), 1);
    EXPECT_EQ(dialog.previewRect(), MakeRect(0, 0, 5, 9));
    EXPECT_TRUE(Live() == mSaved);
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(WaveletThresholdInterfaceTest, OutOfMemoryForANewAreaEndsAsCancel)
{
    const double remembered[kWaveletMaxThresholds] = {4.0, 8.0};
    SetWaveletRememberedSettingsForTesting(remembered, false);
    ScriptedInteraction interaction;
    WaveletThresholdInterface& dialog = Open();
    const QuadraticSlider& slider = dialog.slider(0);
    const QPoint press = ThumbPress(slider);
    Press(dialog, press, {QPoint(TrackX(slider, 60), press.y())}); // 9.0
    ASSERT_FALSE(Live() == mSaved);
    FailNextWaveletPreparesForTesting(1);
    const Rect thumb = dialog.thumbnail().thumbBounds();
    Press(dialog, QPoint(thumb.left + 40, thumb.top + 30), {QPoint(thumb.left + 75, thumb.top + 65)});
    FailNextWaveletPreparesForTesting(0);
    Flush();
    // The alert, no analysis of arrays that could not be made, and the dialog gone as Cancel goes: the
    // stack as it was and nothing remembered (OK would have tried the whole stack, larger still).
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(gWaveletThresholdInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_EQ(WaveletRememberedThresholds()[0], 4.0);
}

TEST_F(WaveletThresholdInterfaceTest, OutOfMemoryOnOkSaysSoAndKeepsTheStack)
{
    const double remembered[kWaveletMaxThresholds] = {4.0, 8.0};
    SetWaveletRememberedSettingsForTesting(remembered, false);
    ScriptedInteraction interaction;
    WaveletThresholdInterface& dialog = Open();
    dialog.control(kWaveletLockSliders).SetValue(1);
    Hit(dialog, kWaveletLockSliders);
    FailNextWaveletPreparesForTesting(1);
    Hit(dialog, kDialogOK);
    FailNextWaveletPreparesForTesting(0);
    Flush();
    // Not a silent success: the out-of-memory alert, the stack as it was at opening; the settings are
    // still remembered.
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(gWaveletThresholdInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    EXPECT_EQ(WaveletRememberedThresholds()[1], 8.0);
    EXPECT_TRUE(WaveletRememberedLockSliders());
}

TEST_F(WaveletThresholdInterfaceTest, OutOfMemoryWhileOpeningLeavesNoDialog)
{
    ScriptedInteraction interaction;
    gNumThreads = 3;
    FailNextWaveletPreparesForTesting(1);
    Run("OpWS");
    FailNextWaveletPreparesForTesting(0);
    Flush();
    EXPECT_EQ(gWaveletThresholdInterface, nullptr);
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(gNumThreads, 3);
    EXPECT_TRUE(Live() == mSaved);
}
