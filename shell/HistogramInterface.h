// shell/HistogramInterface.h: the four histograms of a dialog (pixel value,
// red, green, blue) drawn one under the other with a chosen vertical scale.
#pragma once

#include <memory>

#include "imaging/Histogram.h"

class Canvas;
class ControlHandle;

class HistogramInterface {
public:
    static constexpr int kNumBins = 256;
    static constexpr int kDrawHeight = 50;

    // Four histograms of 256 bins. Throws std::bad_alloc.
    HistogramInterface(int locH, int locV, int verticalSpacing);

    int numHistogramBins() const { return kNumBins; }
    int locH() const { return mLocH; }
    int locV() const { return mLocV; }
    int verticalSpacing() const { return mVerticalSpacing; }
    double scaleMode() const { return mScaleMode; }
    // channel 0 value, 1 red, 2 green, 3 blue.
    const Histogram& histogram(int channel) const { return *mHistograms[channel]; }

    // Fills the four from rect of image; false (histograms untouched) when
    // rect reaches outside the image.
    bool GenerateHistograms(const GWorldWrapper& image, Rect rect);
    // Draws histogram i at (locH, locV + i × spacing), 50 pixels high, into
    // window, and shows it.
    void Draw(Canvas* window) const;
    // The scale selector (values 1 to 3): scaleMode = 3 - value.
    void HandleDialogItemHit(const ControlHandle& selector);

private:
    int mLocH, mLocV, mVerticalSpacing;
    double mScaleMode = 0.0;
    std::unique_ptr<Histogram> mHistograms[4];
};
