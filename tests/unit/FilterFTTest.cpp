// tests/unit/FilterFTTest.cpp: the steerable pyramid's filter spectra (placement, wrap, transform) and
// their bounded cache (one record per size, least recently used eviction, emptied with the last pyramid,
// nothing half-built left behind after a failure).
#include "imaging/FilterFT.h"

#include <cmath>
#include <new>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/FFT.h"
#include "imaging/FFT2D.h"
#include "imaging/SteerablePyramid.h"

namespace {

// A transform of a few hundred non-zero values of size < 1 and back.
constexpr double kSpectrumTolerance = 1e-15;

int Log2(int n)
{
    int m = 0;
    while ((1 << m) < n)
        ++m;
    return m;
}

// The spectrum back in space.
std::vector<double> Invert(const std::vector<double>& spectrum, int lw, int lh)
{
    std::vector<double> image = spectrum;
    EXPECT_EQ(fft2dInit(Log2(lh), Log2(lw)), kFftInitOk);
    rifft2d(image.data(), Log2(lh), Log2(lw));
    return image;
}

// Filter f (d x d) with its centre tap at (0, 0) of an lw x lh array, the rest wrapped to the far side.
std::vector<double> Wrapped(const double* f, int d, int lw, int lh)
{
    std::vector<double> image(static_cast<std::size_t>(lw) * lh, 0.0);
    const int c = d / 2;
    for (int i = 0; i < d; ++i)
        for (int j = 0; j < d; ++j)
            image[static_cast<std::size_t>((i - c + lh) % lh) * lw + (j - c + lw) % lw] = f[i * d + j];
    return image;
}

std::vector<double> RandomImage(int w, int h, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(0.0, 100.0);
    std::vector<double> image(static_cast<std::size_t>(w) * h);
    for (double& v : image)
        v = value(random);
    return image;
}

class FilterFTCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SteerablePyramid::LivePyramidCount(), 0);
        ASSERT_EQ(FilterFTCacheCount(), 0u);
    }
    void TearDown() override { SetFilterFTCacheBudgetForTesting(0); }

    // Analyses a w x h image on the Fourier path in a pyramid that stays alive with the fixture.
    void Analyse(int w, int h)
    {
        pyramids.emplace_back(std::make_unique<SteerablePyramid>());
        const std::vector<double> in = RandomImage(w, h, 1u);
        pyramids.back()->DoFullWaveletAnalysis(in.data(), w, h, true, 0);
        ASSERT_TRUE(pyramids.back()->UsesFT());
    }

    std::vector<std::unique_ptr<SteerablePyramid>> pyramids;
};

} // namespace

TEST(FilterFT, InitialLowpassSpectrumInvertsToTheWrappedFilter)
{
    FilterFT spectra;
    spectra.resize(64, 64);
    ASSERT_EQ(spectra.NumLevels(), 2);
    spectra.ComputeSpectra();
    const std::vector<double> lo0 = Invert(spectra.filterFT[kPyramidInitialLowpassFilter][0], 64, 64);
    EXPECT_NEAR(lo0[0], 0.4376249909, 1e-10);              // the centre tap
    EXPECT_NEAR(lo0[63 * 64 + 63], 0.043813198805, 1e-12); // the tap above and left of it, wrapped
    EXPECT_NEAR(lo0[0 * 64 + 60], 0.0025240099058, 1e-13); // the centre row's first tap, wrapped
    const std::vector<double> expected = Wrapped(PyramidAnalysisFilter(1), 9, 64, 64);
    for (std::size_t k = 0; k < expected.size(); ++k)
        ASSERT_NEAR(lo0[k], expected[k], kSpectrumTolerance) << k; // zero outside the wrapped footprint
}

TEST(FilterFT, EverySpectrumInvertsToItsWrappedFilter)
{
    // Non-square, so that rows and columns cannot be confused; every filter, both directions, every level.
    for (const auto& [w, h] : {std::pair{128, 64}, std::pair{32, 128}}) {
        FilterFT spectra;
        spectra.resize(w, h);
        spectra.ComputeSpectra();
        ASSERT_EQ(spectra.NumLevels(), SteerablePyramid::DetermineNumLevels(w, h));
        for (int f = 0; f < kNumPyramidFilters; ++f) {
            // The high-pass and the initial low-pass are used at level 0 only.
            const bool firstOnly = f == kPyramidHighpassFilter || f == kPyramidInitialLowpassFilter;
            ASSERT_EQ(spectra.filterFT[f].size(), firstOnly ? 1u : static_cast<std::size_t>(spectra.NumLevels()));
            ASSERT_EQ(spectra.invFilterFT[f].size(), spectra.filterFT[f].size());
            for (int L = 0; L < static_cast<int>(spectra.filterFT[f].size()); ++L) {
                const int lw = w >> L, lh = h >> L, d = PyramidFilterDim(f);
                const std::vector<double> analysis = Invert(spectra.filterFT[f][L], lw, lh);
                const std::vector<double> synthesis = Invert(spectra.invFilterFT[f][L], lw, lh);
                const std::vector<double> a = Wrapped(PyramidAnalysisFilter(f), d, lw, lh);
                const std::vector<double> s = Wrapped(PyramidSynthesisFilter(f), d, lw, lh);
                for (std::size_t k = 0; k < a.size(); ++k) {
                    ASSERT_NEAR(analysis[k], a[k], kSpectrumTolerance) << w << "x" << h << " f" << f << " L" << L;
                    ASSERT_NEAR(synthesis[k], s[k], kSpectrumTolerance) << w << "x" << h << " f" << f << " L" << L;
                }
            }
        }
    }
    // The band filters are odd: the synthesis filter is the negated analysis filter.
    FilterFT spectra;
    spectra.resize(64, 64);
    spectra.ComputeSpectra();
    const std::vector<double> inv3 = Invert(spectra.invFilterFT[3][0], 64, 64);
    const std::vector<double> minus3 = Wrapped(PyramidAnalysisFilter(3), 9, 64, 64);
    for (std::size_t k = 0; k < inv3.size(); ++k)
        ASSERT_NEAR(inv3[k], -minus3[k], kSpectrumTolerance) << k;
}

