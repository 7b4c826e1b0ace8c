// tests/gui/GaussianBlurInterfaceTest.cpp: the Gaussian blur dialog over a
// stack: opened by its command at the remembered radius, the slider dragged
// and nudged, the blur against scipy, preview, histograms, OK and Cancel,
// the radius remembered only on OK, and the slider's drawing.
#include "tools/GaussianBlurInterface.h"

#include <cmath>
#include <string>

#include <QComboBox>

#include <gtest/gtest.h>

#include "shell/DialogPointers.h"
#include "shell/HistogramInterface.h"
#include "imaging/GaussianBlur.h"
#include "imaging/SumPlaneFilters.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "tests/gui/StackToolFixture.h"
#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tools/UnsharpMaskInterface.h"

namespace {

class GaussianBlurInterfaceTest : public StackToolFixture {
protected:
    void SetUp() override
    {
        StackToolFixture::SetUp();
        gLastGaussianBlurRadius = 0.1;
    }
    void TearDown() override
    {
        if (gGaussianBlurInterface)
            gGaussianBlurInterface->End(true);
        StackToolFixture::TearDown();
    }
    GaussianBlurInterface& Open()
    {
        Run("OpGB");
        EXPECT_NE(gGaussianBlurInterface, nullptr);
        return *gGaussianBlurInterface;
    }
    // The planes the blur of the saved scene at radius gives.
    SumPlaneSet Blurred(double radius) const
    {
        SumPlaneSet out(mSaved.width, mSaved.height);
        DoublePlanes source(mSaved.width, mSaved.height), result(mSaved.width, mSaved.height);
        GaussianBlurSumPlanes(mSaved.ConstView(), radius, source, result, out.View());
        return out;
    }
    // Drags the slider's thumb to pointer offset d along its track.
    static void DragTo(GaussianBlurInterface& dialog, int d)
    {
        const Rect thumb = dialog.slider().ThumbRect();
        const QPoint press((thumb.left + thumb.right) / 2, thumb.top + 5);
        Press(dialog, press, {QPoint(kGaussianBlurSliderLeft + 5 + d, press.y())});
    }
};

} // namespace

TEST_F(GaussianBlurInterfaceTest, OpensAtTheRememberedRadius)
{
    GaussianBlurInterface& dialog = Open();
    EXPECT_EQ(dialog.radius(), 0.1);
    EXPECT_EQ(dialog.slider().GetValue(), 0.1);
    EXPECT_EQ(dialog.slider().GetPosition(), MakePoint(kGaussianBlurSliderTop, kGaussianBlurSliderLeft));
    EXPECT_TRUE(Live() == Blurred(0.1));
    // The standard controls of a filter window are there.
    for (int id : {kDialogOK, kDialogCancel, kDialogPreview, kDialogHistogramScale})
        EXPECT_TRUE(dialog.control(id)) << id;
    EXPECT_EQ(dialog.control(kDialogHistogramScale).Value(), 3);
}

TEST_F(GaussianBlurInterfaceTest, DraggedRadiusMatchesScipy)
{
    GaussianBlurInterface& dialog = Open();
    DragTo(dialog, 100); // 100² / 2000 = 5.0
    EXPECT_EQ(dialog.radius(), 5.0);
    const SumPlaneSet live = Live();

    const std::string dir = ReferenceScratchDir();
    mSaved.Write(dir + "/g.saved.f8");
    std::string output;
    ASSERT_TRUE(RunPythonScript("stack_filters.py",
                                {dir, "g:blur:5.0:" + std::to_string(kW) + ":" + std::to_string(kH)}, &output))
        << output;
    const std::vector<double> blurred = ReadDoubles(dir + "/g.blurred.f8");
    const std::vector<double> expected = ReadDoubles(dir + "/g.gb.f8");
    const std::vector<double> got = live.AsDoubles();
    ASSERT_EQ(got.size(), expected.size());
    // A blur within 1e-9 of a whole number may truncate either way (the two
    // blurs differ by some 1e-13 relative); elsewhere they agree exactly.
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (std::abs(blurred[i] - std::round(blurred[i])) <= 1e-9 * std::max(1.0, blurred[i]))
            ASSERT_LE(std::abs(got[i] - expected[i]), 1.0) << i;
        else
            ASSERT_EQ(got[i], expected[i]) << i;
    }
}

TEST_F(GaussianBlurInterfaceTest, RadiusChangesNeverAccumulate)
{
    GaussianBlurInterface& dialog = Open();
    DragTo(dialog, 100);
    EXPECT_EQ(dialog.radius(), 5.0);
    DragTo(dialog, 63); // 3969 / 2000 = 1.98 -> 2.0
    EXPECT_EQ(dialog.radius(), 2.0);
    EXPECT_TRUE(Live() == Blurred(2.0));
}

