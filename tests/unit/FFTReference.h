// tests/unit/FFTReference.h: what the FFT tests share: seeded test values,
// the largest magnitude, and the packed layout of a real row's spectrum,
// written here from its definition.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

using Cx = std::complex<long double>;

// count values uniform in -1 .. 1 from seed.
inline std::vector<double> RandomValues(size_t count, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(count);
    for (double& x : v)
        x = dist(rng);
    return v;
}

inline double MaxAbs(const std::vector<double>& v)
{
    double m = 0.0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

// The packed real row of a full spectrum X of a real signal: X[0], X[n/2],
// then the real and imaginary parts of X[1] .. X[n/2 - 1].
inline std::vector<double> Pack(const std::vector<Cx>& X)
{
    const size_t n = X.size();
    std::vector<double> p(n);
    p[0] = static_cast<double>(X[0].real());
    if (n == 1)
        return p;
    p[1] = static_cast<double>(X[n / 2].real());
    for (size_t k = 1; k < n / 2; ++k) {
        p[2 * k] = static_cast<double>(X[k].real());
        p[2 * k + 1] = static_cast<double>(X[k].imag());
    }
    return p;
}
