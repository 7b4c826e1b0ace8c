// imaging/SumProjection.h: rows of the stack's three planes of sums shown as
// 8-bit pixels: each value trunc(sum / d), 255 from 256 up, 0 below 0.
#pragma once

#include <cstdint>

// The shown value of one sum for divisor d > 0.
uint8_t ProjectedSum(int32_t sum, double d);

// Writes the shown values of red[x], green[x] and blue[x] for x in
// [0, count) into the red, green and blue bytes of the 32-bit pixels at out
// (bytes alpha, red, green, blue), alpha kept; d > 0. The same bytes as
// ProjectedSum, faster when d is a whole number. Any thread.
void ProjectSumRow(const int32_t* red, const int32_t* green, const int32_t* blue, uint8_t* out, int count, double d);