TEST_F(GaussianBlurInterfaceTest, PressBesideTheThumbDoesNothing)
{
    GaussianBlurInterface& dialog = Open();
    const SumPlaneSet before = Live();
    Press(dialog, QPoint(150, 255), {QPoint(200, 255)});
    Press(dialog, QPoint(40, 100), {QPoint(60, 120)}); // on the histograms
    EXPECT_EQ(dialog.radius(), 0.1);
    EXPECT_TRUE(Live() == before);
}

TEST_F(GaussianBlurInterfaceTest, ArrowKeysNudgeTheRadius)
{
    GaussianBlurInterface& dialog = Open();
    Key(dialog, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(dialog.radius(), 0.2);
    Key(dialog, Qt::Key_Up, true);
    EXPECT_DOUBLE_EQ(dialog.radius(), 1.2);
    EXPECT_TRUE(Live() == Blurred(dialog.radius()));
    Key(dialog, Qt::Key_Down, true);
    Key(dialog, Qt::Key_Left);
    EXPECT_DOUBLE_EQ(dialog.radius(), 0.15); // the nudge floor
    Key(dialog, Qt::Key_Left);
    EXPECT_DOUBLE_EQ(dialog.radius(), 0.15);
    EXPECT_TRUE(Live() == Blurred(0.15));
}

TEST_F(GaussianBlurInterfaceTest, PreviewOffKeepsShowingTheStackAsItWas)
{
    GaussianBlurInterface& dialog = Open();
    Hit(dialog, kDialogPreview);
    EXPECT_FALSE(dialog.preview());
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    DragTo(dialog, 100);
    EXPECT_TRUE(Live() == Blurred(5.0)); // the planes follow the radius
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    Hit(dialog, kDialogPreview);
    EXPECT_TRUE(dialog.preview());
    EXPECT_FALSE(SamePixels(*gFrameStack, *mSavedDisplay));
    auto expected = MakeImage(kW, kH);
    CopyGWorldWrapper(*gFrameStack, *expected);
    ProjectStackIntoFrameStackGWorld(false);
    EXPECT_TRUE(SamePixels(*gFrameStack, *expected));
}

TEST_F(GaussianBlurInterfaceTest, HistogramsShowTheStackAsOpened)
{
    GaussianBlurInterface& dialog = Open();
    DragTo(dialog, 150);
    HistogramInterface reference(10, 10, 60);
    ASSERT_TRUE(reference.GenerateHistograms(*mSavedDisplay, MakeRect(0, 0, kH, kW)));
    for (int channel = 0; channel < 4; ++channel)
        for (int bin = 0; bin < 256; ++bin)
            ASSERT_EQ(dialog.histograms().histogram(channel).GetBin(bin), reference.histogram(channel).GetBin(bin));
    auto* selector = qobject_cast<QComboBox*>(dialog.control(kDialogHistogramScale).Widget());
    ASSERT_NE(selector, nullptr);
    selector->setCurrentIndex(0); // value 1
    Hit(dialog, kDialogHistogramScale);
    EXPECT_EQ(dialog.histograms().scaleMode(), 2.0);
}

TEST_F(GaussianBlurInterfaceTest, CancelRestoresThePlanesAndForgetsTheRadius)
{
    GaussianBlurInterface& dialog = Open();
    DragTo(dialog, 120);
    EXPECT_FALSE(Live() == mSaved);
    Hit(dialog, kDialogCancel);
    Flush();
    EXPECT_EQ(gGaussianBlurInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved); // byte for byte
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    EXPECT_EQ(gLastGaussianBlurRadius, 0.1);
}

TEST_F(GaussianBlurInterfaceTest, OkKeepsTheBlurAndRemembersTheRadius)
{
    GaussianBlurInterface& dialog = Open();
    DragTo(dialog, 120); // 14400 / 2000 = 7.2
    const SumPlaneSet blurred = Live();
    ASSERT_TRUE(blurred == Blurred(7.2));
    Hit(dialog, kDialogOK);
    Hit(dialog, kDialogOK); // a second OK before the deletion changes nothing
    Flush();
    EXPECT_EQ(gGaussianBlurInterface, nullptr);
    EXPECT_TRUE(Live() == blurred);
    EXPECT_EQ(gLastGaussianBlurRadius, 7.2);

    // The next dialog starts at 7.2 over the kept blur; its Cancel gives
    // the kept blur back.
    GaussianBlurInterface& again = Open();
    EXPECT_EQ(again.radius(), 7.2);
    EXPECT_FALSE(Live() == blurred);
    Hit(again, kDialogCancel);
    Flush();
    EXPECT_TRUE(Live() == blurred);
}

TEST_F(GaussianBlurInterfaceTest, OneByOneAndThinStacks)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {1, 17}, {17, 1}}) {
        MakeStack(w, h, 3, 5);
        GaussianBlurInterface& dialog = Open();
        DragTo(dialog, 200);
        EXPECT_EQ(dialog.radius(), 20.0);
        EXPECT_TRUE(Live() == Blurred(20.0)) << w << "x" << h;
        Hit(dialog, kDialogCancel);
        Flush();
        EXPECT_TRUE(Live() == mSaved);
    }
}

