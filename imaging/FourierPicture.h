// imaging/FourierPicture.h: what the Fourier-domain editor computes on
// the planes of sums: the transform size, the planes placed centred in it,
// the grey power-spectrum picture with the zero frequency in the centre, and
// the planes written back from an edited spectrum. Spectra are packed half
// spectra of FFT2D.h.
#pragma once

#include <cstddef>
#include <cstdint>

// Side lengths of the transform: the smallest powers of two (from 1) not
// below the planes' width and height, and their base-2 logarithms.
struct SpectrumSize {
    int width = 1;
    int height = 1;
    int log2Width = 0;
    int log2Height = 0;

    std::size_t Count() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
};
SpectrumSize SpectrumSizeFor(int planeWidth, int planeHeight);

// Where the plane lies in the transform: x0 = (W - width) / 2,
// y0 = (H - height) / 2 (integer division).
inline int SpectrumOffsetX(const SpectrumSize& s, int planeWidth)
{
    return (s.width - planeWidth) / 2;
}
inline int SpectrumOffsetY(const SpectrumSize& s, int planeHeight)
{
    return (s.height - planeHeight) / 2;
}

// out (W × H doubles) = the plane's sums at (y0 + y, x0 + x), zero elsewhere.
void PlaceSumsCentred(const int32_t* plane, int planeWidth, int planeHeight, const SpectrumSize& size, double* out);

// Display normalisations of the power spectrum.
enum SpectrumNormalization {
    kSpectrumLinear = 0,     // value / divisor, clipped to 0 .. 255
    kSpectrumEighthRoot = 1, // value^(1/8), largest scaled to 255
    kSpectrumLog = 2,        // log10(value + 1), largest scaled to 255
    kSpectrumLogLog = 3,     // log10(log10(value + 10)), largest scaled to 255
};

// The magnitude of a packed pair: sqrt(round(re²) + round(im²)).
double SpectrumMagnitude(double re, double im);

// The display values of the power spectrum (W × H doubles, row-major, zero
// frequency at (W/2, H/2)): the packed spectra are combined entry by entry as
// the largest of the three signed values, each frequency's magnitude is taken
// (the stored half mirrored into the other), the picture is shifted by half
// its size on both axes and normalised by method (0 .. 3; another value is
// taken as 1) with divisor for method 0. A picture whose largest value is 0
// stays 0 under every method. scratch: W × H doubles of the caller's, kept
// from call to call so that a brush stroke allocates nothing (overwritten).
// Any thread; touches only its arrays.
void ComputeFourierPicture(const double* red, const double* green, const double* blue, const SpectrumSize& size,
                                 int method, double divisor, double* scratch, double* display);

// Writes the plane from a packed spectrum: scratch (W × H doubles) receives
// the spectrum and its inverse transform, and each plane pixel takes the
// value at (y0 + y, x0 + x) rounded to the nearest integer, negatives as 0
// and values beyond the int32 range as its largest. fft2dInit for the size
// must have succeeded. Main thread or one thread at a time (the 2-D
// transforms share their scratch).
void SynthesizeSums(const double* spectrum, const SpectrumSize& size, double* scratch, int32_t* plane, int planeWidth,
                    int planeHeight);
