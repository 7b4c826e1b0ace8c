// imaging/SteerablePyramid.cpp: shaping, analysis, thresholding and synthesis of the steerable
// pyramid, and its spatial path (periodic correlation, even-sample decimation, x4 zero-stuffing).
#include "imaging/SteerablePyramid.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstring>
#include <new>

#include "imaging/FFTConvolution.h"
#include "imaging/FilterFT.h"
#include "imaging/FrequencyProducts.h"
#include "imaging/SoftThreshold.h"

std::vector<double> SteerablePyramid::scratch_2D_A_;
std::vector<double> SteerablePyramid::scratch_2D_B_;
std::size_t SteerablePyramid::scratchSize_ = 0;

namespace {

std::atomic<int> sLivePyramids{0};

// A vector of n doubles; an n the allocator cannot even express is reported as exhausted memory,
// the one failure callers handle.
std::vector<double> AllocateDoubles(std::size_t n)
{
    if (n > std::vector<double>().max_size())
        throw std::bad_alloc();
    return std::vector<double>(n);
}

// k mod n in 0 ... n - 1, for any k (n > 0).
inline int Wrap(int k, int n)
{
    const int r = k % n;
    return r < 0 ? r + n : r;
}

using Pair = double __attribute__((vector_size(16)));

// The smallest and largest of values[0 .. n) (both 0.0 when n is 0), in two pairs of running lanes
// that fit the baseline's vector registers (a scan by comparison and branch is several times slower
// on a whole image).
void ImageMinMax(const double* values, std::size_t n, double& lo, double& hi)
{
    lo = hi = n > 0 ? values[0] : 0.0;
    std::size_t k = 0;
    if (n >= 4) {
        Pair low[2], high[2];
        std::memcpy(low, values, sizeof low);
        high[0] = low[0];
        high[1] = low[1];
        for (k = 4; k + 4 <= n; k += 4) {
            Pair v[2];
            std::memcpy(v, values + k, sizeof v);
            for (int i = 0; i < 2; ++i) {
                low[i] = v[i] < low[i] ? v[i] : low[i];
                high[i] = v[i] > high[i] ? v[i] : high[i];
            }
        }
        for (int i = 0; i < 2; ++i)
            for (int lane = 0; lane < 2; ++lane) {
                lo = std::min(lo, low[i][lane]);
                hi = std::max(hi, high[i][lane]);
            }
    }
    for (; k < n; ++k) {
        lo = std::min(lo, values[k]);
        hi = std::max(hi, values[k]);
    }
}

} // namespace

SteerablePyramid::LifetimeToken::LifetimeToken()
{
    ++sLivePyramids;
}

SteerablePyramid::LifetimeToken::LifetimeToken(const LifetimeToken&)
{
    ++sLivePyramids;
}

SteerablePyramid::LifetimeToken::~LifetimeToken()
{
    // The spectra are only worth keeping while some pyramid may use them again.
    if (--sLivePyramids == 0)
        FilterFTCacheClear();
}

void SteerablePyramid::ForcePortableKernelsForTesting(bool force)
{
    ForcePortableSoftThresholdForTesting(force);
    ForcePortableSpectrumKernelsForTesting(force);
}

int SteerablePyramid::LivePyramidCount()
{
    return sLivePyramids.load();
}

SteerablePyramid::SteerablePyramid()
{
    InitFilters();
    CreateScratch(0);
}

SteerablePyramid::SteerablePyramid(const SteerablePyramid& src) = default;

SteerablePyramid::~SteerablePyramid() = default;

void SteerablePyramid::InitFilters()
{
    LoadPyramidFilters();
}

void SteerablePyramid::CreateScratch(std::size_t n)
{
    if (n <= scratchSize_)
        return;
    // Release first so that old and new never need memory together; the size is recorded only
    // once both arrays exist.
    std::vector<double>().swap(scratch_2D_A_);
    std::vector<double>().swap(scratch_2D_B_);
    scratchSize_ = 0;
    scratch_2D_A_ = AllocateDoubles(n);
    scratch_2D_B_ = AllocateDoubles(n);
    scratchSize_ = n;
}

void SteerablePyramid::Destroy()
{
    std::vector<double>().swap(highpassResidual);
    for (auto& band : bands)
        std::vector<std::vector<double>>().swap(band);
    std::vector<std::vector<double>>().swap(lowpass);
    std::vector<double>().swap(unfilteredInput);
    width = 0;
    height = 0;
    numLevels = 0;
}

int SteerablePyramid::DetermineNumLevels(int w, int h)
{
    return PyramidNumLevels(w, h);
}

