// imaging/GaussianBlur.cpp: the Gaussian kernel and a separable blur that gives
// the square kernel's result with 2n instead of n^2 taps per pixel.
#include "imaging/GaussianBlur.h"
#include "imaging/ProcessorFeatures.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::atomic<int> sFailNextBlurs{0};      // test hook
std::atomic<bool> sForcePortable{false}; // test hook

// The base of the program's exponentials, as the stored kernels were made.
constexpr double kE = 2.718281828459045;
// Taps whose weight on the axis is at most this are cut off.
constexpr double kCropWeight = 0.2;
// Longest axis built before cropping; far beyond any caller's radius (20).
constexpr double kMaxAxisLength = 1 << 24;

// The three sums of the blur keep eight columns in registers across all taps,
// as two vectors of four doubles (two SSE2 halves each in the baseline
// build). Each is also compiled for AVX2 and picked once at run time (not
// through an ifunc, whose resolver would run before ThreadSanitizer starts);
// every lane does the same scalar operations in the same order, with no fused
// multiply-add, so both builds give the same bits.
using Vector = double __attribute__((vector_size(32)));
constexpr int kVector = 4;
constexpr int kLanes = 2 * kVector;

// t[x] = (w[0] * rows[0][x] + sum over k of w[k] * (rows[-k][x] + rows[k][x])) / norm.
inline __attribute__((always_inline)) void SumOfRowPairsBody(double* const* rows, const double* w, int half,
                                                             double norm, double* __restrict t, int cols)
{
    int x = 0;
    for (; x + kLanes <= cols; x += kLanes) {
        Vector lo, hi, a, b;
        std::memcpy(&lo, rows[0] + x, sizeof lo);
        std::memcpy(&hi, rows[0] + x + kVector, sizeof hi);
        lo *= w[0];
        hi *= w[0];
        for (int k = 1; k <= half; ++k) {
            const double* up = rows[-k] + x;
            const double* down = rows[k] + x;
            std::memcpy(&a, up, sizeof a);
            std::memcpy(&b, down, sizeof b);
            lo += w[k] * (a + b);
            std::memcpy(&a, up + kVector, sizeof a);
            std::memcpy(&b, down + kVector, sizeof b);
            hi += w[k] * (a + b);
        }
        lo /= norm;
        hi /= norm;
        std::memcpy(t + x, &lo, sizeof lo);
        std::memcpy(t + x + kVector, &hi, sizeof hi);
    }
    for (; x < cols; ++x) {
        double acc = w[0] * rows[0][x];
        for (int k = 1; k <= half; ++k)
            acc += w[k] * (rows[-k][x] + rows[k][x]);
        t[x] = acc / norm;
    }
}

// t[x] = (sum over k of w[k] * rows[k][x]) / norm, for rows near the top
// and bottom whose taps are cut by the plane's edge.
inline __attribute__((always_inline)) void SumOfRowsBody(double* const* rows, const double* w, int taps, double norm,
                                                         double* __restrict t, int cols)
{
    int x = 0;
    for (; x + kLanes <= cols; x += kLanes) {
        Vector lo, hi, a;
        std::memcpy(&lo, rows[0] + x, sizeof lo);
        std::memcpy(&hi, rows[0] + x + kVector, sizeof hi);
        lo *= w[0];
        hi *= w[0];
        for (int k = 1; k < taps; ++k) {
            std::memcpy(&a, rows[k] + x, sizeof a);
            lo += w[k] * a;
            std::memcpy(&a, rows[k] + x + kVector, sizeof a);
            hi += w[k] * a;
        }
        lo /= norm;
        hi /= norm;
        std::memcpy(t + x, &lo, sizeof lo);
        std::memcpy(t + x + kVector, &hi, sizeof hi);
    }
    for (; x < cols; ++x) {
        double acc = w[0] * rows[0][x];
        for (int k = 1; k < taps; ++k)
            acc += w[k] * rows[k][x];
        t[x] = acc / norm;
    }
}

