// tests/gui/StarBeautificationTest.cpp: the star dialog opened over a summed
// stack of synthetic stars: what opening finds, the slider rules, seeding by
// thumbnail rectangles, the pipeline restarting from the saved planes, the
// overlay, Cancel restoring the bytes, OK keeping the planes and the
// remembered settings, and a stack of no frames.
#include "tools/StarBeautificationInterface.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include <QApplication>

#include <gtest/gtest.h>

#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "shell/PointerInput.h"
#include "shell/ShellSettings.h"
#include "shell/ThumbnailInterface.h"
#include "engine/SummedStack.h"
#include "imaging/StarRework.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/Modifiers.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/TestImages.h"
#include "tools/StackOverlay.h"
#include "tools/StarAndFourierDialogs.h"

namespace {

constexpr int kW = 81, kH = 61;
constexpr int kN = 2; // frames: full scale 510
constexpr int kFull = 255 * kN;

struct StarTruth {
    int x, y;
    double radius;
};
// Saturated cores (seed at full scale) with halos at 300.
const std::vector<StarTruth> kStars{{12, 10, 2.0}, {60, 15, 3.0}, {30, 45, 1.0}, {70, 50, 2.5}};

struct Planes {
    std::vector<int32_t> red, green, blue;
    friend bool operator==(const Planes&, const Planes&) = default;
};

Planes CurrentPlanes()
{
    const std::size_t n = std::size_t(StackWidth()) * StackHeight();
    return Planes{std::vector<int32_t>(gRedStack.get(), gRedStack.get() + n),
                  std::vector<int32_t>(gGreenStack.get(), gGreenStack.get() + n),
                  std::vector<int32_t>(gBlueStack.get(), gBlueStack.get() + n)};
}

void ResetRemembered()
{
    gLastStarBrightnessThreshold = -1;
    gLastStarSpreadBrightnessThreshold = -1;
    gLastStarMinSurfaceAreaThreshold = 1;
    gLastStarMaxSurfaceAreaThreshold = 256;
    gLastDeringRadius = 15;
    gLastDeringBrightnessThreshold = 0;
    gLastTruncateRadius = 32;
    gLastBlurRadius = 0.1;
}

class StarBeautificationTest : public testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        ResetRemembered();
        MakeStack(kW, kH, kN);
    }
    void TearDown() override
    {
        SetPointerScriptForTesting(std::nullopt);
        if (gStarBeautificationInterface)
            gStarBeautificationInterface->End(true);
        Settle();
        gRedStack.reset();
        gGreenStack.reset();
        gBlueStack.reset();
        gFrameStack.reset();
        ResetRemembered();
    }
    static void MakeStack(int w, int h, double frames)
    {
        const std::size_t n = std::size_t(w) * h;
        gRedStack = std::make_unique<int32_t[]>(n);
        gGreenStack = std::make_unique<int32_t[]>(n);
        gBlueStack = std::make_unique<int32_t[]>(n);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t i = std::size_t(y) * w + x;
                gRedStack[i] = 40 + (x * 7 + y * 3) % 30; // sky 40 .. 69
                gGreenStack[i] = 50 + (x + y) % 20;
                gBlueStack[i] = 45;
                for (const StarTruth& s : kStars) {
                    const double d = std::hypot(x - s.x, y - s.y);
                    if (d <= s.radius + 2.0 && w == kW)
                        gRedStack[i] = gGreenStack[i] = gBlueStack[i] = d <= s.radius ? kFull : 300;
                }
            }
        gNumFramesInStack = frames;
        gFrameStack = MakeImage(w, h);
        ProjectStackIntoFrameStackGWorld(false);
    }
    StarBeautificationInterface* Open()
    {
        gStarBeautificationInterface = new StarBeautificationInterface();
        return gStarBeautificationInterface;
    }
    static void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }
    static void Hit(DialogInterface* d, int id)
    {
        DialogEvent e{DialogEvent::controlHit};
        e.controlID = id;
        d->Dispatch(e);
    }
    static void Key(DialogInterface* d, int key, int modifiers = 0)
    {
        DialogEvent e{DialogEvent::keyDown};
        e.key = key;
        e.modifiers = modifiers;
        d->Dispatch(e);
    }
    static void Drag(DialogInterface* d, QPoint press, std::vector<QPoint> path, int modifiers = 0)
    {
        PointerScript script;
        script.position = press;
        script.dragPaths = {std::move(path)};
        SetPointerScriptForTesting(script);
        DialogEvent e{DialogEvent::mouseDown};
        e.where = press;
        e.modifiers = modifiers;
        d->Dispatch(e);
        SetPointerScriptForTesting(std::nullopt);
    }
    static QPoint ThumbCentre(const LinearSlider& s)
    {
        const Rect r = s.ThumbRect();
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    // Pointer x giving value v on a star slider (256 pixels for its range).
    static int SliderX(const LinearSlider& s, int v)
    {
        return s.Origin().h + 5 + static_cast<int>(std::lround((v - s.Minimum()) * s.PixelsPerUnit()));
    }
    static void DragTo(DialogInterface* d, const LinearSlider& s, int v)
    {
        Drag(d, ThumbCentre(s), {QPoint(SliderX(s, v), s.Origin().v + 5)});
    }
};

} // namespace

