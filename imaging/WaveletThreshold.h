// imaging/WaveletThreshold.h: wavelet noise reduction of the summed stack's planes: an area of the
// planes, padded with mirrored borders to sides that are powers of two, decomposed once per colour
// into a steerable pyramid, and rebuilt after soft thresholding with one threshold per pyramid level.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "imaging/DoublePlanes.h"
#include "imaging/SteerablePyramid.h"
#include "imaging/SumPlanes.h"
#include "platform/core/Geometry.h"

// Thresholds are set in percent of the analysed area's range (max - min of its sums), one per
// pyramid level plus one for the high-pass residual; at most kWaveletMaxThresholds of them.
inline constexpr double kWaveletThresholdMin = 0.0;
inline constexpr double kWaveletThresholdMax = 100.0;
inline constexpr double kWaveletThresholdDefault = 0.0;
inline constexpr int kWaveletMaxThresholds = 10;
// A preview area is at least this many pixels wide and high (less only on a smaller stack).
inline constexpr int kWaveletMinPreviewSide = 32;

// r widened to kWaveletMinPreviewSide where it is narrower or shorter: right = left + 32 (bottom =
// top + 32), and when that reaches the width (height) the rectangle moves back by right - width + 1,
// as users know it. Always kept within 0 .. width and 0 .. height, so a stack smaller than 32
// gives its whole side.
Rect MinimumWaveletPreviewBounds(Rect r, int width, int height);

// The smallest power of two >= n (1 for n <= 1; at most 2^30).
int SmallestPowerOfTwoAtLeast(int n);

// Where an area lies and how it is padded for the pyramid.
struct WaveletPreviewArea {
    Rect preview;         // image coordinates, inside the stack
    int paddedWidth = 0;  // PW: the smallest power of two >= the preview width
    int paddedHeight = 0; // PH
    int padLeft = 0, padRight = 0, padTop = 0, padBottom = 0;
    Rect bordered;     // preview widened by the paddings; may reach outside the stack
    int numLevels = 0; // SteerablePyramid::DetermineNumLevels(PW, PH)
};

// Padding: PW - w split with the odd pixel on the right (PH - h likewise, odd pixel at the bottom).
// A 100 x 60 area pads to 128 x 64 with 14/14 and 2/2.
WaveletPreviewArea ComputeWaveletPreviewArea(Rect preview);

// The per-level list SoftThreshold takes: numLevels + 1 entries, entry i = percents[i] / 100 for
// i < count, 0 beyond. Entries of sliders without a level are left out.
std::vector<double> WaveletThresholdList(const double* percents, int count, int numLevels);
// True when no entry would change a coefficient (all are 0 or less).
bool WaveletThresholdsNeutral(const std::vector<double>& thresholds);

// input (PW x PH) = the bordered area of saved as doubles. Outside the stack the planes are
// mirrored: column x < 0 reads -x, x >= W reads 2W - 1 - x (rows likewise), folded again as often
// as a tiny stack needs so that no read leaves the planes. Any thread.
void CopyMirroredWaveletArea(const ConstSumPlanes& saved, const WaveletPreviewArea& area, DoublePlanes& input);

// The preview rectangle of live = the matching pixels of output (PW x PH), rounded (RoundedSum:
// negatives and NaN 0): the pyramid rebuilds its input only to within a little over one, and
// truncation would darken half the area by one at any threshold. The border is dropped. Nothing outside the rectangle changes.
void WriteBackWaveletArea(const DoublePlanes& output, const WaveletPreviewArea& area, const SumPlanes& live);

// Test hook: the next n calls of WaveletThresholdPlanes::Prepare fail as if memory ran out (0 stops).
void FailNextWaveletPreparesForTesting(int n);

// The working state of one denoising: the area's padded planes, their pyramids as analysed and the
// thresholded copies. Main thread use: the pyramids' shared statics allow one analysis or synthesis
// at a time in the process.
class WaveletThresholdPlanes {
public:
    WaveletThresholdPlanes();

    // Chooses the area for preview (inside saved) and copies its bordered planes; old arrays of
    // another size are released first, those of the same size used again. keepAnalysis false (a single rebuild, as OK makes) analyses into the pyramids
    // that are thresholded, saving a copy of every pyramid. Throws std::bad_alloc with the arrays
    // released (Empty() then).
    void Prepare(const ConstSumPlanes& saved, Rect preview, bool keepAnalysis = true);
    // Decomposes the three planes (red, green, blue; progress bases 0, L and 2L). Throws std::bad_alloc.
    void Analyse(const PyramidProgress& progress = {});
    // Rebuilds the area with these per-level thresholds (WaveletThresholdList) and writes its preview
    // rectangle into live. Neutral thresholds copy the rectangle from saved exactly instead: the
    // pyramid rebuilds only nearly perfectly, and an untouched stack must stay as it is. Progress
    // bases 0, L and 2L. Throws std::bad_alloc with live unchanged.
    void Synthesise(const std::vector<double>& thresholds, const ConstSumPlanes& saved, const SumPlanes& live,
                    const PyramidProgress& progress = {});
    // Releases the arrays (the pyramids keep their storage for the next area of the same size).
    void Release();

    bool Empty() const { return mInput.IsEmpty(); }
    const WaveletPreviewArea& Area() const { return mArea; }
    int NumLevels() const { return mArea.numLevels; }
    bool Analysed() const { return mAnalysed; }
    // For inspection: channel 0 red, 1 green, 2 blue.
    const SteerablePyramid& Working(int channel) const { return *mWorking[channel]; }
    const DoublePlanes& Input() const { return mInput; }
    const DoublePlanes& Output() const { return mOutput; }

private:
    WaveletPreviewArea mArea;
    DoublePlanes mInput, mOutput;
    std::array<std::unique_ptr<SteerablePyramid>, 3> mWorking;
    std::array<std::unique_ptr<SteerablePyramid>, 3> mKept; // the analysis, when kept
    bool mKeepAnalysis = true;
    bool mAnalysed = false;
    bool mWorkingFresh = false; // mWorking holds the analysis untouched
};
