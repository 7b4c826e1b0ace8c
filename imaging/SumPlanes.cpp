// imaging/SumPlanes.cpp: copying the planes of sums.
#include "imaging/SumPlanes.h"

#include <algorithm>

void CopySumPlanes(const ConstSumPlanes& from, const SumPlanes& to)
{
    const std::size_t n = from.Count();
    std::copy(from.red, from.red + n, to.red);
    std::copy(from.green, from.green + n, to.green);
    std::copy(from.blue, from.blue + n, to.blue);
}
