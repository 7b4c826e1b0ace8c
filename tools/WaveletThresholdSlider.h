// tools/WaveletThresholdSlider.h: the threshold slider of the wavelet noise
// reduction dialog: a threshold in percent, 0.0 .. 100.0 to one decimal,
// mapped quadratically (value = d² / 400 for a pointer d = 0 .. 200 pixels
// along the track, the thumb drawn at sqrt(400 × value)), so small
// thresholds, the useful ones, get fine steps. Drawn in grey while its
// pyramid level is missing from the area previewed.
//
// Used like the other quadratic sliders (tools/QuadraticSliders.h), main
// thread only.
#pragma once

#include <QPoint>

#include "imaging/WaveletThreshold.h"
#include "tools/QuadraticSliders.h"

// A drag that moved and came back still counts as a change.
inline constexpr QuadraticSliderScale kWaveletThresholdSliderScale{
    kWaveletThresholdMin, kWaveletThresholdMax, 0.0, 400.0, 400.0, kWaveletThresholdMin, false, true};

class WaveletThresholdSlider : public QuadraticSlider {
public:
    // Position (0, 0) and value 0.0: placed afterwards with SetParameters.
    WaveletThresholdSlider() : QuadraticSlider(kWaveletThresholdSliderScale, Point{}, 0.0) {}

    // Stores both unchanged (a remembered value comes as it was kept).
    void SetParameters(Point position, double value) { SetPositionAndValue(position, value); }
    void DrawWaveletThresholdSlider() const { Draw(); }
    // owner (may be null) hears ProcessLiveSliderUpdate(index) at every move
    // of the drag. True when the pointer moved at all, or, without a move,
    // when the value at release differs from the value at the press.
    bool ProcessMouse(QPoint where, bool& hit, LiveSliderOwner* owner, int index)
    {
        return QuadraticSlider::ProcessMouse(where, hit, owner, index);
    }
    bool DragWaveletThresholdThumb(QPoint start, LiveSliderOwner* owner, int index)
    {
        return DragThumb(start, owner, index);
    }
};
