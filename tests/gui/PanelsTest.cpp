// tests/gui/PanelsTest.cpp: the thumbnail panel's geometry and drag, kept in
// full-image coordinates, and the histogram panel's filling, scale and drawing.
#include "shell/ThumbnailInterface.h"

#include <cmath>
#include <random>
#include <sstream>

#include <QApplication>
#include <QComboBox>
#include <QDialog>

#include <gtest/gtest.h>

#include "shell/DialogInterface.h"
#include "shell/HistogramInterface.h"
#include "shell/PointerInput.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/Controls.h"
#include "platform/qt/InterfaceFile.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"

namespace {

QWidget* BuildPanelWindow()
{
    auto* dialog = new QDialog;
    dialog->resize(480, 320);
    auto* canvas = new Canvas(dialog);
    canvas->setGeometry(0, 0, 480, 320);
    auto* scale = new QComboBox(dialog);
    scale->setProperty("signature", QString(kControlSignature));
    scale->setProperty("controlID", 4);
    scale->addItems({"1", "2", "3"});
    return dialog;
}

// A dialog that counts the live previews the thumbnail asks for.
class PanelDialog final : public DialogInterface {
public:
    PanelDialog() : DialogInterface("TestPanel") {}
    void RedrawDialog() override {}
    void ProcessLiveThumbnailRectUpdate() override
    {
        ++previews;
        crossCursorSeen = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::CrossCursor;
    }
    int previews = 0;
    bool crossCursorSeen = false;
};

class PanelsTest : public testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        RegisterInterfaceWindow("TestPanel", &BuildPanelWindow);
        mDialog = new PanelDialog;
        SetPointerScriptForTesting(PointerScript{});
    }
    void TearDown() override
    {
        SetPointerScriptForTesting(std::nullopt);
        delete mDialog; // never ended: the test owns it
    }
    void Drag(QPoint press, std::vector<QPoint> path)
    {
        PointerScriptForTesting()->position = press;
        PointerScriptForTesting()->dragPaths = {std::move(path)};
    }

    PanelDialog* mDialog = nullptr;
};

} // namespace

TEST(ThumbnailGeometry, HandComputedCases)
{
    ThumbnailGeometry g = ComputeThumbnailGeometry(100, 80, 280, 10, 160, 120);
    EXPECT_EQ(g.scale, 1.0);
    EXPECT_EQ(g.thumbBounds, MakeRect(10, 280, 90, 380));

    g = ComputeThumbnailGeometry(1024, 512, 280, 10, 160, 120);
    EXPECT_EQ(g.scale, 0.15625); // 1024 / 160 = 6.4 > 512 / 120
    EXPECT_EQ(g.thumbBounds, MakeRect(10, 280, 90, 440));

    g = ComputeThumbnailGeometry(303, 227, 0, 0, 160, 120);
    EXPECT_EQ(g.thumbBounds.Width(), 159); // one short of the box
    EXPECT_EQ(g.thumbBounds.Height(), 119);

    // 340 / 160 = 2.125 > 240 / 120 = 2: limited by the width.
    g = ComputeThumbnailGeometry(340, 240, 0, 0, 160, 120);
    EXPECT_EQ(g.thumbBounds.Width(), 160);
    EXPECT_EQ(g.thumbBounds.Height(), 112);
}

TEST(ThumbnailGeometry, DragAtHalfScale)
{
    const ThumbnailGeometry g = ComputeThumbnailGeometry(320, 240, 280, 10, 160, 120);
    ASSERT_EQ(g.scale, 0.5);
    const Rect r = ThumbDragToImageRect(QPoint(290, 20), QPoint(310, 30), g.thumbBounds, g.scale, 320, 240);
    EXPECT_EQ(r, MakeRect(20, 20, 40, 60)); // 40 wide, 20 high at (20, 20)
    // Dragged up and left: the same rectangle.
    EXPECT_EQ(ThumbDragToImageRect(QPoint(310, 30), QPoint(290, 20), g.thumbBounds, g.scale, 320, 240), r);
    // Drawn back on the thumbnail where it was dragged.
    EXPECT_EQ(ImageRectToThumbRect(r, g.thumbBounds, g.scale), MakeRect(20, 290, 30, 310));
}

