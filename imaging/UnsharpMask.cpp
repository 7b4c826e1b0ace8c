// imaging/UnsharpMask.cpp: the mask and its addition under the ringing
// threshold.
#include "imaging/UnsharpMask.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

#include "imaging/SumPlaneFilters.h"

void SubtractBlurToMask(const ConstSumPlanes& saved, const DoublePlanes& blurred, Rect rect, double intensity,
                        DoublePlanes& mask)
{
    assert(blurred.Width() == saved.width && blurred.Height() == saved.height);
    assert(mask.Width() == saved.width && mask.Height() == saved.height);
    const Rect r = ClipRectToPlanes(rect, saved.width, saved.height);
    if (r.IsEmpty())
        return;
    // Intensity 1.0 is the difference itself; a negative one never comes
    // from the dialog and is left unscaled rather than inverting the mask.
    const bool scale = !(intensity < 0.0) && intensity != 1.0;
    const int32_t* planes[3] = {saved.red, saved.green, saved.blue};
    const std::size_t w = static_cast<std::size_t>(saved.width);
    for (int c = 0; c < 3; ++c)
        for (int y = r.top; y < r.bottom; ++y) {
            const int32_t* s = planes[c] + static_cast<std::size_t>(y) * w;
            const double* b = blurred.Row(c, y);
            double* m = mask.Row(c, y);
            for (int x = r.left; x < r.right; ++x) {
                const double d = static_cast<double>(s[x]) - b[x];
                m[x] = scale ? d * intensity : d;
            }
        }
}

void AddMaskToSumPlanes(const ConstSumPlanes& saved, const DoublePlanes& mask, Rect rect, int ringingThreshold,
                        double numFrames, const SumPlanes& out)
{
    assert(mask.Width() == saved.width && mask.Height() == saved.height);
    assert(out.width == saved.width && out.height == saved.height);
    const Rect r = ClipRectToPlanes(rect, saved.width, saved.height);
    if (r.IsEmpty())
        return;
    const double limit = static_cast<double>(ringingThreshold) * numFrames;
    const std::size_t w = static_cast<std::size_t>(saved.width);
    for (int y = r.top; y < r.bottom; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * w;
        const double* m[3] = {mask.Row(0, y), mask.Row(1, y), mask.Row(2, y)};
        for (int x = r.left; x < r.right; ++x) {
            const std::size_t i = row + static_cast<std::size_t>(x);
            const int32_t s[3] = {saved.red[i], saved.green[i], saved.blue[i]};
            const int32_t f[3] = {FilteredSum(s[0] + m[0][x]), FilteredSum(s[1] + m[1][x]),
                                  FilteredSum(s[2] + m[2][x])};
            const double value = std::max({f[0], f[1], f[2]});
            int32_t v[3];
            WriteRingingThresholdPixel(f, value, limit, s, v);
            out.red[i] = v[0];
            out.green[i] = v[1];
            out.blue[i] = v[2];
        }
    }
}

void UnsharpMaskSumPlanes(const ConstSumPlanes& saved, const DoublePlanes& blurred, Rect rect,
                          const UnsharpMaskParams& params, DoublePlanes& mask, const SumPlanes& out)
{
    SubtractBlurToMask(saved, blurred, rect, params.intensity, mask);
    AddMaskToSumPlanes(saved, mask, rect, params.ringingThreshold, params.numFrames, out);
}
