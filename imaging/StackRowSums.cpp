// imaging/StackRowSums.cpp: the row sums, a portable body built plain, for
// AVX2 and for AVX-512 (the compiler vectorises it), and the sums of several
// rows at once in AVX2 and AVX-512 intrinsics: red and blue summed side by
// side in the 16-bit halves of one lane, so a lane of up to 257 rows of
// bytes cannot overflow.
#include "imaging/StackRowSums.h"

#include <algorithm>
#include <atomic>

#include "imaging/ArgbWord.h"
#include "imaging/ProcessorFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Rows summed in one 16-bit half at most: 257 * 255 = 65535.
constexpr int kMostRowsAtOnce = 256;
// How far ahead of the pixels being summed each row is fetched into the
// cache: past the row's end, the next row of the image, read next.
constexpr int kPrefetchBytes = 2048;

inline __attribute__((always_inline)) void AddAllBody(const uint8_t* row, int32_t* __restrict__ red,
                                                      int32_t* __restrict__ green, int32_t* __restrict__ blue,
                                                      int x0, int x1)
{
    const uint32_t* __restrict__ pixels = reinterpret_cast<const uint32_t*>(row);
    for (int x = x0; x < x1; ++x) {
        const uint32_t p = ArgbWord(pixels[x]);
        red[x] += static_cast<int32_t>((p >> 8) & 0xFF);
        green[x] += static_cast<int32_t>((p >> 16) & 0xFF);
        blue[x] += static_cast<int32_t>(p >> 24);
    }
}

inline __attribute__((always_inline)) void AddOneBody(const uint8_t* row, int32_t* __restrict__ plane, int shift,
                                                      int x0, int x1)
{
    const uint32_t* __restrict__ pixels = reinterpret_cast<const uint32_t*>(row);
    for (int x = x0; x < x1; ++x)
        plane[x] += static_cast<int32_t>((ArgbWord(pixels[x]) >> shift) & 0xFF);
}

// Pixels [x0, x1) of the rows, one pixel at a time.
void AddRowsSameColumnsBase(const uint8_t* const* rows, int n, int32_t* red, int32_t* green, int32_t* blue, int x0,
                            int x1)
{
    for (int x = x0; x < x1; ++x) {
        int32_t r = 0, g = 0, b = 0;
        for (int j = 0; j < n; ++j) {
            uint32_t p;
            __builtin_memcpy(&p, rows[j] + 4 * static_cast<std::ptrdiff_t>(x), 4);
            p = ArgbWord(p);
            r += static_cast<int32_t>((p >> 8) & 0xFF);
            g += static_cast<int32_t>((p >> 16) & 0xFF);
            b += static_cast<int32_t>(p >> 24);
        }
        red[x] += r;
        green[x] += g;
        blue[x] += b;
    }
}

void AddAllBase(const uint8_t* row, int32_t* red, int32_t* green, int32_t* blue, int x0, int x1)
{
    AddAllBody(row, red, green, blue, x0, x1);
}
void AddOneBase(const uint8_t* row, int32_t* plane, int shift, int x0, int x1)
{
    AddOneBody(row, plane, shift, x0, x1);
}

#if defined(__x86_64__) || defined(__i386__)

__attribute__((target("avx2"))) void AddAllAvx2(const uint8_t* row, int32_t* red, int32_t* green, int32_t* blue,
                                                int x0, int x1)
{
    AddAllBody(row, red, green, blue, x0, x1);
}
__attribute__((target("avx2"))) void AddOneAvx2(const uint8_t* row, int32_t* plane, int shift, int x0, int x1)
{
    AddOneBody(row, plane, shift, x0, x1);
}
VELMORA_TARGET_AVX512 void AddAllAvx512(const uint8_t* row, int32_t* red, int32_t* green, int32_t* blue, int x0, int x1)
{
    AddAllBody(row, red, green, blue, x0, x1);
}
VELMORA_TARGET_AVX512 void AddOneAvx512(const uint8_t* row, int32_t* plane, int shift, int x0, int x1)
{
    AddOneBody(row, plane, shift, x0, x1);
}

__attribute__((target("avx2"))) inline void AddToPlane(int32_t* at, __m256i sums)
{
    __m256i* to = reinterpret_cast<__m256i*>(at);
    _mm256_storeu_si256(to, _mm256_add_epi32(_mm256_loadu_si256(to), sums));
}

