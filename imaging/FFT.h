// imaging/FFT.h: power-of-two FFT library, part one: the process-wide tables
// and the one-dimensional complex and real transforms.
//
// Sizes are base-2 logarithms: M is the size's logarithm and N = 2^M points.
// Every transform works in place on rows of doubles laid back to back:
//   complex row of size M: 2^M points as interleaved pairs (re, im),
//     2^(M+1) doubles;
//   real row of size M: 2^M doubles. After rffts it holds the packed half
//     spectrum of the same length: element 0 = X[0], element 1 = X[N/2], and
//     for k = 1 ... N/2-1 element 2k = Re X[k], element 2k+1 = Im X[k]; for
//     M = 0 the row is the single value X[0].
// Forward transforms are unscaled, X[k] = sum_n x[n] e^(-2 pi i n k / N);
// both inverses scale by 1/N, so an inverse after a forward returns the input
// up to rounding. Every caller that stores or reads spectra (the 2-D
// transforms, the measurements, the Fourier-domain editor) relies on this
// layout, sign and scale.
#pragma once

#include <cstddef>
#include <cstdint>

// fftInit results.
constexpr int kFftInitOk = 0;
constexpr int kFftInitSizeOutOfRange = 1;
constexpr int kFftInitOutOfMemory = 2;

// Largest logarithm the tables accept.
constexpr int32_t kFftMaxLog2 = 31;

// Builds the tables of size M if they are missing: the cosine table of M
// (N/4 + 1 doubles: entry 0 = 1.0, entry k = cos(2 pi k / N) for 0 < k < N/4,
// entry N/4 = 0.0; a single 0.0 when N/4 = 0) and the bit-reversal tables of
// M/2 (when M > 1) and (M-1)/2 (when M >= 3), each 2^(K-1) int16 entries for
// its index K, entry i being i with its K-1 low bits reversed.
// Returns kFftInitOk, kFftInitSizeOutOfRange when M < 0 or M > 31 (nothing is
// built), or kFftInitOutOfMemory when an allocation failed (the tables that
// could be allocated are kept; a later call builds the rest). Never throws.
// Tables are never freed or rebuilt. Any thread: calls are serialised by one
// mutex that fft2dInit shares; transforms of sizes already initialised may
// run on other threads meanwhile.
[[nodiscard]] int fftInit(int32_t M);

// Forward complex transform of each of Rows complex rows of size M, in place.
// fftInit(M) must have returned 0 (asserted in debug builds). Rows = 0 does
// nothing. Nothing is checked beyond the debug asserts. Any thread, on
// distinct arrays; allocates nothing.
void ffts(double* data, int32_t M, int32_t Rows);

// Inverse complex transform of each row, in place, scaled by 1/N.
// Preconditions and threads as ffts.
void iffts(double* data, int32_t M, int32_t Rows);

// Forward real transform of each of Rows real rows of size M, in place,
// leaving the packed half spectrum described above. Preconditions and
// threads as ffts.
void rffts(double* data, int32_t M, int32_t Rows);

// Inverse of rffts on each packed row, in place, scaled by 1/N.
// Preconditions and threads as ffts.
void riffts(double* data, int32_t M, int32_t Rows);

// Read-only views of the tables, for tests and for the 2-D transforms:
// the cosine table of M (null while not built; N/4 + 1 entries) and the
// bit-reversal table of index K (null while not built; 2^(K-1) entries).
const double* FftCosTable(int32_t M);
const int16_t* FftBitReversalTable(int32_t K);

// The FFT library's table and scratch allocations all go through one
// function that never throws. Test hooks: the next n allocations fail, and a
// running count of successful allocations. Not for use by the program.
void FftFailNextAllocationsForTesting(int n);
size_t FftAllocationCountForTesting();
