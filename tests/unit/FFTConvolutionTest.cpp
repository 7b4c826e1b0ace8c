// tests/unit/FFTConvolutionTest.cpp: FFT convolution in ordinary sizes:
// size checks, impulses, a direct circular convolution and the failure paths.
#include "imaging/FFTConvolution.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/FFT2D.h"

namespace {

constexpr double kSentinel = -12345.5;

std::vector<double> RandomImage(int w, int h, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> v(static_cast<size_t>(w) * h);
    for (double& x : v)
        x = d(rng);
    return v;
}

// Circular convolution of two h x w images by the direct sum.
std::vector<double> DirectConvolution(const std::vector<double>& a, const std::vector<double>& b, int w, int h)
{
    std::vector<double> out(a.size());
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            long double s = 0;
            for (int i = 0; i < h; ++i)
                for (int j = 0; j < w; ++j)
                    s += static_cast<long double>(a[i * w + j]) * b[((r - i + h) % h) * w + (c - j + w) % w];
            out[r * w + c] = static_cast<double>(s);
        }
    return out;
}

// Convolves image with kernel through the three calls; out must be separate.
bool Convolve(const std::vector<double>& image, const std::vector<double>& kernel, int w, int h,
              std::vector<double>& out)
{
    std::vector<double> fa(image.size()), fb(image.size());
    if (!doFourierAnalysis(image.data(), fa.data(), w, h) || !doFourierAnalysis(kernel.data(), fb.data(), w, h))
        return false;
    out.assign(image.size(), kSentinel);
    return multiplyFourierTransformsAndInvert(fa.data(), fb.data(), w, h, out.data());
}

TEST(FFTConvolution, ValidDims)
{
    struct Case {
        int w, h;
        bool valid;
    } cases[] = {{1, 1, true},
                 {1 << 29, 1, true},
                 {1, 1 << 29, true},
                 {1 << 29, 1 << 29, true},
                 {8, 4, true},
                 {0, 4, false},
                 {4, 0, false},
                 {-4, 4, false},
                 {3, 4, false},
                 {4, 12, false},
                 {1 << 30, 2, false},
                 {2, 1 << 30, false},
                 {-2147483647 - 1, 1, false},
                 {2147483647, 1, false}};
    for (const Case& c : cases)
        EXPECT_EQ(assertValidDims(c.w, c.h), c.valid) << c.w << " x " << c.h;
}

TEST(FFTConvolution, ImpulsesReturnAndShiftTheImage)
{
    for (const auto& [w, h] : {std::pair{8, 4}, std::pair{4, 8}}) {
        SCOPED_TRACE(std::to_string(w) + " wide x " + std::to_string(h) + " high");
        const std::vector<double> image = RandomImage(w, h, 3);
        std::vector<double> impulse(image.size(), 0.0), out;
        impulse[0] = 1.0;
        ASSERT_TRUE(Convolve(image, impulse, w, h, out));
        for (size_t i = 0; i < image.size(); ++i)
            EXPECT_NEAR(out[i], image[i], 1e-14) << i;
        // Row 0, column 1: everything moves one column to the right, circularly.
        impulse[0] = 0.0;
        impulse[1] = 1.0;
        ASSERT_TRUE(Convolve(image, impulse, w, h, out));
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                EXPECT_NEAR(out[r * w + c], image[r * w + (c + w - 1) % w], 1e-14) << r << "," << c;
    }
}

TEST(FFTConvolution, MatchesDirectCircularConvolution)
{
    for (const auto& [w, h] : {std::pair{16, 8}, std::pair{8, 16}, std::pair{1, 8}, std::pair{2, 1}, std::pair{1, 1}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const std::vector<double> a = RandomImage(w, h, 10), b = RandomImage(w, h, 11);
        const std::vector<double> want = DirectConvolution(a, b, w, h);
        std::vector<double> out;
        ASSERT_TRUE(Convolve(a, b, w, h, out));
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_NEAR(out[i], want[i], 1e-12) << i;
        // out aliased to a factor.
        std::vector<double> fa(a.size()), fb(a.size());
        ASSERT_TRUE(doFourierAnalysis(a.data(), fa.data(), w, h));
        ASSERT_TRUE(doFourierAnalysis(b.data(), fb.data(), w, h));
        ASSERT_TRUE(multiplyFourierTransformsAndInvert(fa.data(), fb.data(), w, h, fb.data()));
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_NEAR(fb[i], want[i], 1e-12) << i;
    }
}

TEST(FFTConvolution, InPlaceAnalysisEqualsCopy)
{
    const std::vector<double> a = RandomImage(32, 16, 4);
    std::vector<double> copy(a.size()), inPlace = a;
    ASSERT_TRUE(doFourierAnalysis(a.data(), copy.data(), 32, 16));
    ASSERT_TRUE(doFourierAnalysis(inPlace.data(), inPlace.data(), 32, 16));
    EXPECT_EQ(copy, inPlace);
}

TEST(FFTConvolution, InvalidSizesLeaveOutUntouched)
{
    const std::vector<double> a(12, 1.0);
    std::vector<double> out(12, kSentinel);
    EXPECT_FALSE(doFourierAnalysis(a.data(), out.data(), 3, 4));
    EXPECT_FALSE(multiplyFourierTransforms(a.data(), a.data(), 4, 3, out.data()));
    EXPECT_FALSE(multiplyFourierTransformsAndInvert(a.data(), a.data(), 12, 1 << 30, out.data()));
    EXPECT_FALSE(doFourierAnalysis(a.data(), out.data(), 0, 4));
    for (double v : out)
        EXPECT_EQ(v, kSentinel);
}

TEST(FFTConvolution, PreparationFailure)
{
    // 4 wide x 2^12 high: a scratch and cosine table no other test here builds.
    const int w = 4, h = 1 << 12;
    const std::vector<double> a = RandomImage(w, h, 8);
    std::vector<double> out(a.size(), kSentinel);
    FftFailNextAllocationsForTesting(1);
    EXPECT_FALSE(doFourierAnalysis(a.data(), out.data(), w, h));
    FftFailNextAllocationsForTesting(0);
    for (double v : out)
        ASSERT_EQ(v, kSentinel);

    // The product is computed, but not inverted, when the inverse cannot be
    // prepared (8 wide x 2^13 high, also unused elsewhere).
    const int w2 = 8, h2 = 1 << 13;
    const std::vector<double> x = RandomImage(w2, h2, 9), y = RandomImage(w2, h2, 10);
    std::vector<double> product(x.size());
    FftFailNextAllocationsForTesting(1);
    EXPECT_FALSE(multiplyFourierTransformsAndInvert(x.data(), y.data(), w2, h2, product.data()));
    FftFailNextAllocationsForTesting(0);
    std::vector<double> want(x.size());
    ASSERT_TRUE(multiplyFourierTransforms(x.data(), y.data(), w2, h2, want.data()));
    EXPECT_EQ(product, want);
}

} // namespace
