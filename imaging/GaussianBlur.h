// imaging/GaussianBlur.h: the program's Gaussian kernel and the Gaussian blur of
// three double-precision colour planes.
#pragma once

#include <vector>

// Weights of the Gaussian along one axis for radius > 0: entry d (d = 0 at the
// first tap) is 1 / e^((2 (d - c) / radius)^2) with c the centre tap, so the
// centre is exactly 1.0. The full length is 2 trunc(radius + 1) - 1, at least
// 3; when it is 4 or more the outer taps whose weight is at most 0.2 are cut
// off from both ends (the star tool and the blur tools rely on this reach).
// Throws std::bad_alloc when the radius is too large to hold.
std::vector<double> GaussianAxisWeights(double radius);

// Builds the square kernel for radius > 0 (callers test the radius first):
// size x size entries, row major, entry (i, j) = w[i] * w[j] with w the axis
// weights above, so the centre is 1.0. kernel receives a new array, which the
// caller releases with delete[]. Lets std::bad_alloc pass. Any thread.
void CreateGaussianBlurConvolutionKernel(double radius, int& size, double*& kernel);

// Gaussian blur of three planes of rows x cols doubles (plane[y][x]) into three
// distinct output planes. radius < 0 (or NaN) writes nothing; radius 0 copies
// the planes exactly; otherwise the result is the correlation with the kernel
// of CreateGaussianBlurConvolutionKernel, normalised by the weights inside the
// plane, computed as a column pass and a row pass (the kernel is a product of
// its axes, so this equals the square kernel up to summation order).
// When its one-row scratch cannot be allocated it throws std::bad_alloc with
// the outputs unwritten (the caller alerts). Returns 0.
// Any thread; touches only the arrays it is given.
int GaussianBlurFloatArraysToFloatArrays(double radius, int rows, int cols, double** inRed, double** inGreen,
                                         double** inBlue, double** outRed, double** outGreen, double** outBlue);

// The same blur of in[c] (c = 0 red, 1 green, 2 blue) into out[c], and, when
// difference is not null, difference[c] = in[c] - out[c] for every value
// (each row formed as soon as its blurred row is, bit for bit the subtraction
// of the finished planes). out and difference distinct from in and from each
// other. Failure and threads as above.
void GaussianBlurWithDifference(double radius, int rows, int cols, double** const in[3], double** const out[3],
                                double** const difference[3]);

// Test hook: the portable sums even where AVX2 is available (false restores
// the choice), so that tests cover both. Not for use by the program.
void ForcePortableGaussianBlurForTesting(bool force);

// Test hook: the next n blurs with a radius > 0 (either entry above) throw
// std::bad_alloc as if memory ran out (0 stops). Any thread.
void FailNextGaussianBlursForTesting(int n);
