// imaging/StackRowSums.h: adding clip rows (32-bit pixels, bytes alpha, red,
// green, blue) into the stack's three int32 planes, the loops behind the
// summed stack. Each takes the fastest build the processor runs (plain,
// AVX2, AVX-512); every build gives the same sums. Any thread; the planes
// must not overlap the rows.
#pragma once

#include <cstdint>

// red[x], green[x], blue[x] += the pixel's channels, for x in [x0, x1).
void AddRowAllChannels(const uint8_t* row, int32_t* red, int32_t* green, int32_t* blue, int x0, int x1);

// plane[x] += the byte of the pixel's word at shift (8 red, 16 green, 24
// blue), for x in [x0, x1).
void AddRowOneChannel(const uint8_t* row, int32_t* plane, int shift, int x0, int x1);

// AddRowAllChannels for each of rows[0 .. n) over its own [x0[i], x1[i]),
// the rows summed among themselves first, so that each plane is read and
// written once for all of them.
void AddRowsAllChannels(const uint8_t* const* rows, const int* x0, const int* x1, int n, int32_t* red,
                        int32_t* green, int32_t* blue);

// Test hook: the build every call above uses from now on (plain: the
// portable loops; the others only where the processor runs them); false,
// with nothing changed, when the processor does not. kChosen goes back to
// the build picked at start.
enum class StackRowSumsBuild { kChosen, kPlain, kAvx2, kAvx512 };
bool UseStackRowSumsBuildForTesting(StackRowSumsBuild build);