TEST(ThumbnailGeometry, MatchesAReimplementationOverRandomCases)
{
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> side(1, 4091);
    std::vector<double> cases;
    const int count = 4000;
    for (int i = 0; i < count; ++i) {
        const int w = side(rng), h = side(rng);
        const ThumbnailGeometry g = ComputeThumbnailGeometry(w, h, 280, 10, 160, 120);
        std::uniform_int_distribution<int> x(g.thumbBounds.left - 20, g.thumbBounds.right + 20);
        std::uniform_int_distribution<int> y(g.thumbBounds.top - 20, g.thumbBounds.bottom + 20);
        for (double v : {double(w), double(h), double(x(rng)), double(y(rng)), double(x(rng)), double(y(rng))})
            cases.push_back(v);
    }
    const std::string folder = ReferenceScratchDir();
    WriteDoubles(folder + "/cases", cases);
    const std::string code = R"(
import math, sys, numpy as np
d = np.fromfile(sys.argv[1] + '/cases', dtype='<f8').reshape(-1, 6)
out = []
for W, H, px, py, cx, cy in d:
    W, H = int(W), int(H)
    scale, tw, th = 1.0, W, H
    if not (W <= 160 and H <= 120):
        scale = 160.0 / W if W / 160.0 > H / 120.0 else 120.0 / H
        tw, th = math.trunc(W * scale), math.trunc(H * scale)
    l, t, r, b = 280, 10, 280 + tw, 10 + th
    cl = lambda v, lo, hi: min(max(v, lo), hi)
    x0, x1 = cl(min(px, cx), l, r), cl(max(px, cx), l, r)
    y0, y1 = cl(min(py, cy), t, b), cl(max(py, cy), t, b)
    if x1 <= x0 or y1 <= y0:
        rect = [0, 0, 0, 0]
    else:
        w, h = math.trunc((x1 - x0) / scale), math.trunc((y1 - y0) / scale)
        left, top = math.trunc((x0 - l) / scale), math.trunc((y0 - t) / scale)
        rect = [top, left, top + h, left + w]
    out += [scale, tw, th] + rect
np.array(out, dtype='<f8').tofile(sys.argv[1] + '/out')
)";
    std::string output;
    ASSERT_TRUE(RunPython(code, {folder}, &output)) << output;
    const std::vector<double> expected = ReadDoubles(folder + "/out");
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(count) * 7);
    for (int i = 0; i < count; ++i) {
        const double* c = &cases[static_cast<std::size_t>(i) * 6];
        const double* e = &expected[static_cast<std::size_t>(i) * 7];
        const int w = int(c[0]), h = int(c[1]);
        const ThumbnailGeometry g = ComputeThumbnailGeometry(w, h, 280, 10, 160, 120);
        ASSERT_EQ(g.scale, e[0]) << w << "x" << h;
        ASSERT_EQ(g.thumbBounds.Width(), int(e[1])) << w << "x" << h;
        ASSERT_EQ(g.thumbBounds.Height(), int(e[2])) << w << "x" << h;
        const Rect r = ThumbDragToImageRect(QPoint(int(c[2]), int(c[3])), QPoint(int(c[4]), int(c[5])), g.thumbBounds,
                                            g.scale, w, h);
        ASSERT_EQ(r, MakeRect(int(e[3]), int(e[4]), int(e[5]), int(e[6]))) << "case " << i;
        if (!r.IsEmpty()) {
            EXPECT_GE(r.left, 0);
            EXPECT_GE(r.top, 0);
            EXPECT_LE(r.right, w);
            EXPECT_LE(r.bottom, h);
        }
    }
}

TEST_F(PanelsTest, DragSetsTheImageRectangleAndPreviews)
{
    auto image = MakeImage(320, 240);
    FillGradient(*image);
    ThumbnailInterface thumb(mDialog->canvas(), 320, 240, 280, 10, 160, 120);
    thumb.setImage(image.get());
    EXPECT_EQ(thumb.subThumbScaledUpBounds(), MakeRect(0, 0, 240, 320));
    Drag(QPoint(290, 20), {QPoint(300, 25), QPoint(310, 30)});
    EXPECT_TRUE(thumb.DefineSubThumbBounds(QPoint(290, 20), mDialog));
    EXPECT_EQ(thumb.subThumbScaledUpBounds(), MakeRect(20, 20, 40, 60));
    EXPECT_EQ(mDialog->previews, 2);
    EXPECT_TRUE(mDialog->crossCursorSeen);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr); // the arrow again
}

