// tests/gui/ClipViewWindowTest.cpp: what the frame inspector chooses to show,
// how it draws clips (also tiny windows and clips a worker is rendering), and
// the pixel readout's mapping, colours and bars.
#include "engine/ClipViewWindow.h"

#include <array>
#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <QApplication>

#include <gtest/gtest.h>

#include "app/Commands.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "shell/OperationBoundsRect.h"
#include "engine/PixelReadout.h"
#include "shell/PointerInput.h"
#include "engine/ReadoutCursor.h"
#include "shell/ShellSettings.h"
#include "shell/ShellHooks.h"
#include "engine/Selection.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Screens.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/gui/MainWindowsTestSupport.h"
#include "tests/support/PythonReference.h"
#include "tests/unit/EngineFixture.h"

namespace {

testing::Environment* const kWindowsTeardown = RegisterWindowsTeardown();

void ExpectReadoutCursor()
{
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BitmapCursor);
    EXPECT_EQ(QApplication::overrideCursor()->hotSpot(), ReadoutCursor().hotSpot());
    EXPECT_EQ(QApplication::overrideCursor()->pixmap().toImage(), ReadoutCursor().pixmap().toImage());
    EXPECT_TRUE(gCursor);
}

class FrameInspectorTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        SetScreensForTesting({ScreenArea{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}});
        if (!gFrameInspectorWindow) {
            MenuBarInit();
            WindowInit();
        }
        gPersistantSelectionIndices.clear();
        gTempSelectionIndex = -1;
        gLockFrameInspectorWindowToFrameOne = false;
        gOperationBoundsRect = kNoBoundsRect;
        GetShellHooks().jobRunning = [this] { return mJobRunning.load(); };
        SizeInspector(160, 120);
    }
    void TearDown() override
    {
        SetPointerScriptForTesting(std::nullopt);
        GetShellHooks().jobRunning = nullptr;
        gPersistantSelectionIndices.clear();
        gTempSelectionIndex = -1;
        EngineFixture::TearDown();
    }
    void SizeInspector(int w, int h)
    {
        gFrameInspectorWindow->show();
        gFrameInspectorWindow->SetContentSize(w, h);
        for (int i = 0; i < 5 && Inspector().size() != QSize(w, h); ++i)
            QApplication::processEvents();
        ASSERT_EQ(Inspector().size(), QSize(w, h));
    }
    QImage& Inspector() { return ContentCanvas(gFrameInspectorWindow)->Image(); }
    int CountPixels(QRgb colour)
    {
        int n = 0;
        for (int y = 0; y < Inspector().height(); ++y)
            for (int x = 0; x < Inspector().width(); ++x)
                n += Inspector().pixel(x, y) == colour;
        return n;
    }

    std::atomic<bool> mJobRunning{false};
};

} // namespace

TEST(InspectorChoice, FirstMatchWins)
{
    struct Row {
        bool hot, threshold;
        int temp, count, single;
        bool lock;
        int expected;
    };
    const Row rows[] = {
        {true, true, 3, 1, 5, false, -3},   // hot-pixel preview first
        {false, true, 3, 1, 5, false, -2},  // then the threshold dialog
        {false, false, 3, 1, 5, false, 3},  // then the clip under the mouse
        {false, false, -1, 1, 5, false, 5}, // then the only selected clip
        {false, false, -1, 2, -1, false, -1}, {false, false, -1, 0, -1, false, -1},
        {true, false, 3, 1, 5, true, 0}, // the space bar wins over everything
        {false, true, -1, 0, -1, true, 0},    {false, false, -1, 0, -1, true, 0},
    };
    for (const Row& r : rows) {
        InspectorChoice c;
        c.hotPixelPreview = r.hot;
        c.thresholdDialog = r.threshold;
        c.tempSelection = r.temp;
        c.persistentCount = r.count;
        c.singlePersistent = r.single;
        c.lockToFirst = r.lock;
        EXPECT_EQ(ChooseInspectorIndex(c), r.expected);
    }
}

TEST(InspectorText, RotationAndBounds)
{
    EXPECT_EQ(InspectorRotationText(0), "0.0\xC2\xB0");
    EXPECT_EQ(InspectorRotationText(250), "90.0\xC2\xB0");
    EXPECT_EQ(InspectorRotationText(1), "0.3\xC2\xB0"); // 0.36 truncated
    // Each axis on its own: a 640 × 480 image in a 320 × 120 window.
    EXPECT_EQ(BoundsRectInWindow(MakeRect(100, 64, 300, 192), 640, 480, 320, 120), MakeRect(25, 32, 75, 96));
    EXPECT_TRUE(BoundsRectInWindow(kNoBoundsRect, 640, 480, 320, 240).IsEmpty());
    EXPECT_TRUE(BoundsRectInWindow(MakeRect(0, 0, 10, 10), 0, 0, 320, 240).IsEmpty());
    EXPECT_TRUE(BoundsRectInWindow(MakeRect(0, 0, 10, 10), 640, 480, 0, 240).IsEmpty());
}