TEST_F(StarBeautificationTest, OpeningFindsTheSaturatedStarsAtTheirPositions)
{
    StarBeautificationInterface* d = Open();
    EXPECT_EQ(d->findParams().brightness, kFull);
    EXPECT_EQ(d->findParams().spread, kFull);
    EXPECT_EQ(gLastStarBrightnessThreshold, kFull); // -1 written back as full scale
    EXPECT_EQ(gLastStarSpreadBrightnessThreshold, kFull);
    EXPECT_EQ(d->activeSlider(), kStarNoSlider);
    EXPECT_EQ(d->control(kStarShowPixels).Value(), 0);
    EXPECT_EQ(d->control(kStarShowCircles).Value(), 1);
    ASSERT_EQ(d->stars().size(), kStars.size());
    for (const StarTruth& t : kStars) {
        const auto found = std::find_if(d->stars().begin(), d->stars().end(),
                                        [&](const Star& s) { return s.centre.h == t.x && s.centre.v == t.y; });
        EXPECT_NE(found, d->stars().end()) << t.x << "," << t.y;
    }
    EXPECT_EQ(d->linearSlider(kStarBrightnessSlider).Maximum(), kFull);
    EXPECT_EQ(d->linearSlider(kStarMinAreaSlider).GetValue(), 1);
    EXPECT_EQ(d->linearSlider(kStarMaxAreaSlider).GetValue(), 256);
    EXPECT_EQ(d->thumbnail().thumbBounds(), MakeRect(10, 20, 71, 101)); // fits: full size
}