// Where the processor has them, the row pass writes the blurred rows with
// stores that go around the cache: a plain store first reads each line in
// from memory, and a blurred plane of many megabytes is read again only
// after the whole plane, when the cache holds other rows. Two such stores
// per vector, each of two doubles at an address that is a multiple of 16
// bytes. The differences are stored plainly: the pyramid writes them into
// fresh pages, which the system has just cleared through the cache, and
// streaming them there measured slower.
#if defined(__SSE2__)
constexpr bool kCanStream = true;
constexpr std::uintptr_t kStreamAlignment = 16;

template <bool kStream> inline __attribute__((always_inline)) void Put(double* to, const Vector& v)
{
    if constexpr (kStream) {
        _mm_stream_pd(to, __m128d{v[0], v[1]});
        _mm_stream_pd(to + 2, __m128d{v[2], v[3]});
    } else {
        std::memcpy(to, &v, sizeof v);
    }
}

// Orders the streamed stores before whatever this thread writes next (a
// flag another thread reads, say), as plain stores are.
void EndStreaming()
{
    _mm_sfence();
}
#else
constexpr bool kCanStream = false;
constexpr std::uintptr_t kStreamAlignment = 1;

template <bool kStream> inline __attribute__((always_inline)) void Put(double* to, const Vector& v)
{
    std::memcpy(to, &v, sizeof v);
}

void EndStreaming()
{
}
#endif

// out[x] = (w[0] * t[x] + sum over k of w[k] * (t[x - k] + t[x + k])) / norm[x],
// and with kDifference diff[x] = in[x] - out[x] (the same subtraction as of
// the finished rows). t has half zeros before and after its cols values,
// which add nothing. With kStream the columns before the first address out
// can be streamed to are done one by one, then the vectors are streamed.
template <bool kStream, bool kDifference>
inline __attribute__((always_inline)) void SumAlongRowBody(const double* t, const double* w, int half,
                                                           const double* __restrict norm, const double* in,
                                                           double* __restrict out, double* __restrict diff, int cols)
{
    const auto pixel = [&](int x) {
        double acc = w[0] * t[x];
        for (int k = 1; k <= half; ++k)
            acc += w[k] * (t[x - k] + t[x + k]);
        out[x] = acc / norm[x];
        if constexpr (kDifference)
            diff[x] = in[x] - out[x];
    };
    int x = 0;
    if constexpr (kStream)
        for (; x < cols && reinterpret_cast<std::uintptr_t>(out + x) % kStreamAlignment != 0; ++x)
            pixel(x);
    for (; x + kLanes <= cols; x += kLanes) {
        Vector lo, hi, a, b, n;
        std::memcpy(&lo, t + x, sizeof lo);
        std::memcpy(&hi, t + x + kVector, sizeof hi);
        lo *= w[0];
        hi *= w[0];
        for (int k = 1; k <= half; ++k) {
            std::memcpy(&a, t + x - k, sizeof a);
            std::memcpy(&b, t + x + k, sizeof b);
            lo += w[k] * (a + b);
            std::memcpy(&a, t + x + kVector - k, sizeof a);
            std::memcpy(&b, t + x + kVector + k, sizeof b);
            hi += w[k] * (a + b);
        }
        std::memcpy(&n, norm + x, sizeof n);
        lo /= n;
        std::memcpy(&n, norm + x + kVector, sizeof n);
        hi /= n;
        Put<kStream>(out + x, lo);
        Put<kStream>(out + x + kVector, hi);
        if constexpr (kDifference) {
            std::memcpy(&a, in + x, sizeof a);
            Put<false>(diff + x, a - lo);
            std::memcpy(&a, in + x + kVector, sizeof a);
            Put<false>(diff + x + kVector, a - hi);
        }
    }
    for (; x < cols; ++x)
        pixel(x);
}

// The row pass; diff null for the blur alone (in is then not read).
inline __attribute__((always_inline)) void SumAlongRowEither(const double* t, const double* w, int half,
                                                             const double* norm, const double* in, double* out,
                                                             double* diff, int cols)
{
    if (diff)
        SumAlongRowBody<kCanStream, true>(t, w, half, norm, in, out, diff, cols);
    else
        SumAlongRowBody<kCanStream, false>(t, w, half, norm, in, out, diff, cols);
}

