// tests/gui/LaplacianPyramidInterfaceTest.cpp: the Laplacian pyramid dialog
// over a stack: neutral at first and after OK, layer gains in the preview
// rectangle alone, the pins (exclusive pairs, unpinning back to the slider,
// a moved slider unpinning), reset, the ringing threshold field, arrow keys,
// a new rectangle, preview, OK over the whole stack once with the
// intensities remembered, Cancel restoring the planes byte for byte, the
// thread count and progress window at opening, and small stacks.
#include "tools/LaplacianPyramidInterface.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QLineEdit>

#include <gtest/gtest.h>

#include "shell/DialogPointers.h"
#include "shell/HistogramInterface.h"
#include "shell/ShellSettings.h"
#include "shell/ThumbnailInterface.h"
#include "shell/WorkingDialog.h"
#include "imaging/GaussianBlur.h"
#include "imaging/SumPlaneFilters.h"
#include "platform/qt/Controls.h"
#include "tests/gui/StackToolFixture.h"
#include "tests/support/ScriptedInteraction.h"

namespace {

using Gains = std::vector<double>;

class LaplacianPyramidInterfaceTest : public StackToolFixture {
protected:
    void SetUp() override
    {
        StackToolFixture::SetUp();
        InstallLaplacianPyramidDialog();
        std::fill(std::begin(gLastLaplacianPyramidLayerIntensities), std::end(gLastLaplacianPyramidLayerIntensities),
                  1.0);
    }
    void TearDown() override
    {
        if (gLaplacianPyramidInterface)
            gLaplacianPyramidInterface->End(true);
        StackToolFixture::TearDown();
    }
    LaplacianPyramidInterface& Open()
    {
        Run("OpLS");
        EXPECT_NE(gLaplacianPyramidInterface, nullptr);
        return *gLaplacianPyramidInterface;
    }
    static void Remember(const Gains& g) { std::copy(g.begin(), g.end(), gLastLaplacianPyramidLayerIntensities); }
    // What the saved scene gives with these gains over rect, the rest of the
    // planes as saved (a fresh pyramid, summed anew).
    SumPlaneSet Expected(const Gains& gains, int threshold, Rect rect) const
    {
        LaplacianPyramid pyramid;
        pyramid.Build(mSaved.ConstView());
        pyramid.Reconstruct(gains.data(), rect, true);
        SumPlaneSet out = mSaved;
        pyramid.WriteBack(mSaved.ConstView(), rect, threshold, double(kFrames), out.View());
        return out;
    }
    // The live planes equal expected but where a value sat within a hair of
    // a whole number (taking a layer out and putting it back in may round
    // the other way there); such pixels may differ by one.
    static ::testing::AssertionResult Close(const SumPlaneSet& live, const SumPlaneSet& expected)
    {
        int differing = 0;
        for (int c = 0; c < 3; ++c)
            for (std::size_t i = 0; i < live.planes[c].size(); ++i) {
                const int d = std::abs(live.planes[c][i] - expected.planes[c][i]);
                if (d > 1)
                    return ::testing::AssertionFailure() << "value " << i << " channel " << c << " off by " << d;
                differing += d;
            }
        if (differing > 3)
            return ::testing::AssertionFailure() << differing << " values off by one";
        return ::testing::AssertionSuccess();
    }
    // A press on the thumb where the release maps back to the slider's value
    // (the release sets the value for the pointer's place even unmoved).
    static QPoint ThumbPress(const QuadraticSlider& slider)
    {
        const Rect r = slider.ThumbRect();
        const int d = static_cast<int>(std::lround(std::sqrt(250.0 * slider.GetValue())));
        const QPoint p(TrackX(slider, d), r.top + 5);
        EXPECT_TRUE(p.x() >= r.left && p.x() < r.right);
        return p;
    }
    static int TrackX(const QuadraticSlider& slider, int d) { return slider.GetPosition().h + 5 + d; }
    // A drag of component k's thumb to pointer offset d (d = 100 gives 40.0,
    // d = 50 gives 10.0, d = 0 gives 0.0).
    static void DragTo(LaplacianPyramidInterface& dialog, int k, int d)
    {
        const QPoint press = ThumbPress(dialog.slider(k));
        Press(dialog, press, {QPoint(TrackX(dialog.slider(k), d), press.y())});
    }
    // A click on a check box or button as the user makes it.
    static void Click(LaplacianPyramidInterface& dialog, int id)
    {
        auto* button = qobject_cast<QAbstractButton*>(dialog.control(id).Widget());
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    static bool Checked(const LaplacianPyramidInterface& dialog, int id) { return dialog.control(id).Value() != 0; }
    static void TypeThreshold(LaplacianPyramidInterface& dialog, const QString& text)
    {
        auto* edit = qobject_cast<QLineEdit*>(dialog.control(kLaplacianRingingThreshold).Widget());
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
    static Rect Whole() { return MakeRect(0, 0, kH, kW); }
};

} // namespace

TEST_F(LaplacianPyramidInterfaceTest, OpensNeutralAndOkKeepsTheStack)
{
    gNumThreads = 4;
    LaplacianPyramidInterface& dialog = Open();
    EXPECT_EQ(gNumThreads, 4); // one thread only while the pyramid was built
    EXPECT_EQ(gWorkingDialog, nullptr);
    for (int k = 0; k < kLaplacianPyramidComponents; ++k) {
        EXPECT_EQ(dialog.intensity(k), 1.0);
        EXPECT_EQ(dialog.slider(k).GetValue(), 1.0);
        EXPECT_EQ(dialog.pyramid().AppliedGain(k), 1.0);
    }
    for (int k = 0; k < kLaplacianPyramidLayers; ++k)
        EXPECT_EQ(dialog.slider(k).GetPosition(), MakePoint(250 + 20 * k, 55));
    EXPECT_EQ(dialog.slider(kLaplacianResidualSlider).GetPosition(), MakePoint(390, 55));
    for (int id = kLaplacianPinAt1First; id <= kLaplacianPinAt0Last; ++id)
        EXPECT_FALSE(Checked(dialog, id)) << id;
    EXPECT_EQ(dialog.ringingThreshold(), 0);
    EXPECT_EQ(dialog.control(kLaplacianRingingThreshold).Text(), "0");
    EXPECT_EQ(dialog.activeSlider(), kLaplacianNoSlider);
    EXPECT_EQ(dialog.previewRect(), MakeRect(0, 0, 64, 64));
    EXPECT_EQ(dialog.thumbnail().thumbBounds(), MakeRect(10, 280, 10 + kH, 280 + kW));
    EXPECT_TRUE(Live() == mSaved);
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_EQ(gLaplacianPyramidInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved); // the whole stack rebuilt with every gain 1: exactly as it was
    for (double g : gLastLaplacianPyramidLayerIntensities)
        EXPECT_EQ(g, 1.0);
}

TEST_F(LaplacianPyramidInterfaceTest, RememberedIntensitiesShapeOnlyThePreviewRectangle)
{
    const Gains gains = {6.0, 3.0, 1.5, 1.0, 1.0, 0.5, 1.0};
    Remember(gains);
    LaplacianPyramidInterface& dialog = Open();
    for (int k = 0; k < kLaplacianPyramidComponents; ++k)
        EXPECT_EQ(dialog.slider(k).GetValue(), gains[k]);
    const Rect rect = dialog.previewRect();
    const SumPlaneSet live = Live();
    EXPECT_TRUE(live == Expected(gains, 0, rect));
    EXPECT_FALSE(live == mSaved);
    EXPECT_TRUE(OutsideUnchanged(live, mSaved, rect));
    // The histograms show the rectangle as it is shown now.
    HistogramInterface reference(10, 10, 60);
    ASSERT_TRUE(reference.GenerateHistograms(*gFrameStack, rect));
    for (int bin = 0; bin < 256; ++bin)
        ASSERT_EQ(dialog.histograms().histogram(0).GetBin(bin), reference.histogram(0).GetBin(bin));
}

TEST_F(LaplacianPyramidInterfaceTest, SliderDragChangesOneLayerLive)
{
    LaplacianPyramidInterface& dialog = Open();
    DragTo(dialog, 1, 50);
    EXPECT_EQ(dialog.intensity(1), 10.0);
    EXPECT_EQ(dialog.activeSlider(), 1);
    const Rect rect = dialog.previewRect();
    EXPECT_TRUE(Close(Live(), Expected({1, 10, 1, 1, 1, 1, 1}, 0, rect)));
    EXPECT_TRUE(OutsideUnchanged(Live(), mSaved, rect));
    // The residual's thumb released at 0.0 applies 0.0.
    DragTo(dialog, kLaplacianResidualSlider, 0);
    EXPECT_EQ(dialog.intensity(kLaplacianResidualSlider), 0.0);
    EXPECT_EQ(dialog.activeSlider(), kLaplacianResidualSlider);
    EXPECT_TRUE(Close(Live(), Expected({1, 10, 1, 1, 1, 1, 0}, 0, rect)));
    // A drag that comes back to where it started still shows what the slider shows.
    const QPoint press = ThumbPress(dialog.slider(3));
    Press(dialog, press, {QPoint(TrackX(dialog.slider(3), 150), press.y()), press});
    EXPECT_EQ(dialog.slider(3).GetValue(), 1.0);
    EXPECT_EQ(dialog.intensity(3), 1.0);
    EXPECT_TRUE(Close(Live(), Expected({1, 10, 1, 1, 1, 1, 0}, 0, rect)));
}

TEST_F(LaplacianPyramidInterfaceTest, PinsHoldTheGainAndExcludeEachOther)
{
    Remember({1.0, 1.0, 4.0, 1.0, 1.0, 1.0, 1.0});
    LaplacianPyramidInterface& dialog = Open();
    const Rect rect = dialog.previewRect();
    // Pinning layer 2 at 0 removes exactly that layer.
    Click(dialog, kLaplacianPinAt0First + 2);
    EXPECT_TRUE(Checked(dialog, kLaplacianPinAt0First + 2));
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 0, 1, 1, 1, 1}, 0, rect)));
    // Its pin at 1 takes the pin at 0 off: the full layer, whatever the slider shows.
    Click(dialog, kLaplacianPinAt1First + 2);
    EXPECT_TRUE(Checked(dialog, kLaplacianPinAt1First + 2));
    EXPECT_FALSE(Checked(dialog, kLaplacianPinAt0First + 2));
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 1, 1, 1, 1, 1}, 0, rect)));
    EXPECT_EQ(dialog.slider(2).GetValue(), 4.0);
    // And the other way round.
    Click(dialog, kLaplacianPinAt0First + 2);
    EXPECT_FALSE(Checked(dialog, kLaplacianPinAt1First + 2));
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 0, 1, 1, 1, 1}, 0, rect)));
    // Unpinning gives the layer its slider's intensity back.
    Click(dialog, kLaplacianPinAt0First + 2);
    EXPECT_FALSE(Checked(dialog, kLaplacianPinAt0First + 2));
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 4, 1, 1, 1, 1}, 0, rect)));
    // The residual has only the pin at 1; a slider at 0.0 pinned at 1 contributes in full.
    DragTo(dialog, kLaplacianResidualSlider, 0);
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 4, 1, 1, 1, 0}, 0, rect)));
    Click(dialog, kLaplacianResidualPinAt1);
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 4, 1, 1, 1, 1}, 0, rect)));
    EXPECT_FALSE(Checked(dialog, kLaplacianPinAt0Last)); // layer 5's pin at 0 is not the residual's partner
}

