// imaging/HotPixels.h: finding hot pixels by a brightness threshold, the
// disc of cells each one marks, and the preview of what a mask leaves out.
#pragma once

#include <cstdint>

#include "platform/core/Geometry.h"

class GWorldWrapper;

constexpr int kHotPixelRadiusMin = 0;
constexpr int kHotPixelRadiusMax = 3;
// A threshold no component reaches: nothing is hot.
constexpr int kHotPixelThresholdNone = 256;

struct HotPixelParams {
    // A pixel is hot when its red, green or blue is at least threshold. Any
    // value: 0 or less marks every pixel, 256 or more none.
    int threshold = kHotPixelThresholdNone;
    // Cells marked around each hot pixel: those (dy, dx) with dy² + dx² at
    // most 0, 2, 5 or 10 for radius 0, 1, 2, 3 (the pixel alone, 9, 21 and 37
    // cells). kHotPixelRadiusMin..kHotPixelRadiusMax; others are brought into
    // that range.
    int radius = 0;
};

// dy² + dx² limit of the disc of radius (clamped to 0..3): 0, 2, 5, 10.
int HotPixelDiscLimit(int radius);

// Fills mask (width × height bytes, row-major, width and height >= 0) with 0,
// then writes 1 on every cell of the disc around each hot pixel that lies
// inside width × height. Mask cell (y, x) is tested on source pixel
// (origin.v + y, origin.h + x): origin is where the clips' top-left pixel
// lies in a source kept at the sensor's size (a dark frame after a crop).
// Cells whose source pixel lies outside source are not hot, so a source of
// any size or place neither reads nor writes out of bounds. Any thread;
// reads source, writes only mask.
void MarkHotPixels(const GWorldWrapper& source, const HotPixelParams& params, uint8_t* mask, int width, int height,
                   Point origin = Point{});

// The preview of a mask: every pixel of preview becomes opaque black, then the
// cells MarkHotPixels marks (with preview's size and origin) whose source
// pixel exists take that pixel's red, green and blue. Throws std::bad_alloc
// (preview untouched) when its working mask cannot be made. Any thread;
// reads source, writes only preview.
void PaintHotPixelPreview(const GWorldWrapper& source, const HotPixelParams& params, GWorldWrapper& preview,
                          Point origin = Point{});
