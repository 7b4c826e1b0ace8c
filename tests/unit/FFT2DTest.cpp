// tests/unit/FFT2DTest.cpp: the two-dimensional real transforms and the
// spectral product against a naive 2-D DFT computed here, numpy.fft, hand
// values and direct circular convolution.
#include "imaging/FFT2D.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/unit/FFTReference.h"

namespace {

// Relative to the largest magnitude of the spectrum: double rounding over
// these sizes stays orders of magnitude below it.
constexpr double kRelTolerance = 1e-12;

int Log2(size_t n)
{
    int m = 0;
    while ((size_t{1} << m) < n)
        ++m;
    return m;
}

// F(u, v) of an H x W real image by the naive double sum.
std::vector<Cx> NaiveDft2(const std::vector<double>& x, size_t H, size_t W)
{
    const long double pi = std::acos(-1.0L);
    std::vector<Cx> twH(H), twW(W);
    for (size_t k = 0; k < H; ++k)
        twH[k] = std::polar(1.0L, -2.0L * pi * k / H);
    for (size_t k = 0; k < W; ++k)
        twW[k] = std::polar(1.0L, -2.0L * pi * k / W);
    // Rows first, then columns: still the direct sum, O(HW(H+W)).
    std::vector<Cx> rows(H * W), F(H * W);
    for (size_t r = 0; r < H; ++r)
        for (size_t v = 0; v < W; ++v) {
            Cx s = 0;
            for (size_t c = 0; c < W; ++c)
                s += static_cast<long double>(x[r * W + c]) * twW[(c * v) % W];
            rows[r * W + v] = s;
        }
    for (size_t u = 0; u < H; ++u)
        for (size_t v = 0; v < W; ++v) {
            Cx s = 0;
            for (size_t r = 0; r < H; ++r)
                s += rows[r * W + v] * twH[(r * u) % H];
            F[u * W + v] = s;
        }
    return F;
}

// The packed layout of a full spectrum F (H x W), as the program stores it.
std::vector<double> Pack2(const std::vector<Cx>& F, size_t H, size_t W)
{
    std::vector<double> p(H * W);
    auto at = [&](size_t u, size_t v) { return F[u * W + v]; };
    if (H == 1 || W == 1)
        return Pack(F); // one row or one column: the 1-D layout
    auto put = [&](size_t row, size_t slot, long double a, long double b) {
        p[row * W + 2 * slot] = static_cast<double>(a);
        p[row * W + 2 * slot + 1] = static_cast<double>(b);
    };
    put(0, 0, at(0, 0).real(), at(H / 2, 0).real());
    put(H / 2, 0, at(0, W / 2).real(), at(H / 2, W / 2).real());
    for (size_t u = 1; u < H / 2; ++u) {
        put(u, 0, at(u, 0).real(), at(u, 0).imag());
        put(H / 2 + u, 0, at(u, W / 2).real(), at(u, W / 2).imag());
    }
    for (size_t u = 0; u < H; ++u)
        for (size_t v = 1; v < W / 2; ++v)
            put(u, v, at(u, v).real(), at(u, v).imag());
    return p;
}

// Runs a test body once with the kernels the CPU gets and once with the
// portable ones.
template <class F> void WithBothKernels(F body)
{
    for (bool portable : {false, true}) {
        SCOPED_TRACE(portable ? "portable kernels" : "default kernels");
        FftForcePortableKernelsForTesting(portable);
        body();
    }
    FftForcePortableKernelsForTesting(false);
}

struct Size {
    size_t W, H;
};

TEST(FFT2D, PackedLayoutMatchesNaiveDft)
{
    const Size sizes[] = {{1, 1},  {8, 1},  {1, 8},  {2, 2},  {4, 2},   {2, 4},  {2, 8},   {8, 2},  {8, 8},
                          {16, 8}, {8, 16}, {32, 4}, {4, 64}, {64, 32}, {16, 4}, {128, 2}, {2, 128}};
    WithBothKernels([&] {
        for (const Size& s : sizes) {
            SCOPED_TRACE(std::to_string(s.W) + " wide x " + std::to_string(s.H) + " high");
            const int M2 = Log2(s.H), M = Log2(s.W);
            ASSERT_EQ(fft2dInit(M2, M), kFftInitOk);
            const std::vector<double> x = RandomValues(s.W * s.H, static_cast<unsigned>(s.W * 131 + s.H));
            std::vector<double> y = x;
            rfft2d(y.data(), M2, M);
            const std::vector<double> want = Pack2(NaiveDft2(x, s.H, s.W), s.H, s.W);
            const double tol = kRelTolerance * std::max(1.0, MaxAbs(want));
            for (size_t i = 0; i < y.size(); ++i)
                ASSERT_NEAR(y[i], want[i], tol) << "element " << i;
            // And back.
            rifft2d(y.data(), M2, M);
            for (size_t i = 0; i < y.size(); ++i)
                ASSERT_NEAR(y[i], x[i], 1e-14) << "round trip element " << i;
        }
    });
}

TEST(FFT2D, ByHandValues)
{
    ASSERT_EQ(fft2dInit(1, 1), kFftInitOk);
    double x[4] = {1, 2, 3, 5};
    rfft2d(x, 1, 1);
    EXPECT_DOUBLE_EQ(x[0], 11.0);
    EXPECT_DOUBLE_EQ(x[1], -5.0);
    EXPECT_DOUBLE_EQ(x[2], -3.0);
    EXPECT_DOUBLE_EQ(x[3], 1.0);

    WithBothKernels([] {
        for (const Size s : {Size{2, 2}, Size{4, 2}, Size{16, 8}, Size{8, 16}, Size{64, 4}, Size{32, 32}}) {
            SCOPED_TRACE(std::to_string(s.W) + "x" + std::to_string(s.H));
            const int M2 = Log2(s.H), M = Log2(s.W);
            ASSERT_EQ(fft2dInit(M2, M), kFftInitOk);
            const size_t n = s.W * s.H;
            std::vector<double> imp(n, 0.0), cst(n, 0.75);
            imp[0] = 1.0;
            rfft2d(imp.data(), M2, M);
            rfft2d(cst.data(), M2, M);
            for (size_t i = 0; i < n; ++i) {
                const bool realOnly = i == 0 || i == 1 || i == n / 2 || i == n / 2 + 1;
                const double want = (realOnly || i % 2 == 0) ? 1.0 : 0.0;
                EXPECT_NEAR(imp[i], want, 1e-15) << i;
                EXPECT_NEAR(cst[i], i == 0 ? 0.75 * n : 0.0, 1e-13 * n) << i;
            }
        }
    });
}

TEST(FFT2D, MatchesNumpyAt512x256)
{
    const size_t H = 256, W = 512;
    const std::vector<double> x = RandomValues(H * W, 77);
    const std::string dir = ReferenceScratchDir();
    WriteDoubles(dir + "/in.f64", x);
    const std::string script = R"(
import sys, numpy as np
d = sys.argv[1]; H = int(sys.argv[2]); W = int(sys.argv[3])
x = np.fromfile(d + '/in.f64', dtype='<f8').reshape(H, W)
F = np.fft.fft2(x)
p = np.zeros((H, W))
p[0, 0] = F[0, 0].real; p[0, 1] = F[H//2, 0].real
p[H//2, 0] = F[0, W//2].real; p[H//2, 1] = F[H//2, W//2].real
for u in range(1, H//2):
    p[u, 0] = F[u, 0].real; p[u, 1] = F[u, 0].imag
    p[H//2 + u, 0] = F[u, W//2].real; p[H//2 + u, 1] = F[u, W//2].imag
p[:, 2::2] = F[:, 1:W//2].real
p[:, 3::2] = F[:, 1:W//2].imag
p.astype('<f8').tofile(d + '/out.f64')
print('ok')
)";
    std::string out;
    ASSERT_TRUE(RunPython(script, {dir, std::to_string(H), std::to_string(W)}, &out)) << out;
    const std::vector<double> want = ReadDoubles(dir + "/out.f64");
    ASSERT_EQ(want.size(), x.size());
    WithBothKernels([&] {
        ASSERT_EQ(fft2dInit(8, 9), kFftInitOk);
        std::vector<double> y = x;
        rfft2d(y.data(), 8, 9);
        const double tol = kRelTolerance * MaxAbs(want);
        for (size_t i = 0; i < y.size(); ++i)
            ASSERT_NEAR(y[i], want[i], tol) << "element " << i;
    });
}

TEST(FFT2D, RoundTripsRestoreIntegerPlanes)
{
    const Size sizes[] = {{256, 256}, {1024, 512}, {512, 1024}, {2048, 1024}, {2, 2},
                          {4, 2},     {4096, 1},   {1, 4096},   {8, 4},       {16, 2}};
    WithBothKernels([&] {
        for (const Size& s : sizes) {
            SCOPED_TRACE(std::to_string(s.W) + "x" + std::to_string(s.H));
            const int M2 = Log2(s.H), M = Log2(s.W);
            ASSERT_EQ(fft2dInit(M2, M), kFftInitOk);
            std::mt19937 rng(static_cast<unsigned>(s.W + 7 * s.H));
            std::vector<double> x(s.W * s.H);
            for (double& v : x)
                v = static_cast<double>(rng() % 65536);
            std::vector<double> y = x;
            rfft2d(y.data(), M2, M);
            // The transform of a copy made on the way: the same bits, the source untouched.
            std::vector<double> z(x.size(), -1.0);
            const std::vector<double> source = x;
            rfft2dFrom(source.data(), z.data(), M2, M);
            ASSERT_EQ(z, y);
            ASSERT_EQ(source, x);
            rifft2d(y.data(), M2, M);
            double worst = 0.0;
            for (size_t i = 0; i < y.size(); ++i)
                worst = std::max(worst, std::fabs(y[i] - x[i]));
            EXPECT_LT(worst, 1e-7);
            for (size_t i = 0; i < y.size(); ++i)
                ASSERT_EQ(std::round(y[i]), x[i]) << i;
        }
    });
}

// Circular convolution by the direct sum.
std::vector<double> DirectConvolution(const std::vector<double>& a, const std::vector<double>& b, size_t H, size_t W)
{
    std::vector<double> out(H * W, 0.0);
    for (size_t r = 0; r < H; ++r)
        for (size_t c = 0; c < W; ++c) {
            long double s = 0;
            for (size_t i = 0; i < H; ++i)
                for (size_t j = 0; j < W; ++j)
                    s += static_cast<long double>(a[i * W + j]) * b[((r + H - i) % H) * W + (c + W - j) % W];
            out[r * W + c] = static_cast<double>(s);
        }
    return out;
}

TEST(FFT2D, SpectralProductIsCircularConvolution)
{
    const Size sizes[] = {{16, 8}, {8, 16}, {1, 1}, {8, 1}, {1, 16}, {2, 2}, {4, 2}, {32, 4}};
    WithBothKernels([&] {
        for (const Size& s : sizes) {
            SCOPED_TRACE(std::to_string(s.W) + "x" + std::to_string(s.H));
            const int M2 = Log2(s.H), M = Log2(s.W);
            ASSERT_EQ(fft2dInit(M2, M), kFftInitOk);
            const std::vector<double> a = RandomValues(s.W * s.H, 5), b = RandomValues(s.W * s.H, 6);
            const std::vector<double> want = DirectConvolution(a, b, s.H, s.W);
            std::vector<double> fa = a, fb = b;
            rfft2d(fa.data(), M2, M);
            rfft2d(fb.data(), M2, M);
            for (int mode = 0; mode < 4; ++mode) {
                std::vector<double> x = fa, y = fb, sep(fa.size(), -7.0);
                double* out = mode == 0 ? sep.data() : mode == 1 ? x.data() : y.data();
                if (mode == 3)
                    rspect2dprod(x.data(), y.data(), out = sep.data(), s.W, s.H); // sides swapped
                else
                    rspect2dprod(x.data(), y.data(), out, s.H, s.W);
                std::vector<double> res(out, out + fa.size());
                rifft2d(res.data(), M2, M);
                for (size_t i = 0; i < res.size(); ++i)
                    ASSERT_NEAR(res[i], want[i], 1e-13 * s.W * s.H) << "mode " << mode << " element " << i;
            }
        }
    });
}

// F(u, v), 0 <= v <= W/2, read back from the packed layout (H, W >= 2).
Cx PackedBin(const std::vector<double>& p, size_t H, size_t W, size_t u, size_t v)
{
    auto slotZero = [&](size_t base, size_t uu) -> Cx { // packed 1-D column
        if (uu == 0)
            return Cx(p[base * W], 0);
        if (uu == H / 2)
            return Cx(p[base * W + 1], 0);
        if (uu < H / 2)
            return Cx(p[(base + uu) * W], p[(base + uu) * W + 1]);
        return std::conj(Cx(p[(base + H - uu) * W], p[(base + H - uu) * W + 1]));
    };
    if (v == 0)
        return slotZero(0, u);
    if (v == W / 2)
        return slotZero(H / 2, u);
    return Cx(p[u * W + 2 * v], p[u * W + 2 * v + 1]);
}

TEST(FFT2D, LargeSizesMatchDirectBins)
{
    // Tall and wide sizes whose column or row transforms are long enough to be
    // split into cache-sized blocks.
    const Size sizes[] = {{16, 4096}, {4096, 8}, {2048, 1024}, {8, 8192}};
    const long double pi = std::acos(-1.0L);
    for (const Size& s : sizes) {
        SCOPED_TRACE(std::to_string(s.W) + "x" + std::to_string(s.H));
        const int M2 = Log2(s.H), M = Log2(s.W);
        ASSERT_EQ(fft2dInit(M2, M), kFftInitOk);
        const size_t n = s.W * s.H;
        const std::vector<double> x = RandomValues(n, 99);
        // e^(-2 pi i k / (H W)) for every k: each bin is then a plain sum.
        std::vector<long double> cosT(n), sinT(n);
        for (size_t k = 0; k < n; ++k) {
            const long double a = -2.0L * pi * static_cast<long double>(k) / static_cast<long double>(n);
            cosT[k] = std::cos(a);
            sinT[k] = std::sin(a);
        }
        std::mt19937 pick(7);
        std::vector<std::pair<size_t, size_t>> bins;
        std::vector<Cx> want;
        for (int i = 0; i < 12; ++i) {
            const size_t u = pick() % s.H, v = pick() % (s.W / 2 + 1);
            long double re = 0, im = 0;
            for (size_t r = 0; r < s.H; ++r)
                for (size_t c = 0; c < s.W; ++c) {
                    const size_t k = (((u * r) % s.H) * s.W + ((v * c) % s.W) * s.H) % n;
                    re += x[r * s.W + c] * cosT[k];
                    im += x[r * s.W + c] * sinT[k];
                }
            bins.push_back({u, v});
            want.push_back(Cx(re, im));
        }
        const double tol = kRelTolerance * 4.0 * std::sqrt(static_cast<double>(n)); // ~ max |F|
        WithBothKernels([&] {
            std::vector<double> y = x;
            rfft2d(y.data(), M2, M);
            for (size_t i = 0; i < bins.size(); ++i) {
                const auto [u, v] = bins[i];
                const Cx got = PackedBin(y, s.H, s.W, u, v);
                EXPECT_NEAR(static_cast<double>(got.real()), static_cast<double>(want[i].real()), tol)
                    << "F(" << u << ", " << v << ")";
                EXPECT_NEAR(static_cast<double>(got.imag()), static_cast<double>(want[i].imag()), tol)
                    << "F(" << u << ", " << v << ")";
            }
            rifft2d(y.data(), M2, M);
            for (size_t i = 0; i < y.size(); ++i)
                ASSERT_NEAR(y[i], x[i], 1e-13) << i;
        });
    }
}

TEST(FFT2D, InitCodes)
{
    EXPECT_EQ(fft2dInit(32, 5), kFftInitSizeOutOfRange);
    EXPECT_EQ(fft2dInit(-1, 5), kFftInitSizeOutOfRange);
    EXPECT_EQ(fft2dInit(5, 40), kFftInitSizeOutOfRange);
    const size_t before = FftAllocationCountForTesting();
    EXPECT_EQ(fft2dInit(5, 5), kFftInitOk);
    EXPECT_EQ(FftAllocationCountForTesting(), before);
    EXPECT_EQ(fft2dInit(5, -1), kFftInitSizeOutOfRange);
}

TEST(FFT2D, ScratchAllocationFailureGivesTwoThenRetrySucceeds)
{
    // 2^14 rows of 8 columns: a scratch no other test here builds.
    FftFailNextAllocationsForTesting(1);
    EXPECT_EQ(fft2dInit(14, 3), kFftInitOutOfMemory);
    FftFailNextAllocationsForTesting(0);
    EXPECT_EQ(fft2dInit(14, 3), kFftInitOk);
    const std::vector<double> x = RandomValues(size_t{8} << 14, 9);
    std::vector<double> y = x;
    rfft2d(y.data(), 14, 3);
    rifft2d(y.data(), 14, 3);
    for (size_t i = 0; i < x.size(); i += 101)
        ASSERT_NEAR(y[i], x[i], 1e-13);
}

} // namespace