TEST_F(StarBeautificationTest, TheLivePlanesAreThePipelineOnTheSavedPlanes)
{
    gLastDeringBrightnessThreshold = 60; // part of the sky is darker: dering works
    gLastTruncateRadius = 1;
    gLastBlurRadius = 2.0;
    const Planes opening = CurrentPlanes();
    StarBeautificationInterface* d = Open();
    // Lower the spread so halos join the stars, then compute the same
    // pipeline here from the opening planes.
    DragTo(d, d->linearSlider(kStarSpreadSlider), 290); // about two values a pixel
    EXPECT_NEAR(d->findParams().spread, 290, 2);
    EXPECT_EQ(d->activeSlider(), kStarSpreadSlider);
    Planes expected = opening;
    const ConstSumPlanes saved{opening.red.data(), opening.green.data(), opening.blue.data(), kW, kH};
    const SumPlanes live{expected.red.data(), expected.green.data(), expected.blue.data(), kW, kH};
    const std::vector<Star> stars = FindStars(saved, nullptr, d->findParams());
    ReworkStars(saved, live, stars, d->reworkParams());
    EXPECT_EQ(d->stars().size(), stars.size());
    EXPECT_EQ(CurrentPlanes(), expected);
    EXPECT_NE(CurrentPlanes(), opening);
    // A second change starts again from the saved planes, not from the result.
    Key(d, Qt::Key_Right);
    Key(d, Qt::Key_Left);
    EXPECT_EQ(CurrentPlanes(), expected);
    // Subtract all: no stars, the opening planes.
    Hit(d, kStarSubtractAll);
    EXPECT_TRUE(d->stars().empty());
    EXPECT_EQ(CurrentPlanes(), opening);
    Hit(d, kStarAddAll);
    EXPECT_EQ(CurrentPlanes(), expected);
    // Cancel: the bytes of the opening.
    Hit(d, kDialogCancel);
    Settle();
    EXPECT_EQ(gStarBeautificationInterface, nullptr);
    EXPECT_EQ(CurrentPlanes(), opening);
    EXPECT_EQ(gLastDeringBrightnessThreshold, 60); // Cancel remembers nothing
    EXPECT_EQ(gLastStarSpreadBrightnessThreshold, kFull);
}

TEST_F(StarBeautificationTest, BrightnessDragsTheSpreadDownAndTheSpreadCannotPassIt)
{
    StarBeautificationInterface* d = Open();
    DragTo(d, d->linearSlider(kStarBrightnessSlider), 400);
    EXPECT_EQ(d->findParams().brightness, 400);
    EXPECT_EQ(d->findParams().spread, 400);
    EXPECT_EQ(d->linearSlider(kStarSpreadSlider).GetValue(), 400);
    DragTo(d, d->linearSlider(kStarSpreadSlider), 500);
    EXPECT_EQ(d->findParams().spread, 400); // sprang back
    EXPECT_EQ(d->linearSlider(kStarSpreadSlider).GetValue(), 400);
    // The area window keeps minimum <= maximum the same way.
    DragTo(d, d->linearSlider(kStarMaxAreaSlider), 10);
    const int max = d->findParams().maxArea;
    DragTo(d, d->linearSlider(kStarMinAreaSlider), 2000);
    EXPECT_EQ(d->findParams().minArea, max);
    EXPECT_EQ(d->linearSlider(kStarMinAreaSlider).GetValue(), max);
    DragTo(d, d->linearSlider(kStarMaxAreaSlider), 1);
    EXPECT_EQ(d->findParams().maxArea, max);
}

TEST_F(StarBeautificationTest, ArrowKeysMoveTheActiveSliderOnly)
{
    StarBeautificationInterface* d = Open();
    Key(d, Qt::Key_Right); // no active slider yet: nothing
    EXPECT_EQ(d->reworkParams().truncateRadius, 32);
    Drag(d, ThumbCentre(d->linearSlider(kStarTruncateRadiusSlider)), {});
    EXPECT_EQ(d->activeSlider(), kStarTruncateRadiusSlider);
    Key(d, Qt::Key_Up, kShiftKeyBit);
    EXPECT_EQ(d->reworkParams().truncateRadius, 42);
    Key(d, Qt::Key_Down);
    EXPECT_EQ(d->reworkParams().truncateRadius, 41);
    EXPECT_EQ(d->reworkParams().deringRadius, 15);
    // The blur slider (a radius slider) is nudged by tenths.
    const Rect blurThumb = d->blurSlider().ThumbRect();
    Drag(d, QPoint((blurThumb.left + blurThumb.right) / 2, blurThumb.top + 5), {});
    EXPECT_EQ(d->activeSlider(), kStarBlurSlider);
    Key(d, Qt::Key_Right);
    EXPECT_NEAR(d->reworkParams().blurRadius, 0.2, 1e-12);
}

