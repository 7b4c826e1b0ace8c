// imaging/SumProjection.cpp: the projection of sums into bytes, by a true
// division in general and by an exact integer quotient for a whole divisor,
// a plain loop and the same steps in AVX2 intrinsics.
#include "imaging/SumProjection.h"

#include <cmath>

#include "imaging/ArgbWord.h"
#include "imaging/ProcessorFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// The whole divisors the integer loop takes: 256 d stays far inside int32.
constexpr double kLargestWholeDivisor = 1 << 22;

// trunc(s / d) clamped to [0, 255] for a whole d in [1, 2^22]. For integers
// with |s| + d < 2^53 the truncated double quotient is the exact integer
// quotient, so this is the same value: a float estimate q of s / d (off by
// at most one below 256), corrected by the remainder s - q d.
inline __attribute__((always_inline)) uint32_t WholeQuotient(int32_t s, int32_t d, float inverse)
{
    const int32_t top = 256 * d;
    const int32_t clamped = s < 0 ? 0 : s > top ? top : s;
    int32_t q = static_cast<int32_t>(static_cast<float>(clamped) * inverse);
    const int32_t r = clamped - q * d;
    q += (r >= d ? 1 : 0) - (r < 0 ? 1 : 0);
    return static_cast<uint32_t>(q > 255 ? 255 : q);
}

inline __attribute__((always_inline)) void WholeRowBody(const int32_t* __restrict__ red,
                                                        const int32_t* __restrict__ green,
                                                        const int32_t* __restrict__ blue, uint32_t* __restrict__ out,
                                                        int count, int32_t d)
{
    const float inverse = 1.0f / static_cast<float>(d);
    for (int x = 0; x < count; ++x) {
        const uint32_t word = (ArgbWord(out[x]) & 0xFFu) | WholeQuotient(red[x], d, inverse) << 8 |
                              WholeQuotient(green[x], d, inverse) << 16 | WholeQuotient(blue[x], d, inverse) << 24;
        out[x] = ArgbWord(word);
    }
}

using WholeRowFunction = void (*)(const int32_t*, const int32_t*, const int32_t*, uint32_t*, int, int32_t);

void WholeRowBase(const int32_t* red, const int32_t* green, const int32_t* blue, uint32_t* out, int count, int32_t d)
{
    WholeRowBody(red, green, blue, out, count, d);
}
#if defined(__x86_64__) || defined(__i386__)

// WholeQuotient of eight sums at once, by the same steps.
__attribute__((target("avx2"))) inline __m256i WholeQuotients(__m256i s, __m256i d, __m256i top, __m256 inverse)
{
    const __m256i clamped = _mm256_min_epi32(_mm256_max_epi32(s, _mm256_setzero_si256()), top);
    __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(clamped), inverse));
    const __m256i r = _mm256_sub_epi32(clamped, _mm256_mullo_epi32(q, d));
    // A true comparison is all ones (-1): r >= d adds one, r < 0 takes one away.
    q = _mm256_sub_epi32(q, _mm256_cmpgt_epi32(r, _mm256_sub_epi32(d, _mm256_set1_epi32(1))));
    q = _mm256_add_epi32(q, _mm256_cmpgt_epi32(_mm256_setzero_si256(), r));
    return _mm256_min_epi32(q, _mm256_set1_epi32(255));
}

// Eight pixels at a time (little-endian: alpha is the low byte of the word),
// the rest by the plain body.
__attribute__((target("avx2"))) void WholeRowAvx2(const int32_t* red, const int32_t* green, const int32_t* blue,
                                                  uint32_t* out, int count, int32_t d)
{
    const __m256i divisor = _mm256_set1_epi32(d), top = _mm256_set1_epi32(256 * d);
    const __m256 inverse = _mm256_set1_ps(1.0f / static_cast<float>(d));
    const __m256i alpha = _mm256_set1_epi32(0xFF);
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(red + x));
        const __m256i g = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(green + x));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue + x));
        __m256i* const at = reinterpret_cast<__m256i*>(out + x);
        __m256i word = _mm256_and_si256(_mm256_loadu_si256(at), alpha);
        word = _mm256_or_si256(word, _mm256_slli_epi32(WholeQuotients(r, divisor, top, inverse), 8));
        word = _mm256_or_si256(word, _mm256_slli_epi32(WholeQuotients(g, divisor, top, inverse), 16));
        word = _mm256_or_si256(word, _mm256_slli_epi32(WholeQuotients(b, divisor, top, inverse), 24));
        _mm256_storeu_si256(at, word);
    }
    WholeRowBody(red + x, green + x, blue + x, out + x, count - x, d);
}

#endif

WholeRowFunction ChosenWholeRow()
{
#if defined(__x86_64__) || defined(__i386__)
    static const WholeRowFunction row = ProcessorHasAvx2() ? WholeRowAvx2 : WholeRowBase;
#else
    static const WholeRowFunction row = WholeRowBase;
#endif
    return row;
}

} // namespace

uint8_t ProjectedSum(int32_t sum, double d)
{
    // A true division: a reciprocal multiply would flip the truncation at
    // exact multiples such as 255 N / N.
    const double v = std::trunc(sum / d);
    return v >= 256.0 ? 255 : v <= 0.0 ? 0 : static_cast<uint8_t>(v);
}

void ProjectSumRow(const int32_t* red, const int32_t* green, const int32_t* blue, uint8_t* out, int count, double d)
{
    if (d >= 1.0 && d <= kLargestWholeDivisor && d == std::floor(d)) {
        // Pixel rows are 4-byte aligned.
        ChosenWholeRow()(red, green, blue, reinterpret_cast<uint32_t*>(out), count, static_cast<int32_t>(d));
        return;
    }
    for (int x = 0; x < count; ++x) {
        out[4 * x + 1] = ProjectedSum(red[x], d);
        out[4 * x + 2] = ProjectedSum(green[x], d);
        out[4 * x + 3] = ProjectedSum(blue[x], d);
    }
}
