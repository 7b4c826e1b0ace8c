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
#include "imaging/FilterFT.h"
#include "imaging/FrequencyProducts.h"
#include "imaging/SoftThreshold.h"

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

// data (w x h) to its packed spectrum, in place.
void Forward(double* data, int w, int h)
{
    Check(fft2dInit(Log2(h), Log2(w)) == kFftInitOk);
    rfft2d(data, Log2(h), Log2(w));
}

// The packed spectrum data (w x h) back to its image, in place.
void Inverse(double* data, int w, int h)
{
    Check(fft2dInit(Log2(h), Log2(w)) == kFftInitOk);
    rifft2d(data, Log2(h), Log2(w));
}

// The spectrum of image (w x h) in spectrum.
void ForwardCopy(const double* image, double* spectrum, int w, int h)
{
    Check(fft2dInit(Log2(h), Log2(w)) == kFftInitOk);
    rfft2dFrom(image, spectrum, Log2(h), Log2(w));
}

// ForwardCopy of image after it is soft-thresholded in place by threshold (none when it is 0), in
// one pass over it.
void ThresholdForwardCopy(double* image, double* spectrum, int w, int h, double threshold)
{
    if (threshold == 0.0) {
        ForwardCopy(image, spectrum, w, h);
        return;
    }
    Check(fft2dInit(Log2(h), Log2(w)) == kFftInitOk);
    rfft2dFromMapping(image, spectrum, Log2(h), Log2(w), SoftThresholdValues, threshold);
}

// The coefficients of a pyramid being thresholded: thresholds reach the synthesis steps only from
// ThresholdAndSynthesise, which holds the pyramid as non-const.
double* Writable(const std::vector<double>& coefficients)
{
    return const_cast<double*>(coefficients.data());
}

// Entry i of the thresholds (0.0 where there are none or too few), as SoftThreshold reads them.
double Threshold(const std::vector<double>* t, std::size_t i)
{
    return t && i < t->size() ? (*t)[i] : 0.0;
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

void SteerablePyramid::DoFourierAnalysisLevels(double* normalized, const PyramidProgress& progress, int progressBase)
{
    const FilterFT& spectra = FilterFTCacheRecord(getFilterFTIndex());
    // The input's spectrum serves the high-pass and, through the initial low-pass, level 0.
    double* S = normalized;
    Forward(S, width, height);
    const double* filters[2] = {spectra.filterFT[kPyramidHighpassFilter][0].data(),
                                spectra.filterFT[kPyramidInitialLowpassFilter][0].data()};
    double* products[2] = {highpassResidual.data(), S};
    SpectrumProducts(S, filters, products, 2, width, height);
    Inverse(highpassResidual.data(), width, height);
    // Each level's source spectrum and the next alternate between the two shared arrays.
    double* other = S == scratch_2D_A_.data() ? scratch_2D_B_.data() : scratch_2D_A_.data();
    for (int L = 0; L < numLevels; ++L) {
        DoOneStepWaveletAnalysisUsingFT(S, L, other);
        std::swap(S, other);
        if (progress)
            progress(progressBase + L + 1);
    }
}

void SteerablePyramid::DoOneStepWaveletAnalysisUsingFT(const double* spectrum, int L, double* next)
{
    const FilterFT& spectra = FilterFTCacheRecord(getFilterFTIndex());
    const int lw = LevelWidth(L);
    const int lh = LevelHeight(L);
    // One spectrum of the level's source serves all five products; the four bands in one pass.
    const double* filters[kNumPyramidBands];
    double* products[kNumPyramidBands];
    for (int b = 0; b < kNumPyramidBands; ++b) {
        filters[b] = spectra.filterFT[kPyramidFirstBandFilter + b][L].data();
        products[b] = bands[b][L].data();
    }
    SpectrumProducts(spectrum, filters, products, kNumPyramidBands, lw, lh);
    for (int b = 0; b < kNumPyramidBands; ++b)
        Inverse(bands[b][L].data(), lw, lh);
    // The low-pass, cut to its even rows and columns, straight from the spectra.
    SpectrumDecimatedProduct(spectrum, spectra.filterFT[kPyramidLowpassFilter][L].data(), lw, lh, next,
                             lowpass[L].data());
    Inverse(lowpass[L].data(), lw / 2, lh / 2);
}

void SteerablePyramid::DoFourierSynthesisLevels(double* out, const PyramidProgress& progress, int progressBase,
                                                const std::vector<double>* thresholds) const
{
    // Level L's rebuilt spectrum goes to one half of A (level 0's to out), the next finer level's
    // to the other; B takes the transforms of the coefficient images, two at a time. Levels from 1
    // on hold at most a quarter of the pixels, so each fits in a half of A and two fit in B; at
    // level 0 the second transform goes to A, whose coarser spectrum is used up by then.
    const std::size_t n = PixelCount();
    double* halves[2] = {scratch_2D_A_.data(), scratch_2D_A_.data() + n / 2};
    const int top = numLevels - 1;
    double* low = halves[(top + 1) % 2];
    ForwardCopy(lowpass[top].data(), low, LevelWidth(top) / 2, LevelHeight(top) / 2);
    for (int L = top; L >= 0; --L) {
        double* rebuilt = L == 0 ? out : halves[L % 2];
        double* second = L == 0 ? scratch_2D_A_.data() : scratch_2D_B_.data() + n / 4;
        SynthesisStepUsingFT(L, low, rebuilt, scratch_2D_B_.data(), second, thresholds);
        low = rebuilt;
        if (progress)
            progress(progressBase + numLevels - L);
    }
}

void SteerablePyramid::DoOneStepWaveletSynthesisUsingFT(int L, const double* low, double* out, double* scratch,
                                                        double* second) const
{
    SynthesisStepUsingFT(L, low, out, scratch, second, nullptr);
}

void SteerablePyramid::SynthesisStepUsingFT(int L, const double* low, double* out, double* scratch, double* second,
                                            const std::vector<double>* thresholds) const
{
    const FilterFT& spectra = FilterFTCacheRecord(getFilterFTIndex());
    const int lw = LevelWidth(L);
    const int lh = LevelHeight(L);
    // Filtering and the inverse transform are linear, so the level's five filtered spectra are summed
    // and only level 0's sum is inverted; there the sum is filtered by the initial low-pass and
    // joined by the filtered high-pass first.
    SpectrumStuffedProduct(low, spectra.invFilterFT[kPyramidLowpassFilter][L].data(), lw, lh, out);
    static_assert(kNumPyramidBands % 2 == 0);
    for (int b = 0; b < kNumPyramidBands; b += 2) {
        const double level = Threshold(thresholds, static_cast<std::size_t>(L) + 1);
        ThresholdForwardCopy(Writable(bands[b][L]), scratch, lw, lh, level);
        ThresholdForwardCopy(Writable(bands[b + 1][L]), second, lw, lh, level);
        SpectrumTwoProductsAdd(scratch, spectra.invFilterFT[kPyramidFirstBandFilter + b][L].data(), second,
                               spectra.invFilterFT[kPyramidFirstBandFilter + b + 1][L].data(), out, lw, lh);
    }
    if (L == 0) {
        const double high = Threshold(thresholds, 0);
        ThresholdForwardCopy(Writable(highpassResidual), scratch, lw, lh, high > 0.0 ? high : 0.0);
        SpectrumProductSum(spectra.invFilterFT[kPyramidInitialLowpassFilter][0].data(), scratch,
                           spectra.invFilterFT[kPyramidHighpassFilter][0].data(), out, lw, lh);
        Inverse(out, lw, lh);
    }
}