void SteerablePyramid::Init(int w, int h)
{
    if (w == width && h == height)
        return;
    Destroy();
    if (w < 0 || h < 0)
        throw std::bad_alloc();
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const int levels = DetermineNumLevels(w, h);
    CreateScratch(n);
    highpassResidual = AllocateDoubles(n);
    for (auto& band : bands)
        band.resize(levels);
    lowpass.resize(levels);
    for (int L = 0; L < levels; ++L) {
        const std::size_t lw = static_cast<std::size_t>(w >> L);
        const std::size_t lh = static_cast<std::size_t>(h >> L);
        for (auto& band : bands)
            band[L] = AllocateDoubles(lw * lh);
        lowpass[L] = AllocateDoubles((lw / 2) * (lh / 2));
    }
    if (levels == 0)
        unfilteredInput = AllocateDoubles(n);
    // Only a completely shaped pyramid takes the new size (a later same-size Init trusts it).
    width = w;
    height = h;
    numLevels = levels;
}

SteerablePyramid& SteerablePyramid::operator=(const SteerablePyramid& src)
{
    if (&src == this)
        return *this;
    Init(src.width, src.height);
    useFT = src.useFT;
    std::copy(src.highpassResidual.begin(), src.highpassResidual.end(), highpassResidual.begin());
    for (int b = 0; b < kNumPyramidBands; ++b)
        for (int L = 0; L < numLevels; ++L)
            std::copy(src.bands[b][L].begin(), src.bands[b][L].end(), bands[b][L].begin());
    for (int L = 0; L < numLevels; ++L)
        std::copy(src.lowpass[L].begin(), src.lowpass[L].end(), lowpass[L].begin());
    std::copy(src.unfilteredInput.begin(), src.unfilteredInput.end(), unfilteredInput.begin());
    return *this;
}

void SteerablePyramid::ConvolveImage(const double* in, int w, int h, const double* filter, int d, double* out,
                                     bool clearFirst)
{
    if (w <= 0 || h <= 0 || d <= 0)
        return;
    const int c = d / 2;
    // Columns [c, w - c) read no wrapped index; the border columns wrap by a true modulo.
    const int interiorBegin = std::min(c, w);
    const int interiorEnd = std::max(w - c, interiorBegin);
    std::vector<double> sum(static_cast<std::size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0);
        for (int i = 0; i < d; ++i) {
            const double* inRow = in + static_cast<std::size_t>(Wrap(y + i - c, h)) * w;
            const double* filterRow = filter + static_cast<std::size_t>(i) * d;
            for (int j = 0; j < d; ++j) {
                const double f = filterRow[j];
                const int shift = j - c;
                for (int x = 0; x < interiorBegin; ++x)
                    sum[x] += f * inRow[Wrap(x + shift, w)];
                const double* shifted = inRow + shift;
                for (int x = interiorBegin; x < interiorEnd; ++x)
                    sum[x] += f * shifted[x];
                for (int x = interiorEnd; x < w; ++x)
                    sum[x] += f * inRow[Wrap(x + shift, w)];
            }
        }
        double* outRow = out + static_cast<std::size_t>(y) * w;
        if (clearFirst)
            std::copy(sum.begin(), sum.end(), outRow);
        else
            for (int x = 0; x < w; ++x)
                outRow[x] += sum[x];
    }
}

void SteerablePyramid::DoOneStepWaveletAnalysis(double* image, int L)
{
    const int lw = LevelWidth(L);
    const int lh = LevelHeight(L);
    std::vector<double> lo0;
    const double* source;
    if (L == 0) {
        ConvolveImage(image, lw, lh, PyramidAnalysisFilter(kPyramidHighpassFilter),
                      PyramidFilterDim(kPyramidHighpassFilter), highpassResidual.data(), true);
        lo0 = AllocateDoubles(static_cast<std::size_t>(lw) * lh);
        ConvolveImage(image, lw, lh, PyramidAnalysisFilter(kPyramidInitialLowpassFilter),
                      PyramidFilterDim(kPyramidInitialLowpassFilter), lo0.data(), true);
        source = lo0.data();
    } else {
        source = lowpass[L - 1].data();
    }
    for (int b = 0; b < kNumPyramidBands; ++b)
        ConvolveImage(source, lw, lh, PyramidAnalysisFilter(kPyramidFirstBandFilter + b),
                      PyramidFilterDim(kPyramidFirstBandFilter + b), bands[b][L].data(), true);
    ConvolveImage(source, lw, lh, PyramidAnalysisFilter(kPyramidLowpassFilter), PyramidFilterDim(kPyramidLowpassFilter),
                  image, true);
    Decimate(image, lw, lh, lowpass[L].data());
}

void SteerablePyramid::Decimate(const double* image, int lw, int lh, double* low)
{
    for (int r = 0; r < lh / 2; ++r)
        for (int x = 0; x < lw / 2; ++x)
            low[static_cast<std::size_t>(r) * (lw / 2) + x] = image[static_cast<std::size_t>(2 * r) * lw + 2 * x];
}

void SteerablePyramid::ZeroStuff(const double* low, int lw, int lh, double* image)
{
    std::fill(image, image + static_cast<std::size_t>(lw) * lh, 0.0);
    for (int r = 0; r < lh / 2; ++r)
        for (int x = 0; x < lw / 2; ++x)
            image[static_cast<std::size_t>(2 * r) * lw + 2 * x] = 4.0 * low[static_cast<std::size_t>(r) * (lw / 2) + x];
}

