// imaging/Measurements.cpp: read-only measurements of depth-32 images.
// Pixels are read straight from the image rows (bytes alpha, red, green,
// blue); no drawing happens, so the current port is left alone.
#include "imaging/Measurements.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "imaging/FFT2D.h"
#include "imaging/PixelTransfer.h"
#include "imaging/ProcessorFeatures.h"

namespace {

std::atomic<bool> sForcePortableDifference{false};

// 0 when rect is non-empty and lies inside image, else the code: empty first,
// then a negative edge, then past the edge.
int CheckRect(const GWorldWrapper& image, Rect rect)
{
    if (rect.Width() <= 0 || rect.Height() <= 0)
        return kMeasureEmptyOrMismatchedRect;
    if (rect.left < 0 || rect.top < 0)
        return kMeasureNegativeEdge;
    if (rect.right > image.Width() || rect.bottom > image.Height())
        return kMeasurePastImageEdge;
    return 0;
}

inline const uint8_t* RowAt(const GWorldWrapper& image, int y, int x)
{
    return image.PixelRow(y) + 4 * static_cast<ptrdiff_t>(x);
}

inline int Value(const uint8_t* p)
{
    return std::max({p[1], p[2], p[3]});
}

// Sum over one row of the differences of the pixels that take part. Rows are
// at most 32767 pixels, so 32767 * 765 fits the 32-bit row sum.
template <int Channel> uint32_t RowDifference(const uint8_t* pa, const uint8_t* pb, int w, int threshold)
{
    uint32_t sum = 0;
    for (int x = 0; x < w; ++x, pa += 4, pb += 4) {
        if constexpr (Channel == 0) {
            const int d = std::abs(pa[1] - pb[1]) + std::abs(pa[2] - pb[2]) + std::abs(pa[3] - pb[3]);
            sum += Value(pa) >= threshold ? static_cast<uint32_t>(d) : 0u;
        } else {
            const int d = std::abs(pa[Channel] - pb[Channel]);
            sum += pa[Channel] >= threshold ? static_cast<uint32_t>(d) : 0u;
        }
    }
    return sum;
}

#if defined(__x86_64__) || defined(__i386__)
#define VELMORA_DIFFERENCE_AVX2 1
// The same sum eight pixels at a time: the byte differences of the counted
// components, kept where a's pixel takes part, summed exactly by SAD.
template <int Channel>
__attribute__((target("avx2"))) uint32_t RowDifferenceAvx2(const uint8_t* pa, const uint8_t* pb, int w,
                                                            int threshold)
{
    const __m256i keep = _mm256_set1_epi32(Channel == 0 ? static_cast<int>(0xFFFFFF00u) : 0xFF << (8 * Channel));
    const __m256i low = _mm256_set1_epi32(0xFF);
    // value >= threshold as value > threshold - 1 over values 0...255
    const __m256i below = _mm256_set1_epi32(std::clamp(threshold, -1, 256) - 1);
    __m256i sums = _mm256_setzero_si256();
    int x = 0;
    for (; x + 8 <= w; x += 8, pa += 32, pb += 32) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pa));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pb));
        __m256i value;
        if constexpr (Channel == 0) {
            const __m256i rgb = _mm256_srli_epi32(va, 8);
            const __m256i m = _mm256_max_epu8(rgb, _mm256_srli_epi32(rgb, 8));
            value = _mm256_and_si256(_mm256_max_epu8(m, _mm256_srli_epi32(rgb, 16)), low);
        } else {
            value = _mm256_and_si256(_mm256_srli_epi32(va, 8 * Channel), low);
        }
        const __m256i counted = _mm256_and_si256(_mm256_cmpgt_epi32(value, below), keep);
        const __m256i d = _mm256_sub_epi8(_mm256_max_epu8(va, vb), _mm256_min_epu8(va, vb));
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(_mm256_and_si256(d, counted), _mm256_setzero_si256()));
    }
    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
    return static_cast<uint32_t>(lanes[0] + lanes[1] + lanes[2] + lanes[3]) +
           RowDifference<Channel>(pa, pb, w - x, threshold);
}

bool UseAvx2()
{
    return ProcessorHasAvx2() && !sForcePortableDifference.load(std::memory_order_relaxed);
}
#endif