TEST_F(PanelsTest, DragLeavingTheThumbnailClipsToItsEdge)
{
    ThumbnailInterface thumb(mDialog->canvas(), 320, 240, 280, 10, 160, 120);
    Drag(QPoint(290, 20), {QPoint(1000, 900)});
    EXPECT_TRUE(thumb.DefineSubThumbBounds(QPoint(290, 20), mDialog));
    EXPECT_EQ(thumb.subThumbScaledUpBounds(), MakeRect(20, 20, 240, 320));
}

TEST_F(PanelsTest, DragBackToThePressKeepsThePreviousRectangle)
{
    ThumbnailInterface thumb(mDialog->canvas(), 320, 240, 280, 10, 160, 120);
    thumb.setSubThumbBounds(MakeRect(0, 0, 64, 64));
    // Along the press column only: never a rectangle.
    Drag(QPoint(290, 20), {QPoint(290, 40), QPoint(290, 60)});
    EXPECT_FALSE(thumb.DefineSubThumbBounds(QPoint(290, 20), mDialog));
    EXPECT_EQ(thumb.subThumbScaledUpBounds(), MakeRect(0, 0, 64, 64));
    EXPECT_EQ(mDialog->previews, 0);
    // Out and back to the press point: the rectangle of the way out stays.
    Drag(QPoint(290, 20), {QPoint(300, 30), QPoint(290, 20)});
    EXPECT_TRUE(thumb.DefineSubThumbBounds(QPoint(290, 20), mDialog));
    EXPECT_EQ(thumb.subThumbScaledUpBounds(), MakeRect(20, 20, 40, 40));
    EXPECT_EQ(mDialog->previews, 1);
}

TEST_F(PanelsTest, DragStartingOutsideDoesNothing)
{
    ThumbnailInterface thumb(mDialog->canvas(), 320, 240, 280, 10, 160, 120);
    Drag(QPoint(100, 100), {QPoint(300, 30)});
    EXPECT_FALSE(thumb.DefineSubThumbBounds(QPoint(100, 100), mDialog));
    EXPECT_EQ(thumb.subThumbScaledUpBounds(), MakeRect(0, 0, 240, 320));
    EXPECT_EQ(mDialog->previews, 0);
}

TEST_F(PanelsTest, DrawShowsTheScaledImageAndTheRectangle)
{
    auto image = MakeImage(320, 240);
    FillGradient(*image);
    ThumbnailInterface thumb(mDialog->canvas(), 320, 240, 280, 10, 160, 120);
    thumb.setImage(image.get());
    thumb.setSubThumbBounds(MakeRect(20, 20, 40, 60));
    QImage& canvas = mDialog->canvas()->Image();
    canvas.fill(Qt::white);
    thumb.Draw(true);
    // Nearest sampling: thumbnail pixel (x, y) shows image pixel (2x, 2y).
    for (const QPoint p : {QPoint(0, 0), QPoint(77, 3), QPoint(159, 119), QPoint(50, 100)}) {
        const QRgb shown = canvas.pixel(280 + p.x(), 10 + p.y());
        const Argb source = GetPixel(*image, 2 * p.x(), 2 * p.y());
        if (QRect(290, 20, 20, 10).contains(280 + p.x(), 10 + p.y()))
            continue;
        EXPECT_EQ(qRed(shown), source.r) << p.x() << "," << p.y();
        EXPECT_EQ(qGreen(shown), source.g);
        EXPECT_EQ(qBlue(shown), source.b);
    }
    // The grey pattern on the frame (290, 20)-(310, 30): black where x + y is even.
    EXPECT_EQ(canvas.pixel(290, 20), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(309, 29), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(291, 20), qRgb(255, 255, 255));
    // Outside the thumbnail nothing was drawn.
    EXPECT_EQ(canvas.pixel(279, 10), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(440, 130), qRgb(255, 255, 255));
}

// ---------------------------------------------------------------- histograms