TEST_F(StarBeautificationTest, SeedingRectanglesOnTheThumbnail)
{
    StarBeautificationInterface* d = Open();
    const Rect t = d->thumbnail().thumbBounds(); // full size at (20, 10)
    // Option-drag over the left half excludes it: the two stars there go.
    Drag(d, QPoint(t.left, t.top), {QPoint(t.left + 40, t.bottom)}, kOptionKeyBit);
    EXPECT_EQ(d->seedMap()[std::size_t(10) * kW + 12], 0);
    EXPECT_EQ(d->seedMap()[std::size_t(10) * kW + 60], 1);
    EXPECT_EQ(d->stars().size(), 2u);
    // A plain drag includes again.
    Drag(d, QPoint(t.left + 5, t.top + 5), {QPoint(t.left + 20, t.top + 20)});
    EXPECT_EQ(d->stars().size(), 3u);
    // A press outside the thumbnail and the sliders does nothing.
    const std::size_t seeded = std::count(d->seedMap().begin(), d->seedMap().end(), 1);
    Drag(d, QPoint(450, 140), {QPoint(455, 150)});
    EXPECT_EQ(std::size_t(std::count(d->seedMap().begin(), d->seedMap().end(), 1)), seeded);
}

TEST_F(StarBeautificationTest, OverlayMarksStarPixelsAndCircles)
{
    gLastDeringRadius = 4;
    StarBeautificationInterface* d = Open();
    Canvas window;
    window.resize(2 * kW, 2 * kH); // shown at twice the stack's size
    window.Image().fill(Qt::white);
    d->DrawFrameStackOverlay(window);
    const QImage& image = window.Image();
    // A red circle of radius 4 around (12, 10): at twice the scale, its
    // rightmost pixel lies near x = 2 × 16 - 1 on row 2 × 10.
    int red = 0, blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            red += p == qRgb(255, 0, 0);
            blue += p == qRgb(0, 0, 255);
        }
    EXPECT_GT(red, 0);
    EXPECT_EQ(blue, 0); // star pixels are off at opening
    EXPECT_EQ(image.pixel(31, 20), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(24, 20), qRgb(255, 255, 255)); // the star's centre is not marked
    d->control(kStarShowPixels).SetValue(1);
    Hit(d, kStarShowPixels);
    d->control(kStarShowCircles).SetValue(0);
    Hit(d, kStarShowCircles);
    window.Image().fill(Qt::white);
    d->DrawFrameStackOverlay(window);
    // The core of (12, 10), radius 2, is 13 pixels, each a 2 × 2 dot.
    EXPECT_EQ(window.Image().pixel(24, 20), qRgb(0, 0, 255));
    EXPECT_EQ(window.Image().pixel(25, 21), qRgb(0, 0, 255));
    EXPECT_EQ(window.Image().pixel(31, 20), qRgb(255, 255, 255));
    // A window smaller than the stack still gets one-pixel dots.
    Canvas small;
    small.resize(kW / 2, kH / 2);
    small.Image().fill(Qt::white);
    d->DrawFrameStackOverlay(small);
    EXPECT_EQ(small.Image().pixel(6, 5), qRgb(0, 0, 255));
    // Without preview nothing is drawn over the stack.
    Hit(d, kDialogPreview);
    small.Image().fill(Qt::white);
    d->DrawFrameStackOverlay(small);
    EXPECT_EQ(small.Image().pixel(6, 5), qRgb(255, 255, 255));
}