// The components of one pixel that the channel counts: red, green and blue
// for channel 0, the one component for 1...3, none for any other.
uint32_t KeptComponents(int channel)
{
    uint8_t bytes[4] = {0, 0, 0, 0};
    for (int c = 1; c <= 3; ++c)
        if (channel == 0 || channel == c)
            bytes[c] = 0xFF;
    uint32_t keep;
    std::memcpy(&keep, bytes, sizeof keep);
    return keep;
}

// Sum of |a - b| over the bytes of one row of a prepared rect against b's
// pixels, b masked to the components kept; where Selective (threshold >= 1)
// a pixel of a that is 0 did not take part and its b pixel is cleared too.
template <bool Selective> uint32_t PreparedRow(const uint32_t* counted, const uint8_t* pb, int w, uint32_t keep)
{
    uint32_t sum = 0;
    for (int x = 0; x < w; ++x, pb += 4) {
        const uint32_t a = counted[x];
        uint32_t b;
        std::memcpy(&b, pb, sizeof b);
        b &= Selective && a == 0 ? 0u : keep;
        for (int shift = 0; shift < 32; shift += 8)
            sum += static_cast<uint32_t>(std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                                  static_cast<int>((b >> shift) & 0xFF)));
    }
    return sum;
}

#if defined(VELMORA_DIFFERENCE_AVX2)
// The same eight pixels at a time; the last few of a row through a masked
// load of b (the prepared rows are padded with zeros to a multiple of eight).
__attribute__((target("avx2"))) inline __m256i Load8(const uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <bool Selective>
__attribute__((target("avx2"))) inline __m256i PreparedEight(const uint32_t* counted, __m256i b, __m256i keep)
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(counted));
    b = _mm256_and_si256(b, keep);
    if constexpr (Selective)
        b = _mm256_andnot_si256(_mm256_cmpeq_epi32(a, _mm256_setzero_si256()), b);
    return _mm256_sad_epu8(a, b);
}

// Sum over the rect of b, rows of counted stride apart.
template <bool Selective>
__attribute__((target("avx2"))) int64_t PreparedSumAvx2(const uint32_t* counted, int stride, const GWorldWrapper& b,
                                                         Rect rb, uint32_t keepBits)
{
    const int w = rb.Width(), h = rb.Height();
    const __m256i keep = _mm256_set1_epi32(static_cast<int>(keepBits));
    const __m256i lanes = _mm256_cmpgt_epi32(_mm256_set1_epi32(w % 8), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    // Each 64-bit lane gains at most 8 * 255 a step: no overflow below 2^52 steps.
    __m256i sums = _mm256_setzero_si256();
    for (int i = 0; i < h; ++i, counted += stride) {
        const uint8_t* pb = RowAt(b, rb.top + i, rb.left);
        int x = 0;
        for (; x + 8 <= w; x += 8)
            sums = _mm256_add_epi64(sums, PreparedEight<Selective>(counted + x, Load8(pb + 4 * x), keep));
        if (x < w) {
            const __m256i tail = _mm256_maskload_epi32(reinterpret_cast<const int*>(pb + 4 * x), lanes);
            sums = _mm256_add_epi64(sums, PreparedEight<Selective>(counted + x, tail, keep));
        }
    }
    alignas(32) uint64_t total[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(total), sums);
    return static_cast<int64_t>(total[0] + total[1] + total[2] + total[3]);
}
#endif

template <bool Selective>
int64_t PreparedSum(const uint32_t* counted, int stride, const GWorldWrapper& b, Rect rb, uint32_t keep)
{
    const int w = rb.Width(), h = rb.Height();
    int64_t total = 0;
#if defined(VELMORA_DIFFERENCE_AVX2)
    if (UseAvx2())
        return PreparedSumAvx2<Selective>(counted, stride, b, rb, keep);
#endif
    for (int i = 0; i < h; ++i, counted += stride)
        total += PreparedRow<Selective>(counted, RowAt(b, rb.top + i, rb.left), w, keep);
    return total;
}

// The checks of CalculateDifference, in its order: 0 when both rects are good.
int CheckRectPair(int widthA, int heightA, Rect rectA, const GWorldWrapper& b, Rect rectB)
{
    const int w = rectA.Width(), h = rectA.Height();
    if (rectB.Width() != w || rectB.Height() != h || w <= 0 || h <= 0)
        return kMeasureEmptyOrMismatchedRect;
    if (rectA.left < 0 || rectA.top < 0 || rectB.left < 0 || rectB.top < 0)
        return kMeasureNegativeEdge;
    if (rectA.right > widthA || rectA.bottom > heightA || rectB.right > b.Width() || rectB.bottom > b.Height())
        return kMeasurePastImageEdge;
    return 0;
}

double MeanDifference(int64_t sum, Rect rect, int channel)
{
    const double pixels = static_cast<double>(rect.Width()) * static_cast<double>(rect.Height());
    return static_cast<double>(sum) / (pixels * (channel == 0 ? 765.0 : 255.0));
}

template <int Channel>
int64_t Difference(const GWorldWrapper& a, const GWorldWrapper& b, Rect ra, Rect rb, int threshold)
{
    const int w = ra.Width(), h = ra.Height();
    int64_t total = 0;
#if defined(VELMORA_DIFFERENCE_AVX2)
    if (UseAvx2()) {
        for (int i = 0; i < h; ++i)
            total += RowDifferenceAvx2<Channel>(RowAt(a, ra.top + i, ra.left), RowAt(b, rb.top + i, rb.left), w,
                                                threshold);
        return total;
    }
#endif
    for (int i = 0; i < h; ++i)
        total += RowDifference<Channel>(RowAt(a, ra.top + i, ra.left), RowAt(b, rb.top + i, rb.left), w, threshold);
    return total;
}

// The part of rect inside image as a rect (possibly empty).
Rect ClipToImage(const GWorldWrapper& image, Rect rect)
{
    Rect r = rect;
    r.left = static_cast<int16_t>(std::max<int>(rect.left, 0));
    r.top = static_cast<int16_t>(std::max<int>(rect.top, 0));
    r.right = static_cast<int16_t>(std::min<int>(rect.right, image.Width()));
    r.bottom = static_cast<int16_t>(std::min<int>(rect.bottom, image.Height()));
    return r;
}

struct CentroidSums {
    int64_t s = 0, sx = 0, sy = 0;
};

// out = corner + centre + S_offset / S, truncating toward zero; the centre
// itself when nothing took part.
Point CentroidFrom(const CentroidSums& sums, Rect rect, int cx, int cy)
{
    int64_t h = rect.left + cx, v = rect.top + cy;
    if (sums.s != 0) {
        h += sums.sx / sums.s;
        v += sums.sy / sums.s;
    }
    return Point{static_cast<int16_t>(v), static_cast<int16_t>(h)};
}

} // namespace

