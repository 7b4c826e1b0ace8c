// imaging/FFTLanesPortable.cpp: the vector kernels of the two-dimensional
// transforms for any CPU (the compiler maps the vectors onto what it has).
#include "imaging/FFTLanes.h"

namespace fft_lanes::portable {
#include "imaging/FFTLanesKernels.inc"
}
