// tests/gui/HistogramLevelsInterfaceTest.cpp: the levels dialog over a
// stack: opened by its command with neutral levels and the stack unchanged,
// value and colour levels excluding each other, gamma, the arrow keys, the
// auto buttons on a stack of known levels, the percentage field, the
// clipping display and that its marks are never kept, preview, the
// histograms' rectangle, Cancel and OK, and the slider's drawing.
#include "tools/HistogramLevelsInterface.h"

#include <cstdint>
#include <functional>
#include <string>

#include <QComboBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include "shell/DialogPointers.h"
#include "shell/HistogramInterface.h"
#include "shell/ThumbnailInterface.h"
#include "imaging/Levels.h"
#include "platform/core/FreeMemory.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "tests/gui/StackToolFixture.h"
#include "tests/support/ScriptedInteraction.h"

namespace {

class HistogramLevelsInterfaceTest : public StackToolFixture {
protected:
    void SetUp() override
    {
        StackToolFixture::SetUp();
        InstallHistogramLevelsDialog();
        SetHistogramLevelsShowClippingAtOpening(false);
    }
    void TearDown() override
    {
        if (gHistogramLevelsInterface)
            gHistogramLevelsInterface->End(true);
        SetFreeMemForTesting({});
        StackToolFixture::TearDown();
    }
    HistogramLevelsInterface& Open()
    {
        Run("OpLv");
        EXPECT_NE(gHistogramLevelsInterface, nullptr);
        return *gHistogramLevelsInterface;
    }

    // An 8 × 4 stack of 2 frames whose pixel levels are known: each row a
    // level (10, 50, 100, 250) in red; green 120 and blue 0 everywhere but
    // the last column, which repeats red in all three (grey).
    static constexpr int kLevels[4] = {10, 50, 100, 250};
    void MakeKnownStack()
    {
        SumPlaneSet s(8, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                const int level = kLevels[y];
                s.At(0, x, y) = 2 * level;
                s.At(1, x, y) = x == 7 ? 2 * level : 2 * 120;
                s.At(2, x, y) = x == 7 ? 2 * level : 0;
            }
        SetStack(s, 2.0);
    }
    void SetStack(const SumPlaneSet& s, double frames)
    {
        const std::size_t n = s.planes[0].size();
        gRedStack = std::make_unique<int32_t[]>(n);
        gGreenStack = std::make_unique<int32_t[]>(n);
        gBlueStack = std::make_unique<int32_t[]>(n);
        std::copy(s.planes[0].begin(), s.planes[0].end(), gRedStack.get());
        std::copy(s.planes[1].begin(), s.planes[1].end(), gGreenStack.get());
        std::copy(s.planes[2].begin(), s.planes[2].end(), gBlueStack.get());
        gNumFramesInStack = frames;
        gFrameStack = MakeImage(s.width, s.height);
        ProjectStackIntoFrameStackGWorld(false);
        mSaved = s;
        mSavedDisplay = MakeImage(s.width, s.height);
        CopyGWorldWrapper(*gFrameStack, *mSavedDisplay);
    }

    // The planes the levels of the sliders give from the saved planes.
    SumPlaneSet Expected(const LevelCutoffs (&levels)[4], LevelPlaneSelection which, double frames) const
    {
        SumPlaneSet out = mSaved;
        std::vector<char> r(out.planes[0].size()), g(r.size()), b(r.size());
        LevelStackPlanes(mSaved.ConstView(), out.View(), frames, levels, which,
                         LevelClipMaps{r.data(), g.data(), b.data()});
        return out;
    }
    static void Levels(const HistogramLevelsInterface& dialog, LevelCutoffs (&levels)[4])
    {
        for (int i = 0; i < 4; ++i)
            dialog.slider(i).GetCutoffs(levels[i].black, levels[i].white, levels[i].gammaInverse);
    }
    SumPlaneSet ExpectedNow(const HistogramLevelsInterface& dialog, double frames) const
    {
        LevelCutoffs levels[4];
        Levels(dialog, levels);
        return Expected(levels, LevelPlaneSelection{true, false, false, false}, frames);
    }

