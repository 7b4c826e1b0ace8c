// tests/gui/FTEditorTest.cpp: the Fourier-domain editor opened over a summed
// stack: transform and picture geometry, the initial settings, brush strokes
// and their planes, Reset, Cancel and OK, the sliders and arrow keys, the
// normalisation pop-up, a black picture for a black stack, and failures at
// opening.
#include "tools/FTEditorInterface.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <QApplication>

#include <QSize>

#include <gtest/gtest.h>

#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "shell/PointerInput.h"
#include "shell/ShellSettings.h"
#include "engine/SummedStack.h"
#include "imaging/FFT.h"
#include "imaging/FourierBrush.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/Modifiers.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tools/StarAndFourierDialogs.h"

namespace {

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

class FTEditorTest : public testing::Test {
protected:
    void SetUp() override { GuiTestApp(); }
    void TearDown() override
    {
        SetPointerScriptForTesting(std::nullopt);
        if (gFTEditorInterface)
            gFTEditorInterface->End(true);
        Settle();
        gRedStack.reset();
        gGreenStack.reset();
        gBlueStack.reset();
        gFrameStack.reset();
    }
    // A stack of w × h with noise, a bright spot and N frames.
    void MakeStack(int w, int h, bool black = false)
    {
        const std::size_t n = std::size_t(w) * h;
        gRedStack = std::make_unique<int32_t[]>(n);
        gGreenStack = std::make_unique<int32_t[]>(n);
        gBlueStack = std::make_unique<int32_t[]>(n);
        std::mt19937 rng(w * 7 + h);
        std::uniform_int_distribution<int32_t> sums(0, 255 * 4);
        for (std::size_t i = 0; i < n; ++i) {
            gRedStack[i] = black ? 0 : sums(rng);
            gGreenStack[i] = black ? 0 : sums(rng);
            gBlueStack[i] = black ? 0 : sums(rng);
        }
        gNumFramesInStack = 4.0;
        gFrameStack = MakeImage(w, h);
        ProjectStackIntoFrameStackGWorld(false);
    }
    FTEditorInterface* Open()
    {
        gFTEditorInterface = new FTEditorInterface();
        return gFTEditorInterface;
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
    // A press at press, moved along path, released at its end (or at release,
    // which no move reported).
    static void Drag(DialogInterface* d, QPoint press, std::vector<QPoint> path,
                     std::optional<QPoint> release = std::nullopt)
    {
        PointerScript script;
        script.position = press;
        script.dragPaths = {std::move(path)};
        script.release = release;
        SetPointerScriptForTesting(script);
        DialogEvent e{DialogEvent::mouseDown};
        e.where = press;
        d->Dispatch(e);
        SetPointerScriptForTesting(std::nullopt);
    }
    static QPoint ThumbCentre(const LinearSlider& s)
    {
        const Rect r = s.ThumbRect();
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
};

} // namespace

TEST_F(FTEditorTest, TransformSizeAndPictureGeometry)
{
    MakeStack(1000, 700);
    FTEditorInterface* d = Open();
    EXPECT_EQ(d->spectrumSize().width, 1024);
    EXPECT_EQ(d->spectrumSize().height, 1024);
    EXPECT_EQ(d->displayScale(), 2);
    EXPECT_EQ(d->displayRect(), MakeRect(10, 10, 522, 522));
    d->End(true);
    Settle();

    MakeStack(37, 23);
    d = Open();
    EXPECT_EQ(d->spectrumSize().width, 64);
    EXPECT_EQ(d->spectrumSize().height, 32);
    EXPECT_EQ(d->displayScale(), 1);
    EXPECT_EQ(d->displayRect(), MakeRect(250, 234, 282, 298)); // centred in the 512-pixel square at (10, 10)
    EXPECT_EQ(d->spectrumImage().Width(), 64);
    EXPECT_EQ(d->spectrumImage().Height(), 32);
    d->End(true);
    Settle();

    // One row: the picture keeps a row when reduced.
    MakeStack(600, 1);
    d = Open();
    EXPECT_EQ(d->spectrumSize().width, 1024);
    EXPECT_EQ(d->spectrumSize().height, 1);
    EXPECT_EQ(d->displayScale(), 2);
    EXPECT_EQ(d->displayRect(), MakeRect(265, 10, 266, 522));
}

TEST_F(FTEditorTest, InitialSettingsAndPicture)
{
    MakeStack(37, 23);
    FTEditorInterface* d = Open();
    EXPECT_EQ(d->normalizationMethod(), 1);
    EXPECT_EQ(d->exposureDivisor(), 65536.0);
    EXPECT_EQ(d->brushRadius(), 32);
    EXPECT_EQ(d->activeSlider(), 0);
    EXPECT_EQ(d->exposureSlider().GetValue(), 4);
    EXPECT_EQ(d->brushSlider().GetValue(), 32);
    EXPECT_EQ(d->control(kFTEditorNormalization).Value(), 2);
    EXPECT_EQ(d->control(kDialogPreview).Value(), 1);
    // The grey picture is the display values truncated, the largest 255.
    const std::vector<double>& power = d->powerSpectrum();
    EXPECT_DOUBLE_EQ(*std::max_element(power.begin(), power.end()), 255.0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const Argb p = GetPixel(d->spectrumImage(), x, y);
            const int v = static_cast<int>(power[std::size_t(y) * 64 + x]);
            ASSERT_EQ(p.r, v);
            ASSERT_EQ(p.g, v);
            ASSERT_EQ(p.b, v);
        }
    // The zero frequency in the centre is the brightest.
    EXPECT_EQ(GetPixel(d->spectrumImage(), 32, 16).r, 255);
    // Opening leaves the planes as they were (transformed, not written back).
    const Planes before = CurrentPlanes();
    Settle();
    EXPECT_EQ(CurrentPlanes(), before);
}

TEST_F(FTEditorTest, StrokesAttenuateResetRestoresAndCancelRestoresTheBytes)
{
    MakeStack(37, 23);
    const Planes opening = CurrentPlanes();
    FTEditorInterface* d = Open();
    const Rect r = d->displayRect();
    const QPoint centre(r.left + 32, r.top + 16);
    // A press without motion changes nothing.
    Drag(d, centre + QPoint(5, 3), {});
    EXPECT_EQ(d->editedSpectrum(0), d->openingSpectrum(0));
    EXPECT_EQ(CurrentPlanes(), opening);
    // A stroke right of the centre: the spectrum changes near the frequencies
    // under the pointer only, and the planes follow.
    Drag(d, centre + QPoint(5, 3), {centre + QPoint(9, 3), centre + QPoint(12, 3)});
    int changed = 0;
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < d->editedSpectrum(c).size(); ++i)
            if (d->editedSpectrum(c)[i] != d->openingSpectrum(c)[i]) {
                ++changed;
                ASSERT_LE(std::abs(d->editedSpectrum(c)[i]), std::abs(d->openingSpectrum(c)[i]));
            }
    EXPECT_GT(changed, 0);
    EXPECT_NE(CurrentPlanes(), opening);
    // Reset: the opening spectrum, the opening planes exactly.
    Hit(d, kFTEditorReset);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(d->editedSpectrum(c), d->openingSpectrum(c));
    EXPECT_EQ(CurrentPlanes(), opening);
    // Another stroke, on the left half, then Cancel: the bytes of the opening.
    Drag(d, centre + QPoint(-6, -4), {centre + QPoint(-10, -4), centre + QPoint(-10, -8)});
    EXPECT_NE(CurrentPlanes(), opening);
    Hit(d, kDialogCancel);
    EXPECT_EQ(gFTEditorInterface, nullptr);
    Settle();
    EXPECT_EQ(CurrentPlanes(), opening);
}

TEST_F(FTEditorTest, OneRowAndOneColumnStacksAreEdited)
{
    for (const QSize size : {QSize(40, 1), QSize(1, 40)}) {
        MakeStack(size.width(), size.height());
        const Planes opening = CurrentPlanes();
        FTEditorInterface* d = Open();
        const Rect r = d->displayRect();
        // A stroke edge to edge and off the picture, then one over the low frequencies in the centre.
        Drag(d, QPoint(r.left, r.top), {QPoint(r.right - 1, r.bottom - 1), QPoint(r.right + 20, r.bottom + 20)});
        const QPoint centre((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Drag(d, centre, {centre + QPoint(1, 0), centre + QPoint(0, 1), centre + QPoint(3, 0), centre + QPoint(0, 3)});
        for (int c = 0; c < 3; ++c)
            for (std::size_t i = 0; i < d->editedSpectrum(c).size(); ++i)
                ASSERT_LE(std::abs(d->editedSpectrum(c)[i]), std::abs(d->openingSpectrum(c)[i]));
        EXPECT_NE(CurrentPlanes(), opening) << size.width() << "x" << size.height();
        Hit(d, kDialogCancel);
        Settle();
        EXPECT_EQ(CurrentPlanes(), opening);
    }
}

TEST_F(FTEditorTest, PlanesAfterAStrokeMatchTheNumpyModel)
{
    MakeStack(37, 23);
    const Planes opening = CurrentPlanes();
    FTEditorInterface* d = Open();
    const Rect r = d->displayRect();
    const QPoint press(r.left + 37, r.top + 19), to(r.left + 48, r.top + 22);
    Drag(d, press, {to});
    // The dabs of that one step, where the pointer mapping (tested on its own) puts them.
    const int w = r.Width(), h = r.Height();
    const std::vector<SpectrumPoint> dabs =
        StrokeDabs(MapDisplayToSpectrum(press.x() - r.left, press.y() - r.top, w, h, 1),
                   MapDisplayToSpectrum(to.x() - r.left, to.y() - r.top, w, h, 1), d->brushRadius());
    ASSERT_GT(dabs.size(), 1u);

    const std::string dir = ReferenceScratchDir();
    ASSERT_FALSE(dir.empty());
    std::vector<double> in;
    for (const std::vector<int32_t>* c : {&opening.red, &opening.green, &opening.blue})
        in.insert(in.end(), c->begin(), c->end());
    WriteDoubles(dir + "/planes.f64", in);
    std::vector<std::string> args{dir, "64", "32", "37", "23", std::to_string(d->brushRadius())};
    for (const SpectrumPoint& p : dabs)
        args.push_back(std::to_string(p.row) + "," + std::to_string(p.column));
    std::string out;
    ASSERT_TRUE(RunPythonScript("fourier_editor.py", args, &out)) << out;
    const std::vector<double> expected = ReadDoubles(dir + "/result.f64");
    const Planes edited = CurrentPlanes();
    std::vector<double> got;
    for (const std::vector<int32_t>* c : {&edited.red, &edited.green, &edited.blue})
        got.insert(got.end(), c->begin(), c->end());
    ASSERT_EQ(got.size(), expected.size());
    // Two transforms agree to about 1e-12 of the sums: a value within that of a half may round either way.
    std::size_t differing = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_NEAR(got[i], expected[i], 1.0) << i;
        differing += got[i] != expected[i];
    }
    EXPECT_LE(differing, 2u);
    EXPECT_NE(edited, opening);
}

TEST_F(FTEditorTest, OkKeepsTheEditedPlanes)
{
    MakeStack(40, 30);
    const Planes opening = CurrentPlanes();
    FTEditorInterface* d = Open();
    const Rect r = d->displayRect();
    Drag(d, QPoint(r.left + 34, r.top + 16), {QPoint(r.left + 40, r.top + 20)});
    const Planes edited = CurrentPlanes();
    EXPECT_NE(edited, opening);
    Hit(d, kDialogOK);
    Settle();
    EXPECT_EQ(CurrentPlanes(), edited);
}

TEST_F(FTEditorTest, PressesOutsideThePictureAndTheThumbsChangeNothing)
{
    MakeStack(37, 23);
    const Planes opening = CurrentPlanes();
    FTEditorInterface* d = Open();
    const Rect r = d->displayRect();
    Drag(d, QPoint(r.right + 5, r.top + 5), {QPoint(r.left + 5, r.top + 5), QPoint(r.left + 20, r.top + 9)});
    Drag(d, QPoint(600, 135), {QPoint(560, 135)}); // the exposure track beside its thumb
    EXPECT_EQ(d->editedSpectrum(1), d->openingSpectrum(1));
    EXPECT_EQ(d->exposureSlider().GetValue(), 4);
    EXPECT_EQ(CurrentPlanes(), opening);
}

TEST_F(FTEditorTest, SlidersAndArrowKeys)
{
    MakeStack(37, 23);
    FTEditorInterface* d = Open();
    // Drag the exposure thumb to 20: divisor 1, picture recomputed.
    const std::vector<double> methodOnePicture = d->powerSpectrum();
    Hit(d, kFTEditorNormalization); // no change of item: method stays 1
    EXPECT_EQ(d->normalizationMethod(), 1);
    d->control(kFTEditorNormalization).SetValue(1);
    Hit(d, kFTEditorNormalization);
    EXPECT_EQ(d->normalizationMethod(), 0);
    Drag(d, ThumbCentre(d->exposureSlider()), {QPoint(900, 135)});
    EXPECT_EQ(d->exposureSlider().GetValue(), 20);
    EXPECT_EQ(d->exposureDivisor(), 1.0);
    EXPECT_EQ(d->activeSlider(), 0);
    // Linear at divisor 1: bright frequencies saturate.
    const std::vector<double>& linear = d->powerSpectrum();
    EXPECT_EQ(*std::max_element(linear.begin(), linear.end()), 255.0);
    EXPECT_GT(std::count(linear.begin(), linear.end(), 255.0), 1);
    Key(d, Qt::Key_Left, kShiftKeyBit);
    EXPECT_EQ(d->exposureSlider().GetValue(), 10);
    EXPECT_EQ(d->exposureDivisor(), 1024.0);
    // A press on the brush thumb makes it active: arrows change only the brush.
    Drag(d, ThumbCentre(d->brushSlider()), {});
    EXPECT_EQ(d->activeSlider(), 1);
    Key(d, Qt::Key_Right);
    EXPECT_EQ(d->brushRadius(), 33);
    Key(d, Qt::Key_Up, kShiftKeyBit);
    EXPECT_EQ(d->brushRadius(), 43);
    Key(d, Qt::Key_Down);
    EXPECT_EQ(d->brushRadius(), 42);
    EXPECT_EQ(d->exposureSlider().GetValue(), 10);
    // Live updates during a drag.
    d->ProcessLiveSliderUpdate(1);
    EXPECT_EQ(d->brushRadius(), 42);
    d->control(kFTEditorNormalization).SetValue(2);
    Hit(d, kFTEditorNormalization);
    EXPECT_EQ(d->powerSpectrum(), methodOnePicture);
    d->control(kFTEditorNormalization).SetValue(4);
    Hit(d, kFTEditorNormalization);
    EXPECT_EQ(d->normalizationMethod(), 3);
}

TEST_F(FTEditorTest, AReleaseBackAtTheStartUndoesTheLastLiveStep)
{
    MakeStack(37, 23);
    FTEditorInterface* d = Open();
    const QPoint exposure = ThumbCentre(d->exposureSlider());
    Drag(d, exposure, {QPoint(900, 135)}, exposure);
    EXPECT_EQ(d->exposureSlider().GetValue(), 4);
    EXPECT_EQ(d->exposureDivisor(), 65536.0);
    const QPoint brush = ThumbCentre(d->brushSlider());
    Drag(d, brush, {QPoint(900, brush.y())}, brush);
    EXPECT_EQ(d->brushSlider().GetValue(), 32);
    EXPECT_EQ(d->brushRadius(), 32);
}

TEST_F(FTEditorTest, ABlackStackShowsABlackPicture)
{
    MakeStack(20, 10, true);
    FTEditorInterface* d = Open();
    for (int item = 1; item <= 4; ++item) {
        d->control(kFTEditorNormalization).SetValue(item);
        Hit(d, kFTEditorNormalization);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(GetPixel(d->spectrumImage(), x, y).r, 0) << item;
    }
}

TEST_F(FTEditorTest, TablesThatCannotBePreparedFailAsOutOfMemory)
{
    ScriptedInteraction ui;
    GetCommandOperations() = CommandOperations{};
    InstallShellCommands();
    InstallStarAndFourierDialogs();
    // The only test here with 2048 rows: its tables are not built yet.
    MakeStack(1, 1100);
    const Planes opening = CurrentPlanes();
    FftFailNextAllocationsForTesting(1);
    EXPECT_TRUE(MenuHandler(FourCC("OpFE"), 131, 17));
    FftFailNextAllocationsForTesting(0);
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, "Out of Memory Error");
    EXPECT_EQ(gFTEditorInterface, nullptr);
    EXPECT_EQ(CurrentPlanes(), opening);
    // Once memory is back the editor opens for that size.
    EXPECT_TRUE(MenuHandler(FourCC("OpFE"), 131, 17));
    ASSERT_NE(gFTEditorInterface, nullptr);
    EXPECT_EQ(gFTEditorInterface->spectrumSize().height, 2048);
    GetCommandOperations() = CommandOperations{};
}

TEST_F(FTEditorTest, AStepIntoAnotherQuadrantDabsOnlyItsNewPoint)
{
    MakeStack(37, 23); // a 64 x 32 transform shown at full size
    FTEditorInterface* d = Open();
    // The smallest brush: a press on its thumb, then Shift-left to the minimum.
    Drag(d, ThumbCentre(d->brushSlider()), {});
    for (int i = 0; i < 4; ++i)
        Key(d, Qt::Key_Left, kShiftKeyBit);
    ASSERT_EQ(d->brushRadius(), 4);
    const Rect r = d->displayRect();
    const QPoint centre(r.left + 32, r.top + 16);
    // Press below-right of the centre (row 2, column 20, tag 2), step to
    // above-right (row 22, column 40, tag 3).
    const QPoint press = centre + QPoint(10, 2), step = centre + QPoint(20, -10);
    const auto at = [](int row, int column) { return std::size_t(row) * 64 + column; };
    Drag(d, press, {step});
    for (int c = 0; c < 3; ++c) {
        EXPECT_DOUBLE_EQ(d->editedSpectrum(c)[at(22, 40)], 0.5 * d->openingSpectrum(c)[at(22, 40)]);
        EXPECT_EQ(d->editedSpectrum(c)[at(2, 20)], d->openingSpectrum(c)[at(2, 20)]);
    }
    // Within one quadrant a step dabs from the new point back to the last
    // one, so the last point is attenuated again.
    const double before = d->editedSpectrum(0)[at(22, 40)];
    Drag(d, step, {step + QPoint(3, 0)});
    EXPECT_LT(std::abs(d->editedSpectrum(0)[at(22, 40)]), std::abs(before));
    EXPECT_LT(std::abs(d->editedSpectrum(0)[at(22, 46)]), std::abs(d->openingSpectrum(0)[at(22, 46)]));
}

TEST_F(FTEditorTest, WithPreviewOffStrokesChangeThePlanesButNotThePicture)
{
    MakeStack(37, 23);
    const Planes opening = CurrentPlanes();
    auto shown = MakeImage(37, 23);
    CopyGWorldWrapper(*gFrameStack, *shown);
    FTEditorInterface* d = Open();
    Hit(d, kDialogPreview);
    ASSERT_FALSE(d->preview());
    const Rect r = d->displayRect();
    Drag(d, QPoint(r.left + 40, r.top + 18), {QPoint(r.left + 44, r.top + 20)});
    EXPECT_NE(CurrentPlanes(), opening);
    EXPECT_TRUE(SamePixels(*gFrameStack, *shown)); // the stack as it was at opening
    // Preview on shows the edited planes.
    Hit(d, kDialogPreview);
    EXPECT_FALSE(SamePixels(*gFrameStack, *shown));
}
