// imaging/FrequencyProducts.h: arithmetic on packed two-dimensional spectra (the layout of FFT2D.h) that
// stands for filtering and resampling the images behind them: products, sums of products, and the
// spectra of an image taken at its even rows and columns or spread to twice its sides.
//
// Every spectrum here is h rows of w doubles with w and h powers of two, at least 4 each. The
// products keep rspect2dprod's arithmetic (re = ar br - ai bi, im = ar bi + ai br, no fused
// multiply-add), in vector kernels chosen once at run time with a portable build beside them.
// Any thread; each call touches only the arrays it is given.
#pragma once

// out = a x b element by element. out may be a or b.
void SpectrumProduct(const double* a, const double* b, double* out, int w, int h);

// out[f] = a x b[f] element by element for f < count (1 ... 4), reading a once. An out[f] may be
// a; the outs are distinct from each other and from every b[f].
void SpectrumProducts(const double* a, const double* const* b, double* const* out, int count, int w, int h);

// acc += a x b + c x d element by element. acc distinct from a, b, c and d.
void SpectrumTwoProductsAdd(const double* a, const double* b, const double* c, const double* d, double* acc, int w,
                            int h);

// acc = acc x a + b x c element by element. acc distinct from a, b and c.
void SpectrumProductSum(const double* a, const double* b, const double* c, double* acc, int w, int h);

// The spectrum of the image x (w x h) whose spectrum is a x b, after x is cut down to its even rows
// and columns ((w / 2) x (h / 2)): each value is a quarter of the sum of its four aliases. Written to
// out and, when copy is not null, to copy as well (both (w / 2) x (h / 2), distinct from a and b).
void SpectrumDecimatedProduct(const double* a, const double* b, int w, int h, double* out, double* copy);

// The spectrum of the image (w x h) that holds 4 low(y, x) at (2y, 2x) and 0 elsewhere, where low
// ((w / 2) x (h / 2)) is the image whose spectrum is low: that spectrum tiled 2 x 2 and times 4.
// out = that spectrum x f (f and out w x h; out distinct from low and f).
void SpectrumStuffedProduct(const double* low, const double* f, int w, int h, double* out);

// Test hook: the portable kernels even where AVX2 is available (false restores the choice), so
// that tests cover both. Not for use by the program.
void ForcePortableSpectrumKernelsForTesting(bool force);
