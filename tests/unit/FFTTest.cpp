// tests/unit/FFTTest.cpp: the FFT library's tables and one-dimensional
// transforms against direct DFTs computed here in long double, by-hand
// values, and the table and allocation rules.
#include "imaging/FFT.h"
#include "imaging/FFTInternal.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/FFTReference.h"

namespace {

// Relative to the largest magnitude of the row: double rounding over up to
// 2^20 points stays far below this, a wrong layout, sign or scale far above.
constexpr double kRelTolerance = 1e-12;

// Direct DFT of one row, sign -1 forward, +1 inverse (unscaled).
std::vector<Cx> DirectDft(const std::vector<Cx>& x, int sign)
{
    const size_t n = x.size();
    std::vector<Cx> tw(n);
    const long double pi = std::acos(-1.0L);
    for (size_t k = 0; k < n; ++k)
        tw[k] = std::polar(1.0L, sign * 2.0L * pi * static_cast<long double>(k) / static_cast<long double>(n));
    std::vector<Cx> out(n);
    for (size_t k = 0; k < n; ++k) {
        Cx sum = 0;
        for (size_t j = 0; j < n; ++j)
            sum += x[j] * tw[(j * k) % n];
        out[k] = sum;
    }
    return out;
}

// Bin k of the forward DFT by a direct O(n) sum in long double; the twiddle
// runs by recurrence, re-anchored every 256 points.
Cx DirectBin(const std::vector<Cx>& x, size_t k)
{
    const size_t n = x.size();
    const long double pi = std::acos(-1.0L);
    auto twiddle = [&](size_t j) {
        const long double a = -2.0L * pi * static_cast<long double>((j * k) % n) / static_cast<long double>(n);
        return Cx(std::cos(a), std::sin(a));
    };
    const Cx step = twiddle(1);
    long double sr = 0, si = 0, wr = 1, wi = 0;
    for (size_t j = 0; j < n; ++j) {
        if (j % 256 == 0) {
            const Cx w = twiddle(j);
            wr = w.real();
            wi = w.imag();
        }
        const long double xr = x[j].real(), xi = x[j].imag();
        sr += xr * wr - xi * wi;
        si += xr * wi + xi * wr;
        const long double nr = wr * step.real() - wi * step.imag();
        wi = wr * step.imag() + wi * step.real();
        wr = nr;
    }
    return Cx(sr, si);
}

// The full spectrum of a real signal from its packed row.
std::vector<Cx> Unpack(const std::vector<double>& p)
{
    const size_t n = p.size();
    std::vector<Cx> X(n);
    X[0] = p[0];
    if (n == 1)
        return X;
    X[n / 2] = p[1];
    for (size_t k = 1; k < n / 2; ++k) {
        X[k] = Cx(p[2 * k], p[2 * k + 1]);
        X[n - k] = std::conj(X[k]);
    }
    return X;
}

void ExpectClose(const std::vector<double>& got, const std::vector<double>& want, const char* what)
{
    ASSERT_EQ(got.size(), want.size());
    const double tol = kRelTolerance * std::max(1.0, MaxAbs(want));
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_NEAR(got[i], want[i], tol) << what << " element " << i << " of " << got.size();
}

std::vector<Cx> ToComplex(const double* interleaved, size_t n)
{
    std::vector<Cx> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = Cx(interleaved[2 * i], interleaved[2 * i + 1]);
    return x;
}

std::vector<double> FromComplex(const std::vector<Cx>& X, long double scale)
{
    std::vector<double> out(2 * X.size());
    for (size_t i = 0; i < X.size(); ++i) {
        out[2 * i] = static_cast<double>(X[i].real() * scale);
        out[2 * i + 1] = static_cast<double>(X[i].imag() * scale);
    }
    return out;
}

class FftAgainstDirectDft : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(FftAgainstDirectDft, AllFourTransformsMatch)
{
    const auto [M, rows] = GetParam();
    ASSERT_EQ(fftInit(M), kFftInitOk);
    const size_t n = size_t{1} << M;

