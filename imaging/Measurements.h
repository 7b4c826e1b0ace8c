// imaging/Measurements.h: read-only measurements of depth-32 images that
// score, align and calibrate clips: mean absolute difference, mean value,
// value range, mean component, brightness centroids, the radial distribution
// of the power spectrum and the normalisation factor.
//
// The pixel value is max(red, green, blue) throughout. Rects are in image
// coordinates with top and left included and bottom and right excluded,
// except the power spectrum's, which includes both. No routine changes an
// image. All may run on any thread that may read the images, except the power
// spectrum, which uses the FFT's shared scratch (one thread at a time).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/GWorldWrapper.h"

// Codes returned for bad rectangles (as doubles by the mean measurements).
constexpr int kMeasureEmptyOrMismatchedRect = -1;
constexpr int kMeasureNegativeEdge = -2;
constexpr int kMeasurePastImageEdge = -3;

// Mean absolute difference of a over rectA and b over rectB, 0...1.
// channel 0: a pixel takes part when a's pixel value is >= threshold and adds
// |dR| + |dG| + |dB|; channels 1, 2, 3 (red, green, blue): when a's component
// is >= threshold, adding |d| of that component; any other channel gives 0.0.
// The sum is divided by w*h*765 (channel 0) or w*h*255, counting every pixel
// of the rect. Returns -1.0 when the rects' sizes differ or are empty, -2.0
// for a negative left or top, -3.0 when rectA passes a's edge or rectB b's
// (checked in that order). lockA and lockB say whether to lock each image's
// pixels for the pass (false when the caller holds them locked for a job).
double CalculateDifference(const GWorldWrapper& a, const GWorldWrapper& b, bool lockA, bool lockB, Rect rectA,
                           Rect rectB, int channel, int threshold);

// CalculateDifference's side a made once for many measurements of the same a,
// rectA, channel and threshold against other images or rects, as a search
// does: a's components over rectA that take part, the others cleared.
class PreparedDifference {
public:
    // Reads a over rectA (its pixels readable); a bad rectA is kept and
    // answered by Against. Throws std::bad_alloc when its copy of the rect
    // cannot be made.
    PreparedDifference(const GWorldWrapper& a, Rect rectA, int channel, int threshold);

    // CalculateDifference(a, b, false, lockB, rectA, rectB, channel,
    // threshold) with a as it was when prepared; the same value, bit for bit.
    double Against(const GWorldWrapper& b, bool lockB, Rect rectB) const;

    // out[i] = Against(b, lockB, rectsB[i]) for i < count, the same values,
    // measured a band of rows at a time for all rects, so that the rows of a
    // and b a band reads stay in the processor's caches.
    void AgainstEach(const GWorldWrapper& b, bool lockB, const Rect* rectsB, int count, double* out) const;

private:
    // The sum of rows first ... last - 1 of the rects (rectB good).
    int64_t Sum(const GWorldWrapper& b, Rect rectB, int first, int last) const;

    int mWidthA, mHeightA; // a's size
    Rect mRect;
    int mChannel, mThreshold;
    int mStride = 0;             // pixels a row of mCounted, a multiple of 8
    std::vector<uint32_t> mCounted; // a's pixels over rectA, components that do not take part (and alpha) 0
};

// Tests: true makes CalculateDifference and PreparedDifference use their
// portable loops even where the processor has vector instructions.
void ForcePortableDifferenceForTesting(bool force);

// Mean pixel value over rect divided by 255 (0...1). -1.0 for an empty rect,
// -2.0 for a negative left or top, -3.0 for a rect past the image's edge.
double CalculateValue(const GWorldWrapper& image, Rect rect);

// (largest - smallest pixel value + 1) / 256 over rect, so a uniform rect
// gives 1/256. Bad rects as CalculateValue.
double CalculateValueRange(const GWorldWrapper& image, Rect rect);

// Mean of the red, green and blue components over rect, 0...255. Bad rects as
// CalculateValue.
double CalculateAverageValue(const GWorldWrapper& image, Rect rect);

// Centroid of the pixel values >= threshold over rect, in absolute image
// coordinates: with w, h the rect's size and the centre (w/2, h/2),
// out = rect's corner + centre + the value-weighted mean offset from the
// centre, each division truncating toward zero; the centre when no pixel
// takes part. Only the part of rect inside the image is read.
void CalculateValueCentroid(const GWorldWrapper& image, Rect rect, int threshold, Point& out);

// The same per channel, weighting by the channel's component (taking part
// when >= threshold), with the centre ((w+1)/2, (h+1)/2).
void CalculateRGBCentroids(const GWorldWrapper& image, Rect rect, int threshold, Point& red, Point& green, Point& blue);

// Radial distribution of the power spectrum of the square rect (bottom and
// right included, side N = 32, 64, 128 or 256) of pixel values / 255: out[0
// .. n-1] is zeroed, then every |F(u, v)| with horizontal frequency v <
// N/2 is added to out[trunc(hypot(min(u, N - u), v))] when that index is < n.
// Returns 0; -1 when the rect is not square; -2 for another side; -3 when the
// FFT cannot be prepared. Throws std::bad_alloc when its two N x N arrays
// cannot be allocated. One thread at a time (FFT scratch).
[[nodiscard]] int CalculatePowerSpectrumDistributionFromFourierTransform(const GWorldWrapper& image, Rect rect,
                                                                         double* out, int n);

// Factor that brings the whole image to target (0...255): mode 1, target/255
// over the mean pixel value; any other mode, target over the largest red,
// green or blue component. -1.0 for a target outside 0...255 and when the
// image is black (mean 0 or largest component 0), so callers can skip it.
double CalculateNormalizationFactor(const GWorldWrapper& image, int target, int mode);