TEST_F(LaplacianPyramidInterfaceTest, UnpinningAfterANewRectangleGivesTheSliderValue)
{
    Remember({5.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.0});
    LaplacianPyramidInterface& dialog = Open();
    Click(dialog, kLaplacianPinAt1First);    // layer 0 at 1
    Click(dialog, kLaplacianResidualPinAt1); // residual at 1
    const Rect thumb = dialog.thumbnail().thumbBounds();
    Press(dialog, QPoint(thumb.left + 20, thumb.top + 10), {QPoint(thumb.left + 75, thumb.top + 60)});
    const Rect second = dialog.previewRect();
    EXPECT_EQ(second, MakeRect(10, 20, 60, 75));
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 1, 1, 1, 1, 1}, 0, second)));
    // Released after the rectangle was rebuilt while pinned: the sliders' values, not 1.
    Click(dialog, kLaplacianPinAt1First);
    Click(dialog, kLaplacianResidualPinAt1);
    EXPECT_TRUE(Close(Live(), Expected({5, 1, 1, 1, 1, 1, 0}, 0, second)));
    EXPECT_TRUE(OutsideUnchanged(Live(), mSaved, second)); // the first rectangle is as saved again
}

TEST_F(LaplacianPyramidInterfaceTest, MovingAPinnedSliderUnpinsIt)
{
    LaplacianPyramidInterface& dialog = Open();
    const Rect rect = dialog.previewRect();
    Click(dialog, kLaplacianPinAt0First + 4);
    DragTo(dialog, 4, 50);
    EXPECT_FALSE(Checked(dialog, kLaplacianPinAt0First + 4));
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 1, 1, 10, 1, 1}, 0, rect)));
    // Nudging too: layer 4 is the active slider now.
    Click(dialog, kLaplacianPinAt1First + 4);
    Key(dialog, Qt::Key_Right, true);
    EXPECT_FALSE(Checked(dialog, kLaplacianPinAt1First + 4));
    EXPECT_DOUBLE_EQ(dialog.intensity(4), 11.0);
    EXPECT_TRUE(Close(Live(), Expected({1, 1, 1, 1, 11, 1, 1}, 0, rect)));
}