VELMORA_TARGET_AVX512 inline void AddToPlane(int32_t* at, __mmask16 lanes, __m512i sums)
{
    if (lanes == 0xFFFF)
        _mm512_storeu_si512(at, _mm512_add_epi32(_mm512_loadu_si512(at), sums));
    else
        _mm512_mask_storeu_epi32(at, lanes, _mm512_add_epi32(_mm512_maskz_loadu_epi32(lanes, at), sums));
}

__attribute__((target("avx2"))) void AddRowsSameColumnsAvx2(const uint8_t* const* rows, int n, int32_t* red,
                                                            int32_t* green, int32_t* blue, int x0, int x1)
{
    const __m256i redBlue = _mm256_set1_epi32(0x00FF00FF), oneByte = _mm256_set1_epi32(0xFF);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    int x = x0;
    for (; x + 8 <= x1; x += 8) {
        __m256i rb = _mm256_setzero_si256(), g = _mm256_setzero_si256();
        for (int j = 0; j < n; ++j) {
            const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[j] + 4 * x));
            rb = _mm256_add_epi32(rb, _mm256_and_si256(_mm256_srli_epi32(p, 8), redBlue));
            g = _mm256_add_epi32(g, _mm256_and_si256(_mm256_srli_epi32(p, 16), oneByte));
        }
        AddToPlane(red + x, _mm256_and_si256(rb, low16));
        AddToPlane(green + x, g);
        AddToPlane(blue + x, _mm256_srli_epi32(rb, 16));
    }
    AddRowsSameColumnsBase(rows, n, red, green, blue, x, x1);
}

// The sums of pixels [x, x + 16) of the rows into the planes: every row
// whole (kEvery), or each through the mask of the lanes in its own columns.
template <bool kEvery>
VELMORA_TARGET_AVX512 inline void AddRowsAvx512At(const uint8_t* const* rows, const int* x0, const int* x1, int n,
                                                  int32_t* red, int32_t* green, int32_t* blue, int x)
{
    const __m512i redBlue = _mm512_set1_epi32(0x00FF00FF), green16 = _mm512_set1_epi32(0x00FF0000);
    const __m512i low16 = _mm512_set1_epi32(0xFFFF);
    const __mmask16 all = 0xFFFF;
    __mmask16 any = 0;
    __m512i rb = _mm512_setzero_si512(), g = _mm512_setzero_si512();
    for (int j = 0; j < n; ++j) {
        const uint8_t* at = rows[j] + 4 * x;
        __m512i p;
        if (kEvery) {
            p = _mm512_loadu_si512(at);
            _mm_prefetch(reinterpret_cast<const char*>(at + kPrefetchBytes), _MM_HINT_T0);
        } else {
            const int from = std::clamp(x0[j] - x, 0, 16), to = std::clamp(x1[j] - x, 0, 16);
            const __mmask16 lanes = static_cast<__mmask16>(((1u << to) - 1) & ~((1u << from) - 1));
            any |= lanes;
            p = _mm512_maskz_loadu_epi32(lanes, at);
        }
        rb = _mm512_add_epi32(rb, _mm512_and_si512(_mm512_maskz_srli_epi32(all, p, 8), redBlue));
        g = _mm512_add_epi32(g, _mm512_and_si512(p, green16));
    }
    const __mmask16 lanes = kEvery ? all : any;
    AddToPlane(red + x, lanes, _mm512_and_si512(rb, low16));
    AddToPlane(green + x, lanes, _mm512_maskz_srli_epi32(all, g, 16));
    AddToPlane(blue + x, lanes, _mm512_maskz_srli_epi32(all, rb, 16));
}

// From the first column any row has to the last, 16 at a time: whole where
// every row has all 16, masked elsewhere.
VELMORA_TARGET_AVX512 void AddRowsAvx512(const uint8_t* const* rows, const int* x0, const int* x1, int n,
                                         int32_t* red, int32_t* green, int32_t* blue)
{
    const int first = *std::min_element(x0, x0 + n), end = *std::max_element(x1, x1 + n);
    const int common = *std::max_element(x0, x0 + n), commonEnd = *std::min_element(x1, x1 + n);
    for (int x = first; x < end; x += 16) {
        if (x >= common && x + 16 <= commonEnd)
            AddRowsAvx512At<true>(rows, x0, x1, n, red, green, blue, x);
        else
            AddRowsAvx512At<false>(rows, x0, x1, n, red, green, blue, x);
    }
}

#endif