TEST_F(StarBeautificationTest, OkKeepsThePlanesAndRemembersTheSettings)
{
    StarBeautificationInterface* d = Open();
    DragTo(d, d->linearSlider(kStarSpreadSlider), 290);
    DragTo(d, d->linearSlider(kStarDeringRadiusSlider), 9);
    DragTo(d, d->linearSlider(kStarDeringBrightnessSlider), 45);
    const Planes result = CurrentPlanes();
    const int deringRadius = d->reworkParams().deringRadius;
    Hit(d, kDialogOK);
    Settle();
    EXPECT_EQ(CurrentPlanes(), result);
    EXPECT_EQ(gLastStarBrightnessThreshold, -1);
    EXPECT_EQ(gLastStarSpreadBrightnessThreshold, -1);
    EXPECT_EQ(gLastDeringRadius, deringRadius);
    EXPECT_GT(gLastDeringBrightnessThreshold, 40);
    // The next opening starts at full scale again, with the kept settings.
    StarBeautificationInterface* again = Open();
    EXPECT_EQ(again->findParams().spread, kFull);
    EXPECT_EQ(again->reworkParams().deringRadius, deringRadius);
}

TEST_F(StarBeautificationTest, RememberedValuesFromALargerStackOpenInsideTheRanges)
{
    // Kept after OK on a stack of ten frames (full scale 2550); this one has two.
    gLastStarBrightnessThreshold = 2000;
    gLastDeringBrightnessThreshold = 2000;
    gLastDeringRadius = 5000;
    gLastTruncateRadius = -3;
    gLastStarMaxSurfaceAreaThreshold = 1 << 30;
    gLastBlurRadius = 80.0;
    StarBeautificationInterface* d = Open();
    EXPECT_EQ(d->findParams().brightness, kFull);
    EXPECT_EQ(d->findParams().maxArea, kStarMaxArea);
    EXPECT_EQ(d->reworkParams().deringThreshold, kFull);
    EXPECT_EQ(d->linearSlider(kStarDeringBrightnessSlider).GetValue(), kFull);
    EXPECT_EQ(d->reworkParams().deringRadius, kDeringMaxRadius);
    EXPECT_EQ(d->linearSlider(kStarDeringRadiusSlider).GetValue(), kDeringMaxRadius);
    EXPECT_EQ(d->reworkParams().truncateRadius, kTruncateMinRadius);
    EXPECT_EQ(d->reworkParams().blurRadius, kGaussianBlurSliderScale.maximum);
    EXPECT_EQ(d->blurSlider().GetValue(), kGaussianBlurSliderScale.maximum);
}

TEST_F(StarBeautificationTest, AStackOfNoFramesOpensWithEmptyRanges)
{
    MakeStack(17, 9, 0.0); // sums all > 0, display divisor 0
    const Planes opening = CurrentPlanes();
    StarBeautificationInterface* d = Open();
    EXPECT_EQ(d->findParams().brightness, 0);
    EXPECT_EQ(d->linearSlider(kStarBrightnessSlider).Maximum(), 0);
    Drag(d, ThumbCentre(d->linearSlider(kStarBrightnessSlider)), {QPoint(400, 175)});
    EXPECT_EQ(d->findParams().brightness, 0);
    Hit(d, kDialogCancel);
    Settle();
    EXPECT_EQ(CurrentPlanes(), opening);
}

TEST_F(StarBeautificationTest, TheCommandOpensItAndTheStackWindowDrawsItsMarksWhileOpen)
{
    GetCommandOperations() = CommandOperations{};
    InstallShellCommands();
    InstallStarAndFourierDialogs();
    EXPECT_TRUE(MenuHandler(FourCC("OpSB"), 131, 21));
    ASSERT_NE(gStarBeautificationInterface, nullptr);
    GetCommandOperations() = CommandOperations{};
    Canvas window;
    window.resize(kW, kH);
    const auto redPixels = [&] {
        window.Image().fill(Qt::white);
        DrawToolOverlayOnStack(window);
        int red = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                red += window.Image().pixel(x, y) == qRgb(255, 0, 0);
        return red;
    };
    EXPECT_GT(redPixels(), 0);
    Hit(gStarBeautificationInterface, kDialogOK);
    EXPECT_EQ(redPixels(), 0); // closed: the window shows the stack alone
    Settle();
}