void SteerablePyramid::DoOneStepWaveletSynthesis(int L, double* image, double* scratch) const
{
    const int lw = LevelWidth(L);
    const int lh = LevelHeight(L);
    const std::size_t n = static_cast<std::size_t>(lw) * lh;
    ZeroStuff(L == numLevels - 1 ? lowpass[L].data() : image, lw, lh, scratch);
    ConvolveImage(scratch, lw, lh, PyramidSynthesisFilter(kPyramidLowpassFilter),
                  PyramidFilterDim(kPyramidLowpassFilter), image, true);
    for (int b = 0; b < kNumPyramidBands; ++b)
        ConvolveImage(bands[b][L].data(), lw, lh, PyramidSynthesisFilter(kPyramidFirstBandFilter + b),
                      PyramidFilterDim(kPyramidFirstBandFilter + b), image, false);
    if (L == 0) {
        std::vector<double> t = AllocateDoubles(n);
        ConvolveImage(image, lw, lh, PyramidSynthesisFilter(kPyramidInitialLowpassFilter),
                      PyramidFilterDim(kPyramidInitialLowpassFilter), t.data(), true);
        ConvolveImage(highpassResidual.data(), lw, lh, PyramidSynthesisFilter(kPyramidHighpassFilter),
                      PyramidFilterDim(kPyramidHighpassFilter), t.data(), false);
        std::copy(t.begin(), t.end(), image);
    }
}

void SteerablePyramid::DoFullWaveletAnalysis(const double* image, int w, int h, bool useFourier, int progressBase,
                                             const PyramidProgress& progress)
{
    Init(w, h);
    // The shared scratch may have been released by a failed Init of another pyramid since this one
    // was shaped.
    CreateScratch(PixelCount());
    const bool fourierSize = assertValidDims(w, h);
    // Callers pad to powers of two before asking for the spectrum path.
    assert(!useFourier || numLevels == 0 || fourierSize);
    useFT = useFourier && fourierSize;

    const std::size_t n = PixelCount();
    double lo = 0.0;
    double hi = 0.0;
    ImageMinMax(image, n, lo, hi);
    offset = -lo;
    range = hi - lo;
    if (range == 0.0)
        range = 1.0;
    double* normalized = scratch_2D_A_.data();
    for (std::size_t k = 0; k < n; ++k)
        normalized[k] = (image[k] + offset) / range;

    if (numLevels == 0) {
        std::copy(normalized, normalized + n, unfilteredInput.begin());
        return;
    }
    if (useFT) {
        DoFourierAnalysisLevels(normalized, progress, progressBase);
        return;
    }
    for (int L = 0; L < numLevels; ++L) {
        DoOneStepWaveletAnalysis(normalized, L);
        if (progress)
            progress(progressBase + L + 1);
    }
}

void SteerablePyramid::DoFullWaveletSynthesis(double* out, int progressBase, const PyramidProgress& progress) const
{
    Rebuild(out, nullptr, progressBase, progress);
}

void SteerablePyramid::ThresholdAndSynthesise(const std::vector<double>& t, double* out, int progressBase,
                                              const PyramidProgress& progress)
{
    if (useFT && numLevels > 0) {
        Rebuild(out, &t, progressBase, progress);
        return;
    }
    SoftThreshold(t);
    Rebuild(out, nullptr, progressBase, progress);
}

void SteerablePyramid::Rebuild(double* out, const std::vector<double>* thresholds, int progressBase,
                               const PyramidProgress& progress) const
{
    const std::size_t n = PixelCount();
    if (numLevels == 0) {
        std::copy(unfilteredInput.begin(), unfilteredInput.end(), out);
    } else if (useFT) {
        CreateScratch(n);
        DoFourierSynthesisLevels(out, progress, progressBase, thresholds);
    } else {
        std::vector<double> scratch = AllocateDoubles(n);
        for (int L = numLevels - 1; L >= 0; --L) {
            DoOneStepWaveletSynthesis(L, out, scratch.data());
            if (progress)
                progress(progressBase + numLevels - L);
        }
    }
    // Clamped to the analysed range: the rebuild never leaves the input's min ... max.
    for (std::size_t k = 0; k < n; ++k) {
        double v = out[k];
        if (v < 0.0)
            v = 0.0;
        else if (v > 1.0)
            v = 1.0;
        out[k] = v * range - offset;
    }
}

void SteerablePyramid::SoftThreshold(std::vector<double> t)
{
    auto entry = [&t](std::size_t i) { return i < t.size() ? t[i] : 0.0; };
    if (entry(0) > 0.0)
        SoftThresholdValues(highpassResidual.data(), highpassResidual.data(), highpassResidual.size(), entry(0));
    for (int L = 0; L < numLevels; ++L) {
        const double level = entry(static_cast<std::size_t>(L) + 1);
        if (level == 0.0)
            continue;
        for (auto& band : bands)
            SoftThresholdValues(band[L].data(), band[L].data(), band[L].size(), level);
    }
}