TEST(PixelReadoutMapping, EachAxisOnItsOwnAndClamped)
{
    int x = -1, y = -1;
    ASSERT_TRUE(MapWindowPointToImage(QPoint(10, 7), 320, 240, 640, 480, &x, &y));
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 14);
    // A window one pixel off the image's aspect: each axis keeps its own scale.
    ASSERT_TRUE(MapWindowPointToImage(QPoint(320, 239), 321, 240, 640, 480, &x, &y));
    EXPECT_EQ(x, 320 * 640 / 321);
    EXPECT_EQ(y, 478);
    // The last column and row stay inside.
    ASSERT_TRUE(MapWindowPointToImage(QPoint(319, 239), 320, 240, 640, 480, &x, &y));
    EXPECT_EQ(x, 638);
    EXPECT_EQ(y, 478);
    // A window larger than the image (an integer scale would be 0).
    ASSERT_TRUE(MapWindowPointToImage(QPoint(299, 239), 300, 240, 100, 80, &x, &y));
    EXPECT_EQ(x, 99);
    EXPECT_EQ(y, 79);
    EXPECT_FALSE(MapWindowPointToImage(QPoint(300, 0), 300, 240, 100, 80, &x, &y));
    EXPECT_FALSE(MapWindowPointToImage(QPoint(-1, 0), 300, 240, 100, 80, &x, &y));
    EXPECT_FALSE(MapWindowPointToImage(QPoint(0, 0), 0, 240, 100, 80, &x, &y));
    RGBColor rgb;
    EXPECT_FALSE(ReadWindowPixel(nullptr, QPoint(0, 0), 10, 10, &rgb));
    // Every window pixel of a padded 7 × 5 image read in a 23 × 11 window.
    auto image = MakeImage(7, 5);
    FillGradient(*image);
    for (int wy = 0; wy < 11; ++wy)
        for (int wx = 0; wx < 23; ++wx) {
            ASSERT_TRUE(ReadWindowPixel(image.get(), QPoint(wx, wy), 23, 11, &rgb));
            const Argb p = GetPixel(*image, wx * 7 / 23, wy * 5 / 11);
            EXPECT_EQ(rgb.red, p.r * 257);
            EXPECT_EQ(rgb.blue, p.b * 257);
        }
}

TEST(PixelReadoutColours, AgainstColorsys)
{
    std::vector<std::array<int, 3>> colours = {{255, 0, 0},     {0, 255, 0},     {0, 0, 255},   {0, 0, 0},
                                               {128, 128, 128}, {255, 255, 255}, {255, 255, 0}, {1, 2, 3}};
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 500; ++i)
        colours.push_back({byte(rng), byte(rng), byte(rng)});
    std::ostringstream input;
    for (const auto& c : colours)
        input << c[0] << ' ' << c[1] << ' ' << c[2] << '\n';
    const std::string folder = ReferenceScratchDir();
    {
        std::ofstream(folder + "/colours") << input.str();
    }
    const std::string code = R"(
import colorsys, sys
for line in open(sys.argv[1] + '/colours'):
    r, g, b = (int(v) for v in line.split())
    h, s, v = colorsys.rgb_to_hsv(r / 255.0, g / 255.0, b / 255.0)
    print(int(h * 65535) >> 8, int(s * 65535) >> 8, int(v * 65535) >> 8)
)";
    std::string output;
    ASSERT_TRUE(RunPython(code, {folder}, &output)) << output;
    std::istringstream expected(output);
    for (const auto& c : colours) {
        int h = 0, s = 0, v = 0;
        expected >> h >> s >> v;
        const RGBColor rgb{uint16_t(c[0] * 257), uint16_t(c[1] * 257), uint16_t(c[2] * 257)};
        const HSVColor hsv = RGB2HSV(rgb);
        EXPECT_NEAR(hsv.hue >> 8, h, 1) << c[0] << "," << c[1] << "," << c[2];
        EXPECT_EQ(hsv.saturation >> 8, s) << c[0] << "," << c[1] << "," << c[2];
        EXPECT_EQ(hsv.value >> 8, v) << c[0] << "," << c[1] << "," << c[2];
    }
    EXPECT_EQ(ReadoutBar(65535), 63);
    EXPECT_EQ(ReadoutBar(128 * 257), 32);
    EXPECT_EQ(ReadoutBar(0), 0);
}