using RowPairsSum = void (*)(double* const*, const double*, int, double, double*, int);
using RowsSum = void (*)(double* const*, const double*, int, double, double*, int);
using AlongRowSum = void (*)(const double*, const double*, int, const double*, const double*, double*, double*, int);

struct Sums {
    RowPairsSum rowPairs;
    RowsSum rows;
    AlongRowSum alongRow;
};

void SumOfRowPairsBase(double* const* rows, const double* w, int half, double norm, double* t, int cols)
{
    SumOfRowPairsBody(rows, w, half, norm, t, cols);
}
__attribute__((target("avx2"))) void SumOfRowPairsAvx2(double* const* rows, const double* w, int half, double norm,
                                                       double* t, int cols)
{
    SumOfRowPairsBody(rows, w, half, norm, t, cols);
}
void SumOfRowsBase(double* const* rows, const double* w, int taps, double norm, double* t, int cols)
{
    SumOfRowsBody(rows, w, taps, norm, t, cols);
}
__attribute__((target("avx2"))) void SumOfRowsAvx2(double* const* rows, const double* w, int taps, double norm,
                                                   double* t, int cols)
{
    SumOfRowsBody(rows, w, taps, norm, t, cols);
}
void SumAlongRowBase(const double* t, const double* w, int half, const double* norm, const double* in, double* out,
                     double* diff, int cols)
{
    SumAlongRowEither(t, w, half, norm, in, out, diff, cols);
}
__attribute__((target("avx2"))) void SumAlongRowAvx2(const double* t, const double* w, int half, const double* norm,
                                                     const double* in, double* out, double* diff, int cols)
{
    SumAlongRowEither(t, w, half, norm, in, out, diff, cols);
}

const Sums& ChosenSums()
{
    static const Sums base{SumOfRowPairsBase, SumOfRowsBase, SumAlongRowBase};
    static const Sums sums = ProcessorHasAvx2() ? Sums{SumOfRowPairsAvx2, SumOfRowsAvx2, SumAlongRowAvx2} : base;
    return sForcePortable.load(std::memory_order_relaxed) ? base : sums;
}

void SubtractRow(const double* a, const double* b, double* __restrict out, int cols)
{
    for (int x = 0; x < cols; ++x)
        out[x] = a[x] - b[x];
}

// One plane: for each output row a column pass into a zero-padded scratch row,
// then a row pass out of it. Each pass divides by the sum of its taps inside
// the plane; the taps inside form a rectangle, so the product of the two
// divisors is the square kernel's divisor.
class SeparableGaussian {
public:
    SeparableGaussian(std::vector<double> weights, int rows, int cols)
        : mW(std::move(weights)), mN(static_cast<int>(mW.size())), mHalf(mN / 2), mRows(rows), mCols(cols),
          mRow(static_cast<std::size_t>(cols) + 2 * static_cast<std::size_t>(mHalf), 0.0),
          mRowNorm(static_cast<std::size_t>(cols))
    {
        // The weights are symmetric, so both passes add mirrored pairs first.
        // Each divisor is summed in the same pattern as its sums (a missing
        // partner counting 0), so a constant plane comes back exactly.
        const double* w = mW.data() + mHalf;
        mFoldedNorm = w[0];
        for (int k = 1; k <= mHalf; ++k)
            mFoldedNorm += w[k] * 2.0;
        for (int x = 0; x < cols; ++x) {
            double norm = w[0];
            for (int k = 1; k <= mHalf; ++k)
                norm += w[k] * ((x - k >= 0 ? 1.0 : 0.0) + (x + k < cols ? 1.0 : 0.0));
            mRowNorm[x] = norm;
        }
    }

