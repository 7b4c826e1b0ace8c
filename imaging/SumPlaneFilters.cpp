// imaging/SumPlaneFilters.cpp: rectangles of sums and the blur of the planes.
#include "imaging/SumPlaneFilters.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

#include "imaging/GaussianBlur.h"

Rect ClipRectToPlanes(Rect r, int width, int height)
{
    const int top = std::max<int>(r.top, 0), left = std::max<int>(r.left, 0);
    const int bottom = std::min<int>(r.bottom, height), right = std::min<int>(r.right, width);
    if (bottom <= top || right <= left)
        return Rect{};
    return MakeRect(top, left, bottom, right);
}

void CopySumPlanesRect(const ConstSumPlanes& from, const SumPlanes& to, Rect rect)
{
    assert(from.width == to.width && from.height == to.height);
    const Rect r = ClipRectToPlanes(rect, from.width, from.height);
    if (r.IsEmpty())
        return;
    const int32_t* in[3] = {from.red, from.green, from.blue};
    int32_t* out[3] = {to.red, to.green, to.blue};
    const std::size_t w = static_cast<std::size_t>(from.width);
    for (int c = 0; c < 3; ++c)
        for (int y = r.top; y < r.bottom; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * w;
            std::copy(in[c] + row + r.left, in[c] + row + r.right, out[c] + row + r.left);
        }
}

void BlurSumPlanes(const ConstSumPlanes& saved, double radius, DoublePlanes& source, DoublePlanes& blurred)
{
    assert(source.Width() == saved.width && source.Height() == saved.height);
    assert(blurred.Width() == saved.width && blurred.Height() == saved.height);
    SumPlanesToDoubles(saved, source);
    // Reports nothing but std::bad_alloc, which passes on.
    (void)GaussianBlurFloatArraysToFloatArrays(radius, saved.height, saved.width, source.Rows(0), source.Rows(1),
                                               source.Rows(2), blurred.Rows(0), blurred.Rows(1), blurred.Rows(2));
}

void GaussianBlurSumPlanes(const ConstSumPlanes& saved, double radius, DoublePlanes& source, DoublePlanes& result,
                           const SumPlanes& out)
{
    BlurSumPlanes(saved, radius, source, result);
    DoublesToSumPlanes(result, out);
}