TEST_F(LaplacianPyramidInterfaceTest, ArrowKeysWaitForAThumb)
{
    LaplacianPyramidInterface& dialog = Open();
    Key(dialog, Qt::Key_Up, true);
    Key(dialog, Qt::Key_Right);
    for (int k = 0; k < kLaplacianPyramidComponents; ++k)
        EXPECT_EQ(dialog.intensity(k), 1.0);
    EXPECT_TRUE(Live() == mSaved);
    Press(dialog, ThumbPress(dialog.slider(0))); // grabbed without moving
    EXPECT_EQ(dialog.activeSlider(), 0);
    EXPECT_EQ(dialog.intensity(0), 1.0);
    Key(dialog, Qt::Key_Up, true);
    Key(dialog, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(dialog.intensity(0), 2.1);
    Key(dialog, Qt::Key_Down, true);
    Key(dialog, Qt::Key_Left, true);
    Key(dialog, Qt::Key_Left, true);
    EXPECT_EQ(dialog.intensity(0), 0.0);
    EXPECT_TRUE(Close(Live(), Expected({0, 1, 1, 1, 1, 1, 1}, 0, dialog.previewRect())));
}

TEST_F(LaplacianPyramidInterfaceTest, ResetGivesEverySliderOneAndTakesThePinsOff)
{
    Remember({7.0, 0.0, 3.0, 1.0, 2.0, 9.0, 0.4});
    LaplacianPyramidInterface& dialog = Open();
    Click(dialog, kLaplacianPinAt0First + 1);
    Click(dialog, kLaplacianPinAt1First + 3);
    Click(dialog, kLaplacianResidualPinAt1);
    Click(dialog, kLaplacianReset);
    for (int k = 0; k < kLaplacianPyramidComponents; ++k) {
        EXPECT_EQ(dialog.slider(k).GetValue(), 1.0);
        EXPECT_EQ(dialog.intensity(k), 1.0);
    }
    for (int id = kLaplacianPinAt1First; id <= kLaplacianPinAt0Last; ++id)
        EXPECT_FALSE(Checked(dialog, id)) << id;
    EXPECT_TRUE(Close(Live(), mSaved));
}

TEST_F(LaplacianPyramidInterfaceTest, RingingThresholdField)
{
    const Gains gains = {30, 20, 10, 1, 1, 1, 1};
    Remember(gains);
    LaplacianPyramidInterface& dialog = Open();
    const Rect rect = dialog.previewRect();
    TypeThreshold(dialog, "300");
    EXPECT_EQ(dialog.ringingThreshold(), 255);
    EXPECT_EQ(dialog.control(kLaplacianRingingThreshold).Text(), "255");
    EXPECT_TRUE(Live() == Expected(gains, 255, rect));
    EXPECT_FALSE(Expected(gains, 255, rect) == Expected(gains, 0, rect));
    TypeThreshold(dialog, "-3");
    EXPECT_EQ(dialog.ringingThreshold(), 0);
    EXPECT_EQ(dialog.control(kLaplacianRingingThreshold).Text(), "0");
    EXPECT_TRUE(Live() == Expected(gains, 0, rect));
    TypeThreshold(dialog, "40x");
    EXPECT_EQ(dialog.ringingThreshold(), 40);
    EXPECT_EQ(dialog.control(kLaplacianRingingThreshold).Text(), "40");
    EXPECT_TRUE(Live() == Expected(gains, 40, rect));
}

TEST_F(LaplacianPyramidInterfaceTest, PreviewSwitch)
{
    Remember({8, 4, 2, 1, 1, 1, 1});
    LaplacianPyramidInterface& dialog = Open();
    const SumPlaneSet filtered = Live();
    auto shown = MakeImage(kW, kH);
    CopyGWorldWrapper(*gFrameStack, *shown);
    EXPECT_FALSE(SamePixels(*shown, *mSavedDisplay));
    Hit(dialog, kDialogPreview);
    EXPECT_FALSE(dialog.preview());
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    EXPECT_TRUE(Live() == filtered);
    Hit(dialog, kDialogPreview);
    EXPECT_TRUE(SamePixels(*gFrameStack, *shown));
}

TEST_F(LaplacianPyramidInterfaceTest, OkRebuildsTheWholeStackOnceAndRemembers)
{
    Remember({3.0, 2.0, 5.0, 1.0, 1.0, 1.0, 0.6});
    LaplacianPyramidInterface& dialog = Open();
    TypeThreshold(dialog, "20");
    Click(dialog, kLaplacianPinAt0First + 2);
    Click(dialog, kLaplacianResidualPinAt1);
    Hit(dialog, kDialogOK);
    Hit(dialog, kDialogOK);
    Flush();
    EXPECT_EQ(gLaplacianPyramidInterface, nullptr);
    const Gains effective = {3.0, 2.0, 0.0, 1.0, 1.0, 1.0, 1.0};
    EXPECT_TRUE(Live() == Expected(effective, 20, Whole()));
    for (int k = 0; k < kLaplacianPyramidComponents; ++k)
        EXPECT_EQ(gLastLaplacianPyramidLayerIntensities[k], effective[k]) << k;
    // Reopened: the remembered values, no pins, threshold 0.
    LaplacianPyramidInterface& again = Open();
    EXPECT_EQ(again.intensity(2), 0.0);
    EXPECT_EQ(again.intensity(kLaplacianResidualSlider), 1.0);
    EXPECT_FALSE(Checked(again, kLaplacianPinAt0First + 2));
    EXPECT_EQ(again.ringingThreshold(), 0);
}

TEST_F(LaplacianPyramidInterfaceTest, CancelRestoresThePlanesAndForgets)
{
    LaplacianPyramidInterface& dialog = Open();
    DragTo(dialog, 0, 150);
    Click(dialog, kLaplacianPinAt0First + 3);
    const Rect thumb = dialog.thumbnail().thumbBounds();
    Press(dialog, QPoint(thumb.left + 5, thumb.top + 5), {QPoint(thumb.left + 70, thumb.top + 66)});
    TypeThreshold(dialog, "12");
    EXPECT_FALSE(Live() == mSaved);
    Hit(dialog, kDialogCancel);
    Flush();
    EXPECT_EQ(gLaplacianPyramidInterface, nullptr);
    EXPECT_TRUE(Live() == mSaved); // byte for byte
    EXPECT_TRUE(SamePixels(*gFrameStack, *mSavedDisplay));
    for (double g : gLastLaplacianPyramidLayerIntensities)
        EXPECT_EQ(g, 1.0);
}

TEST_F(LaplacianPyramidInterfaceTest, SmallAndThinStacks)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {1, 90}, {90, 1}, {5, 3}}) {
        MakeStack(w, h, 3, 9);
        const Gains gains = {4, 3, 2, 1, 1, 1, 1};
        Remember(gains);
        LaplacianPyramidInterface& dialog = Open();
        EXPECT_EQ(dialog.previewRect(), MakeRect(0, 0, std::min(64, h), std::min(64, w)));
        LaplacianPyramid pyramid;
        pyramid.Build(mSaved.ConstView());
        pyramid.Reconstruct(gains.data(), MakeRect(0, 0, h, w), true);
        SumPlaneSet expected = mSaved;
        pyramid.WriteBack(mSaved.ConstView(), MakeRect(0, 0, h, w), 0, 3.0, expected.View());
        Hit(dialog, kDialogOK);
        Flush();
        EXPECT_TRUE(Live() == expected) << w << "x" << h;
    }
}

TEST_F(LaplacianPyramidInterfaceTest, OutOfMemoryWhileOpeningLeavesNoDialog)
{
    ScriptedInteraction interaction;
    gNumThreads = 3;
    FailNextImageAllocationsForTesting(1);
    Run("OpLS");
    FailNextImageAllocationsForTesting(0);
    Flush();
    EXPECT_EQ(gLaplacianPyramidInterface, nullptr);
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(gNumThreads, 3);
    EXPECT_EQ(gWorkingDialog, nullptr);
    EXPECT_TRUE(Live() == mSaved);

    // The pyramid's build itself runs out: one alert, no dialog, the progress window gone.
    FailNextGaussianBlursForTesting(1);
    Run("OpLS");
    FailNextGaussianBlursForTesting(0);
    Flush();
    EXPECT_EQ(gLaplacianPyramidInterface, nullptr);
    EXPECT_EQ(interaction.AlertCount(), 2);
    EXPECT_EQ(gWorkingDialog, nullptr);
    EXPECT_TRUE(Live() == mSaved);
}
