// engine/AlignByCrossCorrelation.h: moving clips onto the reference clip
// (clip 0) by the peak of the circular cross-correlation of the square
// operation bounds rectangle, computed with the two-dimensional FFT.
#pragma once

#include <cstdint>
#include <functional>

// A clip is moved at most this many times per channel.
constexpr int kMaxCorrelationSteps = 20;

// The pieces of one correlation step, free of clips and jobs. values are
// dim × dim doubles, row by row.

// Turns the reference into the kernel whose convolution with a clip is the
// correlation: values[r][c] becomes values[(dim - r) mod dim][(dim - c) mod
// dim], so an unshifted clip peaks at (0, 0).
void FlipReferenceCircularly(double* values, int dim);

// The first strict maximum above 0.0 in row order, as (x, y) = (column,
// row); (0, 0) when no value is positive.
void FindCorrelationPeak(const double* surface, int dim, int& x, int& y);

// The shift that undoes a peak at column (or row) x of a dim-wide surface:
// -x for x < dim / 2, else dim - x.
int CorrelationPeakToShift(int x, int dim);

// Replaces work (the clip's values) by its circular correlation with the
// reference whose packed spectrum refSpectrum holds (made by
// FlipReferenceCircularly and rfft2d). fft2dInit(logDim, logDim) must have
// succeeded.
void CorrelateWithReference(const double* refSpectrum, double* work, int dim, int logDim);

// Aligns the selected clips (never clip 0) to clip 0 by cross-correlation
// inside the bounds rectangle, one shift for the three channels or, with
// gAlignChannelsSeparately, one per channel; reference values below
// gAlignmentBrightnessThreshold / 255 are left out. Refused with a beep while
// a job runs or a dialog reads the clips, with no clip other than clip 0
// under the mouse and no persistent selection, without a bounds rectangle,
// for a rectangle that is not square or does not lie wholly inside the
// image; a square whose side is not 32, 64, 128 or 256 gets the "Illegal
// Operation Bounds Rect" alert. The out-of-memory alert when clip 0, the
// arrays or the FFT tables cannot be had; nothing else changes then. The job
// runs on one worker (the FFT scratch and the arrays are shared); the final
// gives gNumThreads back and discards the summed stack.
void AutoAlignFramesByCrossCorrelation();

// Test hook: replaces fft2dInit for the command (null restores it).
void SetCrossCorrelationFftInitForTesting(std::function<int(int32_t, int32_t)> init);
