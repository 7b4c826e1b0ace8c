// tools/QuadraticSliders.cpp: the value rule, the quadratic mappings, the
// nudges, the drawing and the drag of the radius and intensity sliders.
#include "tools/QuadraticSliders.h"

#include <algorithm>
#include <cmath>

#include "shell/SliderDrawing.h"
#include "tools/LiveSliderOwner.h"

namespace {

constexpr SliderLayout kQuadraticSliderLayout{kQuadraticSliderEraseWidth, kQuadraticSliderTrack,
                                              kQuadraticSliderTextLeft};

// Largest magnitude written as digits; only values stored unchecked through
// a constructor can come near it.
constexpr double kLargestShownValue = 1e15;
// Far above the binary error of v × 100 for values up to 160 (some 1e-11),
// far below a hundredth's worth of a value anyone sets.
constexpr double kHundredthsSlack = 1e-6;

} // namespace

void QuadraticSlider::SetValue(double value)
{
    double v = value;
    if (!(v >= mScale->minimum)) // NaN too
        v = mScale->minimum;
    if (v > mScale->maximum)
        v = mScale->maximum;
    // Rounded by the hundredths digit only: 1.049 stays 1.0 while 1.05
    // becomes 1.1. The value is counted in whole hundredths first, allowing
    // for the binary error of v × 100 (5.1 × 100 is 509.99999999999994):
    // taken literally that error turned 5.1 into 5.2 and a drop on the
    // intensity track at d = 65 (16.9) into 17.0.
    const double hundredths = std::floor(v * 100.0 + kHundredthsSlack);
    const double tenths = std::floor(hundredths / 10.0);
    const double digit = hundredths - 10.0 * tenths;
    mValue = (digit > 4.0 ? tenths + 1.0 : tenths) / 10.0;
}

bool QuadraticSlider::NudgeSlider(bool up, bool large)
{
    const double step = large ? kQuadraticSliderLargeStep : kQuadraticSliderSmallStep;
    if (up) {
        if (!(mValue < mScale->maximum))
            return false;
        mValue += step;
        if (mValue > mScale->maximum)
            SetValue(mScale->maximum);
    } else {
        if (!(mValue > mScale->nudgeFloor))
            return false;
        mValue -= step;
        if (mValue < mScale->nudgeFloor)
            mValue = mScale->nudgeFloor;
    }
    Draw();
    return true;
}

double QuadraticSlider::ThumbOffset() const
{
    const double a = (mValue - mScale->drawOrigin) * mScale->drawFactor;
    const double t = a > 0.0 ? std::sqrt(a) : 0.0;
    return std::min(t, static_cast<double>(kQuadraticSliderTrack));
}

Rect QuadraticSlider::ThumbRect() const
{
    return SliderThumbRect(mPosition, ThumbOffset());
}

double QuadraticSlider::ValueForPointer(int x) const
{
    const int trackLeft = mPosition.h + kSliderTrackInset;
    const int d = std::clamp(x, trackLeft, trackLeft + kQuadraticSliderTrack) - trackLeft;
    return static_cast<double>(d) * d / mScale->dragDivisor;
}

std::string QuadraticSlider::ValueText() const
{
    double v = mValue;
    if (!std::isfinite(v))
        v = mScale->minimum;
    v = std::clamp(v, -kLargestShownValue, kLargestShownValue);
    const auto whole = static_cast<long long>(std::trunc(v));
    const auto tenth = static_cast<long long>(std::fabs(std::fmod(std::trunc(v * 10.0), 10.0)));
    std::string text = (v < 0.0 && whole == 0) ? "-0" : std::to_string(whole);
    return text + "." + std::to_string(tenth);
}

void QuadraticSlider::Draw() const
{
    DrawHorizontalSlider(mPosition, kQuadraticSliderLayout, ThumbOffset(), ValueText(), mDim);
}

bool QuadraticSlider::ProcessMouse(QPoint where, bool& hit, LiveSliderOwner* owner, int index)
{
    hit = false;
    if (!PointInSliderRect(where, ThumbRect()))
        return false; // a press on the track beside the thumb does nothing
    hit = true;
    return DragThumb(where, owner, index);
}

bool QuadraticSlider::DragThumb(QPoint start, LiveSliderOwner* owner, int index)
{
    const double startValue = mValue;
    QPoint last = start;
    bool moved = false;
    const QPoint release = TrackSliderDrag(start, [&](QPoint p) {
        const bool counts = mScale->horizontalMotionOnly ? p.x() != last.x() : p != last;
        last = p;
        if (!counts)
            return;
        moved = true;
        SetValue(ValueForPointer(p.x()));
        Draw();
        if (owner)
            owner->ProcessLiveSliderUpdate(index);
    });
    // A click on the thumb (how the arrow keys are armed) keeps the value:
    // the pointer maps back to the thumb's pixel only roughly.
    if (moved) {
        SetValue(ValueForPointer(release.x()));
        Draw();
    }
    return (mScale->anyMoveIsChange && moved) || mValue != startValue;
}
