// imaging/Resample.h: resampling a clip image by a scale factor, and 2 x 2
// binning. Each replaces the caller's image (same object, new size).
#pragma once

#include "platform/core/GWorldWrapper.h"

// Largest side an image may have: sides are stored in 16 bits.
constexpr int kMaxImageSide = 32767;

// The clip resample command's methods, in the order of its menu.
constexpr int kResampleNearestNeighbor = 0;
constexpr int kResampleBilinear = 1;
constexpr int kResampleBicubic = 2;
constexpr int kResampleBinFourToOne = 3;

// Common rules of the four operations:
// - The new size is trunc(height * scale) by trunc(width * scale).
// - The stretch maps destination pixel d to source pixel floor(d * old / new)
//   on each axis (the image copy's rule).
// - On success image holds the result at the new size, alpha included, and
//   the result is true.
// - On failure the result is false and image keeps its old size and pixels:
//   a new side below 1 (or a NaN scale) fails quietly; a new side above
//   kMaxImageSide, or memory running out, raises the out-of-memory alert
//   first (safe on a worker).
// Threads: any, on an image the calling thread owns.

// The stretched copy.
[[nodiscard]] bool ResampleNearestNeighbor(GWorldWrapper* image, double scale);

// The stretched copy, then per channel a plus-shaped mean: the pixel and
// those of its four direct neighbours that lie inside the image, summed and
// divided by their count (truncated).
[[nodiscard]] bool ResampleImageBilinear(GWorldWrapper* image, double scale);

// The stretched copy, then per channel the mean of the 3 x 3 block around each
// pixel, restricted to the image (truncated).
[[nodiscard]] bool ResampleImageBicubic(GWorldWrapper* image, double scale);

// Half size (h / 2 by w / 2): each result component is the sum of its 2 x 2
// source block, capped at 255 (binning adds, it does not average). A last odd
// row or column is dropped. An image under 2 pixels on a side fails quietly.
[[nodiscard]] bool BinFourToOne(GWorldWrapper* image);

// Test hook: the resampling takes its portable loops even where AVX2 is
// available (false restores the choice), so that tests cover both. Not for
// use by the program.
void ForcePortableResampleForTesting(bool force);
