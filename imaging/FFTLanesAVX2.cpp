// imaging/FFTLanesAVX2.cpp: the vector kernels of the two-dimensional
// transforms compiled for AVX2 and FMA. This file alone is built with those
// instructions; FFT2D.cpp calls it only after checking the CPU has them.
#include "imaging/FFTLanes.h"

#define VELMORA_FFT_LANES_NATIVE 1
namespace fft_lanes::avx2 {
#include "imaging/FFTLanesKernels.inc"
}
