// imaging/DoublePlanes.cpp: the planes of doubles and their conversions.
#include "imaging/DoublePlanes.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>

#include "platform/core/LargePages.h"

namespace {

// How near a whole number a filtered value must lie to count as it, relative
// to its size. The blur's weighted averages are a few units in the last
// place off (some 1e-14 relative), and the unsharp mask multiplies that
// error by its intensity (up to 160): without the slack a flat area of 255
// came back as 254 here and there. A true value this close to a whole
// number from below is invisible either way.
constexpr double kWholeNumberSlack = 1e-10;

} // namespace

DoublePlanes::DoublePlanes(int width, int height) : DoublePlanes(width, height, true) {}

DoublePlanes DoublePlanes::Unset(int width, int height)
{
    return DoublePlanes(width, height, false);
}

DoublePlanes::DoublePlanes(int width, int height, bool zero)
{
    if (width < 0 || height < 0)
        throw std::bad_alloc();
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    for (int c = 0; c < 3; ++c) {
        mData[c].reset(new double[w * h]);
        // Before the first write, which is what takes the pages.
        AdviseLargePages(mData[c].get(), w * h * sizeof(double));
        if (zero)
            std::fill(mData[c].get(), mData[c].get() + w * h, 0.0);
        mRows[c].resize(h);
        for (std::size_t y = 0; y < h; ++y)
            mRows[c][y] = mData[c].get() + y * w;
    }
    mWidth = width;
    mHeight = height;
}

void SumPlanesToDoubles(const ConstSumPlanes& from, DoublePlanes& to)
{
    assert(from.width == to.Width() && from.height == to.Height());
    const int32_t* planes[3] = {from.red, from.green, from.blue};
    const std::size_t w = static_cast<std::size_t>(from.width);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < from.height; ++y) {
            const int32_t* in = planes[c] + static_cast<std::size_t>(y) * w;
            double* out = to.Row(c, y);
            for (std::size_t x = 0; x < w; ++x)
                out[x] = in[x];
        }
}

int32_t TruncateToSum(double value)
{
    const double whole = std::round(value);
    if (std::abs(value - whole) <= kWholeNumberSlack * std::max(1.0, std::abs(value)))
        value = whole;
    // Compared before converting: a double outside the int32 range has no
    // defined conversion.
    if (!(value > std::numeric_limits<int32_t>::min()))
        return std::isnan(value) ? 0 : std::numeric_limits<int32_t>::min();
    if (!(value < std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value); // truncates toward zero
}

void DoublesToSumPlanes(const DoublePlanes& from, const SumPlanes& to)
{
    assert(from.Width() == to.width && from.Height() == to.height);
    int32_t* planes[3] = {to.red, to.green, to.blue};
    const std::size_t w = static_cast<std::size_t>(to.width);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < to.height; ++y) {
            const double* in = from.Row(c, y);
            int32_t* out = planes[c] + static_cast<std::size_t>(y) * w;
            for (std::size_t x = 0; x < w; ++x)
                out[x] = TruncateToSum(in[x]);
        }
}
