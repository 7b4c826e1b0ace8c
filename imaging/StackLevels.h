// imaging/StackLevels.h: the histogram levels tool's work on the summed
// stack's planes: black point, white point and gamma applied to the pixel
// value or to each colour, always from the planes saved at opening; the
// clipped pixels marked for display; black and white points found from a
// histogram so that a given share of pixels is clipped at either end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Levels.h"
#include "imaging/SumPlanes.h"

class Histogram;

// Slots of the four level settings: the pixel value (max of R, G, B), then
// the three colours.
inline constexpr int kLevelsValue = 0;
inline constexpr int kLevelsRed = 1;
inline constexpr int kLevelsGreen = 2;
inline constexpr int kLevelsBlue = 3;

// Bins of the histograms the levels are read from; full scale of a plane is
// (bins - 1) × N stack units, N being the frames summed.
inline constexpr int kLevelsHistogramBins = 256;

// The automatic levels' share of pixels clipped at each end, in percent.
inline constexpr double kAutoLevelsPercentageMin = 0.0;
inline constexpr double kAutoLevelsPercentageMax = 49.99;

// One channel's levels, in stack units.
struct LevelCutoffs {
    double black = 0.0;        // 0 .. white - 1 when set by the user
    double white = 0.0;        // black + 1 .. 255 × N
    double gammaInverse = 1.0; // 1 / gamma; gamma 0 .. 10, so 0.1 .. +infinity
};

// The neutral levels of a stack of numFrames: black 0, white 255 × N, gamma 1.
LevelCutoffs NeutralLevelCutoffs(double numFrames);
// True when c is exactly the neutral levels of numFrames.
bool IsNeutralLevelCutoffs(const LevelCutoffs& c, double numFrames);

// The number of levels the remap tables cover: trunc(256 × N), 0 for N <= 0
// (or NaN), at most INT32_MAX (sums cannot exceed it).
int StackLevelCount(double numFrames);

// Bytes of lookup tables one levelling of numLevels needs (three colour
// tables and the value table), for a check against free memory first; 0
// when numLevels exceeds pixelCount, the planes' pixels: such curves are
// evaluated per pixel instead of tabulated.
int64_t StackLevelTableBytes(int numLevels, std::size_t pixelCount = SIZE_MAX);

// The clip maps: one byte per pixel per colour, w × h each (kLevelInside,
// kLevelBelowLow, kLevelAboveHigh of imaging/Levels.h). Not owned.
struct LevelClipMaps {
    char* red = nullptr;
    char* green = nullptr;
    char* blue = nullptr;
};

// Which planes a levelling recomputes.
struct LevelPlaneSelection {
    bool value = false; // all three, through the value levels and each colour's
    bool red = false;   // otherwise only the colours flagged, each by its own
    bool green = false;
    bool blue = false;
};

// Recomputes the selected planes of live from saved (the same size) with
// levels[0 .. 3] (value, red, green, blue) over numFrames frames, writing
// each recomputed colour's clip map:
//   - value selected and the value levels not neutral: the three saved
//     planes through RemapLongImageComponentsFromLevelCutoffs with all four
//     levels (the value curve scales R, G and B alike, keeping the hue);
//   - otherwise every selected colour (all three for value) on its own plane
//     with its own levels; a colour at neutral levels is an exact copy of
//     its saved plane, so opening the tool and leaving it changes nothing
//     (a levelling at any other setting limits sums to 256 × N - 1).
// Planes not selected keep what they hold. With no levels (N <= 0) the
// selected planes are copied and their maps cleared. When a table cannot be
// made std::bad_alloc passes, the selected planes then holding their saved
// values or their last levels. tables (may be null): the curves' tables kept
// between levellings (see RemapLongImageComponentsFromLevelCutoffs). Any
// thread; touches only its arguments.
void LevelStackPlanes(const ConstSumPlanes& saved, const SumPlanes& live, double numFrames,
                      const LevelCutoffs levels[4], LevelPlaneSelection which, const LevelClipMaps& maps,
                      LevelTables* tables = nullptr);

// The clipping display: in every colour flagged, a pixel whose clip map
// says below the black point becomes full scale trunc(255 × N) and one above
// the white point becomes 0, so clipped shadows show white and clipped
// highlights black. Only for showing: the tool levels again without marks
// before the planes are kept. Any thread; touches only its arguments.
void MarkLevelClipping(const SumPlanes& live, const LevelClipMaps& maps, bool red, bool green, bool blue,
                       double numFrames);

// Automatic black and white points from a histogram normalised to a sum of
// 1 with (at least) 256 bins, for a share of percentage / 100 of pixels
// clipped at each end (percentage clamped to 0 .. 49.99):
//   black = trunc(b × N) for the last bin b from the bottom at which the
//   running sum of bins 0 .. b is still <= p (0 when bin 0 already exceeds
//   it); white likewise from the top, trunc(255 × N) when bin 255 already
//   exceeds it.
// With p = 0 black lies one bin below the lowest occupied bin and white one
// above the highest. A histogram without counts gives the neutral points
// (black 0, white 255 × N) instead of inverted ones. Any thread.
void AutoLevelCutoffs(const Histogram& histogram, double percentage, double numFrames, double& black, double& white);
