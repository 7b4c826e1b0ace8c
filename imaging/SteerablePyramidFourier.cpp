// imaging/SteerablePyramidFourier.cpp: the steerable pyramid's Fourier path: each level filters by
// products of spectra with the cached filter spectra of FilterFT.h.
//
// The filter spectra have their centre tap at the origin, so a product is a circular convolution.
// For the symmetric filters (high-pass, both low-passes) that equals the spatial path's correlation;
// the band-pass filters change sign under a 180-degree turn, so the bands here are the negated
// spatial bands. Synthesis applies the turned filters the same way, so both paths rebuild the same
// image and soft thresholding, symmetric in sign, acts the same on both.
#include "imaging/SteerablePyramid.h"

#include <algorithm>
#include <new>

#include "imaging/FFT2D.h"
#include "imaging/FFTConvolution.h"
#include "imaging/FilterFT.h"

namespace {

// Every FFT step fails only when the FFT could not be prepared for the size (exhausted memory), and
// its output is then meaningless: report it the way the pyramid reports exhausted memory.
void Check(bool ok)
{
    if (!ok)
        throw std::bad_alloc();
}

// log2 of a side that is a power of two.
int Log2(int side)
{
    int m = 0;
    while ((1 << m) < side)
        ++m;
    return m;
}

} // namespace

std::size_t SteerablePyramid::getFilterFTIndex() const
{
    const std::ptrdiff_t found = FilterFTCacheFind(width, height);
    if (found >= 0)
        return static_cast<std::size_t>(found);
    // Built completely before it is inserted: a failure leaves no half-filled record behind.
    auto record = std::make_unique<FilterFT>();
    record->resize(width, height);
    record->ComputeSpectra();
    return FilterFTCacheInsert(std::move(record));
}

void SteerablePyramid::DoOneStepWaveletAnalysisUsingFT(double* image, int L)
{
    const FilterFT& spectra = FilterFTCacheRecord(getFilterFTIndex());
    const int lw = LevelWidth(L);
    const int lh = LevelHeight(L);
    double* S = scratch_2D_B_.data();
    if (L == 0) {
        Check(doFourierAnalysis(image, S, lw, lh));
        Check(multiplyFourierTransformsAndInvert(S, spectra.filterFT[kPyramidHighpassFilter][0].data(), lw, lh,
                                                 highpassResidual.data()));
        // The initial low-pass image is needed only as a spectrum: the product is that spectrum.
        Check(multiplyFourierTransforms(S, spectra.filterFT[kPyramidInitialLowpassFilter][0].data(), lw, lh, S));
    } else {
        Check(doFourierAnalysis(lowpass[L - 1].data(), S, lw, lh));
    }
    // One spectrum of the level's source serves all five products.
    for (int b = 0; b < kNumPyramidBands; ++b)
        Check(multiplyFourierTransformsAndInvert(S, spectra.filterFT[kPyramidFirstBandFilter + b][L].data(), lw, lh,
                                                 bands[b][L].data()));
    Check(multiplyFourierTransformsAndInvert(S, spectra.filterFT[kPyramidLowpassFilter][L].data(), lw, lh, image));
    Decimate(image, lw, lh, lowpass[L].data());
}

void SteerablePyramid::DoOneStepWaveletSynthesisUsingFT(int L, double* image, double* scratch) const
{
    const FilterFT& spectra = FilterFTCacheRecord(getFilterFTIndex());
    const int lw = LevelWidth(L);
    const int lh = LevelHeight(L);
    const std::size_t n = static_cast<std::size_t>(lw) * lh;
    double* A = scratch_2D_A_.data();
    // Filtering and the inverse transform are linear, so the level's five filtered spectra are summed
    // in scratch and inverted once; at level 0 the sum is filtered by the initial low-pass and joined
    // by the filtered high-pass before that one inverse.
    auto addFiltered = [&](const double* coefficients, const std::vector<double>& filterSpectrum) {
        Check(doFourierAnalysis(coefficients, A, lw, lh));
        Check(multiplyFourierTransforms(A, filterSpectrum.data(), lw, lh, A));
        for (std::size_t k = 0; k < n; ++k)
            scratch[k] += A[k];
    };
    ZeroStuff(L == numLevels - 1 ? lowpass[L].data() : image, lw, lh, scratch);
    Check(doFourierAnalysis(scratch, scratch, lw, lh));
    Check(multiplyFourierTransforms(scratch, spectra.invFilterFT[kPyramidLowpassFilter][L].data(), lw, lh, scratch));
    for (int b = 0; b < kNumPyramidBands; ++b)
        addFiltered(bands[b][L].data(), spectra.invFilterFT[kPyramidFirstBandFilter + b][L]);
    if (L == 0) {
        Check(multiplyFourierTransforms(scratch, spectra.invFilterFT[kPyramidInitialLowpassFilter][0].data(), lw, lh,
                                        scratch));
        addFiltered(highpassResidual.data(), spectra.invFilterFT[kPyramidHighpassFilter][0]);
    }
    const int rows = Log2(lh);
    const int columns = Log2(lw);
    Check(fft2dInit(rows, columns) == kFftInitOk);
    rifft2d(scratch, rows, columns);
    std::copy(scratch, scratch + n, image);
}
