// imaging/FourierPicture.cpp: transform size, placement, the power
// spectrum picture and synthesis.
#include "imaging/FourierPicture.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "imaging/FFT2D.h"

namespace {

int Log2Of(int powerOfTwo)
{
    return static_cast<int>(std::lround(std::log2(static_cast<double>(powerOfTwo))));
}

double Combined(const double* r, const double* g, const double* b, std::size_t i)
{
    return std::max(std::max(r[i], g[i]), b[i]);
}

// Magnitudes of a packed one-dimensional spectrum of length n (a single row
// or a single column: both lie in memory in frequency order).
void OneDimensionalMagnitudes(const double* r, const double* g, const double* b, std::size_t n, double* p)
{
    p[0] = std::abs(Combined(r, g, b, 0));
    if (n < 2)
        return;
    p[n / 2] = std::abs(Combined(r, g, b, 1));
    for (std::size_t k = 1; k < n / 2; ++k) {
        p[k] = SpectrumMagnitude(Combined(r, g, b, 2 * k), Combined(r, g, b, 2 * k + 1));
        p[n - k] = p[k];
    }
}

// P of the two-dimensional packed spectrum, W, H >= 2: every frequency's
// magnitude, the unstored half completed by symmetry.
void TwoDimensionalMagnitudes(const double* r, const double* g, const double* b, std::size_t W, std::size_t H,
                              double* P)
{
    const auto Q = [&](std::size_t row, std::size_t col) { return Combined(r, g, b, row * W + col); };
    const auto At = [&](std::size_t row, std::size_t col) -> double& { return P[row * W + col]; };
    const auto Mag = [&](std::size_t row, std::size_t col) { return SpectrumMagnitude(Q(row, col), Q(row, col + 1)); };
    for (std::size_t y = 0; y < H; ++y)
        for (std::size_t k = 1; k < W / 2; ++k)
            At(y, k) = Mag(y, 2 * k);
    for (std::size_t y = 1; y < H / 2; ++y)
        At(y, 0) = Mag(y, 0);
    for (std::size_t k = 1; k < H / 2; ++k)
        At(k, W / 2) = Mag(H / 2 + k, 0);
    At(0, 0) = std::abs(Q(0, 0));
    At(H / 2, 0) = std::abs(Q(0, 1));
    At(0, W / 2) = std::abs(Q(H / 2, 0));
    At(H / 2, W / 2) = std::abs(Q(H / 2, 1));
    for (std::size_t k = 1; k < H / 2; ++k) {
        At(H / 2 + k, 0) = At(H / 2 - k, 0);
        At(H / 2 + k, W / 2) = At(H / 2 - k, W / 2);
    }
    for (std::size_t x = 1; x < W / 2; ++x) {
        At(0, W / 2 + x) = At(0, W / 2 - x);
        for (std::size_t y = 1; y < H; ++y)
            At(y, W / 2 + x) = At(H - y, W / 2 - x);
    }
}

} // namespace

SpectrumSize SpectrumSizeFor(int planeWidth, int planeHeight)
{
    SpectrumSize s;
    while (s.width < planeWidth)
        s.width *= 2;
    while (s.height < planeHeight)
        s.height *= 2;
    s.log2Width = Log2Of(s.width);
    s.log2Height = Log2Of(s.height);
    return s;
}

void PlaceSumsCentred(const int32_t* plane, int planeWidth, int planeHeight, const SpectrumSize& size, double* out)
{
    std::fill(out, out + size.Count(), 0.0);
    const int x0 = SpectrumOffsetX(size, planeWidth), y0 = SpectrumOffsetY(size, planeHeight);
    for (int y = 0; y < planeHeight; ++y) {
        const int32_t* src = plane + static_cast<std::size_t>(y) * planeWidth;
        double* dst = out + static_cast<std::size_t>(y0 + y) * size.width + x0;
        for (int x = 0; x < planeWidth; ++x)
            dst[x] = src[x];
    }
}

double SpectrumMagnitude(double re, double im)
{
    return std::sqrt(std::round(re * re) + std::round(im * im));
}

void ComputeFourierPicture(const double* red, const double* green, const double* blue, const SpectrumSize& size,
                                 int method, double divisor, double* scratch, double* display)
{
    const std::size_t W = static_cast<std::size_t>(size.width), H = static_cast<std::size_t>(size.height);
    double* const P = scratch;
    if (W >= 2 && H >= 2)
        TwoDimensionalMagnitudes(red, green, blue, W, H, P);
    else
        OneDimensionalMagnitudes(red, green, blue, W * H, P); // one row or one column: same order
    // The zero frequency to the centre.
    for (std::size_t Y = 0; Y < H; ++Y)
        for (std::size_t X = 0; X < W; ++X)
            display[Y * W + X] = P[((Y + H / 2) % H) * W + (X + W / 2) % W];
    double* const end = display + W * H;
    if (method == kSpectrumLinear) {
        for (double* d = display; d != end; ++d)
            *d = std::clamp(*d / divisor, 0.0, 255.0);
        return;
    }
    for (double* d = display; d != end; ++d) {
        if (method == kSpectrumLog)
            *d = std::log10(*d + 1.0);
        else if (method == kSpectrumLogLog)
            *d = std::log10(std::log10(*d + 10.0));
        else
            *d = std::sqrt(std::sqrt(std::sqrt(*d)));
    }
    double m = -1.0;
    for (const double* d = display; d != end; ++d)
        m = std::max(m, *d);
    if (!(m > 0.0))
        return; // all zero: black, with nothing to scale by
    const double scale = m / 255.0;
    for (double* d = display; d != end; ++d)
        *d /= scale;
}

void SynthesizeSums(const double* spectrum, const SpectrumSize& size, double* scratch, int32_t* plane, int planeWidth,
                    int planeHeight)
{
    std::copy(spectrum, spectrum + size.Count(), scratch);
    rifft2d(scratch, size.log2Height, size.log2Width);
    const int x0 = SpectrumOffsetX(size, planeWidth), y0 = SpectrumOffsetY(size, planeHeight);
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    for (int y = 0; y < planeHeight; ++y) {
        const double* src = scratch + static_cast<std::size_t>(y0 + y) * size.width + x0;
        int32_t* dst = plane + static_cast<std::size_t>(y) * planeWidth;
        for (int x = 0; x < planeWidth; ++x) {
            // Rounded, not truncated: an unedited spectrum gives back its
            // sums exactly although the transform leaves 41.9999 for 42.
            const double v = std::floor(src[x] + 0.5);
            dst[x] = v > 0.0 ? static_cast<int32_t>(std::min(v, kMax)) : 0;
        }
    }
}
