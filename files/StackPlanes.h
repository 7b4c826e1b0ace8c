// files/StackPlanes.h: small operations on int32 planes (row-major, width ×
// height) shared by the stack's file formats.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest value of the three planes over their first n entries, by signed
// comparison starting from 0 (all-negative planes give 0). Any thread.
int32_t LargestPlaneValue(const int32_t* red, const int32_t* green, const int32_t* blue, std::size_t n);

// Copies src (srcWidth × srcHeight) into dst (dstWidth × dstHeight) with the
// program's nearest-neighbour stretch, dst(y, x) = src(floor(y × srcHeight /
// dstHeight), floor(x × srcWidth / dstWidth)), the same rule as image copies.
// Equal sizes give an exact copy. All sizes at least 1. Any thread.
void StretchPlane(const int32_t* src, int srcWidth, int srcHeight, int32_t* dst, int dstWidth, int dstHeight);

// Subtracts the plane's smallest value from every entry when that value is
// negative, so the smallest becomes 0; differences too large for int32 are
// limited to INT32_MAX. Leaves planes with no negative value unchanged.
void ShiftPlaneMinimumToZero(int32_t* plane, std::size_t n);
