// imaging/FFTInternal.h: what the FFT library's source files share and nobody
// else uses: the init mutex, the non-throwing allocator, twiddle lookup in the
// quarter-wave cosine tables and the scalar one-dimensional kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace fft_internal {

// Serialises fftInit and fft2dInit (every table and scratch slot is filled
// under it). Transforms never take it.
std::mutex& InitMutex();

// Table building with InitMutex() already held; returns an fftInit code.
int InitLocked(int32_t M);

// Table fillers: the cosine table of size M (N/4 + 1 entries) and the
// bit-reversal table of K = M/2 (2^(K-1) entries).
void fftCosInit(int32_t M, double* table);
void fftBRInit(int32_t M, int16_t* table);

// 64-byte aligned, never throws; null on failure or when a test hook says so.
void* Allocate(size_t bytes) noexcept;

// cos and sin of 2 pi t / N from the cosine table U of an N-point size
// (N >= 4, 0 <= t < N): the quarter wave covers every quadrant.
inline void CosSin(const double* U, size_t N, size_t t, double& c, double& s)
{
    const size_t q4 = N / 4;
    const size_t quadrant = t / q4;
    const size_t r = t - quadrant * q4;
    const double a = U[r];
    const double b = U[q4 - r];
    switch (quadrant) {
    case 0:
        c = a;
        s = b;
        break;
    case 1:
        c = -b;
        s = a;
        break;
    case 2:
        c = -a;
        s = -b;
        break;
    default:
        c = b;
        s = -a;
        break;
    }
}

// In-place complex transform of n = 2^log2n interleaved points, unscaled, with
// exponent sign -1 (forward) or +1 (inverse). Twiddles come from the cosine
// table U of an (n * tableScale)-point size.
void ComplexTransform(double* data, int log2n, const double* U, size_t tableScale, bool inverse);

// The real-row step after a forward complex transform of the n/2 points
// z[m] = x[2m] + i x[2m+1]: turns Z into the packed half spectrum of the
// n-point real row x (U is the cosine table of n, n >= 4).
void RealForwardFinish(double* data, size_t n, const double* U);
// Its inverse, before the inverse complex transform; scales by 1/(n/2) so the
// unscaled complex inverse that follows returns x exactly.
void RealInverseStart(double* data, size_t n, const double* U);

// Slot 0 of a two-dimensional spectrum: after the column transform of the
// complex column z_r = A_r(0) + i A_r(W/2) (H points, stride in doubles
// between rows), turns its transform Z into the two packed real column
// spectra (zero frequency in rows 0 .. H/2-1, Nyquist in rows H/2 .. H-1).
void SlotZeroForwardFinish(double* column, size_t stride, size_t H);
// Its inverse, before the inverse column transform.
void SlotZeroInverseStart(double* column, size_t stride, size_t H);

} // namespace fft_internal
