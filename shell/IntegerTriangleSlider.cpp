// shell/IntegerTriangleSlider.cpp: the integer slider with a triangular thumb.
#include "shell/IntegerTriangleSlider.h"

#include <algorithm>
#include <string>

#include <QPalette>

#include "shell/PointerInput.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/MaskedPicture.h"
#include "resources/PictureResources.h"

namespace {

constexpr int kThumbWidth = 11, kThumbHeight = 6;
constexpr int kThumbHalf = 5;  // the thumb's point lies this far right of its left edge
constexpr int kTextBelow = 10; // baseline of the value below the thumb

int Trunc(double v)
{
    return static_cast<int>(v);
}

} // namespace

IntegerTriangleSlider::IntegerTriangleSlider(Canvas* window, Point origin, int length, int minimum, int maximum,
                                             int value, bool line, bool ticks, bool reversed)
    : mWindow(window), mOrigin(origin), mLength(std::max(length, 1)), mMinimum(minimum),
      mMaximum(std::max(maximum, minimum)), mValue(0), mLine(line), mTicks(ticks), mReversed(reversed)
{
    const int span = mMaximum - mMinimum;
    mDragStep = span > 0 ? (mLength - 1.0) / span : mLength;
    mDrawStep = span > 0 ? static_cast<double>(mLength) / span : mLength;
    mValue = std::clamp(value, mMinimum, mMaximum);
    SetRectFromValue();
}

void IntegerTriangleSlider::SetRectFromValue()
{
    const int top = mOrigin.v + (mLine ? 2 : 0) + (mTicks ? 2 : 0);
    const double offset = (mValue - mMinimum) * mDrawStep;
    int left = mReversed ? Trunc(mOrigin.h + mLength - kThumbHalf - offset) : Trunc(mOrigin.h - kThumbHalf + offset);
    left = std::clamp(left, mOrigin.h - kThumbHalf, mOrigin.h + mLength - kThumbHalf);
    mThumb = MakeRect(top, left, top + kThumbHeight, left + kThumbWidth);
}

void IntegerTriangleSlider::SetValue(int value)
{
    mValue = std::clamp(value, mMinimum, mMaximum);
    SetRectFromValue();
}

int IntegerTriangleSlider::ValueAtH(int h) const
{
    const int x = std::clamp(h, static_cast<int>(mOrigin.h), mOrigin.h + mLength - 1);
    int value = Trunc((x - mOrigin.h + mDragStep / 2) / mDragStep + mMinimum);
    if (mReversed)
        value = mMaximum + mMinimum - value;
    // A single-value slider would otherwise step past its end from the
    // track's second half.
    return std::clamp(value, mMinimum, mMaximum);
}

Rect IntegerTriangleSlider::EraseRect() const
{
    const int height = 16 + (mLine ? 2 : 0) + (mTicks ? 2 : 0);
    return MakeRect(mOrigin.v, mOrigin.h - 8, mOrigin.v + height, mOrigin.h + mLength + 8);
}

int IntegerTriangleSlider::TickH(int k) const
{
    const double offset = (k - mMinimum) * mDrawStep;
    return mReversed ? Trunc(mOrigin.h + mLength - offset) : Trunc(mOrigin.h + offset);
}

bool IntegerTriangleSlider::Contains(Point where) const
{
    return where.h >= mThumb.left && where.h < mThumb.right && where.v >= mThumb.top && where.v < mThumb.bottom;
}

void IntegerTriangleSlider::DrawSlider() const
{
    if (!mWindow)
        return;
    QImage& image = mWindow->Image();
    const Rect e = EraseRect();
    FillCanvasRect(image, QRect(e.left, e.top, e.Width(), e.Height()), mWindow->palette().color(QPalette::Window));
    const QColor black(0, 0, 0);
    if (mLine)
        DrawCanvasLine(image, mOrigin.h, mOrigin.v, mOrigin.h + mLength - 1, mOrigin.v, black);
    if (mTicks)
        for (int k = mMinimum; k <= mMaximum; ++k) {
            const int h = TickH(k);
            DrawCanvasLine(image, h, mOrigin.v + 1, h, mOrigin.v + 2, black);
        }
    const std::string text = std::to_string(mValue);
    const int textLeft = mThumb.left + kThumbHalf - CanvasTextWidth(text, CanvasFont::plain9) / 2;
    DrawCanvasText(image, textLeft, mThumb.bottom + kTextBelow, text, CanvasFont::plain9, black);
    DrawPictureThroughMask(image, mThumb.left, mThumb.top, GetPictureResource(kSliderThumbPicture));
    mWindow->Flush();
}

bool IntegerTriangleSlider::DragSliderThumb(Point start, int& value)
{
    const int startValue = mValue;
    auto follow = [this](int h) {
        const int v = ValueAtH(h);
        if (v != mValue) {
            SetValue(v);
            DrawSlider();
        }
    };
    int lastH = start.h;
    if (mWindow) {
        const QPoint end = TrackMouseDrag(mWindow, [&](QPoint position) {
            if (position.x() != lastH) {
                lastH = position.x();
                follow(lastH);
            }
        });
        lastH = end.x();
    }
    follow(lastH); // the release point once more
    value = mValue;
    return mValue != startValue;
}

bool IntegerTriangleSlider::ProcessMouse(Point where, bool& hit)
{
    hit = Contains(where);
    if (!hit)
        return false;
    int value = mValue;
    return DragSliderThumb(where, value);
}

bool IntegerTriangleSlider::NudgeSlider(bool up)
{
    const bool increase = up != mReversed;
    if (increase ? mValue >= mMaximum : mValue <= mMinimum)
        return false;
    SetValue(mValue + (increase ? 1 : -1));
    DrawSlider();
    return true;
}
