// tests/unit/FourierBrushTest.cpp: the pointer lands on the frequency shown
// under it (both halves of the picture, reduced pictures), the dabs of a
// stroke step, and the dab's attenuation against hand values and a numpy
// model with reflections at the edges.
#include "imaging/FourierBrush.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/FFT2D.h"
#include "imaging/FourierPicture.h"
#include "tests/support/PythonReference.h"
#include "tests/unit/StarPlanes.h"

TEST(FourierBrushMapping, ThePointerHitsTheFrequencyShownUnderIt)
{
    OwnedPlanes p(32, 16);
    p.Noise(8, 0, 1000);
    const SpectrumSize s = SpectrumSizeFor(32, 16);
    ASSERT_EQ(fft2dInit(s.log2Height, s.log2Width), kFftInitOk);
    std::vector<double> spectra[3];
    const std::vector<int32_t>* planes[3] = {&p.red, &p.green, &p.blue};
    for (int c = 0; c < 3; ++c) {
        spectra[c].resize(s.Count());
        PlaceSumsCentred(planes[c]->data(), 32, 16, s, spectra[c].data());
        rfft2d(spectra[c].data(), s.log2Height, s.log2Width);
    }
    // Linear with a large divisor: the magnitudes themselves, scaled down, unclipped.
    constexpr double kDivisor = 1e9;
    std::vector<double> display(s.Count());
    ComputeFourierPicture(spectra[0].data(), spectra[1].data(), spectra[2].data(), s, 0, kDivisor,
                                std::vector<double>(display.size()).data(), display.data());
    int checked = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const SpectrumPoint q = MapDisplayToSpectrum(x, y, 32, 16, 1);
            ASSERT_GE(q.row, 0);
            ASSERT_LT(q.row, 16);
            ASSERT_EQ(q.column % 2, 0);
            if (q.column < 2 || x == 0)
                continue; // slot 0 and the Nyquist column are stored apart
            const std::size_t i = std::size_t(q.row) * 32 + q.column;
            const double re = std::max({spectra[0][i], spectra[1][i], spectra[2][i]});
            const double im = std::max({spectra[0][i + 1], spectra[1][i + 1], spectra[2][i + 1]});
            EXPECT_DOUBLE_EQ(SpectrumMagnitude(re, im) / kDivisor, display[std::size_t(y) * 32 + x])
                << "pointer " << x << "," << y;
            ++checked;
        }
    EXPECT_EQ(checked, 16 * 30);
}

TEST(FourierBrushMapping, QuadrantTagsAndReducedPictures)
{
    // A 16 x 8 picture of a 32 x 16 spectrum (d = 2).
    EXPECT_EQ(MapDisplayToSpectrum(8, 4, 16, 8, 2), (SpectrumPoint{0, 0, 2}));  // the centre: zero frequency
    EXPECT_EQ(MapDisplayToSpectrum(9, 4, 16, 8, 2), (SpectrumPoint{0, 4, 2}));  // one right
    EXPECT_EQ(MapDisplayToSpectrum(9, 3, 16, 8, 2), (SpectrumPoint{14, 4, 3})); // one up: row -1
    EXPECT_EQ(MapDisplayToSpectrum(7, 4, 16, 8, 2), (SpectrumPoint{0, 4, 1}));  // one left: conjugate
    EXPECT_EQ(MapDisplayToSpectrum(7, 3, 16, 8, 2), (SpectrumPoint{2, 4, 0}));  // up-left
    EXPECT_EQ(MapDisplayToSpectrum(7, 5, 16, 8, 2), (SpectrumPoint{14, 4, 1})); // down-left
    // The left edge's conjugate (column 16 of a 16-wide array) and pointers off the picture stay inside.
    EXPECT_EQ(MapDisplayToSpectrum(0, 0, 16, 8, 1), (SpectrumPoint{4, 14, 0}));
    EXPECT_EQ(MapDisplayToSpectrum(-5, 0, 16, 8, 1), (SpectrumPoint{4, 14, 0}));
    EXPECT_EQ(MapDisplayToSpectrum(0, 4, 16, 8, 2), (SpectrumPoint{0, 30, 1}));
    EXPECT_EQ(MapDisplayToSpectrum(40, 20, 16, 8, 1), (SpectrumPoint{3, 14, 2}));
    EXPECT_EQ(MapDisplayToSpectrum(0, 0, 0, 0, 1), (SpectrumPoint{}));
    EXPECT_EQ(MapDisplayToSpectrum(0, 0, 1, 1, 8), (SpectrumPoint{0, 0, 3}));
}

