// tools/LinearSlider.cpp: the linear slider's values, drawing and drag.
#include "tools/LinearSlider.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "shell/SliderDrawing.h"
#include "tools/LiveSliderOwner.h"

LinearSlider::LinearSlider(Point origin, int length, int min, int max, int value)
    : mOrigin(origin), mLength(length), mMin(min), mMax(std::max(min, max)),
      mPixelsPerUnit(static_cast<double>(length) / std::max(1, max - min)), mValue(value)
{
}

void LinearSlider::SetValue(int value)
{
    mValue = std::clamp(value, mMin, mMax);
}

void LinearSlider::SetValue(double value)
{
    if (std::isnan(value)) {
        SetValue(mMin);
        return;
    }
    // Values beyond one past either end round to beyond that end too, so
    // limiting them first changes no result and keeps the casts in range.
    const double x = std::clamp(value, double(mMin) - 1.0, double(mMax) + 1.0);
    const double tenths = std::fmod(std::trunc(x * 10.0), 10.0);
    SetValue(static_cast<int>(tenths > 4.0 ? std::trunc(x + 1.0) : std::trunc(x)));
}

double LinearSlider::ThumbOffset() const
{
    return std::clamp((static_cast<double>(mValue) - mMin) * mPixelsPerUnit, 0.0, static_cast<double>(mLength));
}

Rect LinearSlider::ThumbRect() const
{
    return SliderThumbRect(mOrigin, ThumbOffset());
}

double LinearSlider::ValueForPointer(int x) const
{
    const int left = mOrigin.h + kSliderTrackInset;
    const int clamped = std::clamp(x, left, left + mLength);
    return (clamped - left) / mPixelsPerUnit + mMin;
}

void LinearSlider::DrawSlider() const
{
    // The value beside the track's end: 270 for the star dialog's 256-pixel
    // tracks, and as close to a short track.
    const SliderLayout layout{kLinearSliderEraseWidth, mLength - 1, mLength + kLinearSliderTextGap};
    DrawHorizontalSlider(mOrigin, layout, ThumbOffset(), std::to_string(mValue));
}

bool LinearSlider::ProcessMouse(QPoint where, bool& hit, LiveSliderOwner* owner, int index)
{
    hit = PointInSliderRect(where, ThumbRect());
    if (!hit)
        return false;
    return DragThumb(where, owner, index);
}

bool LinearSlider::DragThumb(QPoint start, LiveSliderOwner* owner, int index)
{
    const int startValue = mValue;
    QPoint last = start;
    bool moved = false;
    const QPoint release = TrackSliderDrag(start, [&](QPoint p) {
        if (p == last)
            return;
        moved = true;
        SetValue(ValueForPointer(p.x()));
        DrawSlider();
        if (owner)
            owner->ProcessLiveSliderUpdate(index);
        last = p;
    });
    // A click on the thumb keeps the value: on a coarse track the thumb's
    // pixel maps back to a neighbouring value.
    if (moved) {
        SetValue(ValueForPointer(release.x()));
        DrawSlider();
    }
    return mValue != startValue;
}

bool LinearSlider::NudgeSlider(bool up, bool big)
{
    const int step = big ? kLinearSliderLargeStep : kLinearSliderSmallStep;
    // In 64 bits: a 32-bit FITS stack's range reaches INT_MAX.
    const long long target = static_cast<long long>(mValue) + (up ? step : -step);
    if (up ? mValue >= mMax : mValue <= mMin)
        return false;
    mValue = static_cast<int>(std::clamp<long long>(target, mMin, mMax));
    DrawSlider();
    return true;
}
