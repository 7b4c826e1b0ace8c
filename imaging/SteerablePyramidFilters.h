// imaging/SteerablePyramidFilters.h: the steerable pyramid's seven filters, as compiled in and as
// loaded for use (recursive low-pass halved, synthesis filters turned by 180 degrees).
#pragma once

constexpr int kNumPyramidFilters = 7;
constexpr int kPyramidFilterSlotSide = 17;
constexpr int kPyramidFilterSlotSize = kPyramidFilterSlotSide * kPyramidFilterSlotSide;

// Filter roles, in table order.
constexpr int kPyramidHighpassFilter = 0;       // 15 x 15, applied once to the input
constexpr int kPyramidInitialLowpassFilter = 1; // 9 x 9, applied once to the input
constexpr int kPyramidLowpassFilter = 2;        // 17 x 17, applied at every level
constexpr int kPyramidFirstBandFilter = 3;      // 3 ... 6: the four oriented band-pass filters, 9 x 9
constexpr int kNumPyramidBands = 4;

// The compiled set: filter i occupies the first skgFilterDims[i]^2 doubles of slot i, row-major
// (row = y downward, column = x to the right); the rest of the slot is zero. Filter 2 is stored
// unhalved (sum 1.999999762).
extern const int skgFilterDims[kNumPyramidFilters];
extern const double skgFilters[kNumPyramidFilters][kPyramidFilterSlotSize];

// The filters in use, loaded from the compiled set on first call (any thread, once; later calls
// only read). Analysis filter i is the compiled filter, filter 2 multiplied by 0.5; synthesis
// filter i is analysis filter i turned by 180 degrees (element k = element d^2 - 1 - k). Both
// are d x d arrays, row-major, alive for the whole process.
void LoadPyramidFilters();
// Number of pyramid levels of a w x h image: how many times the smaller side can be halved
// (integer division) while it is larger than the recursive low-pass filter (17). Any thread.
int PyramidNumLevels(int w, int h);
int PyramidFilterDim(int i);
const double* PyramidAnalysisFilter(int i);
const double* PyramidSynthesisFilter(int i);