double CalculateDifference(const GWorldWrapper& a, const GWorldWrapper& b, bool lockA, bool lockB, Rect rectA,
                           Rect rectB, int channel, int threshold)
{
    if (const int code = CheckRectPair(a.Width(), a.Height(), rectA, b, rectB); code != 0)
        return code;
    if (lockA)
        a.LockPixels();
    if (lockB)
        b.LockPixels();
    int64_t d = 0;
    switch (channel) {
    case 0:
        d = Difference<0>(a, b, rectA, rectB, threshold);
        break;
    case 1:
        d = Difference<1>(a, b, rectA, rectB, threshold);
        break;
    case 2:
        d = Difference<2>(a, b, rectA, rectB, threshold);
        break;
    case 3:
        d = Difference<3>(a, b, rectA, rectB, threshold);
        break;
    default:
        break;
    }
    if (lockB)
        b.UnlockPixels();
    if (lockA)
        a.UnlockPixels();
    return MeanDifference(d, rectA, channel);
}

PreparedDifference::PreparedDifference(const GWorldWrapper& a, Rect rectA, int channel, int threshold)
    : mWidthA(a.Width()), mHeightA(a.Height()), mRect(rectA), mChannel(channel), mThreshold(threshold)
{
    if (CheckRect(a, rectA) != 0)
        return; // Against answers with the rect's code before reading anything
    const int w = rectA.Width(), h = rectA.Height();
    mStride = (w + 7) / 8 * 8;
    mCounted.assign(static_cast<std::size_t>(mStride) * static_cast<std::size_t>(h), 0u);
    const uint32_t keep = KeptComponents(channel);
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = RowAt(a, rectA.top + y, rectA.left);
        uint32_t* out = mCounted.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(mStride);
        for (int x = 0; x < w; ++x, p += 4) {
            const int part = channel == 0 ? Value(p) : channel <= 3 ? p[channel] : 0;
            uint32_t pixel;
            std::memcpy(&pixel, p, sizeof pixel);
            out[x] = part >= threshold ? pixel & keep : 0u;
        }
    }
}