    // Drags a thumb of slider i from its centre along path.
    static void Drag(HistogramLevelsInterface& dialog, int i, int thumb, std::vector<QPoint> path)
    {
        const LevelsSlider& s = dialog.slider(i);
        const Rect r = thumb == kLevelsBlackThumb   ? s.BlackThumb()
                       : thumb == kLevelsWhiteThumb ? s.WhiteThumb()
                                                    : s.GammaThumb();
        Press(dialog, QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2), std::move(path));
    }
    // Pointer x on slider i's track for a point of d pixels.
    static QPoint Track(const HistogramLevelsInterface& dialog, int i, int d)
    {
        const Point o = dialog.slider(i).Origin();
        return QPoint(o.h + d, o.v + 58);
    }
    // Types text into the percentage field as the user would.
    static void TypePercentage(HistogramLevelsInterface& dialog, const std::string& text)
    {
        auto* edit = qobject_cast<QLineEdit*>(dialog.control(kHistogramLevelsPercentage).Widget());
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromStdString(text));
        emit edit->textEdited(edit->text());
    }
    static std::string PercentageText(const HistogramLevelsInterface& dialog)
    {
        return dialog.control(kHistogramLevelsPercentage).Text();
    }
};

} // namespace

TEST_F(HistogramLevelsInterfaceTest, OpensNeutralWithTheStackUnchanged)
{
    HistogramLevelsInterface& dialog = Open();
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    for (int id :
         {kDialogOK, kDialogCancel, kDialogPreview, kDialogHistogramScale, kHistogramLevelsShowClipping,
          kHistogramLevelsPercentage, kHistogramLevelsAutoValue, kHistogramLevelsAutoRGB, kHistogramLevelsReset})
        EXPECT_TRUE(dialog.control(id)) << id;
    EXPECT_EQ(PercentageText(dialog), ".00");
    EXPECT_EQ(dialog.control(kHistogramLevelsShowClipping).Value(), 0);
    EXPECT_EQ(dialog.autoPercentage(), 0.0);
    EXPECT_EQ(dialog.activeSlider(), kHistogramLevelsNoSlider);
    for (int i = 0; i < 4; ++i) {
        const LevelsSlider& s = dialog.slider(i);
        EXPECT_EQ(s.Origin(), MakePoint(10 + 90 * i, 10));
        EXPECT_EQ(s.Channel(), i);
        EXPECT_EQ(s.Scale(), kFrames);
        EXPECT_EQ(s.Black(), 0.0);
        EXPECT_EQ(s.White(), 255.0 * kFrames);
        EXPECT_EQ(s.Gamma(), 1.0);
    }
    HistogramInterface reference(10, 10, 90);
    ASSERT_TRUE(reference.GenerateHistograms(*mSavedDisplay, MakeRect(0, 0, kH, kW)));
    for (int channel = 0; channel < 4; ++channel)
        for (int bin = 0; bin < 256; ++bin)
            ASSERT_EQ(dialog.histograms().histogram(channel).GetBin(bin), reference.histogram(channel).GetBin(bin));
    EXPECT_EQ(dialog.thumbnail().subThumbScaledUpBounds(), MakeRect(0, 0, kH, kW));
}