TEST_F(GaussianBlurInterfaceTest, OutOfMemoryWhileOpeningLeavesNoDialog)
{
    ScriptedInteraction interaction;
    FailNextImageAllocationsForTesting(1);
    Run("OpGB");
    FailNextImageAllocationsForTesting(0);
    Flush();
    EXPECT_EQ(gGaussianBlurInterface, nullptr);
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(GaussianBlurInterfaceTest, OutOfMemoryForANewRadiusEndsAsCancel)
{
    ScriptedInteraction interaction;
    GaussianBlurInterface& dialog = Open();
    DragTo(dialog, 100); // 5.0
    FailNextGaussianBlursForTesting(1);
    DragTo(dialog, 150);
    FailNextGaussianBlursForTesting(0);
    Flush();
    // Once the alert, then the stack as it was and the radius not remembered: no result for 11.3 was shown.
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(gGaussianBlurInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_EQ(gLastGaussianBlurRadius, 0.1);
}

TEST_F(GaussianBlurInterfaceTest, SliderIsDrawnWhereItIsHit)
{
    GaussianBlurInterface& dialog = Open();
    DragTo(dialog, 100);
    Canvas* canvas = dialog.canvas();
    ASSERT_NE(canvas, nullptr);
    dialog.RedrawDialog();
    const QImage& image = canvas->Image();
    const Rect thumb = dialog.slider().ThumbRect();
    const auto black = [&](int x, int y) { return qGray(image.pixel(x, y)) < 64; };
    const auto white = [&](int x, int y) { return qGray(image.pixel(x, y)) > 192; };
    for (int y = thumb.top; y < thumb.bottom; ++y)
        for (int x = thumb.left; x < thumb.right; ++x)
            ASSERT_TRUE(black(x, y)) << x << "," << y;
    EXPECT_TRUE(white(thumb.left - 1, thumb.top));
    EXPECT_TRUE(white(thumb.right, thumb.top));
    // The track: 201 pixels at v + 5 from h + 5, nothing above or below it.
    const int v = kGaussianBlurSliderTop, h = kGaussianBlurSliderLeft;
    for (int x = h + 5; x <= h + 205; ++x) {
        ASSERT_TRUE(black(x, v + 5)) << x;
        if (x < thumb.left || x >= thumb.right) {
            ASSERT_TRUE(white(x, v + 4)) << x;
            ASSERT_TRUE(white(x, v + 6)) << x;
        }
    }
    EXPECT_TRUE(white(h + 4, v + 5));
    EXPECT_TRUE(white(h + 206, v + 5));
    // The value's text lies right of the track, inside the band.
    int ink = 0;
    for (int y = v; y < v + 11; ++y)
        for (int x = h + 215; x < h + 245; ++x)
            ink += black(x, y);
    EXPECT_GT(ink, 5);
}

TEST_F(GaussianBlurInterfaceTest, WithoutAStackNothingBreaks)
{
    // The menus offer the tools only with a stack; stray commands must still
    // leave everything as it was.
    gRedStack.reset();
    gGreenStack.reset();
    gBlueStack.reset();
    gFrameStack.reset();
    ScriptedInteraction interaction;
    Run("OpGB");
    if (gGaussianBlurInterface) {
        DragTo(*gGaussianBlurInterface, 50);
        Key(*gGaussianBlurInterface, Qt::Key_Right);
        Hit(*gGaussianBlurInterface, kDialogOK);
    }
    Run("OpUM");
    if (gUnsharpMaskInterface) {
        Press(*gUnsharpMaskInterface, QPoint(30, 315), {QPoint(130, 315)});
        Press(*gUnsharpMaskInterface, QPoint(281, 11), {QPoint(300, 30)});
        Key(*gUnsharpMaskInterface, Qt::Key_Right);
        Hit(*gUnsharpMaskInterface, kDialogPreview);
        Hit(*gUnsharpMaskInterface, kDialogOK);
    }
    Flush();
    EXPECT_EQ(gGaussianBlurInterface, nullptr);
    EXPECT_EQ(gUnsharpMaskInterface, nullptr);
    EXPECT_FALSE(HaveSummedStack());
}
