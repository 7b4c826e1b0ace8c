// imaging/StarRework.h: the three stages that tidy found stars in the planes
// of sums: dering (dark pixels near a star take the median of the sky around
// them), truncate (star pixels beyond a radius from the centre take the
// median of the nearby non-star pixels) and blur (each star's neighbourhood
// smoothed with the program's Gaussian kernel). Values are in stack units; a
// pixel's value is the largest of its three sums.
#pragma once

#include <vector>

#include "imaging/StarDetection.h"
#include "imaging/SumPlanes.h"

// Ranges of the settings.
constexpr int kDeringMinRadius = 1;
constexpr int kDeringMaxRadius = 64;
constexpr int kTruncateMinRadius = 1;
constexpr int kTruncateMaxRadius = 64;
// The farthest ring the median searches.
constexpr int kStarMedianMaxRing = 19;

struct StarReworkParams {
    int deringRadius = 15;   // pixels, kDeringMinRadius .. kDeringMaxRadius
    int deringThreshold = 0; // stack units; 0 = no dering
    int truncateRadius = 32; // pixels, kTruncateMinRadius .. kTruncateMaxRadius
    double blurRadius = 0.1; // the Gaussian kernel's radius, 0.1 .. 20.0
    int spread = 0;          // the star level of the find, stack units
};

// Dering: live starts as a copy of saved; then, when deringThreshold > 0, for
// each star every pixel within deringRadius of its centre (dx² + dy² <= R²)
// whose saved value is below the threshold takes, per channel, the upper
// median (element count / 2 of the sorted values) of the saved pixels on the
// nearest square ring around it (rings 1 .. kStarMedianMaxRing, each read as
// top row, bottom row, left column, right column) that holds pixels with
// saved value >= threshold and < spread; with none on any ring it keeps its
// value. Any thread, on its own planes.
void DeringStars(const ConstSumPlanes& saved, const SumPlanes& live, const std::vector<Star>& stars,
                 const StarReworkParams& params);

// Truncate, in place on live: for each star in order, each star pixel of its
// mask (row by row) that lies outside the disc (dx² + dy² < T² + 1) around the
// centre takes the per-channel upper median of the nearest ring's pixels whose
// live value is below spread; later pixels see earlier replacements.
void TruncateStars(const SumPlanes& live, const std::vector<Star>& stars, const StarReworkParams& params);

// Blur: every pixel of each star's bounds widened by the kernel's half width
// (clipped to the image) becomes, per channel, trunc(weighted sum / sum of
// the weights used) over the kernel of CreateGaussianBlurConvolutionKernel
// (blurRadius); neighbours outside the image take no part, so a flat area
// stays flat up to the image's edges. All results are written after every
// star was computed. blurRadius <= 0 (or NaN) changes nothing. Throws
// std::bad_alloc with live unchanged.
void BlurStars(const SumPlanes& live, const std::vector<Star>& stars, const StarReworkParams& params);

// The three stages in order, from saved into live.
void ReworkStars(const ConstSumPlanes& saved, const SumPlanes& live, const std::vector<Star>& stars,
                 const StarReworkParams& params);
