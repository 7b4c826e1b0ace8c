// imaging/FFTLanes.h: the vector kernels of the two-dimensional transforms.
// They transform four rows or four complex columns at once, one per vector
// lane, through a scratch buffer in which every element is 8 doubles (the
// real parts of the four lanes, then their imaginary parts). Built twice:
// portable, and for CPUs with AVX2 and FMA, chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fft_lanes {

// Everything a two-dimensional transform needs, prepared by FFT2D.cpp in the
// shared scratch of its size before the passes run.
struct Plan {
    size_t H = 0;                         // rows, >= 2
    size_t W = 0;                         // columns, >= 8
    double* lanes = nullptr;              // max(H * columnGroups, W/2) elements of 8 doubles
    size_t columnGroups = 1;              // column groups transformed per pass
    const double* colTwiddles = nullptr;  // radix-4 stage twiddles of length H
    const uint32_t* colReverse = nullptr; // bit reversal of H
    const double* rowTwiddles = nullptr;  // radix-4 stage twiddles of length W/2
    const uint32_t* rowReverse = nullptr; // bit reversal of W/2
    const double* realTwiddles = nullptr; // (cos, sin)(2 pi k / W), k = 0 .. W/4
};

struct Kernels {
    // Real transforms of the rows first .. first+3 (H >= 4), packed layout.
    // The forward pass reads the four rows at rows (W doubles apart; they may
    // be those rows of data itself) and writes their spectra to the rows of data.
    void (*rowsForward)(const double* rows, double* data, size_t firstRow, const Plan& plan);
    void (*rowsInverse)(double* data, size_t firstRow, const Plan& plan);
    // Complex transforms of the columns of slots 4g .. 4g + 4 columnGroups - 1
    // (W >= 8).
    void (*columnsForward)(double* data, size_t group, const Plan& plan);
    void (*columnsInverse)(double* data, size_t group, const Plan& plan);
};

namespace portable {
const Kernels& GetKernels();
}
namespace avx2 {
const Kernels& GetKernels();
}

} // namespace fft_lanes