    // Complex forward and inverse.
    std::vector<double> data = RandomValues(2 * n * rows, 100 + M);
    std::vector<double> fwd = data, inv = data;
    ffts(fwd.data(), M, rows);
    iffts(inv.data(), M, rows);
    for (int r = 0; r < rows; ++r) {
        const std::vector<Cx> x = ToComplex(data.data() + 2 * n * r, n);
        const std::vector<double> wantF = FromComplex(DirectDft(x, -1), 1.0L);
        const std::vector<double> wantI = FromComplex(DirectDft(x, +1), 1.0L / n);
        ExpectClose(std::vector<double>(fwd.begin() + 2 * n * r, fwd.begin() + 2 * n * (r + 1)), wantF, "ffts");
        ExpectClose(std::vector<double>(inv.begin() + 2 * n * r, inv.begin() + 2 * n * (r + 1)), wantI, "iffts");
    }

    // Real forward and inverse: the inverse is checked on a random packed row,
    // against the direct inverse of the spectrum it stands for.
    std::vector<double> real = RandomValues(n * rows, 200 + M);
    std::vector<double> rf = real, ri = real;
    rffts(rf.data(), M, rows);
    riffts(ri.data(), M, rows);
    for (int r = 0; r < rows; ++r) {
        std::vector<Cx> x(n);
        for (size_t i = 0; i < n; ++i)
            x[i] = real[n * r + i];
        ExpectClose(std::vector<double>(rf.begin() + n * r, rf.begin() + n * (r + 1)), Pack(DirectDft(x, -1)), "rffts");
        const std::vector<double> packed(real.begin() + n * r, real.begin() + n * (r + 1));
        const std::vector<Cx> back = DirectDft(Unpack(packed), +1);
        std::vector<double> want(n);
        for (size_t i = 0; i < n; ++i)
            want[i] = static_cast<double>(back[i].real() / n);
        ExpectClose(std::vector<double>(ri.begin() + n * r, ri.begin() + n * (r + 1)), want, "riffts");
    }
}

INSTANTIATE_TEST_SUITE_P(SizesUpTo4096, FftAgainstDirectDft,
                         ::testing::Combine(::testing::Range(0, 13), ::testing::Values(1, 3)));

TEST(Fft, LargeSizesMatchDirectBins)
{
    for (int M = 13; M <= 20; ++M) {
        ASSERT_EQ(fftInit(M), kFftInitOk);
        const size_t n = size_t{1} << M;
        std::vector<double> c = RandomValues(2 * n, 300 + M);
        std::vector<double> r = RandomValues(n, 400 + M);
        const std::vector<Cx> cx = ToComplex(c.data(), n);
        std::vector<Cx> rx(n);
        for (size_t i = 0; i < n; ++i)
            rx[i] = r[i];
        std::vector<double> cf = c, rf = r;
        ffts(cf.data(), M, 1);
        rffts(rf.data(), M, 1);
        std::mt19937 pick(M);
        const double tol = kRelTolerance * 4.0 * std::sqrt(static_cast<double>(n)); // ~ max |X|
        // 32 bins per size: 16 of the complex and 16 of the real transform.
        for (int i = 0; i < 16; ++i) {
            const size_t k = pick() % n;
            const Cx want = DirectBin(cx, k);
            EXPECT_NEAR(cf[2 * k], static_cast<double>(want.real()), tol) << "M " << M << " bin " << k;
            EXPECT_NEAR(cf[2 * k + 1], static_cast<double>(want.imag()), tol) << "M " << M << " bin " << k;
            const size_t kr = pick() % (n / 2 + 1);
            const Cx wr = DirectBin(rx, kr);
            double gotRe, gotIm;
            if (kr == 0) {
                gotRe = rf[0];
                gotIm = 0.0;
            } else if (kr == n / 2) {
                gotRe = rf[1];
                gotIm = 0.0;
            } else {
                gotRe = rf[2 * kr];
                gotIm = rf[2 * kr + 1];
            }
            EXPECT_NEAR(gotRe, static_cast<double>(wr.real()), tol) << "M " << M << " real bin " << kr;
            EXPECT_NEAR(gotIm, static_cast<double>(wr.imag()), tol) << "M " << M << " real bin " << kr;
        }
    }
}

TEST(Fft, RoundTripsReturnTheInput)
{
    for (int M = 0; M <= 20; ++M) {
        ASSERT_EQ(fftInit(M), kFftInitOk);
        const size_t n = size_t{1} << M;
        const std::vector<double> c = RandomValues(2 * n, 500 + M), r = RandomValues(n, 600 + M);
        std::vector<double> cc = c, rr = r;
        ffts(cc.data(), M, 1);
        iffts(cc.data(), M, 1);
        rffts(rr.data(), M, 1);
        riffts(rr.data(), M, 1);
        for (size_t i = 0; i < 2 * n; ++i)
            ASSERT_NEAR(cc[i], c[i], 1e-13 * (M + 1)) << "complex M " << M;
        for (size_t i = 0; i < n; ++i)
            ASSERT_NEAR(rr[i], r[i], 1e-13 * (M + 1)) << "real M " << M;
    }
}

TEST(Fft, ByHandValues)
{
    ASSERT_EQ(fftInit(2), kFftInitOk);
    // x0 + x1 + x2 + x3, x0 - x1 + x2 - x3, x0 - x2, x3 - x1.
    double x[4] = {1.0, 2.0, 4.0, 8.0};
    rffts(x, 2, 1);
    EXPECT_DOUBLE_EQ(x[0], 15.0);
    EXPECT_DOUBLE_EQ(x[1], -5.0);
    EXPECT_DOUBLE_EQ(x[2], -3.0);
    EXPECT_DOUBLE_EQ(x[3], 6.0);

    for (int M = 0; M <= 12; ++M) {
        ASSERT_EQ(fftInit(M), kFftInitOk);
        const size_t n = size_t{1} << M;
        std::vector<double> imp(2 * n, 0.0), rimp(n, 0.0), cst(n, 2.5);
        imp[0] = 1.0;
        rimp[0] = 1.0;
        ffts(imp.data(), M, 1);
        rffts(rimp.data(), M, 1);
        rffts(cst.data(), M, 1);
        for (size_t k = 0; k < n; ++k) {
            EXPECT_NEAR(imp[2 * k], 1.0, 1e-15) << M;
            EXPECT_NEAR(imp[2 * k + 1], 0.0, 1e-15) << M;
        }
        for (size_t i = 0; i < n; ++i) {
            // 1, 1, then (1, 0) pairs.
            const double want = (i < 2 || i % 2 == 0) ? 1.0 : 0.0;
            EXPECT_NEAR(rimp[i], n == 1 ? 1.0 : want, 1e-15) << M << " " << i;
            EXPECT_NEAR(cst[i], i == 0 ? 2.5 * n : 0.0, 1e-12 * n) << M << " " << i;
        }
    }
}

TEST(Fft, SizeZeroLeavesDataAndRowsBatchLikeSingleRows)
{
    ASSERT_EQ(fftInit(0), kFftInitOk);
    double one[2] = {3.5, -1.25};
    ffts(one, 0, 1);
    iffts(one, 0, 1);
    rffts(one, 0, 2);
    riffts(one, 0, 2);
    EXPECT_EQ(one[0], 3.5);
    EXPECT_EQ(one[1], -1.25);

    for (int M : {3, 7, 11, 12}) {
        ASSERT_EQ(fftInit(M), kFftInitOk);
        const size_t n = size_t{1} << M;
        const std::vector<double> c = RandomValues(6 * n, 700 + M);
        std::vector<double> batch = c, single = c;
        ffts(batch.data(), M, 3);
        for (int r = 0; r < 3; ++r)
            ffts(single.data() + 2 * n * r, M, 1);
        EXPECT_EQ(batch, single) << M;
        batch = c;
        single = c;
        rffts(batch.data(), M, 3);
        for (int r = 0; r < 3; ++r)
            rffts(single.data() + n * r, M, 1);
        EXPECT_EQ(batch, single) << M;
        batch = c;
        single = c;
        riffts(batch.data(), M, 3);
        for (int r = 0; r < 3; ++r)
            riffts(single.data() + n * r, M, 1);
        EXPECT_EQ(batch, single) << M;
    }

    std::vector<double> guard(64, 12345.0);
    ASSERT_EQ(fftInit(4), kFftInitOk);
    ffts(guard.data(), 4, 0);
    iffts(guard.data(), 4, 0);
    rffts(guard.data(), 4, 0);
    riffts(guard.data(), 4, 0);
    for (double g : guard)
        EXPECT_EQ(g, 12345.0);
}

TEST(FftInit, RangeAndRepeat)
{
    EXPECT_EQ(fftInit(-1), kFftInitSizeOutOfRange);
    EXPECT_EQ(fftInit(32), kFftInitSizeOutOfRange);
    EXPECT_EQ(FftCosTable(-1), nullptr);
    ASSERT_EQ(fftInit(9), kFftInitOk);
    const size_t before = FftAllocationCountForTesting();
    EXPECT_EQ(fftInit(9), kFftInitOk);
    EXPECT_EQ(FftAllocationCountForTesting(), before);
}

TEST(FftInit, TableContents)
{
    for (int M = 0; M <= 16; ++M) {
        ASSERT_EQ(fftInit(M), kFftInitOk);
        const double* U = FftCosTable(M);
        ASSERT_NE(U, nullptr);
        const size_t n = size_t{1} << M;
        if (n / 4 == 0) {
            EXPECT_EQ(U[0], 0.0) << M;
            continue;
        }
        EXPECT_EQ(U[0], 1.0);
        EXPECT_EQ(U[n / 4], 0.0) << M;
        for (size_t k = 1; k < n / 4; ++k)
            ASSERT_NEAR(U[k], std::cos(2.0 * M_PI * k / n), 1e-15) << M << " " << k;
    }
    // Bit-reversal tables of K = 1 .. 13 as fftInit builds them; K = 14 and 15
    // belong to sizes whose cosine tables (512 MB and more) are too large for
    // a unit test, so their filler is checked directly.
    for (int K = 1; K <= 15; ++K) {
        const int M = 2 * K;
        std::vector<int16_t> direct(size_t{1} << (K - 1));
        const int16_t* table = direct.data();
        if (M <= 26) {
            ASSERT_EQ(fftInit(M), kFftInitOk);
            table = FftBitReversalTable(K);
            ASSERT_NE(table, nullptr) << K;
        } else {
            fft_internal::fftBRInit(M, direct.data());
        }
        const int bits = K - 1;
        for (int i = 0; i < (1 << bits); ++i) {
            int r = 0;
            for (int j = 0; j < bits; ++j)
                if (i & (1 << j))
                    r |= 1 << (bits - 1 - j);
            ASSERT_EQ(table[i], r) << "K " << K << " entry " << i;
        }
    }
}

TEST(FftInit, AllocationFailureGivesTwoAndKeepsTheRest)
{
    // Size 21 is used by no other test: its cosine table is the first
    // allocation; the bit-reversal table of K = 10 is built by 20 or 21.
    FftFailNextAllocationsForTesting(1);
    EXPECT_EQ(fftInit(21), kFftInitOutOfMemory);
    FftFailNextAllocationsForTesting(0);
    EXPECT_EQ(FftCosTable(21), nullptr);
    EXPECT_NE(FftBitReversalTable(10), nullptr);
    EXPECT_EQ(fftInit(21), kFftInitOk);
    EXPECT_NE(FftCosTable(21), nullptr);
    std::vector<double> r = RandomValues(size_t{1} << 21, 21), rr = r;
    rffts(rr.data(), 21, 1);
    riffts(rr.data(), 21, 1);
    for (size_t i = 0; i < r.size(); i += 997)
        ASSERT_NEAR(rr[i], r[i], 1e-12);
}

TEST(FftInit, ThreadsInitialiseAndTransformConcurrently)
{
    auto work = [](int M, unsigned seed, double* maxErr) {
        if (fftInit(M) != kFftInitOk) {
            *maxErr = 1e9;
            return;
        }
        const size_t n = size_t{1} << M;
        std::vector<double> x = RandomValues(2 * n, seed), y = x;
        for (int i = 0; i < 4; ++i) {
            ffts(y.data(), M, 1);
            iffts(y.data(), M, 1);
            rffts(y.data(), M, 2);
            riffts(y.data(), M, 2);
        }
        double e = 0;
        for (size_t i = 0; i < x.size(); ++i)
            e = std::max(e, std::fabs(x[i] - y[i]));
        *maxErr = e;
    };
    double e1 = 0, e2 = 0;
    std::thread t1(work, 17, 1u, &e1), t2(work, 18, 2u, &e2);
    t1.join();
    t2.join();
    EXPECT_LT(e1, 1e-12);
    EXPECT_LT(e2, 1e-12);
}

} // namespace
