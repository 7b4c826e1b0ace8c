// tests/unit/SteerablePyramidFourierTest.cpp: the steerable pyramid's Fourier path against its spatial
// path (the oracle): same high-pass and low-passes, negated bands, same rebuild.
#include "imaging/SteerablePyramid.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Both paths compute the same sums of a few hundred products of values in 0 ... 1, one directly and
// one through transforms of at most 2^14 points, each adding rounding of order 1e-16 per term.
constexpr double kPathTolerance = 1e-12;

std::vector<double> RandomImage(int w, int h, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-50.0, 950.0);
    std::vector<double> image(static_cast<std::size_t>(w) * h);
    for (double& v : image)
        v = value(random);
    return image;
}

// Smooth background, a bright disc and a few point-like stars.
std::vector<double> RealLookingImage(int w, int h)
{
    std::vector<double> image(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = 500.0 + x + 0.5 * y;
            const double r = std::hypot(x - 0.4 * w, y - 0.6 * h) / (0.25 * std::min(w, h));
            if (r < 1.0)
                v += 20000.0 * std::sqrt(1.0 - r * r);
            v += 15000.0 * std::exp(-((x - 0.8 * w) * (x - 0.8 * w) + (y - 0.2 * h) * (y - 0.2 * h)) / 2.0);
            image[static_cast<std::size_t>(y) * w + x] = v;
        }
    return image;
}

void ExpectNear(const std::vector<double>& a, const std::vector<double>& b, double sign, double tolerance,
                const char* what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t k = 0; k < a.size(); ++k)
        ASSERT_NEAR(a[k], sign * b[k], tolerance) << what << " element " << k;
}

std::vector<double> Rebuild(const SteerablePyramid& p)
{
    std::vector<double> out(static_cast<std::size_t>(p.Width()) * p.Height());
    p.DoFullWaveletSynthesis(out.data(), 0);
    return out;
}

double RangeOf(const std::vector<double>& v)
{
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return *hi - *lo;
}

} // namespace

TEST(SteerablePyramidFourier, MatchesTheSpatialPath)
{
    struct Size {
        int w, h;
    };
    for (const Size s : {Size{64, 64}, Size{128, 32}, Size{32, 128}, Size{256, 64}, Size{256, 256}}) {
        const std::vector<double> in = RandomImage(s.w, s.h, 17u + s.w);
        SteerablePyramid spatial, fourier;
        spatial.DoFullWaveletAnalysis(in.data(), s.w, s.h, false, 0);
        fourier.DoFullWaveletAnalysis(in.data(), s.w, s.h, true, 0);
        ASSERT_TRUE(fourier.UsesFT());
        ASSERT_FALSE(spatial.UsesFT());
        ASSERT_EQ(fourier.NumLevels(), spatial.NumLevels());
        EXPECT_EQ(fourier.Offset(), spatial.Offset());
        EXPECT_EQ(fourier.Range(), spatial.Range());
        ExpectNear(fourier.HighpassResidual(), spatial.HighpassResidual(), 1.0, kPathTolerance, "high-pass");
        for (int L = 0; L < spatial.NumLevels(); ++L) {
            ExpectNear(fourier.Lowpass(L), spatial.Lowpass(L), 1.0, kPathTolerance, "low-pass");
            // A convolution with an odd filter: the Fourier bands are the negated spatial ones.
            for (int b = 1; b <= 4; ++b)
                ExpectNear(fourier.Band(b, L), spatial.Band(b, L), -1.0, kPathTolerance, "band");
        }
        const double range = RangeOf(in);
        ExpectNear(Rebuild(fourier), Rebuild(spatial), 1.0, kPathTolerance * range, "rebuild");

        // The same thresholds act the same way on both paths.
        const std::vector<double> t = {0.02, 0.01, 0.05, 0.3};
        SteerablePyramid spatialCopy(spatial), fourierCopy(fourier);
        spatialCopy.SoftThreshold(t);
        fourierCopy.SoftThreshold(t);
        ExpectNear(Rebuild(fourierCopy), Rebuild(spatialCopy), 1.0, kPathTolerance * range, "thresholded rebuild");
    }
}

