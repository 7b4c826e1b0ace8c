// engine/PixelReadout.cpp: the colour readout under the mouse.
#include "engine/PixelReadout.h"

#include <algorithm>
#include <string>

#include <QColor>
#include <QImage>

#include "shell/MainWindowSet.h"
#include "shell/PointerInput.h"
#include "engine/ReadoutCursor.h"
#include "shell/ShellSettings.h"
#include "engine/CalibrationFrames.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/ShellWindow.h"

QPoint gLastPixelColorMousePos(-32768, -32768);

namespace {

constexpr int kReadoutWidth = 75;
constexpr int kReadoutHeight = 115;

// Kept between mouse moves: the readout is redrawn on every move.
QImage sReadout;

int HighByte(uint16_t v)
{
    return v >> 8;
}

QColor Colour16(uint16_t r, uint16_t g, uint16_t b)
{
    return QColor(r >> 8, g >> 8, b >> 8);
}

// The pixel under the mouse in window, or false.
bool PixelInWindow(ShellWindow* window, RGBColor* rgb)
{
    Canvas* canvas = ContentCanvas(window);
    if (!canvas)
        return false;
    const QPoint p = MousePositionIn(canvas);
    const int w = canvas->width(), h = canvas->height();
    if (window == gFrameInspectorWindow) {
        // Only a clip picked on its own has its pixels read; one that a worker
        // renders or that is on disk shows no readout (nothing waits, nothing
        // is read back from disk).
        if (gPersistantSelectionIndices.size() != 1)
            return false;
        Frame* frame = FrameAt(gPersistantSelectionIndices.front());
        bool read = false;
        if (frame)
            frame->WithModifiedForDisplay(
                [&](const GWorldWrapper& image) { read = ReadWindowPixel(&image, p, w, h, rgb); });
        return read;
    }
    const GWorldWrapper* image = window == gFrameStackWindow  ? gFrameStack.get()
                                 : window == gDarkFrameWindow ? gDarkFrame.get()
                                                              : gFlatFrame.get();
    return ReadWindowPixel(image, p, w, h, rgb);
}

bool MouseInContent(ShellWindow* window)
{
    Canvas* canvas = ContentCanvas(window);
    return canvas && window->isVisible() && canvas->rect().contains(MousePositionIn(canvas));
}

} // namespace

HSVColor RGB2HSV(const RGBColor& rgb)
{
    const double r = rgb.red / 65535.0, g = rgb.green / 65535.0, b = rgb.blue / 65535.0;
    const double maxc = std::max({r, g, b}), minc = std::min({r, g, b});
    HSVColor hsv;
    hsv.value = static_cast<uint16_t>(maxc * 65535.0 + 0.5);
    if (maxc == minc)
        return hsv;
    const double span = maxc - minc;
    const double s = span / maxc;
    const double rc = (maxc - r) / span, gc = (maxc - g) / span, bc = (maxc - b) / span;
    double h;
    if (r == maxc)
        h = bc - gc;
    else if (g == maxc)
        h = 2.0 + rc - bc;
    else
        h = 4.0 + gc - rc;
    h /= 6.0;
    h -= static_cast<int>(h);
    if (h < 0.0)
        h += 1.0;
    hsv.hue = static_cast<uint16_t>(std::min(65535.0, h * 65535.0));
    hsv.saturation = static_cast<uint16_t>(std::min(65535.0, s * 65535.0));
    return hsv;
}

bool MapWindowPointToImage(QPoint p, int windowWidth, int windowHeight, int imageWidth, int imageHeight, int* px,
                           int* py)
{
    if (windowWidth <= 0 || windowHeight <= 0 || imageWidth <= 0 || imageHeight <= 0)
        return false;
    if (p.x() < 0 || p.y() < 0 || p.x() >= windowWidth || p.y() >= windowHeight)
        return false;
    *px = std::clamp(static_cast<int>(int64_t(p.x()) * imageWidth / windowWidth), 0, imageWidth - 1);
    *py = std::clamp(static_cast<int>(int64_t(p.y()) * imageHeight / windowHeight), 0, imageHeight - 1);
    return true;
}