TEST_F(FrameInspectorTest, PureRedReadout)
{
    WritePixelColor(gFrameInspectorWindow, RGBColor{65535, 0, 0}, RGB2HSV(RGBColor{65535, 0, 0}));
    const QImage& readout = PixelReadoutImage();
    ASSERT_EQ(readout.size(), QSize(75, 115));
    // The red bar: 63 pixels above its foot at y 66, 10 wide from x 3.
    EXPECT_EQ(readout.pixel(3, 66 - 63), qRgb(255, 0, 0));
    EXPECT_EQ(readout.pixel(12, 66), qRgb(255, 0, 0));
    EXPECT_NE(readout.pixel(3, 66 - 64), qRgb(255, 0, 0));
    // Green and blue bars are one row (a zero-height bar).
    EXPECT_EQ(readout.pixel(13, 66), qRgb(0, 255, 0));
    EXPECT_NE(readout.pixel(13, 65), qRgb(0, 255, 0));
    EXPECT_TRUE(gPixelValuesWindow->isVisible());
    gPixelValuesWindow->hide();
}

TEST_F(FrameInspectorTest, NoClipsDrawsNothing)
{
    Inspector().fill(qRgb(1, 2, 3));
    UpdateFrameInspectorWindow(-1);
    UpdateFrameInspectorWindow(0);
    EXPECT_EQ(CountPixels(qRgb(1, 2, 3)), 160 * 120);
}

TEST_F(FrameInspectorTest, StaleIndexShowsTheInstruction)
{
    gImageDim = MakeRect(0, 0, 48, 64);
    AddClip(64, 48, 1);
    Inspector().fill(qRgb(1, 2, 3));
    UpdateFrameInspectorWindow(5); // past the clips
    EXPECT_EQ(CountPixels(qRgb(1, 2, 3)), 0);
    EXPECT_GT(CountPixels(qRgb(255, 0, 0)), 50); // the red lines
}

TEST_F(FrameInspectorTest, ClipFillsTheWindowScaled)
{
    gImageDim = MakeRect(0, 0, 60, 80);
    Frame* frame = AddClip(80, 60, 5);
    FillGradient(*frame->GetOriginal());
    frame->SetNormalizationFactor(1.0);
    SizeInspector(40, 30);
    UpdateFrameInspectorWindow(0);
    EXPECT_FALSE(frame->IsDirty());
    // Away from the texts: window pixel (x, y) shows image pixel (2x, 2y).
    for (const QPoint p : {QPoint(35, 12), QPoint(38, 2), QPoint(33, 28)}) {
        const QRgb shown = Inspector().pixel(p);
        EXPECT_EQ(qRed(shown), (2 * p.x()) % 256) << p.x() << "," << p.y();
        EXPECT_EQ(qGreen(shown), (2 * p.y()) % 256) << p.x() << "," << p.y();
    }
}