TEST_F(PanelsTest, HistogramsCountTheRectangleOnly)
{
    auto image = MakeImage(40, 30);
    FillFlat(*image, 200, 100, 50);
    for (int y = 5; y < 20; ++y)
        for (int x = 5; x < 25; ++x)
            SetPixel(*image, x, y, Argb{255, 10, 20, 30});
    HistogramInterface panel(10, 20, 60);
    EXPECT_EQ(panel.numHistogramBins(), 256);
    ASSERT_TRUE(panel.GenerateHistograms(*image, MakeRect(5, 5, 20, 25)));
    EXPECT_EQ(panel.histogram(1).GetBin(10), 1.0);
    EXPECT_EQ(panel.histogram(2).GetBin(20), 1.0);
    EXPECT_EQ(panel.histogram(3).GetBin(30), 1.0);
    EXPECT_EQ(panel.histogram(0).GetBin(30), 1.0); // value = max(R, G, B)
    EXPECT_EQ(panel.histogram(1).GetBin(200), 0.0);
    // A rectangle past the image leaves them as they were.
    EXPECT_FALSE(panel.GenerateHistograms(*image, MakeRect(0, 0, 31, 40)));
    EXPECT_EQ(panel.histogram(1).GetBin(10), 1.0);
}

TEST_F(PanelsTest, HistogramScaleSelector)
{
    HistogramInterface panel(10, 20, 60);
    EXPECT_EQ(panel.scaleMode(), 0.0);
    ControlHandle selector = mDialog->control(4);
    selector.SetValue(1);
    panel.HandleDialogItemHit(selector);
    EXPECT_EQ(panel.scaleMode(), 2.0);
    selector.SetValue(2);
    panel.HandleDialogItemHit(selector);
    EXPECT_EQ(panel.scaleMode(), 1.0);
    selector.SetValue(3);
    panel.HandleDialogItemHit(selector);
    EXPECT_EQ(panel.scaleMode(), 0.0);
}

TEST_F(PanelsTest, HistogramsDrawOneUnderTheOther)
{
    auto image = MakeImage(8, 8);
    FillFlat(*image, 10, 20, 30);
    HistogramInterface panel(10, 20, 60);
    ASSERT_TRUE(panel.GenerateHistograms(*image, MakeRect(0, 0, 8, 8)));
    QImage& canvas = mDialog->canvas()->Image();
    canvas.fill(Qt::white);
    panel.Draw(mDialog->canvas());
    // Each frame's top-left corner in grey 0xC0, at locV + i × 60.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(canvas.pixel(10, 20 + 60 * i), qRgb(0xC0, 0xC0, 0xC0)) << i;
    // The value histogram's one full bar, bin 30, black, from its foot up
    // 49 pixels (height - 1).
    EXPECT_EQ(canvas.pixel(10 + 2 + 30, 20 + 50 + 1), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(10 + 2 + 30, 20 + 50 + 1 - 48), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(10 + 2 + 29, 20 + 50 + 1), qRgb(255, 255, 255));
}

// ---------------------------------------------------------------- the scaled copy

TEST(CanvasBlit, FollowsTheStretchRuleBothWays)
{
    GuiTestApp();
    auto image = MakeImage(7, 5);
    FillGradient(*image);
    for (const QSize size : {QSize(23, 11), QSize(3, 2), QSize(7, 5), QSize(1, 1), QSize(14, 40)}) {
        QImage target(size.width() + 4, size.height() + 4, QImage::Format_RGB32);
        target.fill(qRgb(1, 2, 3));
        const QRect dst(2, 2, size.width(), size.height());
        BlitImageScaled(target, *image, dst);
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x) {
                const QRgb shown = target.pixel(x, y);
                if (!dst.contains(x, y)) {
                    ASSERT_EQ(shown, qRgb(1, 2, 3)) << x << "," << y;
                    continue;
                }
                // Destination pixel d shows source floor(d × size / destination size).
                const Argb p = GetPixel(*image, (x - 2) * 7 / size.width(), (y - 2) * 5 / size.height());
                ASSERT_EQ(shown, qRgb(p.r, p.g, p.b))
                    << size.width() << "x" << size.height() << " at " << x << "," << y;
            }
    }
    // Partly outside the target: only the visible part is drawn, same mapping.
    QImage small(4, 4, QImage::Format_RGB32);
    small.fill(qRgb(1, 2, 3));
    BlitImageScaled(small, *image, QRect(-3, -2, 14, 10));
    const Argb p = GetPixel(*image, 3 * 7 / 14, 2 * 5 / 10);
    EXPECT_EQ(small.pixel(0, 0), qRgb(p.r, p.g, p.b));
}
