// tests/unit/FourierPictureTest.cpp: the editor's transform size and
// placement, the power-spectrum picture under the four normalisations against
// numpy.fft, and the planes written back from spectra (exactly the planes
// when unedited, negatives as 0, the int32 range kept).
#include "imaging/FourierPicture.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/FFT2D.h"
#include "tests/support/PythonReference.h"
#include "tests/unit/StarPlanes.h"

namespace {

struct Spectra {
    SpectrumSize size;
    std::vector<double> channel[3];
};

Spectra Transform(const OwnedPlanes& p)
{
    Spectra s;
    s.size = SpectrumSizeFor(p.width, p.height);
    EXPECT_EQ(fft2dInit(s.size.log2Height, s.size.log2Width), kFftInitOk);
    const std::vector<int32_t>* planes[3] = {&p.red, &p.green, &p.blue};
    for (int c = 0; c < 3; ++c) {
        s.channel[c].resize(s.size.Count());
        PlaceSumsCentred(planes[c]->data(), p.width, p.height, s.size, s.channel[c].data());
        rfft2d(s.channel[c].data(), s.size.log2Height, s.size.log2Width);
    }
    return s;
}

// numpy's picture for the same planes: each channel placed and transformed
// by numpy.fft.fft2, packed as the library stores half spectra, combined as
// the largest packed value, unpacked into every frequency through conjugate
// symmetry, magnitudes sqrt(round(re^2) + round(im^2)), fftshift, normalised.
const char* const kSpectrumModel = R"(
import sys, numpy as np
d, w, h, W, H, method, divisor = sys.argv[1], *map(int, sys.argv[2:7]), float(sys.argv[7])
x = np.fromfile(d + '/planes.f64').reshape(3, h, w)
y0, x0 = (H - h) // 2, (W - w) // 2
def packed(F):
    if H == 1 or W == 1:
        f = F.reshape(-1); n = f.size; q = np.zeros(n)
        q[0] = f[0].real
        if n > 1:
            q[1] = f[n // 2].real
            for k in range(1, n // 2): q[2*k], q[2*k+1] = f[k].real, f[k].imag
        return q.reshape(H, W)
    q = np.zeros((H, W))
    q[0, 0], q[0, 1] = F[0, 0].real, F[H//2, 0].real
    q[H//2, 0], q[H//2, 1] = F[0, W//2].real, F[H//2, W//2].real
    for u in range(1, H // 2):
        q[u, 0], q[u, 1] = F[u, 0].real, F[u, 0].imag
        q[H//2 + u, 0], q[H//2 + u, 1] = F[u, W//2].real, F[u, W//2].imag
    for v in range(1, W // 2):
        q[:, 2*v], q[:, 2*v+1] = F[:, v].real, F[:, v].imag
    return q
Q = None
for c in range(3):
    img = np.zeros((H, W)); img[y0:y0+h, x0:x0+w] = x[c]
    q = packed(np.fft.fft2(img))
    Q = q if Q is None else np.maximum(Q, q)
def mag(re, im=0.0): return np.sqrt(np.round(re*re) + np.round(im*im))
P = np.zeros((H, W))
if H == 1 or W == 1:
    q = Q.reshape(-1); n = q.size; p = np.zeros(n)
    p[0] = abs(q[0])
    if n > 1:
        p[n//2] = abs(q[1])
        for k in range(1, n // 2): p[k] = p[n-k] = mag(q[2*k], q[2*k+1])
    P = p.reshape(H, W)
else:
    G = np.zeros((H, W), dtype=complex); real = np.zeros((H, W), dtype=bool)
    G[0, 0], G[H//2, 0], G[0, W//2], G[H//2, W//2] = Q[0, 0], Q[0, 1], Q[H//2, 0], Q[H//2, 1]
    real[0, 0] = real[H//2, 0] = real[0, W//2] = real[H//2, W//2] = True
    for u in range(1, H // 2):
        G[u, 0] = Q[u, 0] + 1j * Q[u, 1]; G[H - u, 0] = np.conj(G[u, 0])
        G[u, W//2] = Q[H//2 + u, 0] + 1j * Q[H//2 + u, 1]; G[H - u, W//2] = np.conj(G[u, W//2])
    for v in range(1, W // 2):
        G[:, v] = Q[:, 2*v] + 1j * Q[:, 2*v+1]
        for u in range(H): G[(H - u) % H, W - v] = np.conj(G[u, v])
    P = np.where(real, np.abs(G.real), mag(G.real, G.imag))
D = np.fft.fftshift(P)
if method == 0: D = np.clip(D / divisor, 0, 255)
else:
    D = {1: lambda a: a ** 0.125, 2: lambda a: np.log10(a + 1), 3: lambda a: np.log10(np.log10(a + 10))}[method](D)
    m = max(-1.0, D.max())
    if m > 0: D = D / (m / 255.0)
D.tofile(d + '/display.f64')
)";

void ExpectPictureMatchesNumpy(const OwnedPlanes& p, int method, double divisor)
{
    const Spectra s = Transform(p);
    std::vector<double> display(s.size.Count(), -1.0);
    ComputeFourierPicture(s.channel[0].data(), s.channel[1].data(), s.channel[2].data(), s.size, method, divisor,
                                std::vector<double>(display.size()).data(), display.data());
    const std::string dir = ReferenceScratchDir();
    ASSERT_FALSE(dir.empty());
    std::vector<double> planes;
    for (const auto* plane : {&p.red, &p.green, &p.blue})
        planes.insert(planes.end(), plane->begin(), plane->end());
    WriteDoubles(dir + "/planes.f64", planes);
    std::string out;
    ASSERT_TRUE(RunPython(kSpectrumModel,
                          {dir, std::to_string(p.width), std::to_string(p.height), std::to_string(s.size.width),
                           std::to_string(s.size.height), std::to_string(method), std::to_string(divisor)},
                          &out))
        << out;
    const std::vector<double> expected = ReadDoubles(dir + "/display.f64");
    ASSERT_EQ(expected.size(), display.size());
    // The two transforms differ in the last bits; a square rounded the other
    // way moves a magnitude by far less than this share of full scale.
    for (std::size_t i = 0; i < display.size(); ++i)
        ASSERT_NEAR(display[i], expected[i], 1e-6 * 255.0)
            << "method " << method << " at " << i % s.size.width << "," << i / s.size.width;
}

} // namespace

TEST(SpectrumSize, SmallestPowersOfTwo)
{
    const SpectrumSize a = SpectrumSizeFor(1000, 700);
    EXPECT_EQ(a.width, 1024);
    EXPECT_EQ(a.height, 1024);
    EXPECT_EQ(a.log2Width, 10);
    const SpectrumSize b = SpectrumSizeFor(512, 513);
    EXPECT_EQ(b.width, 512);
    EXPECT_EQ(b.height, 1024);
    EXPECT_EQ(b.log2Width, 9);
    EXPECT_EQ(b.log2Height, 10);
    const SpectrumSize c = SpectrumSizeFor(1, 3);
    EXPECT_EQ(c.width, 1);
    EXPECT_EQ(c.height, 4);
    EXPECT_EQ(c.log2Width, 0);
    EXPECT_EQ(c.log2Height, 2);
}

TEST(SpectrumPlacement, CentredWithZeroBorder)
{
    OwnedPlanes p(3, 2);
    for (int i = 0; i < 6; ++i)
        p.red[i] = i + 1;
    const SpectrumSize s = SpectrumSizeFor(3, 2); // 4 x 2: x0 = 0, y0 = 0
    std::vector<double> out(s.Count(), -1.0);
    PlaceSumsCentred(p.red.data(), 3, 2, s, out.data());
    EXPECT_EQ(out, (std::vector<double>{1, 2, 3, 0, 4, 5, 6, 0}));
    SpectrumSize big = SpectrumSizeFor(8, 8);
    std::vector<double> out2(big.Count(), -1.0);
    PlaceSumsCentred(p.red.data(), 3, 2, big, out2.data()); // x0 = 2, y0 = 3
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 3 && y < 5;
            EXPECT_EQ(out2[y * 8 + x], inside ? double((y - 3) * 3 + (x - 2) + 1) : 0.0) << x << "," << y;
        }
}

TEST(SpectrumPicture, MatchesNumpyUnderEveryMethod)
{
    OwnedPlanes p(37, 23); // odd sizes in a 64 x 32 transform
    p.Noise(21, 0, 510);
    p.Disc(18, 11, 3.0, 2000);
    for (int method = 0; method <= 3; ++method)
        ExpectPictureMatchesNumpy(p, method, method == 0 ? 256.0 : 1.0);
    ExpectPictureMatchesNumpy(p, 0, 1.0);       // exposure 20: saturates
    ExpectPictureMatchesNumpy(p, 0, 1048576.0); // exposure 0
}

TEST(SpectrumPicture, OneRowOneColumnAndOnePixel)
{
    for (auto [w, h] : {std::pair{9, 1}, std::pair{1, 9}, std::pair{1, 1}, std::pair{2, 1}, std::pair{1, 2}}) {
        OwnedPlanes p(w, h);
        p.Noise(static_cast<uint32_t>(w * 10 + h), 0, 300);
        for (int method : {0, 3})
            ExpectPictureMatchesNumpy(p, method, 4.0);
    }
}

TEST(SpectrumPicture, SameChannelsShowTheMagnitudeAndZeroIsBlack)
{
    OwnedPlanes p(16, 8);
    p.Noise(4, 0, 100);
    p.green = p.red;
    p.blue = p.red;
    const Spectra s = Transform(p);
    std::vector<double> display(s.size.Count());
    // Linear with divisor 1: the magnitude of every frequency, capped at 255.
    ComputeFourierPicture(s.channel[0].data(), s.channel[1].data(), s.channel[2].data(), s.size, 0, 1.0,
                                std::vector<double>(display.size()).data(), display.data());
    long total = 0;
    for (int32_t v : p.red)
        total += v;
    // The zero frequency lies in the centre: the plane's sum, above 255.
    EXPECT_EQ(display[(s.size.height / 2) * s.size.width + s.size.width / 2], 255.0);
    ASSERT_GT(total, 255);

    OwnedPlanes zero(16, 8);
    const Spectra z = Transform(zero);
    for (int method = 0; method <= 3; ++method) {
        std::fill(display.begin(), display.end(), -7.0);
        ComputeFourierPicture(z.channel[0].data(), z.channel[1].data(), z.channel[2].data(), z.size, method,
                                    65536.0, std::vector<double>(display.size()).data(), display.data());
        for (double v : display)
            ASSERT_EQ(v, 0.0) << "method " << method;
    }
}

TEST(SpectrumSynthesis, UneditedSpectraGiveTheSamePlanes)
{
    for (auto [w, h] :
         {std::pair{37, 23}, std::pair{64, 64}, std::pair{65, 3}, std::pair{1, 1}, std::pair{1, 9}, std::pair{9, 1}}) {
        OwnedPlanes p(w, h);
        p.Noise(static_cast<uint32_t>(w + 100 * h), 0, 255 * 40);
        p.SetAll(0, 0, 0);
        p.SetAll(w - 1, h - 1, 255 * 40);
        const Spectra s = Transform(p);
        OwnedPlanes back(w, h, -1);
        std::vector<double> scratch(s.size.Count());
        std::vector<int32_t>* planes[3] = {&back.red, &back.green, &back.blue};
        for (int c = 0; c < 3; ++c)
            SynthesizeSums(s.channel[c].data(), s.size, scratch.data(), planes[c]->data(), w, h);
        EXPECT_EQ(back, p) << w << "x" << h;
    }
}

TEST(SpectrumSynthesis, NegativesBecomeZeroAndLargeValuesStayInRange)
{
    const SpectrumSize s = SpectrumSizeFor(4, 2);
    ASSERT_EQ(fft2dInit(s.log2Height, s.log2Width), kFftInitOk);
    std::vector<double> image{-5.0, -0.4, 0.4, 0.6, 41.9999, 42.5, 3e9, -3e9};
    rfft2d(image.data(), s.log2Height, s.log2Width);
    std::vector<double> scratch(s.Count());
    std::vector<int32_t> plane(8, -1);
    SynthesizeSums(image.data(), s, scratch.data(), plane.data(), 4, 2);
    EXPECT_EQ(plane, (std::vector<int32_t>{0, 0, 0, 1, 42, 43, std::numeric_limits<int32_t>::max(), 0}));
}
