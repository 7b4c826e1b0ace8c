// platform/qt/CanvasDrawing.h: the drawing calls the program's custom-drawn
// windows use on a canvas's backing image: scaled image copies, pixel-sized
// text, framed rectangles with a pen size or the 50 % grey pattern, lines.
// Every call clips to the backing image. Main thread only.
#pragma once

#include <string>

#include <QColor>
#include <QImage>
#include <QRect>

class GWorldWrapper;

// Copies the whole of image, scaled, into rectangle dst of target: target
// pixel (x, y) of dst shows image pixel (floor((x - dst.left) * W / dst.width),
// floor((y - dst.top) * H / dst.height)) — the program's nearest-neighbour
// stretch. The alpha byte is ignored (opaque). Only dst's pixels are touched
// and converted, so a large image costs no more than the destination's area.
// target must be Format_RGB32 or Format_ARGB32; nothing happens for an empty
// image or rectangle.
void BlitImageScaled(QImage& target, const GWorldWrapper& image, const QRect& dst);

// Copies image unscaled with its top-left at (left, top).
void BlitImage(QImage& target, const GWorldWrapper& image, int left, int top);

// The fonts of the program's windows, sized in pixels.
enum class CanvasFont {
    monaco9,        // 9 px monospace (Monaco when installed)
    plain9,         // 9 px plain sans
    helvetica12Bold // 12 px bold sans (Helvetica when installed)
};

// Draws text with its baseline starting at (x, y).
void DrawCanvasText(QImage& target, int x, int y, const std::string& text, CanvasFont font, const QColor& colour);
// The advance width of text in font, in pixels.
int CanvasTextWidth(const std::string& text, CanvasFont font);

// Fills r.
void FillCanvasRect(QImage& target, const QRect& r, const QColor& colour);
// Frames r from the inside with a pen of penSize × penSize pixels.
void FrameCanvasRect(QImage& target, const QRect& r, int penSize, const QColor& colour);
// Frames r from the inside, one pixel wide, with the 50 % grey stipple:
// black where x + y is even, white elsewhere.
void FrameCanvasRectGreyPattern(QImage& target, const QRect& r);
// A line from (x0, y0) to (x1, y1), both ends included, 1 pixel wide.
void DrawCanvasLine(QImage& target, int x0, int y0, int x1, int y1, const QColor& colour);
// A vertical bar penWidth wide from (x, yBottom) up by height pixels: the
// rectangle [x, x + penWidth) × [yBottom - height, yBottom + 1).
void DrawCanvasBar(QImage& target, int x, int yBottom, int height, int penWidth, const QColor& colour);