TEST_F(HistogramLevelsInterfaceTest, ValueLevelsLevelAllThreePlanesLive)
{
    HistogramLevelsInterface& dialog = Open();
    // Black to 40 pixels (240), white to 200 (1200), live at every step.
    Drag(dialog, 0, kLevelsBlackThumb, {Track(dialog, 0, 20), Track(dialog, 0, 40)});
    EXPECT_EQ(dialog.activeSlider(), 0);
    EXPECT_EQ(dialog.slider(0).Black(), 240.0);
    Drag(dialog, 0, kLevelsWhiteThumb, {Track(dialog, 0, 200)});
    EXPECT_EQ(dialog.slider(0).White(), 1200.0);
    const SumPlaneSet live = Live();
    EXPECT_TRUE(live == ExpectedNow(dialog, kFrames));
    EXPECT_FALSE(live == mSaved);
    // A pixel of value 240 or less is black in all three channels.
    for (std::size_t i = 0; i < live.planes[0].size(); ++i)
        if (std::max({mSaved.planes[0][i], mSaved.planes[1][i], mSaved.planes[2][i]}) <= 240) {
            ASSERT_EQ(live.planes[0][i], 0);
            ASSERT_EQ(live.planes[1][i], 0);
            ASSERT_EQ(live.planes[2][i], 0);
        }
    // The display follows the planes.
    auto expected = MakeImage(kW, kH);
    CopyGWorldWrapper(*gFrameStack, *expected);
    ProjectStackIntoFrameStackGWorld(false);
    EXPECT_TRUE(SamePixels(*gFrameStack, *expected));
}

TEST_F(HistogramLevelsInterfaceTest, ColourLevelsResetValueLevelsAndRestoreThePlanes)
{
    HistogramLevelsInterface& dialog = Open();
    Drag(dialog, 0, kLevelsBlackThumb, {Track(dialog, 0, 50)});
    ASSERT_EQ(dialog.slider(0).Black(), 300.0);
    // Now the red black point: the value slider goes back to neutral, green
    // and blue show their saved planes, red is levelled on its own.
    Drag(dialog, 1, kLevelsBlackThumb, {Track(dialog, 1, 30)});
    EXPECT_EQ(dialog.activeSlider(), 1);
    EXPECT_EQ(dialog.slider(0).Black(), 0.0);
    EXPECT_EQ(dialog.slider(0).White(), 255.0 * kFrames);
    EXPECT_EQ(dialog.slider(1).Black(), 180.0);
    const SumPlaneSet live = Live();
    EXPECT_EQ(live.planes[1], mSaved.planes[1]);
    EXPECT_EQ(live.planes[2], mSaved.planes[2]);
    std::vector<int32_t> red = mSaved.planes[0];
    std::vector<char> mask(red.size());
    RemapLongImageComponentsFromLevelCutoffs(red.data(), kW, kH, 256 * kFrames, 180.0, 255.0 * kFrames, 1.0,
                                             mask.data());
    EXPECT_EQ(live.planes[0], red);
    EXPECT_EQ(dialog.clipMap(0), mask);

    // A green gamma keeps the red levels; then value levels reset both.
    Drag(dialog, 2, kLevelsGammaThumb, {QPoint(dialog.slider(2).Origin().h + 264, 190 + 10)}); // y = v + 10
    EXPECT_EQ(dialog.slider(2).Gamma(), 40.0 * 40.0 / 250.0);
    EXPECT_EQ(Live().planes[0], red);
    EXPECT_TRUE(Live() == ExpectedNow(dialog, kFrames));
    Drag(dialog, 0, kLevelsWhiteThumb, {Track(dialog, 0, 150)});
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(dialog.slider(i).Black(), 0.0) << i;
        EXPECT_EQ(dialog.slider(i).Gamma(), 1.0) << i;
    }
    EXPECT_TRUE(Live() == ExpectedNow(dialog, kFrames));
}

TEST_F(HistogramLevelsInterfaceTest, GammaAtTheBottomBlackensTheMidtones)
{
    HistogramLevelsInterface& dialog = Open();
    Drag(dialog, 3, kLevelsGammaThumb, {QPoint(300, 400)}); // far below: gamma 0
    EXPECT_EQ(dialog.slider(3).Gamma(), 0.0);
    // Blue sums strictly inside 0 .. full scale become 0; 0 stays 0; full
    // scale stays (it lies on the straight part).
    const SumPlaneSet live = Live();
    for (std::size_t i = 0; i < live.planes[2].size(); ++i) {
        const int32_t s = mSaved.planes[2][i];
        if (s > 0 && s < 255 * kFrames) {
            ASSERT_EQ(live.planes[2][i], 0) << i;
        }
    }
    EXPECT_EQ(live.planes[0], mSaved.planes[0]);
}

