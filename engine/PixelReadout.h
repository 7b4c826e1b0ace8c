// engine/PixelReadout.h: the pixel-values window: red, green, blue, hue,
// saturation and value of the pixel under the mouse in the frame inspector,
// the frame-stack window and the dark- and flat-frame windows. Main thread only.
#pragma once

#include <cstdint>

#include <QPoint>

#include "platform/core/Geometry.h"

class GWorldWrapper;
class QImage;
class ShellWindow;

// The last mouse position (frame-inspector coordinates) the readout was
// computed for; a move that stays on it computes nothing.
extern QPoint gLastPixelColorMousePos;

// Hue, saturation and value as 16-bit fractions (65535 = 1).
struct HSVColor {
    uint16_t hue = 0;
    uint16_t saturation = 0;
    uint16_t value = 0;
};
// The usual hexcone conversion: value = max, saturation = (max - min) / max,
// hue in [0, 1) of a turn starting at red; greys have hue and saturation 0.
HSVColor RGB2HSV(const RGBColor& rgb);

// The image pixel under window point p of a windowWidth × windowHeight window
// showing a imageWidth × imageHeight image scaled whole, each axis on its own:
// x * imageWidth / windowWidth and y * imageHeight / windowHeight in integers,
// clamped to the image. False for a point outside the window or a size that
// is not positive.
bool MapWindowPointToImage(QPoint p, int windowWidth, int windowHeight, int imageWidth, int imageHeight, int* px,
                           int* py);
// Reads that pixel of image into rgb (16-bit components, byte × 257). False
// when image is null or the mapping fails.
bool ReadWindowPixel(const GWorldWrapper* image, QPoint p, int windowWidth, int windowHeight, RGBColor* rgb);

// The bar of a component: its 16-bit value / 1024 (0 to 63).
inline int ReadoutBar(uint16_t component)
{
    return component / 1024;
}

// Refreshes the readout for the mouse: the front image window under the
// mouse shows its pixel; when none does, the readout window goes away.
void UpdatePixelColorWindowFromMouse();

// Draws the 75 × 115 readout of one colour, copies it into the pixel-values
// window and places that window beside imageWindow (its content's top-left at
// the right edge and top of imageWindow's frame), shown without taking focus.
void WritePixelColor(ShellWindow* imageWindow, const RGBColor& rgb, const HSVColor& hsv);

// The readout image as last drawn (tests).
const QImage& PixelReadoutImage();
