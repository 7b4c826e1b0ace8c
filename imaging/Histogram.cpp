// imaging/Histogram.cpp: histogram bins, filling from an image, drawing.
#include "imaging/Histogram.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform/core/DrawTarget.h"

namespace {

constexpr int kPixelBins = 256;
constexpr RGBColor kFrameGrey{0xC000, 0xC000, 0xC000};
constexpr RGBColor kWhite{0xFFFF, 0xFFFF, 0xFFFF};
constexpr RGBColor kBlack{0, 0, 0};

// Bar colour of bin i: the histogram's own component ramps as
// 65536 / numBins * i (integer division first, 65280 for the last of 256
// bins); the value histogram (and any other channel) draws black.
RGBColor BarColour(int channel, int numBins, int i)
{
    const auto ramp = static_cast<uint16_t>(65536 / numBins * i);
    switch (channel) {
    case kHistogramRed:
        return RGBColor{ramp, 0, 0};
    case kHistogramGreen:
        return RGBColor{0, ramp, 0};
    case kHistogramBlue:
        return RGBColor{0, 0, ramp};
    default:
        return kBlack;
    }
}

} // namespace

Histogram::Histogram(int numBins, int channel)
    : mNumBins(std::max(numBins, 0)), mBins(new double[static_cast<std::size_t>(std::max(numBins, 0))]()),
      mChannel(channel)
{
}

void Histogram::Initialize()
{
    std::fill(mBins.get(), mBins.get() + mNumBins, 0.0);
}

int Histogram::NormalizeToOne()
{
    if (mNumBins < 1)
        return 1;
    double sum = 0.0;
    for (int i = 0; i < mNumBins; ++i)
        sum += mBins[i];
    if (sum == 1.0)
        return 0;
    if (sum == 0.0 || !std::isfinite(sum))
        return 0; // an empty region: nothing to scale
    for (int i = 0; i < mNumBins; ++i)
        mBins[i] /= sum;
    return 1;
}

void Histogram::DrawHistogram(int left, int top, int height, double compression) const
{
    DrawTarget* port = GetPort();
    if (!port)
        return;
    const Rect frame = MakeRect(top, left, top + height + 4, left + kHistogramDrawWidth);
    port->FillRect(frame, kWhite);
    port->FrameRect(frame, kFrameGrey);

    const double power = std::pow(4.0, -compression);
    double largest = 0.0;
    for (int i = 0; i < mNumBins; ++i)
        largest = std::max(largest, std::pow(mBins[i], power));
    if (!(largest > 0.0))
        return; // all-zero bins: the frame only
    const double scale = height / largest;
    const int foot = top + height + 1;
    for (int i = 0; i < mNumBins; ++i) {
        const double scaled = std::pow(mBins[i], power) * scale;
        if (!(scaled > 0.0))
            continue; // empty bins, and NaN from a damaged bin
        const double b = std::min<double>(height - 1, scaled);
        if (!(b > 0.0))
            continue;
        // A line paints both its ends, so a bar covers trunc(b) + 1 pixels.
        const int x = left + 2 + i;
        port->DrawLine(MakePoint(foot, x), MakePoint(foot - static_cast<int>(b), x), BarColour(mChannel, mNumBins, i));
    }
}

int GenerateHistograms(const GWorldWrapper& image, Rect rect, Histogram& value, Histogram& red, Histogram& green,
                       Histogram& blue)
{
    if (rect.left < 0 || rect.top < 0 || rect.right > image.Width() || rect.bottom > image.Height())
        return 0;
    if (value.NumBins() < kPixelBins || red.NumBins() < kPixelBins || green.NumBins() < kPixelBins ||
        blue.NumBins() < kPixelBins)
        return 0;
    value.Initialize();
    red.Initialize();
    green.Initialize();
    blue.Initialize();
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* p = image.PixelRow(y) + static_cast<std::ptrdiff_t>(rect.left) * 4;
        for (int x = rect.left; x < rect.right; ++x, p += 4) {
            red.IncrementBin(p[1]);
            green.IncrementBin(p[2]);
            blue.IncrementBin(p[3]);
            value.IncrementBin(std::max({p[1], p[2], p[3]}));
        }
    }
    // Return codes of NormalizeToOne only say whether anything was scaled.
    (void)value.NormalizeToOne();
    (void)red.NormalizeToOne();
    (void)green.NormalizeToOne();
    (void)blue.NormalizeToOne();
    return 1;
}