TEST_F(HistogramLevelsInterfaceTest, ArrowKeysMoveTheActiveSlidersThumb)
{
    HistogramLevelsInterface& dialog = Open();
    Key(dialog, Qt::Key_Right); // no slider yet: nothing
    EXPECT_TRUE(Live() == mSaved);
    Drag(dialog, 2, kLevelsBlackThumb, {}); // grabbed, not moved
    EXPECT_EQ(dialog.activeSlider(), 2);
    EXPECT_TRUE(Live() == mSaved);
    Key(dialog, Qt::Key_Right);
    EXPECT_EQ(dialog.slider(2).Black(), 1.0);
    Key(dialog, Qt::Key_Up, true);
    EXPECT_EQ(dialog.slider(2).Black(), 11.0);
    Key(dialog, Qt::Key_Left);
    EXPECT_EQ(dialog.slider(2).Black(), 10.0);
    Key(dialog, Qt::Key_Down, true);
    Key(dialog, Qt::Key_Down, true);
    EXPECT_EQ(dialog.slider(2).Black(), 0.0);
    Key(dialog, Qt::Key_Up, true);
    Key(dialog, Qt::Key_Up, true);
    Key(dialog, Qt::Key_Up, true);
    EXPECT_EQ(dialog.slider(2).Black(), 30.0);
    EXPECT_TRUE(Live() == ExpectedNow(dialog, kFrames));
    EXPECT_EQ(Live().planes[0], mSaved.planes[0]);
}

TEST_F(HistogramLevelsInterfaceTest, AutoValueLevelsOnAKnownStack)
{
    MakeKnownStack();
    HistogramLevelsInterface& dialog = Open();
    // Value levels 10 (7 of 32 pixels... no: green 120 lifts the first seven
    // columns) -- the value of a pixel is the largest of R, G, B: 120 in
    // columns 0 .. 6 of rows 0 .. 2, 250 in row 3, and the grey column
    // 10, 50, 100, 250. Shares: 120: 21/32, 250: 8/32, 10, 50, 100: 1/32 each.
    Hit(dialog, kHistogramLevelsAutoValue);
    EXPECT_EQ(dialog.activeSlider(), 0);
    // 0 %: one bin below 10 and above 250, in stack units of 2 frames.
    EXPECT_EQ(dialog.slider(0).Black(), 18.0);
    EXPECT_EQ(dialog.slider(0).White(), 502.0);
    EXPECT_EQ(dialog.slider(0).Gamma(), 1.0);
    EXPECT_TRUE(Live() == ExpectedNow(dialog, 2.0));

    // 6.25 % = 2/32: bins 10 and 50 may clip (running sums 1/32, 2/32),
    // bin 100 not: black = 99 × 2; from the top bin 250 alone is 8/32.
    TypePercentage(dialog, "6.25");
    EXPECT_EQ(dialog.autoPercentage(), 6.25);
    Hit(dialog, kHistogramLevelsAutoValue);
    EXPECT_EQ(dialog.slider(0).Black(), 198.0);
    EXPECT_EQ(dialog.slider(0).White(), 502.0);
    // 25 % = 8/32: from the top bin 250 clips too (8/32), down to bin 121.
    TypePercentage(dialog, "25");
    Hit(dialog, kHistogramLevelsAutoValue);
    EXPECT_EQ(dialog.slider(0).Black(), 238.0); // bins 10, 50, 100 (3/32) and up to 119
    EXPECT_EQ(dialog.slider(0).White(), 242.0); // bin 121
    EXPECT_TRUE(Live() == ExpectedNow(dialog, 2.0));
}