    // out = the blur of in; difference (when given) = in - out, each row
    // taken while the blurred row is still in the cache.
    void Plane(double** in, double** out, double** difference = nullptr)
    {
        for (int y = 0; y < mRows; ++y) {
            ColumnPass(in, y);
            mSums.alongRow(mRow.data() + mHalf, mW.data() + mHalf, mHalf, mRowNorm.data(), in[y], out[y],
                           difference ? difference[y] : nullptr, mCols);
        }
    }

private:
    // mRow[mHalf + x] = sum over in-plane taps a of w[a] * in[y + a - half][x],
    // divided by the sum of those w[a].
    void ColumnPass(double** in, int y)
    {
        double* t = mRow.data() + mHalf;
        if (y >= mHalf && y < mRows - mHalf) {
            mSums.rowPairs(in + y, mW.data() + mHalf, mHalf, mFoldedNorm, t, mCols);
            return;
        }
        const int a0 = std::max(0, mHalf - y), a1 = std::min(mN, mRows - y + mHalf);
        double norm = 0.0;
        for (int a = a0; a < a1; ++a)
            norm += mW[a];
        mSums.rows(in + (y + a0 - mHalf), mW.data() + a0, a1 - a0, norm, t, mCols);
    }

    const Sums& mSums = ChosenSums();
    std::vector<double> mW;
    int mN, mHalf, mRows, mCols;
    double mFoldedNorm = 0.0;     // w[half] + 2 w[half + 1] + ..., summed like the interior sums
    std::vector<double> mRow;     // cols + 2 * half, zero outside [half, half + cols)
    std::vector<double> mRowNorm; // per column: the in-plane weights, summed like that column's sums
};

} // namespace

std::vector<double> GaussianAxisWeights(double radius)
{
    assert(radius > 0);
    const double length = 2.0 * std::trunc(radius + 1.0) - 1.0;
    if (!(length <= kMaxAxisLength))
        throw std::bad_alloc();
    const int size = std::max(3, static_cast<int>(length));
    const int c = size / 2;
    const double s = 1.0 / radius;
    std::vector<double> w(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        const double t = i == c ? 0.0 : 2.0 * (i - c) * s; // the centre stays 1.0 even when s overflows
        w[i] = 1.0 / std::pow(kE, t * t);
    }
    if (size < 4 || w[0] > kCropWeight)
        return w;
    int k = 1;
    while (!(w[k] > kCropWeight)) // stops at the latest at the centre, 1.0
        ++k;
    return std::vector<double>(w.begin() + k, w.end() - k);
}

void CreateGaussianBlurConvolutionKernel(double radius, int& size, double*& kernel)
{
    const std::vector<double> w = GaussianAxisWeights(radius);
    const int n = static_cast<int>(w.size());
    kernel = new double[static_cast<std::size_t>(n) * n];
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            kernel[static_cast<std::size_t>(i) * n + j] = w[i] * w[j];
    size = n;
}

int GaussianBlurFloatArraysToFloatArrays(double radius, int rows, int cols, double** inRed, double** inGreen,
                                         double** inBlue, double** outRed, double** outGreen, double** outBlue)
{
    double** const in[3] = {inRed, inGreen, inBlue};
    double** const out[3] = {outRed, outGreen, outBlue};
    GaussianBlurWithDifference(radius, rows, cols, in, out, nullptr);
    return 0;
}

void GaussianBlurWithDifference(double radius, int rows, int cols, double** const in[3], double** const out[3],
                                double** const difference[3])
{
    if (!(radius >= 0.0) || rows < 1 || cols < 1)
        return;
    if (radius == 0.0) {
        const std::size_t bytes = static_cast<std::size_t>(cols) * sizeof(double);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < rows; ++y) {
                std::memcpy(out[c][y], in[c][y], bytes);
                if (difference)
                    SubtractRow(in[c][y], out[c][y], difference[c][y], cols);
            }
        return;
    }
    for (int pending = sFailNextBlurs.load(std::memory_order_relaxed); pending > 0;)
        if (sFailNextBlurs.compare_exchange_weak(pending, pending - 1))
            throw std::bad_alloc();
    const auto blur = std::make_unique<SeparableGaussian>(GaussianAxisWeights(radius), rows, cols);
    for (int c = 0; c < 3; ++c)
        blur->Plane(in[c], out[c], difference ? difference[c] : nullptr);
    EndStreaming();
}

void ForcePortableGaussianBlurForTesting(bool force)
{
    sForcePortable.store(force, std::memory_order_relaxed);
}

void FailNextGaussianBlursForTesting(int n)
{
    sFailNextBlurs.store(n > 0 ? n : 0, std::memory_order_relaxed);
}
