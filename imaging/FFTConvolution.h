// imaging/FFTConvolution.h: FFT filtering of images of doubles in ordinary
// sizes (widths and heights in points) with a success flag, on top of the
// two-dimensional transforms of FFT2D.h.
//
// An image is h rows of w doubles, row-major; a spectrum is its packed
// two-dimensional spectrum (FFT2D.h) in an array of the same length. Both
// sides must be powers of two from 1 to 2^29. The FFT work shares the
// scratch of FFT2D.h, so these run on one thread at a time.
#pragma once

// True when both w and h are one of 1, 2, 4, ..., 2^29; reports nothing.
[[nodiscard]] bool assertValidDims(int w, int h);

// Copies the w*h values of in to out (skipped when out is in) and replaces
// out by its packed spectrum. Returns false, with out unchanged, when the
// sizes are invalid or the FFT could not be prepared (out of memory).
[[nodiscard]] bool doFourierAnalysis(const double* in, double* out, int w, int h);

// out = a x b, a plain product of two packed spectra (no conjugation).
// out may be a or b. Returns false, with out unchanged, for invalid sizes.
[[nodiscard]] bool multiplyFourierTransforms(const double* a, const double* b, int w, int h, double* out);

// multiplyFourierTransforms, then the inverse transform of out: out holds the
// circular convolution of the two images whose spectra a and b are. Returns
// false for invalid sizes (out unchanged) or when the FFT could not be
// prepared (out then holds the product, not inverted).
[[nodiscard]] bool multiplyFourierTransformsAndInvert(const double* a, const double* b, int w, int h, double* out);
