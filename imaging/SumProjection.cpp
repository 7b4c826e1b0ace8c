// imaging/SumProjection.cpp: the projection of sums into bytes, by a true
// division in general and by an exact integer quotient for a whole divisor,
// plain and AVX2 builds of one loop.
#include "imaging/SumProjection.h"

#include <cmath>

#include "imaging/ArgbWord.h"
#include "imaging/ProcessorFeatures.h"

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
__attribute__((target("avx2"))) void WholeRowAvx2(const int32_t* red, const int32_t* green, const int32_t* blue,
                                                  uint32_t* out, int count, int32_t d)
{
    WholeRowBody(red, green, blue, out, count, d);
}

WholeRowFunction ChosenWholeRow()
{
    static const WholeRowFunction row = ProcessorHasAvx2() ? WholeRowAvx2 : WholeRowBase;
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
