// imaging/FFT2D.h: power-of-two FFT library, part two: two-dimensional real
// transforms of images of doubles and the product of their packed spectra.
//
// An image is H = 2^M2 rows of W = 2^M doubles, row-major (row r starts at
// element r*W). rfft2d replaces it by its packed half spectrum of the same
// length. With F(u, v) = sum_r sum_c x(r, c) e^(-2 pi i (u r / H + v c / W))
// (unscaled) and H, W >= 2, "row u, slot v" meaning elements u*W + 2v and
// u*W + 2v + 1:
//   row 0, slot 0:              F(0, 0),      F(H/2, 0)       (both real)
//   row u, slot 0, 0 < u < H/2: Re F(u, 0),   Im F(u, 0)
//   row H/2, slot 0:            F(0, W/2),    F(H/2, W/2)     (both real)
//   row H/2 + u, slot 0:        Re F(u, W/2), Im F(u, W/2)
//   row u, slot v, 0 < v < W/2: Re F(u, v),   Im F(u, v)      (every u)
// Columns v > W/2 are not stored: F(u, W - v) = conj F((H - u) mod H, v).
// When H = 1 or W = 1 the array is one row and the spectrum is the packed
// one-dimensional spectrum of FFT.h. Every FFT user of the program (alignment
// by cross-correlation, the spectrum measurement, the Fourier-domain editor,
// FFT convolution and the steerable pyramid) reads this layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/FFT.h"

// Prepares H x W transforms (M2 = log2 rows, M = log2 columns): the tables
// of both sides and, unless H or W is 1, the scratch shared by every 2-D
// transform whose longer side max(H, W/2) is the same (about
// 64 * max(H, W/2, 4096) bytes, allocated once and kept).
// Returns kFftInitOk; kFftInitSizeOutOfRange when M2 < 0 or M2 > 31 (nothing
// built); kFftInitOutOfMemory when the scratch could not be allocated;
// otherwise the first non-zero result of fftInit(M2) and fftInit(M) (so an
// out-of-range M gives kFftInitSizeOutOfRange after M2's scratch and tables
// were built). Never throws. Any thread; serialised with fftInit by the same
// mutex. A repeat for a prepared size allocates nothing.
[[nodiscard]] int fft2dInit(int32_t M2, int32_t M);

// Forward transform in place: image of H x W doubles to its packed spectrum.
// fft2dInit(M2, M) must have returned 0 (asserted in debug builds). Uses the
// shared scratch of its size, so two-dimensional transforms run on one thread
// at a time. Allocates nothing.
void rfft2d(double* data, int32_t M2, int32_t M);

// rfft2d of a copy of source, made in data: the same result as copying the H x W doubles of
// source to data and transforming data, without the separate pass over memory (the copy is taken
// a few rows at a time as the transform reaches them). source is not changed and must not overlap
// data. Preconditions and threads as rfft2d.
void rfft2dFrom(const double* source, double* data, int32_t M2, int32_t M);

// out[k] = f(in[k]) for k < n, for a function f of one value and the parameter; in may be out.
using ValuesMap = void (*)(const double* in, double* out, std::size_t n, double parameter);

// Maps every value of source by map (with parameter) and leaves rfft2dFrom of the result in data,
// reading source once: each few rows are mapped in place just before the row pass reads them.
void rfft2dFromMapping(double* source, double* data, int32_t M2, int32_t M, ValuesMap map, double parameter);

// Inverse of rfft2d in place, packed spectrum to image, scaled by 1/(H*W).
// Preconditions and threads as rfft2d.
void rifft2d(double* data, int32_t M2, int32_t M);

// out = a x b element by element for two packed spectra of N*M doubles, a
// plain product without conjugation: rifft2d of the product of two images'
// spectra is their circular convolution. N and M are the two side lengths in
// points (not logarithms), in either order. out may be a or b. Needs no
// initialisation. Any thread.
void rspect2dprod(const double* a, const double* b, double* out, size_t N, size_t M);

// Test hook: run the portable vector kernels even where AVX2 is available, so
// tests cover both. Not for use by the program.
void FftForcePortableKernelsForTesting(bool force);
