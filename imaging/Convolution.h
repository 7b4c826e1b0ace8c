// imaging/Convolution.h: correlation of three double-precision colour planes
// with a square kernel, normalised by the weights that fall inside the plane.
#pragma once

#include "platform/core/Geometry.h"

// Correlates (no flip) each of the planes inRed, inGreen, inBlue with kernel
// and writes outRed, outGreen, outBlue. kernel holds size x size weights, row
// major, size odd; entry (a, b) weighs the input at row offset a - size / 2 and
// column offset b - size / 2. The planes have bounds.bottom rows and
// bounds.right columns (top and left are ignored); plane[y][x] is row y,
// column x. Kernels need not be normalised: each output is the weighted sum of
// the inputs inside the plane divided by the sum of the weights used there, so
// a constant plane stays constant up to its borders.
// Input and output planes must be distinct arrays. Fewer than one row or column
// writes nothing. Returns 0. Any thread; touches only the arrays it is given.
int KernelFilterFloatsToFloats(const double* kernel, int size, Rect bounds, double** inRed, double** inGreen,
                               double** inBlue, double** outRed, double** outGreen, double** outBlue);
