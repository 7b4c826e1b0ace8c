// imaging/Histogram.h: the histograms of the dialogs' histogram panel, how
// they are filled from an image and how they are drawn.
#pragma once

#include <memory>

#include "platform/core/GWorldWrapper.h"

// Histogram channels; the channel also chooses the bar colour.
constexpr int kHistogramValue = 0; // max(red, green, blue)
constexpr int kHistogramRed = 1;
constexpr int kHistogramGreen = 2;
constexpr int kHistogramBlue = 3;

// Width of a drawn histogram in pixels, frame included.
constexpr int kHistogramDrawWidth = 260;

// A histogram of the histogram panel: numBins owned double bins and the
// channel it counts. It belongs to the thread that fills and draws it.
class Histogram {
public:
    // numBins zeroed bins (none for numBins < 1). Throws std::bad_alloc.
    Histogram(int numBins, int channel);
    Histogram(const Histogram&) = delete;
    Histogram& operator=(const Histogram&) = delete;

    int NumBins() const { return mNumBins; }
    int Channel() const { return mChannel; }

    // Zeroes every bin.
    void Initialize();
    // bins[i] += 1. No bounds check: callers use 256 bins and indices 0 ... 255.
    void IncrementBin(int i) { mBins[i] += 1.0; }
    double GetBin(int i) const { return mBins[i]; }

    // Scales the bins to a sum of 1. Returns 1 when there are no bins or the
    // bins were scaled; returns 0 and changes nothing when the sum is exactly
    // 1.0 already, 0, or not finite.
    int NormalizeToOne();

    // Draws into the calling thread's current port (nothing when it has none):
    // the frame (left, top)-(left + 260, top + height + 4) erased to white and
    // outlined in grey 0xC000, then one vertical bar per bin from
    // y = top + height + 1 upwards. compression 0 draws the bins linearly,
    // 1 their fourth roots, 2 their sixteenth roots (bins ^ 4^-compression);
    // the tallest bar is height - 1 pixels above its foot. All-zero bins draw
    // the frame only. Bars of the red, green and blue histograms ramp in their
    // own component; the value histogram is black.
    void DrawHistogram(int left, int top, int height, double compression) const;

private:
    int mNumBins;
    std::unique_ptr<double[]> mBins;
    int mChannel;
};

// Fills value, red, green and blue from the pixels of rect (bottom and right
// excluded): red, green and blue count their component, value counts
// max(red, green, blue); each is then normalised to a sum of 1. Returns 0 and
// leaves the histograms untouched when rect reaches past any edge of the
// image, or when a histogram has fewer than 256 bins; otherwise 1.
// Any thread that may read image and owns the histograms.
int GenerateHistograms(const GWorldWrapper& image, Rect rect, Histogram& value, Histogram& red, Histogram& green,
                       Histogram& blue);