TEST(FilterFT, InitShapesZeroedLevelsAndCopiesAreDeep)
{
    FilterFT spectra;
    spectra.resize(128, 32);
    ASSERT_EQ(spectra.NumLevels(), 1);
    for (int f = 0; f < kNumPyramidFilters; ++f) {
        ASSERT_EQ(spectra.filterFT[f][0].size(), 128u * 32u);
        for (double v : spectra.invFilterFT[f][0])
            ASSERT_EQ(v, 0.0);
    }
    EXPECT_EQ(spectra.Bytes(), 14u * 128u * 32u * sizeof(double));
    spectra.ComputeSpectra();
    FilterFT copy = spectra;
    EXPECT_NE(copy.filterFT[2][0].data(), spectra.filterFT[2][0].data());
    EXPECT_EQ(copy.filterFT[2][0], spectra.filterFT[2][0]);
    FilterFT empty;
    EXPECT_EQ(empty.NumLevels(), 0);
    EXPECT_EQ(empty.Bytes(), 0u);
}

TEST_F(FilterFTCache, OneRecordPerSizeSharedByEveryPyramid)
{
    Analyse(64, 64);
    EXPECT_EQ(FilterFTCacheCount(), 1u);
    Analyse(64, 64);
    EXPECT_EQ(FilterFTCacheCount(), 1u);
    Analyse(128, 32);
    EXPECT_EQ(FilterFTCacheCount(), 2u);
    EXPECT_GE(FilterFTCacheFind(64, 64), 0);
    EXPECT_GE(FilterFTCacheFind(128, 32), 0);
    EXPECT_EQ(FilterFTCacheFind(32, 128), -1);
    // Synthesis finds the same records.
    std::vector<double> out(64 * 64);
    pyramids[0]->DoFullWaveletSynthesis(out.data(), 0);
    EXPECT_EQ(FilterFTCacheCount(), 2u);
}

TEST_F(FilterFTCache, TheLastPyramidEmptiesTheCache)
{
    Analyse(64, 64);
    Analyse(64, 32);
    ASSERT_EQ(FilterFTCacheCount(), 2u);
    pyramids.pop_back();
    EXPECT_EQ(FilterFTCacheCount(), 2u);
    pyramids.clear();
    EXPECT_EQ(FilterFTCacheCount(), 0u);
    EXPECT_EQ(FilterFTCacheBytes(), 0u);
}

TEST_F(FilterFTCache, EvictsLeastRecentlyUsedAndRebuildsIdentically)
{
    FilterFT reference;
    reference.resize(64, 64);
    reference.ComputeSpectra();
    const std::size_t bytes64 = reference.Bytes();
    // Room for the 64 x 64 record and one 64 x 32 record, not for a third.
    SetFilterFTCacheBudgetForTesting(bytes64 + bytes64 / 2 + 1);

    Analyse(64, 64);
    Analyse(64, 32);
    Analyse(64, 64); // 64 x 64 is now the most recently used
    ASSERT_EQ(FilterFTCacheCount(), 2u);
    Analyse(32, 64); // needs room: 64 x 32 goes
    EXPECT_EQ(FilterFTCacheCount(), 2u);
    EXPECT_GE(FilterFTCacheFind(64, 64), 0);
    EXPECT_EQ(FilterFTCacheFind(64, 32), -1);
    EXPECT_GE(FilterFTCacheFind(32, 64), 0);
    EXPECT_LE(FilterFTCacheBytes(), bytes64 + bytes64 / 2 + 1);

    // A record larger than the whole budget is still built and kept, alone.
    SetFilterFTCacheBudgetForTesting(1);
    Analyse(128, 128);
    EXPECT_EQ(FilterFTCacheCount(), 1u);
    EXPECT_GE(FilterFTCacheFind(128, 128), 0);

    // A rebuilt record is bit for bit the first one.
    SetFilterFTCacheBudgetForTesting(0);
    Analyse(64, 64);
    const FilterFT& rebuilt = FilterFTCacheRecord(static_cast<std::size_t>(FilterFTCacheFind(64, 64)));
    for (int f = 0; f < kNumPyramidFilters; ++f) {
        EXPECT_EQ(rebuilt.filterFT[f], reference.filterFT[f]) << f;
        EXPECT_EQ(rebuilt.invFilterFT[f], reference.invFilterFT[f]) << f;
    }
}

TEST_F(FilterFTCache, FailedBuildLeavesNoRecordAndReportsExhaustedMemory)
{
    // 32 x 4096 is a size nothing else in this program prepares, so its FFT scratch is still missing.
    const std::vector<double> in = RandomImage(32, 4096, 2u);
    auto p = std::make_unique<SteerablePyramid>();
    FftFailNextAllocationsForTesting(1);
    EXPECT_THROW(p->DoFullWaveletAnalysis(in.data(), 32, 4096, true, 0), std::bad_alloc);
    FftFailNextAllocationsForTesting(0);
    EXPECT_EQ(FilterFTCacheFind(32, 4096), -1);
    EXPECT_EQ(FilterFTCacheCount(), 0u);
    // Once memory is back the same pyramid analyses and the record appears.
    p->DoFullWaveletAnalysis(in.data(), 32, 4096, true, 0);
    EXPECT_TRUE(p->UsesFT());
    EXPECT_GE(FilterFTCacheFind(32, 4096), 0);
}
