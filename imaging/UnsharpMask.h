// imaging/UnsharpMask.h: the unsharp mask of the summed stack's planes over
// a rectangle: mask = (saved - blurred) × intensity, result = saved + mask
// written through the ringing threshold. The blur itself is BlurSumPlanes
// (imaging/SumPlaneFilters.h), over the whole image, so the preview of a
// rectangle and the final whole-image result use the same numbers.
#pragma once

#include "imaging/DoublePlanes.h"
#include "imaging/SumPlanes.h"
#include "platform/core/Geometry.h"

// The settings' ranges (the dialog's sliders and edit field keep to them).
inline constexpr double kUnsharpMaskIntensityMin = 0.0;
inline constexpr double kUnsharpMaskIntensityMax = 160.0;

struct UnsharpMaskParams {
    double intensity = 0.0;   // kUnsharpMaskIntensityMin .. Max; 0 gives the saved planes back, 1 the plain difference
    int ringingThreshold = 0; // kRingingThresholdMin .. Max, display levels; 0 lets every pixel darken
    double numFrames = 1.0;   // frames summed: full scale of a sum is 255 × numFrames
};

// For every pixel of rect (clipped to the planes) and channel: mask =
// saved - blurred, multiplied by intensity unless intensity is negative or
// exactly 1.0 (both leave the plain difference). Outside rect mask stays.
// All the same size. Any thread.
void SubtractBlurToMask(const ConstSumPlanes& saved, const DoublePlanes& blurred, Rect rect, double intensity,
                        DoublePlanes& mask);

// Rebuilds rect (clipped) of out from saved and mask: per channel c = saved
// + mask; the pixel's value is the largest of FilteredSum(c); pixels whose
// value >= ringingThreshold × numFrames take FilteredSum(c) (negative sums
// become 0, sums beyond the int32 range INT32_MAX), darker ones keep the
// larger of that and their saved sum (WriteRingingThresholdPixel). Outside
// rect out stays. Threshold 0 gives the plain unsharp mask clamped at 0;
// threshold 255 keeps every pixel below full scale from darkening.
// All the same size. Any thread.
void AddMaskToSumPlanes(const ConstSumPlanes& saved, const DoublePlanes& mask, Rect rect, int ringingThreshold,
                        double numFrames, const SumPlanes& out);

// Both steps over rect from a blurred copy of saved: the dialog's preview and
// its final whole-image pass.
void UnsharpMaskSumPlanes(const ConstSumPlanes& saved, const DoublePlanes& blurred, Rect rect,
                          const UnsharpMaskParams& params, DoublePlanes& mask, const SumPlanes& out);