TEST(FourierBrushStroke, DabsAlongTheStep)
{
    const SpectrumPoint last{0, 0, 2}, now{0, 10, 2};
    // distance 10, radius 4: N = 10 × 4 / 4 = 10, eleven dabs from now back to last.
    const std::vector<SpectrumPoint> dabs = StrokeDabs(last, now, 4);
    ASSERT_EQ(dabs.size(), 11u);
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(dabs[i].column, 10 - i);
    // Radius 64 over distance 10: N = max(1, 40 / 64) = 1, both ends.
    const std::vector<SpectrumPoint> two = StrokeDabs(last, now, 64);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].column, 10);
    EXPECT_EQ(two[1].column, 0);
    // Truncated positions along a slanted step from (3, 7) back to (0, 0).
    const std::vector<SpectrumPoint> diag = StrokeDabs(SpectrumPoint{3, 7, 0}, SpectrumPoint{0, 0, 0}, 4);
    ASSERT_EQ(diag.size(), 8u); // trunc(7.6) = 7, N = 7
    EXPECT_EQ(diag[1].row, 0);  // trunc(3 / 7)
    EXPECT_EQ(diag[1].column, 1);
    EXPECT_EQ(diag[7].row, 3);
    // Another quadrant: one dab at the new point.
    const std::vector<SpectrumPoint> jump = StrokeDabs(SpectrumPoint{5, 5, 0}, SpectrumPoint{9, 9, 1}, 4);
    ASSERT_EQ(jump.size(), 1u);
    EXPECT_EQ(jump[0].row, 9);
}

TEST(FourierBrushDab, HandValuesCompoundingAndColumnReflection)
{
    // Radius 1 on ones: centre 0.5, the packed columns either side
    // 0.5 + 0.5 × 1/2 = 0.75; the rim (e = 2) stays 1.
    std::vector<double> r(8 * 8, 1.0), g(8 * 8, 2.0), b(8 * 8, 4.0);
    ApplySpectrumDab(r.data(), g.data(), b.data(), 8, 8, 3, 4, 1);
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 8; ++col) {
            double f = 1.0;
            if (row == 3 && col == 4)
                f = 0.5;
            else if (row == 3 && (col == 3 || col == 5))
                f = 0.75;
            EXPECT_DOUBLE_EQ(r[row * 8 + col], f) << row << "," << col;
            EXPECT_DOUBLE_EQ(g[row * 8 + col], 2 * f);
            EXPECT_DOUBLE_EQ(b[row * 8 + col], 4 * f);
        }
    ApplySpectrumDab(r.data(), g.data(), b.data(), 8, 8, 3, 4, 1);
    EXPECT_DOUBLE_EQ(r[3 * 8 + 4], 0.25);
    // At column 0 the column to the left reflects to column 1 of row H - row.
    std::vector<double> r2(8 * 8, 1.0), g2(r2), b2(r2);
    ApplySpectrumDab(r2.data(), g2.data(), b2.data(), 8, 8, 2, 0, 1);
    EXPECT_DOUBLE_EQ(r2[2 * 8 + 0], 0.5);
    EXPECT_DOUBLE_EQ(r2[2 * 8 + 1], 0.75);
    EXPECT_DOUBLE_EQ(r2[6 * 8 + 1], 0.75);
    int touched = 0;
    for (double v : r2)
        touched += v != 1.0;
    EXPECT_EQ(touched, 3);
}

TEST(FourierBrushDab, MatchesNumpyModelWithReflections)
{
    const int W = 16, H = 8;
    struct Case {
        int row, column, radius;
    };
    for (const Case& c : {Case{0, 0, 5}, Case{7, 15, 4}, Case{4, 8, 6}, Case{1, 14, 9}}) {
        std::vector<double> r(W * H), g(W * H), b(W * H);
        for (int i = 0; i < W * H; ++i) {
            r[i] = i + 1;
            g[i] = -(i + 1);
            b[i] = 0.5 * i;
        }
        ApplySpectrumDab(r.data(), g.data(), b.data(), W, H, c.row, c.column, c.radius);
        const std::string dir = ReferenceScratchDir();
        ASSERT_FALSE(dir.empty());
        const std::string code = R"(
import sys, math, numpy as np
d, W, H, row0, col0, r = sys.argv[1], *map(int, sys.argv[2:7])
f = np.ones((H, W))
for dy in range(-r, r + 1):
    for dx in range(-2 * r, 2 * r + 1):
        e = math.sqrt(dx * dx + 4 * dy * dy)
        if e > 2 * r: continue
        k = min(1.0, 0.5 + 0.5 * e / (2 * r))
        c = col0 + dx
        rho = int(math.fmod(row0 + dy + H, H))
        if c < 0: c, rho = -c, H - rho
        elif c >= W: c, rho = 2 * W - 1 - c, H - rho
        if rho < 0: rho, c = -rho, W - c
        elif rho >= H: rho, c = 2 * H - 1 - rho, W - c
        if 0 <= rho < H and 0 <= c < W: f[rho, c] *= k
f.tofile(d + '/f.f64')
)";
        std::string out;
        ASSERT_TRUE(RunPython(code,
                              {dir, std::to_string(W), std::to_string(H), std::to_string(c.row),
                               std::to_string(c.column), std::to_string(c.radius)},
                              &out))
            << out;
        const std::vector<double> f = ReadDoubles(dir + "/f.f64");
        ASSERT_EQ(f.size(), std::size_t(W * H));
        for (int i = 0; i < W * H; ++i) {
            EXPECT_NEAR(r[i], (i + 1) * f[i], 1e-12) << i;
            EXPECT_NEAR(g[i], -(i + 1) * f[i], 1e-12) << i;
            EXPECT_NEAR(b[i], 0.5 * i * f[i], 1e-12) << i;
        }
    }
}
