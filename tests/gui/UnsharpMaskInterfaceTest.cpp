// tests/gui/UnsharpMaskInterfaceTest.cpp: the unsharp mask dialog over a
// stack: neutral at first, the preview rectangle alone sharpened (live while
// the intensity thumb moves) and checked against the numpy/scipy model, a
// new rectangle restoring the old one, the ringing threshold field, arrow
// keys only after a thumb was grabbed, preview, OK over the whole stack and
// Cancel.
#include "tools/UnsharpMaskInterface.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <QLineEdit>

#include <gtest/gtest.h>

#include "shell/DialogPointers.h"
#include "app/DocumentHooks.h"
#include "shell/HistogramInterface.h"
#include "shell/ThumbnailInterface.h"
#include "imaging/GaussianBlur.h"
#include "imaging/SumPlaneFilters.h"
#include "imaging/UnsharpMask.h"
#include "platform/qt/Controls.h"
#include "tests/gui/StackToolFixture.h"
#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"

namespace {

class UnsharpMaskInterfaceTest : public StackToolFixture {
protected:
    void SetUp() override
    {
        StackToolFixture::SetUp();
        gLastUnsharpMaskRadius = 0.1;
        gLastUnsharpMaskIntensity = 0.0;
    }
    void TearDown() override
    {
        if (gUnsharpMaskInterface)
            gUnsharpMaskInterface->End(true);
        StackToolFixture::TearDown();
    }
    UnsharpMaskInterface& Open()
    {
        Run("OpUM");
        EXPECT_NE(gUnsharpMaskInterface, nullptr);
        return *gUnsharpMaskInterface;
    }
    // What the saved scene gives with these settings over rect, the rest
    // of the planes as saved.
    SumPlaneSet Expected(double radius, double intensity, int threshold, Rect rect) const
    {
        const int w = mSaved.width, h = mSaved.height;
        DoublePlanes source(w, h), blurred(w, h), mask(w, h);
        BlurSumPlanes(mSaved.ConstView(), radius, source, blurred);
        SumPlaneSet out = mSaved;
        UnsharpMaskSumPlanes(mSaved.ConstView(), blurred, rect, {intensity, threshold, double(kFrames)}, mask,
                             out.View());
        return out;
    }
    static QPoint ThumbPress(const QuadraticSlider& slider)
    {
        const Rect r = slider.ThumbRect();
        return QPoint((r.left + r.right) / 2, r.top + 5);
    }
    static int TrackX(const QuadraticSlider& slider, int d) { return slider.GetPosition().h + 5 + d; }
    static void TypeThreshold(UnsharpMaskInterface& dialog, const QString& text)
    {
        auto* edit = qobject_cast<QLineEdit*>(dialog.control(kUnsharpMaskRingingThreshold).Widget());
        ASSERT_NE(edit, nullptr);
        edit->setText(text);
        emit edit->textEdited(text); // as typing does
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

TEST_F(UnsharpMaskInterfaceTest, OpensNeutralAndOkKeepsTheStack)
{
    UnsharpMaskInterface& dialog = Open();
    EXPECT_EQ(dialog.radius(), 0.1);
    EXPECT_EQ(dialog.intensity(), 0.0);
    EXPECT_EQ(dialog.ringingThreshold(), 0);
    EXPECT_EQ(dialog.activeSlider(), kUnsharpMaskNoSlider);
    EXPECT_EQ(dialog.previewRect(), MakeRect(0, 0, 64, 64));
    EXPECT_EQ(dialog.control(kUnsharpMaskRingingThreshold).Text(), "0");
    EXPECT_EQ(dialog.radiusSlider().GetPosition(),
              MakePoint(kUnsharpMaskRadiusSliderTop, kUnsharpMaskRadiusSliderLeft));
    EXPECT_EQ(dialog.intensitySlider().GetPosition(),
              MakePoint(kUnsharpMaskIntensitySliderTop, kUnsharpMaskIntensitySliderLeft));
    EXPECT_EQ(dialog.thumbnail().thumbBounds(), MakeRect(10, 280, 10 + 71, 280 + 83)); // fits 160 × 120
    EXPECT_TRUE(Live() == mSaved);
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_EQ(gUnsharpMaskInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(UnsharpMaskInterfaceTest, IntensityDragPreviewsTheRectangleLive)
{
    gLastUnsharpMaskRadius = 3.0;
    UnsharpMaskInterface& dialog = Open();
    const Rect rect = dialog.previewRect();
    // d = 50 gives 10.0, d = 100 gives 40.0; a vertical move counts for nothing.
    const QuadraticSlider& slider = dialog.intensitySlider();
    const QPoint press = ThumbPress(slider);
    Press(dialog, press, {QPoint(TrackX(slider, 50), press.y()), QPoint(TrackX(slider, 50), press.y() + 40)});
    EXPECT_EQ(dialog.intensity(), 10.0);
    EXPECT_EQ(dialog.activeSlider(), kUnsharpMaskIntensitySlider);
    const SumPlaneSet live = Live();
    EXPECT_TRUE(live == Expected(3.0, 10.0, 0, rect));
    EXPECT_FALSE(live == mSaved);
    EXPECT_TRUE(OutsideUnchanged(live, mSaved, rect));
    // A release that no move reported, back at the start after a live step to 40.0: the result catches up.
    const QPoint again = ThumbPress(slider);
    PointerScriptForTesting()->release = QPoint(TrackX(slider, 50), again.y());
    Press(dialog, again, {QPoint(TrackX(slider, 100), again.y())});
    EXPECT_EQ(dialog.intensity(), 10.0);
    EXPECT_TRUE(Live() == Expected(3.0, 10.0, 0, rect));
}

TEST_F(UnsharpMaskInterfaceTest, PreviewMatchesTheScipyModel)
{
    gLastUnsharpMaskRadius = 4.5;
    gLastUnsharpMaskIntensity = 7.5;
    UnsharpMaskInterface& dialog = Open();
    TypeThreshold(dialog, "40");
    ASSERT_EQ(dialog.ringingThreshold(), 40);
    const SumPlaneSet live = Live();

    const std::string dir = ReferenceScratchDir();
    mSaved.Write(dir + "/m.saved.f8");
    std::string output;
    const std::string c = "m:unsharp:4.5:" + std::to_string(kW) + ":" + std::to_string(kH) +
                          ":7.5:40:" + std::to_string(kFrames) + ":0:0:64:64:model";
    ASSERT_TRUE(RunPythonScript("stack_filters.py", {dir, c}, &output)) << output;
    const std::vector<double> expected = ReadDoubles(dir + "/m.um.f8");
    const std::vector<double> values = ReadDoubles(dir + "/m.c.f8");
    const std::vector<double> got = live.AsDoubles();
    const std::vector<double> saved = mSaved.AsDoubles();
    ASSERT_EQ(got.size(), expected.size());
    // saved + mask within 1e-9 of a whole number may truncate either way
    // (our blur and scipy's differ by some 1e-13 relative, times 7.5);
    // elsewhere the planes agree exactly.
    const std::size_t n = got.size() / 3;
    for (std::size_t i = 0; i < n; ++i) {
        bool near = false;
        for (int k = 0; k < 3; ++k) {
            const double v = values[k * n + i];
            near = near || std::abs(v - std::round(v)) <= 1e-9 * std::max(1.0, std::abs(v));
        }
        for (int k = 0; k < 3; ++k) {
            const std::size_t j = k * n + i;
            if (near)
                ASSERT_TRUE(std::abs(got[j] - expected[j]) <= 1.0 || got[j] == saved[j]) << j;
            else
                ASSERT_EQ(got[j], expected[j]) << j;
        }
    }
}

TEST_F(UnsharpMaskInterfaceTest, NewRectangleRestoresTheOldOne)
{
    gLastUnsharpMaskRadius = 2.0;
    gLastUnsharpMaskIntensity = 20.0;
    UnsharpMaskInterface& dialog = Open();
    const Rect first = dialog.previewRect();
    EXPECT_TRUE(Live() == Expected(2.0, 20.0, 0, first));
    // A drag on the thumbnail (shown at full size: the stack fits the box)
    // from image (40, 30) to (80, 70).
    const Rect thumb = dialog.thumbnail().thumbBounds();
    Press(dialog, QPoint(thumb.left + 40, thumb.top + 30), {QPoint(thumb.left + 80, thumb.top + 70)});
    const Rect second = dialog.previewRect();
    EXPECT_EQ(second, MakeRect(30, 40, 70, 80));
    EXPECT_EQ(dialog.activeSlider(), kUnsharpMaskNoSlider);
    const SumPlaneSet live = Live();
    EXPECT_TRUE(live == Expected(2.0, 20.0, 0, second));
    EXPECT_TRUE(OutsideUnchanged(live, mSaved, second)); // the first rectangle is as saved again
    // The histograms follow the shown rectangle.
    HistogramInterface reference(10, 10, 60);
    ASSERT_TRUE(reference.GenerateHistograms(*gFrameStack, second));
    for (int bin = 0; bin < 256; ++bin)
        ASSERT_EQ(dialog.histograms().histogram(0).GetBin(bin), reference.histogram(0).GetBin(bin));
}

TEST_F(UnsharpMaskInterfaceTest, RingingThresholdField)
{
    gLastUnsharpMaskRadius = 3.0;
    gLastUnsharpMaskIntensity = 30.0;
    UnsharpMaskInterface& dialog = Open();
    const Rect rect = dialog.previewRect();
    TypeThreshold(dialog, "300");
    EXPECT_EQ(dialog.ringingThreshold(), 255);
    EXPECT_EQ(dialog.control(kUnsharpMaskRingingThreshold).Text(), "255");
    const SumPlaneSet guarded = Live();
    EXPECT_TRUE(guarded == Expected(3.0, 30.0, 255, rect));
    // A pixel that ends darker in some channel is one whose brightest
    // channel was sharpened to full scale or beyond; nothing else darkens.
    int darker = 0;
    for (std::size_t i = 0; i < guarded.planes[0].size(); ++i) {
        const int32_t brightest = std::max({guarded.planes[0][i], guarded.planes[1][i], guarded.planes[2][i]});
        for (int c = 0; c < 3; ++c)
            if (guarded.planes[c][i] < mSaved.planes[c][i]) {
                ++darker;
                ASSERT_GE(brightest, 255 * kFrames) << i;
            }
    }
    // With threshold 0 the halos around the stars darken.
    const SumPlaneSet plain = Expected(3.0, 30.0, 0, rect);
    int plainDarker = 0;
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < plain.planes[c].size(); ++i)
            plainDarker += plain.planes[c][i] < mSaved.planes[c][i];
    EXPECT_GT(plainDarker, darker);
    TypeThreshold(dialog, "-4");
    EXPECT_EQ(dialog.ringingThreshold(), 0);
    EXPECT_EQ(dialog.control(kUnsharpMaskRingingThreshold).Text(), "0");
    EXPECT_TRUE(Live() == Expected(3.0, 30.0, 0, rect));
    TypeThreshold(dialog, "12abc");
    EXPECT_EQ(dialog.ringingThreshold(), 12);
    EXPECT_EQ(dialog.control(kUnsharpMaskRingingThreshold).Text(), "12");
    TypeThreshold(dialog, ""); // cleared while typing: reads 0, stays empty
    EXPECT_EQ(dialog.ringingThreshold(), 0);
    EXPECT_EQ(dialog.control(kUnsharpMaskRingingThreshold).Text(), "");
    EXPECT_TRUE(Live() == Expected(3.0, 30.0, 0, rect));
}

TEST_F(UnsharpMaskInterfaceTest, ArrowKeysMoveTheLastGrabbedSlider)
{
    UnsharpMaskInterface& dialog = Open();
    Key(dialog, Qt::Key_Right);
    Key(dialog, Qt::Key_Up, true);
    EXPECT_EQ(dialog.radius(), 0.1);
    EXPECT_EQ(dialog.intensity(), 0.0);
    EXPECT_TRUE(Live() == mSaved);

    // Grab the radius thumb without moving it: it becomes the active slider.
    Press(dialog, ThumbPress(dialog.radiusSlider()));
    EXPECT_EQ(dialog.activeSlider(), kUnsharpMaskRadiusSlider);
    Key(dialog, Qt::Key_Up, true);
    EXPECT_DOUBLE_EQ(dialog.radius(), 1.1);
    EXPECT_EQ(dialog.intensity(), 0.0);

    Press(dialog, ThumbPress(dialog.intensitySlider()));
    EXPECT_EQ(dialog.activeSlider(), kUnsharpMaskIntensitySlider);
    Key(dialog, Qt::Key_Right, true);
    Key(dialog, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(dialog.intensity(), 1.1);
    EXPECT_TRUE(Live() == Expected(dialog.radius(), dialog.intensity(), 0, dialog.previewRect()));
    Key(dialog, Qt::Key_Down, true);
    Key(dialog, Qt::Key_Left, true);
    EXPECT_EQ(dialog.intensity(), 0.0);
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(UnsharpMaskInterfaceTest, PreviewSwitch)
{
    gLastUnsharpMaskRadius = 3.0;
    gLastUnsharpMaskIntensity = 25.0;
    UnsharpMaskInterface& dialog = Open();
    const SumPlaneSet sharpened = Live();
    auto shown = MakeImage(kW, kH);
    CopyGWorldWrapper(*gFrameStack, *shown);
    EXPECT_FALSE(SamePixels(*shown, *mSavedDisplay));
    Hit(dialog, kDialogPreview);
    EXPECT_FALSE(dialog.preview());
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    EXPECT_TRUE(Live() == sharpened);
    Hit(dialog, kDialogPreview);
    EXPECT_TRUE(dialog.preview());
    // The rectangle shows the live planes again; outside it the planes are
    // the saved ones, shown as they were.
    EXPECT_TRUE(SamePixels(*gFrameStack, *shown));
}

TEST_F(UnsharpMaskInterfaceTest, OneChannelShownWithThePreviewOnAndOff)
{
    InstallDocumentHooks(); // the channel items project the stack through them
    gLastUnsharpMaskRadius = 3.0;
    gLastUnsharpMaskIntensity = 25.0;
    UnsharpMaskInterface& dialog = Open();
    const Rect rect = dialog.previewRect(), whole = MakeRect(0, 0, kH, kW);
    const SumPlaneSet live = Live();
    // The red channel alone, projected over r: grey trunc(red / max(N, m / 255)), m the largest sum of
    // the three planes in r.
    auto red = [](const SumPlaneSet& s, Rect r, int x, int y) {
        int m = 0;
        for (int c = 0; c < 3; ++c)
            for (int v = r.top; v < r.bottom; ++v)
                for (int h = r.left; h < r.right; ++h)
                    m = std::max(m, s.At(c, h, v));
        const double d = std::max(double(kFrames), m / 255.0);
        return static_cast<int>(std::clamp(std::trunc(s.At(0, x, y) / d), 0.0, 255.0));
    };
    std::vector<int> savedShown, liveShown;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            savedShown.push_back(red(mSaved, whole, x, y));
            const bool inside = y >= rect.top && y < rect.bottom && x >= rect.left && x < rect.right;
            liveShown.push_back(inside ? red(live, rect, x, y) : savedShown.back());
        }
    auto shows = [](const std::vector<int>& expected) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const Argb p = GetPixel(*gFrameStack, x, y);
                const int e = expected[static_cast<std::size_t>(y) * kW + x];
                if (p.r != e || p.g != e || p.b != e)
                    return false;
            }
        return true;
    };
    Run("ViSr"); // the dialog redraws the stack as its preview shows it
    EXPECT_TRUE(shows(liveShown));
    Hit(dialog, kDialogPreview);
    EXPECT_TRUE(shows(savedShown));
    Run("ViSa");
    Run("ViSr");
    EXPECT_TRUE(shows(savedShown)); // not the sharpened rectangle
    Hit(dialog, kDialogPreview);
    EXPECT_TRUE(shows(liveShown)); // the outside in the shown channel too
    EXPECT_TRUE(Live() == live);
}

TEST_F(UnsharpMaskInterfaceTest, OkSharpensTheWholeStackOnce)
{
    gLastUnsharpMaskRadius = 2.5;
    gLastUnsharpMaskIntensity = 12.0;
    UnsharpMaskInterface& dialog = Open();
    TypeThreshold(dialog, "20");
    Hit(dialog, kDialogOK);
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_EQ(gUnsharpMaskInterface, nullptr);
    EXPECT_TRUE(Live() == Expected(2.5, 12.0, 20, MakeRect(0, 0, kH, kW)));
    EXPECT_EQ(gLastUnsharpMaskRadius, 2.5);
    EXPECT_EQ(gLastUnsharpMaskIntensity, 12.0);
    // The threshold is not remembered.
    UnsharpMaskInterface& again = Open();
    EXPECT_EQ(again.ringingThreshold(), 0);
    EXPECT_EQ(again.radius(), 2.5);
}

TEST_F(UnsharpMaskInterfaceTest, CancelRestoresThePlanesAndForgets)
{
    gLastUnsharpMaskRadius = 2.0;
    UnsharpMaskInterface& dialog = Open();
    const QuadraticSlider& slider = dialog.intensitySlider();
    const QPoint press = ThumbPress(slider);
    Press(dialog, press, {QPoint(TrackX(slider, 150), press.y())});
    const Rect thumb = dialog.thumbnail().thumbBounds();
    Press(dialog, QPoint(thumb.left + 10, thumb.top + 10), {QPoint(thumb.left + 70, thumb.top + 60)});
    EXPECT_FALSE(Live() == mSaved);
    Hit(dialog, kDialogCancel);
    Flush();
    EXPECT_EQ(gUnsharpMaskInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved); // byte for byte
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    EXPECT_EQ(gLastUnsharpMaskRadius, 2.0);
    EXPECT_EQ(gLastUnsharpMaskIntensity, 0.0);
}

TEST_F(UnsharpMaskInterfaceTest, SmallAndThinStacks)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {1, 90}, {90, 1}, {5, 3}}) {
        MakeStack(w, h, 3, 9);
        gLastUnsharpMaskRadius = 4.0;
        gLastUnsharpMaskIntensity = 9.0;
        UnsharpMaskInterface& dialog = Open();
        EXPECT_EQ(dialog.previewRect(), MakeRect(0, 0, std::min(64, h), std::min(64, w)));
        EXPECT_TRUE(Live() == Expected(4.0, 9.0, 0, dialog.previewRect())) << w << "x" << h;
        Hit(dialog, kDialogOK);
        Flush();
        EXPECT_TRUE(Live() == Expected(4.0, 9.0, 0, MakeRect(0, 0, h, w))) << w << "x" << h;
    }
}

TEST_F(UnsharpMaskInterfaceTest, OutOfMemoryWhileOpeningLeavesNoDialog)
{
    ScriptedInteraction interaction;
    FailNextImageAllocationsForTesting(1);
    Run("OpUM");
    FailNextImageAllocationsForTesting(0);
    Flush();
    EXPECT_EQ(gUnsharpMaskInterface, nullptr);
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_TRUE(Live() == mSaved);
}

TEST_F(UnsharpMaskInterfaceTest, OutOfMemoryForANewRadiusEndsAsCancel)
{
    gLastUnsharpMaskRadius = 3.0;
    gLastUnsharpMaskIntensity = 20.0;
    ScriptedInteraction interaction;
    UnsharpMaskInterface& dialog = Open();
    ASSERT_FALSE(Live() == mSaved);
    const QuadraticSlider& radius = dialog.radiusSlider();
    const QPoint press = ThumbPress(radius);
    FailNextGaussianBlursForTesting(1);
    Press(dialog, press, {QPoint(TrackX(radius, 100), press.y())}); // 5.0
    FailNextGaussianBlursForTesting(0);
    Flush();
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(gUnsharpMaskInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved);
    EXPECT_EQ(gLastUnsharpMaskRadius, 3.0);
}
