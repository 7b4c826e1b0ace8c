// files/StackPlanes.cpp: plane maximum, stretch and minimum shift.
#include "files/StackPlanes.h"

#include <algorithm>
#include <vector>

int32_t LargestPlaneValue(const int32_t* red, const int32_t* green, const int32_t* blue, std::size_t n)
{
    int32_t largest = 0;
    for (const int32_t* plane : {red, green, blue}) {
        for (std::size_t i = 0; i < n; ++i)
            largest = std::max(largest, plane[i]);
    }
    return largest;
}

void StretchPlane(const int32_t* src, int srcWidth, int srcHeight, int32_t* dst, int dstWidth, int dstHeight)
{
    std::vector<int> column(static_cast<std::size_t>(dstWidth));
    for (int x = 0; x < dstWidth; ++x)
        column[x] = static_cast<int>(static_cast<int64_t>(x) * srcWidth / dstWidth);
    for (int y = 0; y < dstHeight; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * srcHeight / dstHeight);
        const int32_t* srcRow = src + static_cast<std::size_t>(sy) * srcWidth;
        int32_t* dstRow = dst + static_cast<std::size_t>(y) * dstWidth;
        for (int x = 0; x < dstWidth; ++x)
            dstRow[x] = srcRow[column[x]];
    }
}

void ShiftPlaneMinimumToZero(int32_t* plane, std::size_t n)
{
    if (n == 0)
        return;
    const int32_t minimum = *std::min_element(plane, plane + n);
    if (minimum >= 0)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        const int64_t shifted = static_cast<int64_t>(plane[i]) - minimum;
        plane[i] = static_cast<int32_t>(std::min<int64_t>(shifted, INT32_MAX));
    }
}