// The rows summed together over the columns they all have, each alone
// over the rest of its own, for the builds that sum rows over one range.
template <void (*kTogether)(const uint8_t* const*, int, int32_t*, int32_t*, int32_t*, int, int),
          void (*kAlone)(const uint8_t*, int32_t*, int32_t*, int32_t*, int, int)>
void AddRowsSplit(const uint8_t* const* rows, const int* x0, const int* x1, int n, int32_t* red, int32_t* green,
                  int32_t* blue)
{
    int common = *std::max_element(x0, x0 + n), commonEnd = *std::min_element(x1, x1 + n);
    if (common >= commonEnd)
        common = commonEnd = *std::max_element(x1, x1 + n); // none in common: each adds all of its own
    kTogether(rows, n, red, green, blue, common, commonEnd);
    for (int j = 0; j < n; ++j) {
        kAlone(rows[j], red, green, blue, x0[j], std::min(x1[j], common));
        kAlone(rows[j], red, green, blue, std::max(x0[j], commonEnd), x1[j]);
    }
}

using AddAllFunction = void (*)(const uint8_t*, int32_t*, int32_t*, int32_t*, int, int);
using AddOneFunction = void (*)(const uint8_t*, int32_t*, int, int, int);
using AddRowsFunction = void (*)(const uint8_t* const*, const int*, const int*, int, int32_t*, int32_t*, int32_t*);

struct RowAdders {
    AddAllFunction all;
    AddOneFunction one;
    AddRowsFunction rows;
};

constexpr RowAdders kPlainAdders{AddAllBase, AddOneBase, AddRowsSplit<AddRowsSameColumnsBase, AddAllBase>};
#if defined(__x86_64__) || defined(__i386__)
constexpr RowAdders kAvx2Adders{AddAllAvx2, AddOneAvx2, AddRowsSplit<AddRowsSameColumnsAvx2, AddAllAvx2>};
constexpr RowAdders kAvx512Adders{AddAllAvx512, AddOneAvx512, AddRowsAvx512};
#endif

// Picked once at run time, not through target_clones, whose load-time
// resolver runs before ThreadSanitizer is ready and crashes every program
// linking this file.
const RowAdders* PickedRowAdders()
{
#if defined(__x86_64__) || defined(__i386__)
    if (ProcessorHasAvx512())
        return &kAvx512Adders;
    if (ProcessorHasAvx2())
        return &kAvx2Adders;
#endif
    return &kPlainAdders;
}

std::atomic<const RowAdders*> sAddersForTesting{nullptr};

const RowAdders& ChosenRowAdders()
{
    static const RowAdders* const picked = PickedRowAdders();
    const RowAdders* forTesting = sAddersForTesting.load(std::memory_order_relaxed);
    return forTesting ? *forTesting : *picked;
}

} // namespace

void AddRowAllChannels(const uint8_t* row, int32_t* red, int32_t* green, int32_t* blue, int x0, int x1)
{
    ChosenRowAdders().all(row, red, green, blue, x0, x1);
}

void AddRowOneChannel(const uint8_t* row, int32_t* plane, int shift, int x0, int x1)
{
    ChosenRowAdders().one(row, plane, shift, x0, x1);
}

void AddRowsAllChannels(const uint8_t* const* rows, const int* x0, const int* x1, int n, int32_t* red,
                        int32_t* green, int32_t* blue)
{
    for (int first = 0; first < n; first += kMostRowsAtOnce)
        ChosenRowAdders().rows(rows + first, x0 + first, x1 + first, std::min(kMostRowsAtOnce, n - first), red, green,
                               blue);
}

bool UseStackRowSumsBuildForTesting(StackRowSumsBuild build)
{
    const RowAdders* adders = nullptr;
    switch (build) {
    case StackRowSumsBuild::kChosen:
        break;
    case StackRowSumsBuild::kPlain:
        adders = &kPlainAdders;
        break;
    case StackRowSumsBuild::kAvx2:
    case StackRowSumsBuild::kAvx512:
#if defined(__x86_64__) || defined(__i386__)
        if (build == StackRowSumsBuild::kAvx2 ? !ProcessorHasAvx2() : !ProcessorHasAvx512())
            return false;
        adders = build == StackRowSumsBuild::kAvx2 ? &kAvx2Adders : &kAvx512Adders;
        break;
#else
        return false;
#endif
    }
    sAddersForTesting.store(adders, std::memory_order_relaxed);
    return true;
}
