// platform/core/Geometry.h: rectangles and points in the program's integer geometry.
#pragma once

#include <cstdint>

// A rectangle as top, left, bottom, right. Bottom and right are excluded unless
// an operation says otherwise. Each edge is a signed 16-bit value, the width the
// workspace and raw files store.
struct Rect {
    int16_t top = 0;
    int16_t left = 0;
    int16_t bottom = 0;
    int16_t right = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return bottom <= top || right <= left; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A point as vertical, then horizontal.
struct Point {
    int16_t v = 0;
    int16_t h = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// An RGB colour with 16-bit components; the top byte of each is what an
// image stores.
struct RGBColor {
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;
};

inline Rect MakeRect(int top, int left, int bottom, int right)
{
    return Rect{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
                static_cast<int16_t>(right)};
}

inline Point MakePoint(int v, int h)
{
    return Point{static_cast<int16_t>(v), static_cast<int16_t>(h)};
}