bool ReadWindowPixel(const GWorldWrapper* image, QPoint p, int windowWidth, int windowHeight, RGBColor* rgb)
{
    int x = 0, y = 0;
    if (!image || !MapWindowPointToImage(p, windowWidth, windowHeight, image->Width(), image->Height(), &x, &y))
        return false;
    const uint8_t* pixel = image->PixelRow(y) + 4 * x;
    rgb->red = static_cast<uint16_t>(pixel[1] * 257);
    rgb->green = static_cast<uint16_t>(pixel[2] * 257);
    rgb->blue = static_cast<uint16_t>(pixel[3] * 257);
    return true;
}

void WritePixelColor(ShellWindow* imageWindow, const RGBColor& rgb, const HSVColor& hsv)
{
    if (sReadout.isNull()) {
        sReadout = QImage(kReadoutWidth, kReadoutHeight, QImage::Format_RGB32);
        if (sReadout.isNull()) {
            DoNotEnougMemoryForOperationDialog();
            return;
        }
    }
    QImage& image = sReadout;
    image.fill(Qt::white);
    const QColor black(0, 0, 0);
    const auto text = [&](int x, int y, const std::string& s) {
        DrawCanvasText(image, x, y, s, CanvasFont::monaco9, black);
    };
    text(4, 90, "R:" + std::to_string(HighByte(rgb.red)));
    text(4, 100, "G:" + std::to_string(HighByte(rgb.green)));
    text(4, 110, "B:" + std::to_string(HighByte(rgb.blue)));
    text(41, 90, "H:" + std::to_string(HighByte(hsv.hue)));
    text(41, 100, "S:" + std::to_string(HighByte(hsv.saturation)));
    text(41, 110, "V:" + std::to_string(HighByte(hsv.value)));
    const char* letters[6] = {"R", "G", "B", "H", "S", "V"};
    const int letterX[6] = {6, 16, 26, 43, 53, 63};
    for (int i = 0; i < 6; ++i)
        text(letterX[i], 77, letters[i]);
    FrameCanvasRect(image, QRect(2, 2, 32, 66), 1, black);
    FrameCanvasRect(image, QRect(39, 2, 32, 66), 1, black);

    const QColor own = Colour16(rgb.red, rgb.green, rgb.blue);
    const struct {
        int x;
        uint16_t component;
        QColor colour;
        bool tick;
    } bars[6] = {{3, rgb.red, QColor(255, 0, 0), false},   {13, rgb.green, QColor(0, 255, 0), false},
                 {23, rgb.blue, QColor(0, 0, 255), false}, {40, hsv.hue, own, true},
                 {50, hsv.saturation, own, true},          {60, hsv.value, own, true}};
    for (const auto& bar : bars) {
        const int height = ReadoutBar(bar.component);
        DrawCanvasBar(image, bar.x, 66, height, 10, bar.colour);
        if (bar.tick)
            DrawCanvasBar(image, bar.x, 66 - height, 0, 10, black);
    }

    if (!gPixelValuesWindow || !imageWindow)
        return;
    if (Canvas* canvas = ContentCanvas(gPixelValuesWindow)) {
        // Scaled to the content as it is now, whatever the backing image's size.
        const QSize content(std::max(1, canvas->width()), std::max(1, canvas->height()));
        canvas->Image() = image.scaled(content).convertToFormat(QImage::Format_RGB32);
        canvas->Flush();
    }
    const QRect frame = imageWindow->frameGeometry();
    gPixelValuesWindow->MoveContentTo(QPoint(frame.right() + 1, frame.top()));
    gPixelValuesWindow->show();
    gPixelValuesWindow->raise();
    imageWindow->raise();
}

void UpdatePixelColorWindowFromMouse()
{
    const QPoint inspectorPosition = MousePositionIn(ContentCanvas(gFrameInspectorWindow));
    if (inspectorPosition == gLastPixelColorMousePos)
        return;
    gLastPixelColorMousePos = inspectorPosition;

    QWidget* front = FrontWindow();
    for (ShellWindow* window : {gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow}) {
        if (!window || window != front || !MouseInContent(window))
            continue;
        ShowReadoutCursor();
        RGBColor rgb;
        if (PixelInWindow(window, &rgb))
            WritePixelColor(window, rgb, RGB2HSV(rgb));
        return;
    }
    if (gCursor) {
        if (gPixelValuesWindow)
            gPixelValuesWindow->hide();
        RestoreArrowCursor();
    }
}

const QImage& PixelReadoutImage()
{
    return sReadout;
}
