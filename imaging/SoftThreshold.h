// imaging/SoftThreshold.h: soft thresholding of wavelet coefficients.
#pragma once

#include <cstddef>

// out[k] = the soft threshold of in[k] by t for k < n: 0 when |in[k]| < t, else in[k] - t when
// in[k] > 0 and in[k] + t when in[k] < 0; zeros and NaN stay. in may be out (otherwise they must
// not overlap). The shape of FFT2D.h's ValuesMap. Any thread.
void SoftThresholdValues(const double* in, double* out, std::size_t n, double t);

// Test hook: the portable kernel even where AVX2 is available (false restores the choice).
void ForcePortableSoftThresholdForTesting(bool force);