double PreparedDifference::Against(const GWorldWrapper& b, bool lockB, Rect rectB) const
{
    if (const int code = CheckRectPair(mWidthA, mHeightA, mRect, b, rectB); code != 0)
        return code;
    if (lockB)
        b.LockPixels();
    const int64_t d = Sum(b, rectB, 0, rectB.Height());
    if (lockB)
        b.UnlockPixels();
    return MeanDifference(d, mRect, mChannel);
}

int64_t PreparedDifference::Sum(const GWorldWrapper& b, Rect rectB, int first, int last) const
{
    const uint32_t* counted = mCounted.data() + static_cast<std::size_t>(first) * static_cast<std::size_t>(mStride);
    const Rect rows = MakeRect(rectB.top + first, rectB.left, rectB.top + last, rectB.right);
    const uint32_t keep = KeptComponents(mChannel);
    return mThreshold >= 1 ? PreparedSum<true>(counted, mStride, b, rows, keep)
                           : PreparedSum<false>(counted, mStride, b, rows, keep);
}

void PreparedDifference::AgainstEach(const GWorldWrapper& b, bool lockB, const Rect* rectsB, int count,
                                     double* out) const
{
    std::vector<int> good;
    for (int i = 0; i < count; ++i) {
        out[i] = CheckRectPair(mWidthA, mHeightA, mRect, b, rectsB[i]);
        if (out[i] == 0.0)
            good.push_back(i);
    }
    if (good.empty())
        return;
    if (lockB)
        b.LockPixels();
    // Rows a band: about 8 KB of a's prepared rows, which with b's rows
    // around them fits the first-level cache for a search's nearby offsets.
    const int band = std::max(1, 2048 / mStride);
    std::vector<int64_t> sums(good.size(), 0);
    for (int first = 0; first < mRect.Height(); first += band) {
        const int last = std::min(first + band, static_cast<int>(mRect.Height()));
        for (std::size_t k = 0; k < good.size(); ++k)
            sums[k] += Sum(b, rectsB[good[k]], first, last);
    }
    if (lockB)
        b.UnlockPixels();
    for (std::size_t k = 0; k < good.size(); ++k)
        out[good[k]] = MeanDifference(sums[k], mRect, mChannel);
}

void ForcePortableDifferenceForTesting(bool force)
{
    sForcePortableDifference.store(force, std::memory_order_relaxed);
}

double CalculateValue(const GWorldWrapper& image, Rect rect)
{
    if (const int code = CheckRect(image, rect))
        return code;
    const int w = rect.Width(), h = rect.Height();
    int64_t sum = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* p = RowAt(image, y, rect.left);
        uint32_t row = 0;
        for (int x = 0; x < w; ++x, p += 4)
            row += static_cast<uint32_t>(Value(p));
        sum += row;
    }
    return static_cast<double>(sum) / (static_cast<double>(w) * h * 255.0);
}

double CalculateValueRange(const GWorldWrapper& image, Rect rect)
{
    if (const int code = CheckRect(image, rect))
        return code;
    int largest = 0, smallest = 255;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* p = RowAt(image, y, rect.left);
        for (int x = rect.left; x < rect.right; ++x, p += 4) {
            const int v = Value(p);
            largest = std::max(largest, v);
            smallest = std::min(smallest, v);
        }
    }
    return (largest - smallest + 1) * 0.00390625;
}

double CalculateAverageValue(const GWorldWrapper& image, Rect rect)
{
    if (const int code = CheckRect(image, rect))
        return code;
    const int w = rect.Width(), h = rect.Height();
    int64_t sum = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* p = RowAt(image, y, rect.left);
        uint32_t row = 0;
        for (int x = 0; x < w; ++x, p += 4)
            row += static_cast<uint32_t>(p[1] + p[2] + p[3]);
        sum += row;
    }
    return static_cast<double>(sum) / (3.0 * w * h);
}

void CalculateValueCentroid(const GWorldWrapper& image, Rect rect, int threshold, Point& out)
{
    const int cx = rect.Width() / 2, cy = rect.Height() / 2;
    const Rect in = ClipToImage(image, rect);
    CentroidSums sums;
    for (int y = in.top; y < in.bottom; ++y) {
        const uint8_t* p = RowAt(image, y, in.left);
        const int64_t dy = y - rect.top - cy;
        for (int x = in.left; x < in.right; ++x, p += 4) {
            const int v = Value(p);
            if (v >= threshold) {
                sums.s += v;
                sums.sx += static_cast<int64_t>(x - rect.left - cx) * v;
                sums.sy += dy * v;
            }
        }
    }
    out = CentroidFrom(sums, rect, cx, cy);
}

