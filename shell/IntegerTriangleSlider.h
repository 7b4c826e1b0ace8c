// shell/IntegerTriangleSlider.h: an integer slider with a triangular thumb
// under an optional track line and ticks, drawn into a dialog's canvas. The
// value mapping, thumb placement and nudging need no window; drawing and
// dragging happen only when the slider has a canvas.
#pragma once

#include "platform/core/Geometry.h"

class Canvas;

class IntegerTriangleSlider {
public:
    // window: the dialog's canvas (not owned; null draws nothing). origin is
    // the left end of the track (v, h); length in pixels. A maximum below the
    // minimum is taken as the minimum; value is clamped into the range.
    // reversed: values grow from right to left.
    IntegerTriangleSlider(Canvas* window, Point origin, int length, int minimum, int maximum, int value, bool line,
                          bool ticks, bool reversed);

    // Places the thumb (11 x 6) for the value: its centre column at the value's
    // place on the track, kept within origin.h - 5 .. origin.h + length - 5
    // for its left edge; below the line and ticks when there are any.
    void SetRectFromValue();
    // Erases the slider's area and draws track, ticks, value and thumb.
    void DrawSlider() const;
    // Follows the mouse until release (the value follows the pointer's column,
    // the thumb redrawn at each move); value receives the result. True when it
    // differs from the value at the start.
    bool DragSliderThumb(Point start, int& value);
    // A press at where: on the thumb, hit and the drag runs (true when the
    // value changed); elsewhere, no hit and nothing changes.
    bool ProcessMouse(Point where, bool& hit);
    // One step in the increasing direction (up, or down for a reversed
    // slider) or the other; false at the end of the range. Redraws when moved.
    bool NudgeSlider(bool up);

    int GetValue() const { return mValue; }
    // Places the thumb for value (clamped into the range) without drawing.
    void SetValue(int value);

    // Geometry, for the dialog and tests.
    Rect Thumb() const { return mThumb; }
    // The value for the mouse at column h: h is clamped to the track,
    // value = trunc((h - origin.h + drag step / 2) / drag step + minimum)
    // (mirrored for a reversed slider), within the range.
    int ValueAtH(int h) const;
    // The area DrawSlider erases: 8 pixels either side of the track, 16 high
    // plus 2 each for line and ticks.
    Rect EraseRect() const;
    // Column of the tick of value k.
    int TickH(int k) const;
    double DragStep() const { return mDragStep; }
    double DrawStep() const { return mDrawStep; }
    int Minimum() const { return mMinimum; }
    int Maximum() const { return mMaximum; }
    bool Contains(Point where) const;

private:
    Canvas* mWindow;
    Point mOrigin;
    int mLength;
    Rect mThumb;
    int mMinimum;
    int mMaximum;
    double mDragStep; // (length - 1) / (maximum - minimum), or length for a single value
    double mDrawStep; // length / (maximum - minimum), or length for a single value
    int mValue;
    bool mLine;
    bool mTicks;
    bool mReversed;
};
