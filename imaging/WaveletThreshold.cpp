// imaging/WaveletThreshold.cpp: the preview area's geometry and padding, the threshold list, and the
// analysis, soft thresholding and rebuild of the three planes.
#include "imaging/WaveletThreshold.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "imaging/SumPlaneFilters.h"

namespace {

int sFailPrepares = 0; // test hook; main thread only, as every use of this file's class

// Widens [lo, hi) to at least kWaveletMinPreviewSide within 0 .. size.
void WidenSide(int& lo, int& hi, int size)
{
    if (hi - lo < kWaveletMinPreviewSide) {
        hi = lo + kWaveletMinPreviewSide;
        if (hi >= size) {
            // Moved back so that its far edge lies one short of the stack's edge.
            const int shift = size - hi - 1;
            lo += shift;
            hi += shift;
        }
    }
    // A stack smaller than the minimum (or a rectangle handed in outside it) must not lead the
    // write-back outside the planes: the move stops at the stack's near edge.
    if (lo < 0) {
        hi -= lo;
        lo = 0;
    }
    lo = std::clamp(lo, 0, size);
    hi = std::clamp(hi, lo, size);
}

// Mirrors an index into 0 .. n - 1: -k reads k, n + k reads n - 1 - k; folded again while needed.
int MirrorIndex(int i, int n)
{
    if (n <= 1)
        return 0;
    for (int guard = 0; guard < 64 && (i < 0 || i >= n); ++guard) {
        if (i < 0)
            i = -i;
        if (i >= n)
            i = 2 * n - 1 - i;
    }
    return std::clamp(i, 0, n - 1);
}

using Pair = double __attribute__((vector_size(16)));
using PairMask = long long __attribute__((vector_size(16)));
using PairSums = int32_t __attribute__((vector_size(8)));

// out[x] = RoundedSum(in[x]) for x < n, two at a time without branches (the compiler keeps the
// comparisons of the scalar rule as branches): held to 0 ... INT32_MAX (NaN to 0), truncated, and
// raised by one where the part cut off is at least a half (exact: the kept value is below 2^31).
void RoundedSumRow(const double* in, int32_t* out, int n)
{
    const Pair zero = {0.0, 0.0};
    const Pair most = {2147483647.0, 2147483647.0};
    const Pair half = {0.5, 0.5};
    int x = 0;
    for (; x + 2 <= n; x += 2) {
        Pair v;
        std::memcpy(&v, in + x, sizeof v);
        v = v > zero ? v : zero;
        v = v < most ? v : most;
        const PairSums whole = __builtin_convertvector(v, PairSums);
        const PairMask up = (v - __builtin_convertvector(whole, Pair)) >= half;
        const PairSums result = whole - __builtin_convertvector(up, PairSums);
        std::memcpy(out + x, &result, sizeof result);
    }
    for (; x < n; ++x)
        out[x] = RoundedSum(in[x]);
}

} // namespace

Rect MinimumWaveletPreviewBounds(Rect r, int width, int height)
{
    int left = r.left, right = r.right, top = r.top, bottom = r.bottom;
    WidenSide(left, right, width);
    WidenSide(top, bottom, height);
    return MakeRect(top, left, bottom, right);
}

int SmallestPowerOfTwoAtLeast(int n)
{
    int p = 1;
    for (int i = 0; i < 30 && p < n; ++i)
        p *= 2;
    return p;
}

WaveletPreviewArea ComputeWaveletPreviewArea(Rect preview)
{
    WaveletPreviewArea a;
    a.preview = preview;
    const int w = std::max(0, preview.right - preview.left), h = std::max(0, preview.bottom - preview.top);
    a.paddedWidth = SmallestPowerOfTwoAtLeast(w);
    a.paddedHeight = SmallestPowerOfTwoAtLeast(h);
    a.padLeft = (a.paddedWidth - w) / 2;
    a.padRight = a.paddedWidth - w - a.padLeft;
    a.padTop = (a.paddedHeight - h) / 2;
    a.padBottom = a.paddedHeight - h - a.padTop;
    a.bordered = MakeRect(preview.top - a.padTop, preview.left - a.padLeft, preview.top - a.padTop + a.paddedHeight,
                          preview.left - a.padLeft + a.paddedWidth);
    a.numLevels = SteerablePyramid::DetermineNumLevels(a.paddedWidth, a.paddedHeight);
    return a;
}

std::vector<double> WaveletThresholdList(const double* percents, int count, int numLevels)
{
    std::vector<double> t(static_cast<std::size_t>(std::max(0, numLevels) + 1), 0.0);
    for (int i = 0; i < count && i < static_cast<int>(t.size()); ++i)
        t[static_cast<std::size_t>(i)] = percents[i] / 100.0;
    return t;
}

bool WaveletThresholdsNeutral(const std::vector<double>& thresholds)
{
    return std::none_of(thresholds.begin(), thresholds.end(), [](double t) { return t > 0.0; });
}