TEST_F(HistogramLevelsInterfaceTest, AutoRGBLevelsSetEachColourFromItsHistogram)
{
    MakeKnownStack();
    HistogramLevelsInterface& dialog = Open();
    Drag(dialog, 0, kLevelsBlackThumb, {Track(dialog, 0, 30)}); // value levels first
    Hit(dialog, kHistogramLevelsAutoRGB);
    EXPECT_EQ(dialog.activeSlider(), 1);
    EXPECT_EQ(dialog.slider(0).Black(), 0.0); // value back to neutral
    // Red: levels 10 .. 250 -> (9 × 2, 251 × 2).
    EXPECT_EQ(dialog.slider(1).Black(), 18.0);
    EXPECT_EQ(dialog.slider(1).White(), 502.0);
    // Green: 120 and the grey column's 10 .. 250.
    EXPECT_EQ(dialog.slider(2).Black(), 18.0);
    EXPECT_EQ(dialog.slider(2).White(), 502.0);
    // Blue: 0 in 28 pixels, the grey column's 10 .. 250: bin 0 exceeds 0 %.
    EXPECT_EQ(dialog.slider(3).Black(), 0.0);
    EXPECT_EQ(dialog.slider(3).White(), 502.0);
    EXPECT_TRUE(Live() == ExpectedNow(dialog, 2.0));

    Hit(dialog, kHistogramLevelsReset);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dialog.slider(i).Black(), 0.0);
        EXPECT_EQ(dialog.slider(i).White(), 510.0);
        EXPECT_EQ(dialog.slider(i).Gamma(), 1.0);
    }
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(HistogramLevelsInterfaceTest, PercentageFieldIsClamped)
{
    HistogramLevelsInterface& dialog = Open();
    TypePercentage(dialog, "12.5");
    EXPECT_EQ(dialog.autoPercentage(), 12.5);
    EXPECT_EQ(PercentageText(dialog), "12.5");
    // Out of range: the clamped share is used, the text stays as typed.
    TypePercentage(dialog, "60");
    EXPECT_EQ(dialog.autoPercentage(), 49.99);
    EXPECT_EQ(PercentageText(dialog), "60");
    TypePercentage(dialog, "-3");
    EXPECT_EQ(dialog.autoPercentage(), 0.0);
    EXPECT_EQ(PercentageText(dialog), "-3");
    TypePercentage(dialog, "");
    EXPECT_EQ(dialog.autoPercentage(), 0.0);
    EXPECT_EQ(PercentageText(dialog), "");
    TypePercentage(dialog, "7abc");
    EXPECT_EQ(dialog.autoPercentage(), 7.0);
    // Nothing reaches the preview switch.
    EXPECT_TRUE(dialog.preview());
    EXPECT_EQ(dialog.control(kDialogPreview).Value(), 1);
}

TEST_F(HistogramLevelsInterfaceTest, ShowClippingMarksShadowsWhiteAndHighlightsBlack)
{
    MakeKnownStack();
    HistogramLevelsInterface& dialog = Open();
    Hit(dialog, kHistogramLevelsShowClipping);
    EXPECT_TRUE(dialog.showClipping());
    EXPECT_EQ(dialog.control(kHistogramLevelsShowClipping).Value(), 1);
    EXPECT_TRUE(Live() == mSaved); // neutral: nothing clipped, nothing marked
    TypePercentage(dialog, "25");
    Hit(dialog, kHistogramLevelsAutoValue); // black 238, white 242
    const SumPlaneSet live = Live();
    const SumPlaneSet levelled = ExpectedNow(dialog, 2.0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const int value = std::max({mSaved.At(0, x, y), mSaved.At(1, x, y), mSaved.At(2, x, y)});
            for (int c = 0; c < 3; ++c) {
                // The value levels mark all three channels by the pixel's
                // levelled value.
                const int32_t expected = value <= 238 ? 510 : value >= 242 ? 0 : levelled.At(c, x, y);
                ASSERT_EQ(live.At(c, x, y), expected) << x << "," << y << " c" << c;
            }
        }
    // Shadows show white, highlights black.
    EXPECT_EQ(GetPixel(*gFrameStack, 7, 0), (Argb{GetPixel(*gFrameStack, 7, 0).a, 255, 255, 255}));
    EXPECT_EQ(GetPixel(*gFrameStack, 0, 3), (Argb{GetPixel(*gFrameStack, 0, 3).a, 0, 0, 0}));

    // OK keeps the levels without the marks and remembers the check box.
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_EQ(gHistogramLevelsInterface, nullptr);
    EXPECT_TRUE(Live() == levelled);
    EXPECT_TRUE(HistogramLevelsShowClippingAtOpening());
    HistogramLevelsInterface& next = Open();
    EXPECT_TRUE(next.showClipping());
    EXPECT_EQ(next.control(kHistogramLevelsShowClipping).Value(), 1);
}