TEST(SteerablePyramidFourier, RebuildsRealLookingImagesAsTheSpatialPathDoes)
{
    const std::vector<double> in = RealLookingImage(256, 128);
    SteerablePyramid spatial, fourier;
    spatial.DoFullWaveletAnalysis(in.data(), 256, 128, false, 0);
    fourier.DoFullWaveletAnalysis(in.data(), 256, 128, true, 0);
    const std::vector<double> a = Rebuild(fourier), b = Rebuild(spatial);
    const double range = RangeOf(in);
    ExpectNear(a, b, 1.0, kPathTolerance * range, "rebuild");
    const auto [lo, hi] = std::minmax_element(in.begin(), in.end());
    double worst = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        worst = std::max(worst, std::fabs(a[k] - in[k]) / range);
        ASSERT_GE(a[k], *lo);
        ASSERT_LE(a[k], *hi);
    }
    EXPECT_LE(worst, 0.03); // the filter set's gain stays within 3% of 1
}

TEST(SteerablePyramidFourier, ConstantImageAndProgress)
{
    const std::vector<double> in(128 * 64, 321.0);
    SteerablePyramid p;
    std::vector<int> steps;
    p.DoFullWaveletAnalysis(in.data(), 128, 64, true, 3, [&steps](int step) { steps.push_back(step); });
    ASSERT_EQ(p.NumLevels(), 2);
    EXPECT_EQ(steps, (std::vector<int>{4, 5}));
    steps.clear();
    std::vector<double> out(in.size());
    p.DoFullWaveletSynthesis(out.data(), 0, [&steps](int step) { steps.push_back(step); });
    EXPECT_EQ(steps, (std::vector<int>{1, 2}));
    // Every coefficient is 0 up to transform rounding, which the clamp at 0 removes.
    for (double v : out)
        ASSERT_NEAR(v, 321.0, 1e-12);
}

TEST(SteerablePyramidFourier, SidesNotPowersOfTwoTakeTheSpatialPath)
{
    const std::vector<double> in = RandomImage(96, 64, 5u);
    SteerablePyramid spatial, fourier;
    spatial.DoFullWaveletAnalysis(in.data(), 96, 64, false, 0);
#ifdef NDEBUG
    fourier.DoFullWaveletAnalysis(in.data(), 96, 64, true, 0);
    EXPECT_FALSE(fourier.UsesFT());
    EXPECT_EQ(fourier.HighpassResidual(), spatial.HighpassResidual());
    for (int b = 1; b <= 4; ++b)
        EXPECT_EQ(fourier.Band(b, 1), spatial.Band(b, 1));
    EXPECT_EQ(Rebuild(fourier), Rebuild(spatial));
#else
    // Debug builds stop: callers pad to powers of two before asking for the Fourier path.
    EXPECT_DEATH(fourier.DoFullWaveletAnalysis(in.data(), 96, 64, true, 0), "");
#endif
    // Without levels there is no filtering at all, so any size may ask for it.
    SteerablePyramid small;
    small.DoFullWaveletAnalysis(in.data(), 17, 30, true, 0);
    EXPECT_EQ(small.NumLevels(), 0);
}

TEST(SteerablePyramidFourier, ThresholdingAsTheTransformsReadGivesTheSameRebuildAndCoefficients)
{
    // Both kernels; entries for the high-pass, a level thresholded, one left alone, and levels without one.
    const std::vector<double> image = RandomImage(256, 128, 11);
    const std::vector<double> t = {0.02, 0.01, 0.0, 0.03};
    for (const bool portable : {false, true}) {
        SteerablePyramid::ForcePortableKernelsForTesting(portable);
        SteerablePyramid p;
        p.DoFullWaveletAnalysis(image.data(), 256, 128, true, 0);
        ASSERT_TRUE(p.UsesFT());
        ASSERT_GE(p.NumLevels(), 3);
        SteerablePyramid q(p);
        q.SoftThreshold(t);
        const std::vector<double> expected = Rebuild(q);
        std::vector<double> out(image.size());
        p.ThresholdAndSynthesise(t, out.data(), 0);
        EXPECT_TRUE(out == expected) << "portable " << portable;
        EXPECT_TRUE(p.HighpassResidual() == q.HighpassResidual());
        for (int b = 1; b <= 4; ++b)
            for (int L = 0; L < p.NumLevels(); ++L)
                EXPECT_TRUE(p.Band(b, L) == q.Band(b, L)) << "band " << b << " level " << L;
    }
    SteerablePyramid::ForcePortableKernelsForTesting(false);
}
