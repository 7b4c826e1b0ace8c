// imaging/DoublePlanes.h: three planes of doubles (red, green, blue) with the
// row pointers the convolution routines take, and the conversions between
// them and the summed stack's planes of 32-bit sums. The working copies of
// the stack tools (sources, blurs, masks, pyramid layers) are of this type.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "imaging/SumPlanes.h"

class DoublePlanes {
public:
    DoublePlanes() = default;
    // width × height zeros per channel. Throws std::bad_alloc (also for a
    // negative size) with nothing allocated.
    DoublePlanes(int width, int height);
    // width × height values per channel left unset, for planes every value
    // of which is written before it is read (no pass over the memory here).
    // Throws like the constructor above.
    static DoublePlanes Unset(int width, int height);
    DoublePlanes(DoublePlanes&&) noexcept = default;
    DoublePlanes& operator=(DoublePlanes&&) noexcept = default;
    DoublePlanes(const DoublePlanes&) = delete; // the row pointers point into this object's own data
    DoublePlanes& operator=(const DoublePlanes&) = delete;

    int Width() const { return mWidth; }
    int Height() const { return mHeight; }
    bool IsEmpty() const { return mWidth <= 0 || mHeight <= 0; }

    // channel 0 red, 1 green, 2 blue; Rows(c)[y][x] is row y, column x.
    double** Rows(int channel) { return mRows[channel].data(); }
    double* Row(int channel, int y) { return mRows[channel][static_cast<std::size_t>(y)]; }
    const double* Row(int channel, int y) const { return mRows[channel][static_cast<std::size_t>(y)]; }

private:
    DoublePlanes(int width, int height, bool zero);

    int mWidth = 0, mHeight = 0;
    std::unique_ptr<double[]> mData[3];
    std::vector<double*> mRows[3];
};

// to = the sums of from as doubles (exact). Sizes must match. Any thread.
void SumPlanesToDoubles(const ConstSumPlanes& from, DoublePlanes& to);

// A double as a sum: truncated toward zero and limited to the int32 range;
// NaN gives 0. A value within 1e-10 (relative) of a whole number counts as
// that number first, so the rounding error of a filter cannot turn an exact
// result such as a flat area's level into the level below it.
int32_t TruncateToSum(double value);

// to = TruncateToSum of every value of from. Sizes must match. Any thread.
void DoublesToSumPlanes(const DoublePlanes& from, const SumPlanes& to);