void CalculateRGBCentroids(const GWorldWrapper& image, Rect rect, int threshold, Point& red, Point& green, Point& blue)
{
    const int cx = (rect.Width() + 1) / 2, cy = (rect.Height() + 1) / 2;
    const Rect in = ClipToImage(image, rect);
    CentroidSums sums[3];
    for (int y = in.top; y < in.bottom; ++y) {
        const uint8_t* p = RowAt(image, y, in.left);
        const int64_t dy = y - rect.top - cy;
        for (int x = in.left; x < in.right; ++x, p += 4) {
            const int64_t dx = x - rect.left - cx;
            for (int c = 0; c < 3; ++c) {
                const int v = p[1 + c];
                if (v >= threshold) {
                    sums[c].s += v;
                    sums[c].sx += dx * v;
                    sums[c].sy += dy * v;
                }
            }
        }
    }
    red = CentroidFrom(sums[0], rect, cx, cy);
    green = CentroidFrom(sums[1], rect, cx, cy);
    blue = CentroidFrom(sums[2], rect, cx, cy);
}

int CalculatePowerSpectrumDistributionFromFourierTransform(const GWorldWrapper& image, Rect rect, double* out, int n)
{
    const int N = rect.right - rect.left + 1;
    if (rect.bottom - rect.top + 1 != N)
        return -1;
    if (N != 32 && N != 64 && N != 128 && N != 256)
        return -2;
    const int32_t M = static_cast<int32_t>(std::lround(std::log2(N)));
    if (fft2dInit(M, M) != kFftInitOk)
        return -3;

    const size_t side = static_cast<size_t>(N);
    std::vector<double> S(side * side);
    std::vector<double> P(side * side, 0.0);
    ConvertNormPixelValuesFromImage(image, 0, S.data(), rect);
    rfft2d(S.data(), M, M);

    // |F(u, v)| into P[u][v] for v = 0 .. N/2, unpacked from the packed layout.
    auto s = [&](size_t r, size_t c) { return S[r * side + c]; };
    auto p = [&](size_t r, size_t c) -> double& { return P[r * side + c]; };
    const size_t half = side / 2;
    for (size_t r = 0; r < side; ++r)
        for (size_t j = 1; j < half; ++j)
            p(r, j) = std::hypot(s(r, 2 * j), s(r, 2 * j + 1));
    for (size_t k = 1; k < half; ++k) {
        p(k, 0) = std::hypot(s(k, 0), s(k, 1));
        p(k, half) = std::hypot(s(half + k, 0), s(half + k, 1));
    }
    p(0, 0) = std::fabs(s(0, 0));
    p(half, 0) = std::fabs(s(0, 1));
    p(0, half) = std::fabs(s(half, 0));
    p(half, half) = std::fabs(s(half, 1));
    // A real image's zero-frequency column has equal magnitudes at mirrored
    // vertical frequencies; the packed layout stores only the lower half.
    for (size_t r = half + 1; r < side; ++r)
        p(r, 0) = p(side - r, 0);

    for (int i = 0; i < n; ++i)
        out[i] = 0.0;
    // Rows 0 .. N/2-1 are frequencies 0 .. N/2-1, rows N/2 .. N-1 the
    // frequencies -N/2 .. -1, binned by their magnitude d = N - r.
    for (size_t r = 0; r < side; ++r) {
        const size_t d = r < half ? r : side - r;
        for (size_t j = 0; j < half; ++j) {
            const size_t index = static_cast<size_t>(std::sqrt(static_cast<double>(d * d + j * j)));
            if (index < static_cast<size_t>(std::max(n, 0)))
                out[index] += p(r, j);
        }
    }
    return 0;
}

double CalculateNormalizationFactor(const GWorldWrapper& image, int target, int mode)
{
    if (static_cast<unsigned>(target) > 255u)
        return -1.0;
    const Rect bounds = MakeRect(0, 0, image.Height(), image.Width());
    if (mode == 1) {
        const double mean = CalculateValue(image, bounds);
        if (!(mean > 0.0))
            return -1.0;
        return (target / 255.0) / mean;
    }
    int largest = 0;
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = RowAt(image, y, 0);
        for (int x = 0; x < image.Width(); ++x, p += 4)
            largest = std::max(largest, Value(p));
    }
    if (largest == 0)
        return -1.0;
    return static_cast<double>(target) / largest;
}
