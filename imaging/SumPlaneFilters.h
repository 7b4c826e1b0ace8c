// imaging/SumPlaneFilters.h: the steps the filter tools of the summed stack
// share: a rectangle of sums copied back, the Gaussian blur of the planes
// and the ringing threshold that decides how a filtered pixel is written.
// Every routine touches only the planes it is given; any thread, one set of
// planes per thread.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "imaging/DoublePlanes.h"
#include "imaging/SumPlanes.h"
#include "platform/core/Geometry.h"

// The ringing threshold, in display levels: filtered pixels at or above
// threshold × the number of frames summed (full scale is 255 × that) take
// their filtered values; darker ones may only get brighter.
inline constexpr int kRingingThresholdMin = 0;
inline constexpr int kRingingThresholdMax = 255;

// r clipped to a width × height plane (bottom and right excluded); empty
// (all 0) when nothing of it lies inside.
Rect ClipRectToPlanes(Rect r, int width, int height);

// Copies rectangle rect (clipped) of from into to; the rest of to stays.
// Both the same size.
void CopySumPlanesRect(const ConstSumPlanes& from, const SumPlanes& to, Rect rect);

// source = saved as doubles, then blurred = its Gaussian blur at radius over
// the whole image (GaussianBlurFloatArraysToFloatArrays: radius 0 copies, a
// negative radius leaves blurred as it was). All the same size. Lets
// std::bad_alloc pass after the out-of-memory alert, with blurred unwritten.
void BlurSumPlanes(const ConstSumPlanes& saved, double radius, DoublePlanes& source, DoublePlanes& blurred);

// The Gaussian blur tool's whole step: BlurSumPlanes, then every sum of out
// = the blurred value truncated toward zero (TruncateToSum). Always starts
// from saved, so a radius gives the same planes however it was reached.
void GaussianBlurSumPlanes(const ConstSumPlanes& saved, double radius, DoublePlanes& source, DoublePlanes& result,
                           const SumPlanes& out);

// A filtered channel value as a sum: TruncateToSum(c) (truncated toward
// zero, a hair below a whole number counting as it), 0 for a negative c (or
// NaN), INT32_MAX at most, so a strong filter of a bright stack cannot wrap
// round into a dark value.
inline int32_t FilteredSum(double c)
{
    return c >= 0.0 ? TruncateToSum(c) : 0;
}

// A rebuilt channel value as a sum: c rounded to the nearest whole number
// (halves away from zero), 0 for a negative c (or NaN), INT32_MAX at most.
// For transforms that give their input back only nearly exactly (41.9999
// for 42): truncating would darken half of an unchanged area by one.
inline int32_t RoundedSum(double c)
{
    const double v = std::round(c);
    if (!(v > 0.0))
        return 0;
    return v < static_cast<double>(std::numeric_limits<int32_t>::max()) ? static_cast<int32_t>(v)
                                                                        : std::numeric_limits<int32_t>::max();
}

// The ringing-threshold write of one pixel. filtered: the FilteredSum of
// the pixel's three filtered values; value: the pixel's brightness as the
// tool measures it; limit: threshold × frames summed (compared as doubles);
// saved: the pixel's sums at opening. value >= limit: each channel becomes
// its filtered sum. Otherwise each channel becomes the larger of its
// filtered sum and its saved sum: below the threshold sharpening can only
// brighten, which keeps dark halos (ringing) away from bright detail.
inline void WriteRingingThresholdPixel(const int32_t filtered[3], double value, double limit, const int32_t saved[3],
                                       int32_t out[3])
{
    const bool bright = value >= limit;
    for (int k = 0; k < 3; ++k)
        out[k] = bright || filtered[k] > saved[k] ? filtered[k] : saved[k];
}