void CopyMirroredWaveletArea(const ConstSumPlanes& saved, const WaveletPreviewArea& area, DoublePlanes& input)
{
    const int W = saved.width, H = saved.height;
    const int32_t* planes[3] = {saved.red, saved.green, saved.blue};
    std::vector<int> columns(static_cast<std::size_t>(area.paddedWidth));
    for (int x = 0; x < area.paddedWidth; ++x)
        columns[static_cast<std::size_t>(x)] = MirrorIndex(area.bordered.left + x, W);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < area.paddedHeight; ++y) {
            const int32_t* row = planes[c] + static_cast<std::size_t>(MirrorIndex(area.bordered.top + y, H)) * W;
            double* out = input.Row(c, y);
            for (int x = 0; x < area.paddedWidth; ++x)
                out[x] = row[columns[static_cast<std::size_t>(x)]];
        }
}

void WriteBackWaveletArea(const DoublePlanes& output, const WaveletPreviewArea& area, const SumPlanes& live)
{
    const Rect r = ClipRectToPlanes(area.preview, live.width, live.height);
    int32_t* planes[3] = {live.red, live.green, live.blue};
    for (int c = 0; c < 3; ++c)
        for (int y = r.top; y < r.bottom; ++y) {
            const double* in = output.Row(c, area.padTop + y - area.preview.top) + area.padLeft - area.preview.left;
            int32_t* out = planes[c] + static_cast<std::size_t>(y) * live.width;
            RoundedSumRow(in + r.left, out + r.left, r.right - r.left);
        }
}

void FailNextWaveletPreparesForTesting(int n)
{
    sFailPrepares = n > 0 ? n : 0;
}

WaveletThresholdPlanes::WaveletThresholdPlanes()
{
    for (auto& p : mWorking)
        p = std::make_unique<SteerablePyramid>();
    for (auto& p : mKept)
        p = std::make_unique<SteerablePyramid>();
}

void WaveletThresholdPlanes::Release()
{
    mInput = DoublePlanes();
    mOutput = DoublePlanes();
    mAnalysed = false;
    mWorkingFresh = false;
}

void WaveletThresholdPlanes::Prepare(const ConstSumPlanes& saved, Rect preview, bool keepAnalysis)
{
    mAnalysed = false;
    mWorkingFresh = false;
    mKeepAnalysis = keepAnalysis;
    mArea = ComputeWaveletPreviewArea(ClipRectToPlanes(preview, saved.width, saved.height));
    try {
        if (sFailPrepares > 0) {
            --sFailPrepares;
            throw std::bad_alloc();
        }
        // Planes of the same size are used again as they are; others go before the new ones come.
        // Every value of both is written before it is read: the copy fills the input, each rebuild
        // the whole output.
        if (mInput.Width() != mArea.paddedWidth || mInput.Height() != mArea.paddedHeight) {
            Release();
            mInput = DoublePlanes::Unset(mArea.paddedWidth, mArea.paddedHeight);
            mOutput = DoublePlanes::Unset(mArea.paddedWidth, mArea.paddedHeight);
        }
        if (!keepAnalysis)
            for (auto& p : mKept)
                p = std::make_unique<SteerablePyramid>(); // their storage goes
    } catch (const std::bad_alloc&) {
        Release();
        throw;
    }
    CopyMirroredWaveletArea(saved, mArea, mInput);
}

void WaveletThresholdPlanes::Analyse(const PyramidProgress& progress)
{
    if (Empty())
        return;
    mAnalysed = false;
    const int L = mArea.numLevels;
    for (int c = 0; c < 3; ++c)
        mWorking[c]->DoFullWaveletAnalysis(mInput.Row(c, 0), mArea.paddedWidth, mArea.paddedHeight, true, c * L,
                                           progress);
    if (mKeepAnalysis)
        for (int c = 0; c < 3; ++c)
            *mKept[c] = *mWorking[c];
    mAnalysed = true;
    mWorkingFresh = true;
}

void WaveletThresholdPlanes::Synthesise(const std::vector<double>& thresholds, const ConstSumPlanes& saved,
                                        const SumPlanes& live, const PyramidProgress& progress)
{
    if (Empty() || !mAnalysed)
        return;
    if (WaveletThresholdsNeutral(thresholds)) {
        CopySumPlanesRect(saved, live, mArea.preview);
        return;
    }
    if (!mWorkingFresh) {
        if (!mKeepAnalysis)
            return; // the one rebuild without a kept analysis was made already
        for (int c = 0; c < 3; ++c)
            *mWorking[c] = *mKept[c];
    }
    mWorkingFresh = false;
    const int L = mArea.numLevels;
    for (int c = 0; c < 3; ++c)
        mWorking[c]->ThresholdAndSynthesise(thresholds, mOutput.Row(c, 0), c * L, progress);
    WriteBackWaveletArea(mOutput, mArea, live);
}
