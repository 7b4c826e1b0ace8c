// imaging/SoftThreshold.cpp: soft thresholding of a run of doubles, in vector lanes, built for any
// CPU and for AVX2 and chosen at run time.
#include "imaging/SoftThreshold.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "imaging/ProcessorFeatures.h"

namespace {

using Vector = double __attribute__((vector_size(32)));
using Mask = long long __attribute__((vector_size(32)));

// c becomes 0 when |c| < t, else c - t when c > 0 and c + t (as c - (-t)) when c < 0; zeros and
// NaN stay. Four values at a time by lane masks, no branches; the same bits as the rule.
inline __attribute__((always_inline)) void SoftThresholdBody(const double* in, double* out, std::size_t n, double t)
{
    const Vector threshold = {t, t, t, t};
    const Vector zero = {0.0, 0.0, 0.0, 0.0};
    const Mask magnitude = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        Vector c;
        std::memcpy(&c, in + k, sizeof c);
        const Mask positive = (Mask)(c > zero);
        const Mask negative = (Mask)(c < zero);
        const Vector shift = (Vector)(((Mask)threshold & positive) | ((Mask)(-threshold) & negative));
        const Mask small = (Mask)((Vector)((Mask)c & magnitude) < threshold);
        const Vector result = (Vector)((Mask)(c - shift) & ~small);
        std::memcpy(out + k, &result, sizeof result);
    }
    for (; k < n; ++k) {
        const double c = in[k];
        const double shift = c > 0.0 ? t : (c < 0.0 ? -t : 0.0);
        out[k] = std::fabs(c) < t ? 0.0 : c - shift;
    }
}

void SoftThresholdBase(const double* in, double* out, std::size_t n, double t)
{
    SoftThresholdBody(in, out, n, t);
}

__attribute__((target("avx2"))) void SoftThresholdAvx2(const double* in, double* out, std::size_t n, double t)
{
    SoftThresholdBody(in, out, n, t);
}

std::atomic<bool> sForcePortable{false};

} // namespace

void SoftThresholdValues(const double* in, double* out, std::size_t n, double t)
{
    if (ProcessorHasAvx2() && !sForcePortable.load(std::memory_order_relaxed))
        SoftThresholdAvx2(in, out, n, t);
    else
        SoftThresholdBase(in, out, n, t);
}

void ForcePortableSoftThresholdForTesting(bool force)
{
    sForcePortable.store(force, std::memory_order_relaxed);
}