TEST_F(FrameInspectorTest, TinyWindowWithEveryMark)
{
    gImageDim = MakeRect(0, 0, 48, 64);
    Frame* frame = AddClip(64, 48, 2);
    frame->SetSumStackIncluded(false);
    frame->SetDarkFrameSubtracted(true);
    frame->SetFlatFrameDivided(true);
    frame->SetDebayer(kBayerGRBG, kDebayerBilinear);
    frame->SetMedianFilter(2, 30);
    gOperationBoundsRect = MakeRect(2, 3, 40, 60);
    SizeInspector(20, 10);
    UpdateFrameInspectorWindow(0);
    // The cross: from (0, 0) to (19, 9), and from (19, 0) to (0, 9); the
    // texts cover most of such a window, but not its left column.
    EXPECT_EQ(Inspector().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(Inspector().pixel(0, 9), qRgb(255, 0, 0));
    SizeInspector(1, 1);
    UpdateFrameInspectorWindow(0);
    UpdateFrameInspectorWindow(-1);
    gOperationBoundsRect = kNoBoundsRect;
}

TEST_F(FrameInspectorTest, OnDiskClipDuringAJobShowsItsThumbnail)
{
    gImageDim = MakeRect(0, 0, 48, 64);
    Frame* frame = AddClip(64, 48, 3);
    AddClip(64, 48, 4);
    ASSERT_TRUE(frame->UpdateFrame(false));
    ASSERT_TRUE(frame->SendToTempDiskFile());
    frame->SetNormalizationFactor(2.0); // dirty, so a render would read it back
    mJobRunning = true;
    gPersistantSelectionIndices = {0};
    UpdateFrameInspectorWindow(0);
    EXPECT_FALSE(frame->InMemory());
    // The readout reads nothing back either.
    PointerScript script;
    script.position = QPoint(5, 5);
    script.front = gFrameInspectorWindow;
    SetPointerScriptForTesting(script);
    gPixelValuesWindow->hide();
    UpdatePixelColorWindowFromMouse();
    EXPECT_FALSE(frame->InMemory());
    EXPECT_FALSE(gPixelValuesWindow->isVisible());
    mJobRunning = false;
}

TEST_F(FrameInspectorTest, ReadoutOfTheSelectedClip)
{
    gImageDim = MakeRect(0, 0, 60, 80);
    Frame* frame = AddClip(80, 60, 5);
    FillFlat(*frame->GetOriginal(), 255, 0, 0);
    frame->SetNormalizationFactor(1.0);
    ASSERT_TRUE(frame->UpdateFrame(false));
    gPersistantSelectionIndices = {0};
    PointerScript script;
    script.position = QPoint(7, 9);
    script.front = gFrameInspectorWindow;
    SetPointerScriptForTesting(script);
    gLastPixelColorMousePos = QPoint(-1000, -1000);
    UpdatePixelColorWindowFromMouse();
    EXPECT_TRUE(gPixelValuesWindow->isVisible());
    EXPECT_EQ(PixelReadoutImage().pixel(3, 3), qRgb(255, 0, 0)); // a full red bar
    ExpectReadoutCursor();
    // The same position again computes nothing; moving out hides it.
    gPixelValuesWindow->hide();
    UpdatePixelColorWindowFromMouse();
    EXPECT_FALSE(gPixelValuesWindow->isVisible());
    PointerScriptForTesting()->position = QPoint(-5, -5);
    UpdatePixelColorWindowFromMouse();
    EXPECT_FALSE(gPixelValuesWindow->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FrameInspectorTest, RedrawsWhileAWorkerRendersTheClip)
{
    gImageDim = MakeRect(0, 0, 48, 64);
    Frame* frame = AddClip(64, 48, 6);
    gPersistantSelectionIndices = {0};
    mJobRunning = true;
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop.load()) {
            frame->SetNormalizationFactor(1.5);
            frame->UpdateFrame(false);
        }
    });
    PointerScript script;
    script.position = QPoint(3, 3);
    script.front = gFrameInspectorWindow;
    SetPointerScriptForTesting(script);
    for (int i = 0; i < 200; ++i) {
        UpdateFrameInspectorWindow(0);
        PointerScriptForTesting()->position = QPoint(3 + i % 50, 3 + i % 40);
        UpdatePixelColorWindowFromMouse();
    }
    stop = true;
    worker.join();
    mJobRunning = false;
    gPixelValuesWindow->hide();
}

TEST_F(FrameInspectorTest, AToolCommandTakesTheReadoutCursorAway)
{
    gImageDim = MakeRect(0, 0, 60, 80);
    Frame* frame = AddClip(80, 60, 5);
    frame->SetNormalizationFactor(1.0);
    ASSERT_TRUE(frame->UpdateFrame(false));
    gPersistantSelectionIndices = {0};
    InstallShellCommands();
    InstallFrameInspector();
    bool arrowAtDialog = false;
    GetCommandOperations().gaussianBlurDialog = [&] { arrowAtDialog = QApplication::overrideCursor() == nullptr; };
    PointerScript script;
    script.position = QPoint(7, 9);
    script.front = gFrameInspectorWindow;
    SetPointerScriptForTesting(script);
    for (int round = 0; round < 2; ++round) {
        gLastPixelColorMousePos = QPoint(-1000, -1000);
        UpdatePixelColorWindowFromMouse();
        ExpectReadoutCursor();
        // A tool's shortcut while the pointer rests on the image gives the
        // arrow back before the dialog opens.
        arrowAtDialog = false;
        EXPECT_TRUE(MenuHandler(FourCC("OpGB"), 131, 0));
        EXPECT_TRUE(arrowAtDialog);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(gCursor);
    }
    // Leaving the windows after the readout came back pops its one cursor.
    gLastPixelColorMousePos = QPoint(-1000, -1000);
    UpdatePixelColorWindowFromMouse();
    PointerScriptForTesting()->position = QPoint(-5, -5);
    UpdatePixelColorWindowFromMouse();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    gPixelValuesWindow->hide();
    GetCommandOperations().gaussianBlurDialog = nullptr;
}
