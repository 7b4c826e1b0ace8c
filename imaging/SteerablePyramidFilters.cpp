// imaging/SteerablePyramidFilters.cpp: loading the steerable pyramid's filters from the compiled set.
#include "imaging/SteerablePyramidFilters.h"

#include <array>
#include <cassert>
#include <mutex>

namespace {

// Each entry sized for the largest filter; filter i uses its first d_i^2 values.
std::array<std::array<double, kPyramidFilterSlotSize>, kNumPyramidFilters> sgFilters;
std::array<std::array<double, kPyramidFilterSlotSize>, kNumPyramidFilters> sgFiltersInv;
std::array<int, kNumPyramidFilters> sgFilterDims;
std::once_flag sFiltersLoaded;

void readFilterSetFromStatics()
{
    for (int i = 0; i < kNumPyramidFilters; ++i) {
        const int d = skgFilterDims[i];
        sgFilterDims[i] = d;
        for (int k = 0; k < d * d; ++k)
            sgFilters[i][k] = skgFilters[i][k];
    }
    // The recursive low-pass is stored with gain 2 at zero frequency; it is used with gain 1.
    for (int k = 0; k < kPyramidFilterSlotSize; ++k)
        sgFilters[kPyramidLowpassFilter][k] *= 0.5;
    for (int i = 0; i < kNumPyramidFilters; ++i) {
        const int n = sgFilterDims[i] * sgFilterDims[i];
        for (int k = 0; k < n; ++k)
            sgFiltersInv[i][k] = sgFilters[i][n - 1 - k];
    }
}

} // namespace

void LoadPyramidFilters()
{
    std::call_once(sFiltersLoaded, readFilterSetFromStatics);
}

int PyramidNumLevels(int w, int h)
{
    const int t = skgFilterDims[kPyramidLowpassFilter];
    int m = w < h ? w : h;
    int levels = 0;
    while (m > t) {
        m /= 2;
        ++levels;
    }
    return levels;
}

int PyramidFilterDim(int i)
{
    assert(i >= 0 && i < kNumPyramidFilters);
    LoadPyramidFilters();
    return sgFilterDims[i];
}

const double* PyramidAnalysisFilter(int i)
{
    assert(i >= 0 && i < kNumPyramidFilters);
    LoadPyramidFilters();
    return sgFilters[i].data();
}

const double* PyramidSynthesisFilter(int i)
{
    assert(i >= 0 && i < kNumPyramidFilters);
    LoadPyramidFilters();
    return sgFiltersInv[i].data();
}
