// imaging/MedianFilter.cpp: the selective median filter. Interior pixels take
// their medians from a comparator network run over the bytes of several whole
// pixels at once, red, green and blue side by side as the image holds them
// (no window is sorted, no channel split); pixels near the borders, whose
// neighbour count varies, use std::nth_element over the neighbours inside.
// Every median reads unfiltered rows kept aside while the image is written
// row by row.
#include "imaging/MedianFilter.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELMORA_MEDIAN_AVX2 1
#endif

#include "imaging/ProcessorFeatures.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"

namespace {

// Neighbourhood of radius r: dx^2 + dy^2 <= kReachSquared[r], centre excluded.
constexpr std::array<int, kMedianFilterMaxRadius + 1> kReachSquared = {0, 2, 5, 10};
constexpr int kMaxNeighbours = 36;
// The portable loop runs interior pixels through the network this many at a time.
constexpr int kBatchPixels = 16;
constexpr int kBatchBytes = 4 * kBatchPixels;

std::atomic<bool> sForcePortable{false};

#if defined(VELMORA_MEDIAN_AVX2)
bool UseAvx2()
{
    return ProcessorHasAvx2() && !sForcePortable.load(std::memory_order_relaxed);
}
#endif

struct Offset {
    int dx, dy;
};

std::vector<Offset> Neighbourhood(int radius)
{
    std::vector<Offset> offsets;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if ((dx != 0 || dy != 0) && dx * dx + dy * dy <= kReachSquared[radius])
                offsets.push_back({dx, dy});
    return offsets;
}

// A comparator network that leaves element n / 2 (in ascending order) of n
// values in one slot. It is Batcher's odd-even merge sort for the next power
// of two, with the missing inputs taken as 255 (which cannot move element
// n / 2 of the real values) and folded away, and with every comparator half
// that does not lead to the selected element dropped. Built at compile time,
// so the comparators run with fixed slots, in registers where they fit.
enum Kind : uint8_t { kBoth, kMin, kMax };
struct Op {
    Kind kind;
    uint8_t low, high; // slots: low receives the minimum, high the maximum
};
constexpr int kMaxOps = 1024;
struct Network {
    std::array<Op, kMaxOps> ops{};
    int count = 0;  // ops used
    int result = 0; // the slot that ends with element n / 2
};

constexpr Network BuildNetwork(int n)
{
    int size = 1;
    while (size < n)
        size *= 2;
    constexpr int kConstant = -1; // a padding input, known to be 255
    std::array<int, 64> slotAt{};
    for (int i = 0; i < size; ++i)
        slotAt[i] = i < n ? i : kConstant;
    std::array<Op, kMaxOps> all{};
    int allCount = 0;
    for (int p = 1; p < size; p *= 2)
        for (int k = p; k >= 1; k /= 2)
            for (int j = k % p; j + k < size; j += 2 * k)
                for (int i = 0; i < std::min(k, size - j - k); ++i) {
                    if ((i + j) / (2 * p) != (i + j + k) / (2 * p))
                        continue;
                    const int low = i + j, high = i + j + k; // low receives the minimum
                    const int a = slotAt[low], b = slotAt[high];
                    if (b == kConstant)
                        continue; // min(x, 255) = x stays below
                    if (a == kConstant) {
                        slotAt[low] = b, slotAt[high] = kConstant;
                        continue;
                    }
                    all[allCount++] = {kBoth, static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
                }
    Network network;
    network.result = slotAt[n / 2];
    // Backwards from the result: keep the halves whose slot is needed later.
    std::array<bool, 64> live{};
    live[network.result] = true;
    for (int i = allCount - 1; i >= 0; --i) {
        const Op op = all[i];
        const bool needMin = live[op.low], needMax = live[op.high];
        if (!needMin && !needMax)
            continue;
        network.ops[network.count++] = {needMin && needMax ? kBoth : (needMin ? kMin : kMax), op.low, op.high};
        live[op.low] = live[op.high] = true;
    }
    for (int i = 0, j = network.count - 1; i < j; ++i, --j)
        std::swap(network.ops[i], network.ops[j]);
    return network;
}

template <int N> inline constexpr Network kNetwork = BuildNetwork(N);

// One comparator over byte slots of kBatchBytes; separate loops so the
// compiler runs them on vector registers.
template <Kind K, int Low, int High> inline void Apply(std::array<uint8_t, kBatchBytes>* slots)
{
    uint8_t* __restrict a = slots[Low].data();
    uint8_t* __restrict b = slots[High].data();
    for (int i = 0; i < kBatchBytes; ++i) {
        const uint8_t x = a[i], y = b[i];
        if constexpr (K != kMax)
            a[i] = x < y ? x : y;
        if constexpr (K != kMin)
            b[i] = x < y ? y : x;
    }
}

template <int N, std::size_t... I> inline void RunNetwork(std::array<uint8_t, kBatchBytes>* slots, std::index_sequence<I...>)
{
    (Apply<kNetwork<N>.ops[I].kind, kNetwork<N>.ops[I].low, kNetwork<N>.ops[I].high>(slots), ...);
}

#if defined(VELMORA_MEDIAN_AVX2)
template <Kind K, int Low, int High> __attribute__((target("avx2"))) inline void Apply(__m256i* slots)
{
    const __m256i a = slots[Low], b = slots[High];
    if constexpr (K != kMax)
        slots[Low] = _mm256_min_epu8(a, b);
    if constexpr (K != kMin)
        slots[High] = _mm256_max_epu8(a, b);
}

template <int N, std::size_t... I>
__attribute__((target("avx2"))) inline void RunNetwork(__m256i* slots, std::index_sequence<I...>)
{
    (Apply<kNetwork<N>.ops[I].kind, kNetwork<N>.ops[I].low, kNetwork<N>.ops[I].high>(slots), ...);
}
#endif

// The threshold test of one pixel: its value max(red, green, blue) below
// threshold.
inline bool Filtered(const uint8_t* p, int threshold)
{
    return std::max({p[1], p[2], p[3]}) < threshold;
}

#if defined(VELMORA_MEDIAN_AVX2)
// Eight pixels of row out from the medians in result where the unfiltered
// pixels source fall below threshold (0 ... 256); the others, and every
// alpha byte, stay source's.
__attribute__((target("avx2"))) inline void WriteFiltered(const uint8_t* source, __m256i result, __m256i threshold,
                                                          uint8_t* out)
{
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
    const __m256i rgb = _mm256_srli_epi32(s, 8);
    const __m256i m = _mm256_max_epu8(rgb, _mm256_srli_epi32(rgb, 8));
    const __m256i value = _mm256_and_si256(_mm256_max_epu8(m, _mm256_srli_epi32(rgb, 16)), _mm256_set1_epi32(0xFF));
    const __m256i take = _mm256_and_si256(_mm256_cmpgt_epi32(threshold, value),
                                          _mm256_set1_epi32(static_cast<int>(0xFFFFFF00u)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_blendv_epi8(s, result, take));
}
#endif

// The filter over one image. The unfiltered rows y - radius ... y + radius are
// kept whole in a ring (row r in slot r mod ring rows), so the image itself
// can be written row by row.
class Medians {
public:
    // Throws std::bad_alloc when its buffers cannot be made.
    Medians(const GWorldWrapper& image, int radius)
        : mWidth(image.Width()), mHeight(image.Height()), mRadius(radius), mOffsets(Neighbourhood(radius)),
          mRingRows(std::min(2 * radius + 1, image.Height())),
          mRing(32, MakeRect(0, 0, mRingRows, mWidth), -1), mSlots(static_cast<std::size_t>(kMaxNeighbours))
    {
    }

    // Filters row y of image in place; rows come in order 0, 1, 2, ...
    void Row(GWorldWrapper& image, int y, int threshold)
    {
        if (y == 0)
            for (int r = 0; r < mRadius && r < mHeight; ++r)
                LoadRow(image, r);
        if (y + mRadius < mHeight)
            LoadRow(image, y + mRadius);
        for (int dy = -mRadius; dy <= mRadius; ++dy)
            mWindow[dy + mRadius] = y + dy >= 0 && y + dy < mHeight ? RingRow(y + dy) : nullptr;
        uint8_t* out = image.PixelRow(y);
        const uint8_t* in = RingRow(y);
        int x = 0;
        while (x < mWidth) {
            if (x == mRadius && x < mWidth - mRadius) {
                InnerSpan(y, threshold, out);
                x = mWidth - mRadius;
                continue;
            }
            if (Filtered(in + 4 * static_cast<std::ptrdiff_t>(x), threshold))
                Pixel(x, out + 4 * static_cast<std::ptrdiff_t>(x));
            ++x;
        }
    }

private:
    // The medians of pixel x of the current row from its neighbours inside
    // the image.
    void Pixel(int x, uint8_t* target)
    {
        int n = 0;
        for (const Offset& o : mOffsets) {
            const int nx = x + o.dx;
            const uint8_t* row = mWindow[o.dy + mRadius];
            if (nx >= 0 && nx < mWidth && row) {
                const uint8_t* p = row + 4 * static_cast<std::ptrdiff_t>(nx);
                mRed[n] = p[1], mGreen[n] = p[2], mBlue[n] = p[3];
                ++n;
            }
        }
        if (n == 0) // a 1x1 image: nothing to take the median of, the pixel stays
            return;
        target[1] = Select(mRed, n);
        target[2] = Select(mGreen, n);
        target[3] = Select(mBlue, n);
    }

    // The pixels of row y whose neighbours all lie in columns inside,
    // [radius, width - radius), through the network of their neighbour count
    // (the whole neighbourhood away from the top and bottom rows) several at a
    // time; the last batch of a row ends at the span's end, overlapping the
    // one before (those pixels get the same medians again, read from
    // unfiltered rows). Counts without a network go pixel by pixel.
    void InnerSpan(int y, int threshold, uint8_t* target)
    {
        const uint8_t* neighbours[kMaxNeighbours];
        int n = 0;
        for (const Offset& o : mOffsets)
            if (const uint8_t* row = mWindow[o.dy + mRadius])
                neighbours[n++] = row + 4 * static_cast<std::ptrdiff_t>(o.dx);
        // The counts of whole neighbourhoods and of those cut by the top or
        // bottom edge, radius 1, 2 and 3.
        using Span = void (Medians::*)(int, const uint8_t* const*, int, uint8_t*);
        static constexpr std::pair<int, Span> kSpans[] = {
            {8, &Medians::SpanOf<8>},   {5, &Medians::SpanOf<5>},   {20, &Medians::SpanOf<20>},
            {12, &Medians::SpanOf<12>}, {17, &Medians::SpanOf<17>}, {36, &Medians::SpanOf<36>},
            {21, &Medians::SpanOf<21>}, {28, &Medians::SpanOf<28>}, {33, &Medians::SpanOf<33>}};
        for (const auto& [count, span] : kSpans)
            if (count == n) {
                (this->*span)(y, neighbours, threshold, target);
                return;
            }
        // Images of fewer rows than the neighbourhood.
        for (int x = mRadius; x < mWidth - mRadius; ++x)
            if (Filtered(RingRow(y) + 4 * static_cast<std::ptrdiff_t>(x), threshold))
                Pixel(x, target + 4 * static_cast<std::ptrdiff_t>(x));
    }

    template <int N> void SpanOf(int y, const uint8_t* const* neighbours, int threshold, uint8_t* target)
    {
        const int begin = mRadius, end = mWidth - mRadius;
        const uint8_t* source = RingRow(y);
#if defined(VELMORA_MEDIAN_AVX2)
        if (UseAvx2() && end - begin >= 8) {
            SpanAvx2<N>(neighbours, source, begin, end, threshold, target);
            return;
        }
#endif
        if (end - begin < kBatchPixels) {
            for (int x = begin; x < end; ++x)
                if (Filtered(source + 4 * static_cast<std::ptrdiff_t>(x), threshold))
                    Pixel(x, target + 4 * static_cast<std::ptrdiff_t>(x));
            return;
        }
        for (int x0 = begin;; x0 += kBatchPixels) {
            x0 = std::min(x0, end - kBatchPixels);
            const std::ptrdiff_t at = 4 * static_cast<std::ptrdiff_t>(x0);
            for (int k = 0; k < N; ++k)
                std::memcpy(mSlots[k].data(), neighbours[k] + at, kBatchBytes);
            RunNetwork<N>(mSlots.data(), std::make_index_sequence<kNetwork<N>.count>());
            const uint8_t* result = mSlots[kNetwork<N>.result].data();
            for (int i = 0; i < kBatchBytes; i += 4)
                if (Filtered(source + at + i, threshold)) {
                    target[at + i + 1] = result[i + 1];
                    target[at + i + 2] = result[i + 2];
                    target[at + i + 3] = result[i + 3];
                }
            if (x0 + kBatchPixels >= end)
                break;
        }
    }

#if defined(VELMORA_MEDIAN_AVX2)
    // The same eight pixels a slot; end - begin >= 8.
    template <int N>
    __attribute__((target("avx2"))) static void SpanAvx2(const uint8_t* const* neighbours,
                                                                  const uint8_t* source, int begin, int end,
                                                                  int threshold, uint8_t* target)
    {
        const __m256i limit = _mm256_set1_epi32(std::clamp(threshold, 0, 256));
        for (int x0 = begin;; x0 += 8) {
            x0 = std::min(x0, end - 8);
            const std::ptrdiff_t at = 4 * static_cast<std::ptrdiff_t>(x0);
            __m256i slots[N];
            for (int k = 0; k < N; ++k)
                slots[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(neighbours[k] + at));
            RunNetwork<N>(slots, std::make_index_sequence<kNetwork<N>.count>());
            WriteFiltered(source + at, slots[kNetwork<N>.result], limit, target + at);
            if (x0 + 8 >= end)
                break;
        }
    }
#endif

    // Element n / 2 of the n values in ascending order (the upper middle for
    // an even n), found without sorting the window.
    static uint8_t Select(std::array<uint8_t, kMaxNeighbours>& values, int n)
    {
        if (n <= 20) { // the few values of a border pixel: straight insertion
            for (int i = 1; i < n; ++i) {
                const uint8_t v = values[i];
                int j = i;
                for (; j > 0 && values[j - 1] > v; --j)
                    values[j] = values[j - 1];
                values[j] = v;
            }
            return values[n / 2];
        }
        uint8_t* middle = values.data() + n / 2;
        std::nth_element(values.data(), middle, values.data() + n);
        return *middle;
    }

    const uint8_t* RingRow(int y) const { return mRing.PixelRow(y % mRingRows); }

    // Keeps the unfiltered row y of image.
    void LoadRow(const GWorldWrapper& image, int y)
    {
        std::memcpy(mRing.PixelRow(y % mRingRows), image.PixelRow(y), 4 * static_cast<std::size_t>(mWidth));
    }

    int mWidth, mHeight, mRadius;
    std::vector<Offset> mOffsets;
    int mRingRows;
    GWorldWrapper mRing; // unfiltered rows, whole
    std::vector<std::array<uint8_t, kBatchBytes>> mSlots;
    std::array<uint8_t, kMaxNeighbours> mRed{}, mGreen{}, mBlue{};
    // The unfiltered rows y - radius ... y + radius of the current row y, null
    // outside the image.
    std::array<const uint8_t*, 2 * kMedianFilterMaxRadius + 1> mWindow{};
};

} // namespace

void MedianFilterImage(GWorldWrapper& image, int radius, int threshold)
{
    if (threshold <= 0 || radius <= 0 || image.Width() < 1 || image.Height() < 1)
        return;
    radius = std::min(radius, kMedianFilterMaxRadius);
    std::unique_ptr<Medians> medians;
    try {
        medians = std::make_unique<Medians>(image, radius);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        throw std::bad_alloc(); // nothing written yet
    }
    for (int y = 0; y < image.Height(); ++y)
        medians->Row(image, y, threshold);
}

void ForcePortableMedianForTesting(bool force)
{
    sForcePortable.store(force, std::memory_order_relaxed);
}
