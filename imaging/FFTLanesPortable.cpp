// imaging/FFTLanesPortable.cpp: the vector kernels of the two-dimensional
// transforms for any CPU, written with pairs of doubles (SSE2, NEON).
#include "imaging/FFTLanes.h"

#define VELMORA_FFT_LANES_NATIVE 0
namespace fft_lanes::portable {
#include "imaging/FFTLanesKernels.inc"
}
