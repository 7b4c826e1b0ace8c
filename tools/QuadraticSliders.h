// tools/QuadraticSliders.h: the radius and intensity sliders of the filter
// dialogs. Each is a plain value (position and value) that draws itself into
// the dialog window and maps its thumb quadratically, so small values get
// fine steps: GaussianBlurSlider (radius 0.1 .. 20.0: Gaussian blur, unsharp
// mask, stars) and MaskIntensitySlider (intensity 0.0 .. 160.0: unsharp
// mask, Laplacian pyramid layers).
//
// How a dialog uses one (main thread only):
//   - keep it by value; construct it at its window position (the top-left
//     corner of its 245 × 11 band) with the remembered value;
//   - RedrawDialog: SetPort to the dialog's canvas, then Draw…Slider();
//   - a mouse-down: SetPort to the canvas, then ProcessMouse(press, hit, ...)
//     with the press's own position; hit says the thumb was grabbed (make it
//     the active slider), the result says the value at release differs from
//     the value at the press: then read GetValue and recompute. A press beside the thumb gives hit false
//     and nothing else, so the dialog may use it for something else;
//   - an arrow key: SetPort, then NudgeSlider on the active slider; true
//     means the value moved (the slider has redrawn itself).
// The value logic (value rule, mappings, nudges, the text) needs no window;
// drawing without a current port does nothing.
#pragma once

#include <string>

#include <QPoint>

#include "platform/core/Geometry.h"

class LiveSliderOwner;

// The constants that make one kind of quadratic slider.
struct QuadraticSliderScale {
    double minimum = 0.0;
    double maximum = 0.0;
    // Thumb offset drawn for a value: sqrt((value - drawOrigin) × drawFactor).
    double drawOrigin = 0.0;
    double drawFactor = 1.0;
    // Value set by a drag to pointer offset d (0 .. 200): d² / dragDivisor.
    double dragDivisor = 1.0;
    // The lowest value a down-nudge reaches (entered only from above it).
    double nudgeFloor = 0.0;
    // During a drag, only horizontal pointer motion counts (a vertical move
    // neither changes the value nor tells the owner).
    bool horizontalMotionOnly = false;
    // A drag that moved at all counts as a change, even when it ends on the
    // value it started from (the dialog then recomputes).
    bool anyMoveIsChange = false;
};

// The radius slider. The drag has no 0.1 offset while the drawing has:
// dropping the thumb at the left end gives 0.0, which the value rule raises
// to 0.1; the right end gives 20.0, drawn at t ≈ 199.5. Nudging down stops at
// 0.15 (shown as 0.1), which users have always got.
inline constexpr QuadraticSliderScale kGaussianBlurSliderScale{0.1, 20.0, 0.1, 2000.0, 2000.0, 0.15, false};
// The intensity slider.
inline constexpr QuadraticSliderScale kMaskIntensitySliderScale{0.0, 160.0, 0.0, 250.0, 250.0, 0.0, true};

// Geometry of both sliders, in pixels from the position (h, v).
inline constexpr int kQuadraticSliderTrack = 200;      // pointer offsets d = 0 .. 200 along the track
inline constexpr int kQuadraticSliderEraseWidth = 245; // the band redrawn: h .. h + 245, v .. v + 11
inline constexpr int kQuadraticSliderTextLeft = 215;   // the value's text starts at h + 215
inline constexpr double kQuadraticSliderSmallStep = 0.1;
inline constexpr double kQuadraticSliderLargeStep = 1.0; // Shift with the arrow keys

// What both sliders share. Not polymorphic.
class QuadraticSlider {
public:
    double GetValue() const { return mValue; }
    Point GetPosition() const { return mPosition; }
    const QuadraticSliderScale& Scale() const { return *mScale; }

    // The value rule: clamp to the range (NaN counts as the minimum), then
    // round to one decimal by the hundredths digit alone (the digits after
    // it are ignored; 5 and up rounds up): 2.345 gives 2.3, 2.35 gives 2.4,
    // 1.049 gives 1.0, 1.05 gives 1.1; a value of one decimal stays as it is.
    void SetValue(double value);