TEST_F(HistogramLevelsInterfaceTest, ShowClippingBeforeAnySliderChangesOnlyTheFlag)
{
    HistogramLevelsInterface& dialog = Open();
    Hit(dialog, kHistogramLevelsShowClipping);
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    Hit(dialog, kHistogramLevelsShowClipping);
    EXPECT_FALSE(dialog.showClipping());
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(HistogramLevelsInterfaceTest, MarksNeverReachTheKeptStack)
{
    // Marks made with the preview on; then the preview off and the check
    // box off, where nothing is levelled again: OK still keeps clean levels.
    MakeKnownStack();
    HistogramLevelsInterface& dialog = Open();
    Hit(dialog, kHistogramLevelsShowClipping);
    TypePercentage(dialog, "25");
    Hit(dialog, kHistogramLevelsAutoValue);
    const SumPlaneSet levelled = ExpectedNow(dialog, 2.0);
    ASSERT_FALSE(Live() == levelled); // marked
    Hit(dialog, kDialogPreview);
    Hit(dialog, kHistogramLevelsShowClipping);
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_TRUE(Live() == levelled);
    EXPECT_FALSE(HistogramLevelsShowClippingAtOpening());
}

TEST_F(HistogramLevelsInterfaceTest, ShowClippingKeepsTheLevelsOfEverySlider)
{
    // Value levels, then a colour thumb grabbed without moving it: the
    // check box levels again from all sliders, keeping the value levels.
    MakeKnownStack();
    HistogramLevelsInterface& dialog = Open();
    TypePercentage(dialog, "25");
    Hit(dialog, kHistogramLevelsAutoValue);
    const SumPlaneSet levelled = ExpectedNow(dialog, 2.0);
    Drag(dialog, 1, kLevelsBlackThumb, {});
    ASSERT_EQ(dialog.activeSlider(), 1);
    Hit(dialog, kHistogramLevelsShowClipping);
    Hit(dialog, kHistogramLevelsShowClipping);
    EXPECT_TRUE(Live() == levelled);
    EXPECT_EQ(dialog.slider(0).Black(), 238.0);
}

TEST_F(HistogramLevelsInterfaceTest, PreviewOffShowsTheStackAsItWas)
{
    HistogramLevelsInterface& dialog = Open();
    Hit(dialog, kDialogPreview);
    EXPECT_FALSE(dialog.preview());
    Drag(dialog, 0, kLevelsBlackThumb, {Track(dialog, 0, 60)});
    EXPECT_TRUE(Live() == ExpectedNow(dialog, kFrames)); // the planes follow
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    Hit(dialog, kDialogPreview);
    auto expected = MakeImage(kW, kH);
    CopyGWorldWrapper(*gFrameStack, *expected);
    ProjectStackIntoFrameStackGWorld(false);
    EXPECT_TRUE(SamePixels(*gFrameStack, *expected));
    EXPECT_FALSE(SamePixels(*gFrameStack, *mSavedDisplay));
}

TEST_F(HistogramLevelsInterfaceTest, HistogramsFollowTheRectangleDrawnOnTheThumbnail)
{
    MakeKnownStack(); // 8 × 4: shown at full size at (320, 10)
    HistogramLevelsInterface& dialog = Open();
    // Rows 0 and 1, columns 0 .. 3: red levels 10 and 50 only.
    Press(dialog, QPoint(320, 10), {QPoint(324, 12)});
    EXPECT_EQ(dialog.thumbnail().subThumbScaledUpBounds(), MakeRect(0, 0, 2, 4));
    EXPECT_EQ(dialog.histograms().histogram(1).GetBin(10), 0.5);
    EXPECT_EQ(dialog.histograms().histogram(1).GetBin(50), 0.5);
    EXPECT_EQ(dialog.histograms().histogram(1).GetBin(250), 0.0);
    EXPECT_TRUE(Live() == mSaved); // the planes are not touched
    // The auto buttons read the histograms shown: red 10 .. 50.
    Hit(dialog, kHistogramLevelsAutoRGB);
    EXPECT_EQ(dialog.slider(1).Black(), 18.0);
    EXPECT_EQ(dialog.slider(1).White(), 102.0);
    // Preview off (or on) counts the whole stack again.
    Hit(dialog, kDialogPreview);
    EXPECT_EQ(dialog.thumbnail().subThumbScaledUpBounds(), MakeRect(0, 0, 4, 8));
    EXPECT_EQ(dialog.histograms().histogram(1).GetBin(250), 0.25);
}

TEST_F(HistogramLevelsInterfaceTest, HistogramScaleSelector)
{
    HistogramLevelsInterface& dialog = Open();
    auto* selector = qobject_cast<QComboBox*>(dialog.control(kDialogHistogramScale).Widget());
    ASSERT_NE(selector, nullptr);
    EXPECT_EQ(dialog.control(kDialogHistogramScale).Value(), 3);
    selector->setCurrentIndex(0);
    Hit(dialog, kDialogHistogramScale);
    EXPECT_EQ(dialog.histograms().scaleMode(), 2.0);
}

TEST_F(HistogramLevelsInterfaceTest, CancelRestoresThePlanesByteForByte)
{
    SetHistogramLevelsShowClippingAtOpening(false);
    HistogramLevelsInterface& dialog = Open();
    Hit(dialog, kHistogramLevelsShowClipping);
    Drag(dialog, 0, kLevelsBlackThumb, {Track(dialog, 0, 80)});
    Drag(dialog, 2, kLevelsGammaThumb, {QPoint(290, 190)});
    ASSERT_FALSE(Live() == mSaved);
    Hit(dialog, kDialogCancel);
    Flush();
    EXPECT_EQ(gHistogramLevelsInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    EXPECT_FALSE(HistogramLevelsShowClippingAtOpening()); // only OK remembers
}

TEST_F(HistogramLevelsInterfaceTest, OkKeepsTheLevelsOnce)
{
    HistogramLevelsInterface& dialog = Open();
    Drag(dialog, 1, kLevelsWhiteThumb, {Track(dialog, 1, 180)});
    Drag(dialog, 3, kLevelsBlackThumb, {Track(dialog, 3, 25)});
    const SumPlaneSet levelled = ExpectedNow(dialog, kFrames);
    ASSERT_TRUE(Live() == levelled);
    Hit(dialog, kDialogOK);
    Hit(dialog, kDialogOK); // a second OK before the deletion changes nothing
    Flush();
    EXPECT_EQ(gHistogramLevelsInterface, nullptr);
    EXPECT_TRUE(Live() == levelled);
    // The levelled red runs past full scale above its white point (up to
    // 256 × 6 - 1), so OK's projection raised the frame count the display
    // divides by. The next dialog starts neutral on that scale over the kept
    // levels; its Cancel gives them back unchanged.
    EXPECT_EQ(gNumFramesInStack, 1535.0 / 255.0);
    HistogramLevelsInterface& next = Open();
    EXPECT_EQ(next.slider(1).Scale(), gNumFramesInStack);
    EXPECT_EQ(next.slider(1).White(), 255.0 * gNumFramesInStack);
    EXPECT_TRUE(Live() == levelled);
    Hit(next, kDialogCancel);
    Flush();
    EXPECT_TRUE(Live() == levelled);
}

TEST_F(HistogramLevelsInterfaceTest, StackOfNoFramesOpensAndChangesNothing)
{
    SetStack(SumPlaneSet(5, 3, 0), 0.0);
    HistogramLevelsInterface& dialog = Open();
    Drag(dialog, 0, kLevelsWhiteThumb, {Track(dialog, 0, 100)});
    Hit(dialog, kHistogramLevelsAutoValue);
    Hit(dialog, kHistogramLevelsShowClipping);
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(HistogramLevelsInterfaceTest, TablesBeyondFreeMemoryAreRefused)
{
    ScriptedInteraction interaction;
    SetFreeMemForTesting([] { return int64_t{1000}; }); // 6 frames need 1536 × 20 bytes
    Run("OpLv");
    Flush();
    EXPECT_EQ(gHistogramLevelsInterface, nullptr);
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
}

TEST_F(HistogramLevelsInterfaceTest, AStackOfMillionsOfFramesLevelsWithoutTables)
{
    // A 32-bit FITS stack: 5,000,000 frames give 1.28e9 levels, tables of 25 GB; far more levels than pixels,
    // so the curves are evaluated per pixel and the dialog works in little memory.
    constexpr int kHugeFrames = 5'000'000;
    MakeStack(kW, kH, kHugeFrames);
    SetFreeMemForTesting([] { return int64_t{64} << 20; });
    ScriptedInteraction interaction;
    HistogramLevelsInterface& dialog = Open();
    ASSERT_EQ(interaction.AlertCount(), 0);
    Drag(dialog, 0, kLevelsBlackThumb, {Track(dialog, 0, 40)}); // the value curve over all three colours
    ASSERT_GT(dialog.slider(0).Black(), 0.0);
    EXPECT_TRUE(Live() == ExpectedNow(dialog, kHugeFrames));
    EXPECT_FALSE(Live() == mSaved);
    Drag(dialog, 1, kLevelsWhiteThumb, {Track(dialog, 1, 200)}); // red on its own
    EXPECT_TRUE(Live() == ExpectedNow(dialog, kHugeFrames));
    EXPECT_FALSE(Live() == mSaved);
}

TEST_F(HistogramLevelsInterfaceTest, OutOfMemoryWhileOpeningLeavesNoDialog)
{
    ScriptedInteraction interaction;
    FailNextImageAllocationsForTesting(1);
    Run("OpLv");
    FailNextImageAllocationsForTesting(0);
    Flush();
    EXPECT_EQ(gHistogramLevelsInterface, nullptr);
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(HistogramLevelsInterfaceTest, SlidersDrawTheirThumbsAndLabels)
{
    HistogramLevelsInterface& dialog = Open();
    Drag(dialog, 1, kLevelsBlackThumb, {Track(dialog, 1, 100)});
    const QImage& image = dialog.canvas()->Image();
    // The red slider's white thumb: black outline at its point, red body.
    const Rect white = dialog.slider(1).WhiteThumb();
    EXPECT_EQ(image.pixel(white.left + 5, white.top) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(image.pixel(white.left + 5, white.top + 3) & 0xFFFFFF, 0xE00000u);
    // Its black thumb moved to h - 3 + 100; grey body.
    const Rect black = dialog.slider(1).BlackThumb();
    EXPECT_EQ(black.left, 10 - 3 + 100);
    EXPECT_EQ(image.pixel(black.left + 5, black.top + 3) & 0xFFFFFF, 0x808080u);
    // The gamma thumb's point at its left edge, middle row.
    const Rect gamma = dialog.slider(1).GammaThumb();
    EXPECT_EQ(image.pixel(gamma.left, gamma.top + 5) & 0xFFFFFF, 0x000000u);
    // Labels: something dark in the black label's band (baseline v + 71) and
    // beside the gamma thumb.
    auto anyDark = [&](int left, int top, int right, int bottom) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (qGray(image.pixel(x, y)) < 128)
                    return true;
        return false;
    };
    const int v = dialog.slider(1).Origin().v;
    EXPECT_TRUE(anyDark(black.left, v + 62, black.left + 30, v + 72));
    EXPECT_TRUE(anyDark(10 + 270, gamma.top, 10 + 305, gamma.top + 9));
    // Under the thumbs, left of the first label, all white.
    EXPECT_FALSE(anyDark(2, v + 62, 10, v + 70));
}
