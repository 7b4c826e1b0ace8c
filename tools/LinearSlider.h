// tools/LinearSlider.h: the integer slider with a linear track of the
// Fourier-domain editor (exposure, brush size) and the star dialog (its
// thresholds and radii). A one-pixel track of a given length, a 6 × 11 thumb
// that moves linearly with the value, and the value printed right of it.
//
// How a dialog uses one (main thread only): keep it, constructed at its
// window position (the top-left of its 300 × 11 band); RedrawDialog: SetPort
// to the dialog's canvas, then DrawSlider(); a mouse-down: SetPort, then
// ProcessMouse(press, hit, owner, index) with the press's own position; an
// arrow key: SetPort, then NudgeSlider on the active slider. The value logic needs no window; drawing without a
// current port does nothing.
#pragma once

#include <QPoint>

#include "platform/core/Geometry.h"

class LiveSliderOwner;

// Geometry, in pixels from the origin (h, v).
inline constexpr int kLinearSliderEraseWidth = 300; // the band redrawn: h .. h + 300, v .. v + 11
inline constexpr int kLinearSliderTextGap = 14;     // the value's text starts at h + length + 14
inline constexpr int kLinearSliderSmallStep = 1;
inline constexpr int kLinearSliderLargeStep = 10; // Shift with the arrow keys

class LinearSlider {
public:
    // Stores the fields (the value unclamped, as a remembered value comes).
    // A range whose max does not exceed min (a stack of no frames gives 0 .. 0)
    // pins every later value at min and keeps the thumb at the track's start.
    LinearSlider(Point origin, int length, int min, int max, int value);

    int GetValue() const { return mValue; }
    int Minimum() const { return mMin; }
    int Maximum() const { return mMax; }
    int Length() const { return mLength; }
    Point Origin() const { return mOrigin; }
    // length / (max - min), fixed at construction.
    double PixelsPerUnit() const { return mPixelsPerUnit; }

    // Stores the value clamped to min .. max.
    void SetValue(int value);
    // Rounds by the first decimal alone: with t = trunc(x × 10) mod 10 (the
    // sign of x), trunc(x + 1) when t > 4, else trunc(x); then as SetValue(int).
    // 2.45 gives 2, 2.5 gives 3; NaN gives min.
    void SetValue(double value);

    // Draws the slider into the current port (nothing without one).
    void DrawSlider() const;

    // A mouse-down at where, the press's own position in the current port
    // (not where the pointer has got to since): outside the thumb, hit =
    // false and false (a press on the track does nothing). On the thumb, hit = true and the drag runs until release; returns whether the
    // value at release differs from the value at the press. owner (may be
    // null) hears ProcessLiveSliderUpdate(index) at every move of the drag.
    bool ProcessMouse(QPoint where, bool& hit, LiveSliderOwner* owner, int index);

    // The drag from the press at start: each position that differs from the
    // last sets the value for the pointer (clamped to h + 5 .. h + length + 5),
    // redraws and tells owner; after such a move the release sets the value
    // once more and redraws without telling owner (a click without one keeps
    // the value). True when the value then differs from the value at the
    // start; an owner compares with the value it last applied, since the
    // release can undo the last live step.
    bool DragThumb(QPoint start, LiveSliderOwner* owner, int index);

    // One keyboard step of 1 (10 when big): up does nothing at or above max,
    // down nothing at or below min; the result is clamped to the range. True
    // when the value changed; the slider has then redrawn itself.
    bool NudgeSlider(bool up, bool big);

    // The mapping, for tests: the thumb offset (value - min) × pixels per unit,
    // limited to the track so a value stored out of range cannot push the
    // thumb off it; the thumb's rectangle in window coordinates; the value
    // (before rounding) for a pointer at window x.
    double ThumbOffset() const;
    Rect ThumbRect() const;
    double ValueForPointer(int x) const;

private:
    Point mOrigin;
    int mLength;
    int mMin, mMax;
    double mPixelsPerUnit;
    int mValue;
};