    // One keyboard step: 1.0 when large, else 0.1. Up does nothing at or
    // above the maximum and stops at it; down does nothing at or below the
    // scale's nudge floor and stops at it. The step is added without the
    // value rule's rounding (seven small steps from 0.1 give
    // 0.7999999999999999, shown as 0.7). True when the value moved; the
    // slider has then redrawn itself into the current port.
    bool NudgeSlider(bool up, bool large);

    // Draws the whole slider into the current port (nothing without one),
    // in grey while dimmed.
    void Draw() const;
    // A dimmed slider still moves and keeps its value; it is only drawn in
    // grey, for a setting that has no effect at the moment.
    void SetDim(bool dim) { mDim = dim; }
    bool IsDimmed() const { return mDim; }

    // A mouse-down at where, the press's own position in the current port
    // (a drag may have taken the pointer on by the time the press is
    // handled): outside the thumb, hit = false and false. On the thumb, hit
    // = true and the drag runs until release (DragThumb); returns whether the value at release
    // differs from the value at the press. owner (may be null) hears of
    // every counted step of the drag with index.
    bool ProcessMouse(QPoint where, bool& hit, LiveSliderOwner* owner, int index);

    // The drag loop from the press at start: each counted move sets the
    // value for the pointer's horizontal position (clamped to the track),
    // redraws and tells owner; after a counted move the release sets the
    // value once more without telling owner, while a click without one keeps
    // the value. True when the value then differs from the value at the
    // start.
    bool DragThumb(QPoint start, LiveSliderOwner* owner, int index);

    // The pieces of the mapping, for tests and for dialogs that draw labels:
    // the thumb offset t drawn for the current value (limited to the track,
    // 0 .. 200, so a value stored out of range cannot push the thumb off it);
    // the thumb's rectangle in window coordinates; the value (before the
    // value rule) for a pointer at window x; the text shown, trunc(value),
    // ".", trunc(10 × value) mod 10, so 2.39 shows as 2.3.
    double ThumbOffset() const;
    Rect ThumbRect() const;
    double ValueForPointer(int x) const;
    std::string ValueText() const;

protected:
    // Stores both unchanged (no value rule), as the dialogs expect when they
    // hand over a remembered value.
    QuadraticSlider(const QuadraticSliderScale& scale, Point position, double value)
        : mScale(&scale), mPosition(position), mValue(value)
    {
    }
    void SetPositionAndValue(Point position, double value)
    {
        mPosition = position;
        mValue = value;
    }

private:
    const QuadraticSliderScale* mScale;
    Point mPosition; // top-left corner of the band, window coordinates
    double mValue;
    bool mDim = false;
};

class GaussianBlurSlider : public QuadraticSlider {
public:
    GaussianBlurSlider(Point position, double value) : QuadraticSlider(kGaussianBlurSliderScale, position, value) {}

    void DrawGaussianBlurSlider() const { Draw(); }
    // The radius slider tells nobody during a drag: its dialogs recompute
    // once, after release.
    bool ProcessMouse(QPoint where, bool& hit) { return QuadraticSlider::ProcessMouse(where, hit, nullptr, 0); }
    bool DragGaussianBlurThumb(QPoint start) { return DragThumb(start, nullptr, 0); }
};

class MaskIntensitySlider : public QuadraticSlider {
public:
    // Position (0, 0) and value 0.0: for arrays of sliders placed afterwards
    // with SetParameters.
    MaskIntensitySlider() : QuadraticSlider(kMaskIntensitySliderScale, Point{}, 0.0) {}
    MaskIntensitySlider(Point position, double value) : QuadraticSlider(kMaskIntensitySliderScale, position, value) {}

    // Stores both unchanged, as the constructor does.
    void SetParameters(Point position, double value) { SetPositionAndValue(position, value); }
    void DrawMaskIntensitySlider() const { Draw(); }
    // owner (may be null) hears ProcessLiveSliderUpdate(index) at every
    // horizontal step of the drag.
    bool ProcessMouse(QPoint where, bool& hit, LiveSliderOwner* owner, int index)
    {
        return QuadraticSlider::ProcessMouse(where, hit, owner, index);
    }
    bool DragMaskIntensityThumb(QPoint start, LiveSliderOwner* owner, int index)
    {
        return DragThumb(start, owner, index);
    }
};
