// tests/unit/WaveletThresholdTest.cpp: the wavelet noise reduction of the stack's planes: preview area
// widening and padding by hand rules, the threshold list, the mirrored copy, and the whole rebuild and
// its thresholded coefficients against an independent numpy/scipy model; neutral thresholds give the
// planes back exactly and nothing outside the preview rectangle changes; tiny and odd stacks.
#include "imaging/WaveletThreshold.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/unit/SumPlaneSet.h"

namespace {

// The model runs the pyramid by spatial correlation, ours through spectra: the two agree to rounding of
// order 1e-12 of the range (see the pyramid's own tests).
constexpr double kCoefficientTolerance = 1e-11;

SumPlaneSet Scene(int w, int h, uint32_t seed = 5)
{
    SumPlaneSet s(w, h);
    s.FillScene(6, seed, 1.5);
    return s;
}

bool OutsideUnchanged(const SumPlaneSet& live, const SumPlaneSet& saved, Rect r)
{
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < saved.height; ++y)
            for (int x = 0; x < saved.width; ++x) {
                const bool inside = y >= r.top && y < r.bottom && x >= r.left && x < r.right;
                if (!inside && live.At(c, x, y) != saved.At(c, x, y))
                    return false;
            }
    return true;
}

} // namespace

TEST(WaveletThreshold, PaddingSplitsTheRestWithTheOddPixelAfter)
{
    WaveletPreviewArea a = ComputeWaveletPreviewArea(MakeRect(10, 20, 70, 120)); // 100 x 60
    EXPECT_EQ(a.paddedWidth, 128);
    EXPECT_EQ(a.paddedHeight, 64);
    EXPECT_EQ(a.padLeft, 14);
    EXPECT_EQ(a.padRight, 14);
    EXPECT_EQ(a.padTop, 2);
    EXPECT_EQ(a.padBottom, 2);
    EXPECT_EQ(a.bordered, MakeRect(8, 6, 72, 134));
    EXPECT_EQ(a.numLevels, 2); // 64 -> 32 -> 16

    a = ComputeWaveletPreviewArea(MakeRect(0, 5, 32, 38)); // 33 x 32
    EXPECT_EQ(a.paddedWidth, 64);
    EXPECT_EQ(a.padLeft, 15);
    EXPECT_EQ(a.padRight, 16);
    EXPECT_EQ(a.paddedHeight, 32);
    EXPECT_EQ(a.padTop + a.padBottom, 0);
    EXPECT_EQ(a.numLevels, 1);

    a = ComputeWaveletPreviewArea(MakeRect(0, 0, 128, 128));
    EXPECT_EQ(a.numLevels, 3);
    EXPECT_EQ(a.bordered, MakeRect(0, 0, 128, 128));
}

TEST(WaveletThreshold, PowersOfTwo)
{
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(-3), 1);
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(0), 1);
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(1), 1);
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(2), 2);
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(3), 4);
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(33), 64);
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(1024), 1024);
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(1025), 2048);
    EXPECT_EQ(SmallestPowerOfTwoAtLeast(1 << 30), 1 << 30);
}

TEST(WaveletThreshold, SmallPreviewGrowsTo32AndStaysInside)
{
    // Wide enough already: unchanged.
    EXPECT_EQ(MinimumWaveletPreviewBounds(MakeRect(3, 4, 50, 60), 83, 71), MakeRect(3, 4, 50, 60));
    // Grows to the right and down.
    EXPECT_EQ(MinimumWaveletPreviewBounds(MakeRect(5, 6, 10, 12), 83, 71), MakeRect(5, 6, 37, 38));
    // At the right and bottom edges: moved back so that its far edge is one short of the stack's.
    EXPECT_EQ(MinimumWaveletPreviewBounds(MakeRect(60, 70, 65, 75), 83, 71), MakeRect(38, 50, 70, 82));
    // Exactly reaching the edge counts as reaching it.
    EXPECT_EQ(MinimumWaveletPreviewBounds(MakeRect(0, 51, 40, 60), 83, 71), MakeRect(0, 50, 40, 82));
    // A stack smaller than 32: the whole side, never outside the planes.
    EXPECT_EQ(MinimumWaveletPreviewBounds(MakeRect(2, 3, 4, 5), 20, 10), MakeRect(0, 0, 10, 20));
    EXPECT_EQ(MinimumWaveletPreviewBounds(MakeRect(0, 0, 1, 1), 1, 1), MakeRect(0, 0, 1, 1));
    EXPECT_EQ(MinimumWaveletPreviewBounds(MakeRect(0, 0, 0, 0), 40, 1), MakeRect(0, 0, 1, 32));
}

TEST(WaveletThreshold, ThresholdListPerLevel)
{
    const double percents[] = {10.0, 20.5, 3.0};
    EXPECT_EQ(WaveletThresholdList(percents, 3, 1), (std::vector<double>{0.1, 0.205}));
    EXPECT_EQ(WaveletThresholdList(percents, 3, 4), (std::vector<double>{0.1, 0.205, 0.03, 0.0, 0.0}));
    EXPECT_EQ(WaveletThresholdList(percents, 0, 2), (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(WaveletThresholdList(percents, 3, 0), (std::vector<double>{0.1}));
    EXPECT_TRUE(WaveletThresholdsNeutral({0.0, 0.0}));
    EXPECT_TRUE(WaveletThresholdsNeutral({}));
    EXPECT_FALSE(WaveletThresholdsNeutral({0.0, 0.001}));
}

TEST(WaveletThreshold, MirroredCopyStaysInsideTinyPlanes)
{
    // Areas whose border is wider than the stack: every value read is one of the stack's.
    struct Case {
        int w, h;
    };
    for (const Case c : {Case{1, 1}, Case{5, 3}, Case{1, 40}, Case{40, 1}, Case{3, 33}}) {
        SumPlaneSet s(c.w, c.h);
        for (int ch = 0; ch < 3; ++ch)
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    s.At(ch, x, y) = 10000 * ch + 100 * y + x;
        const Rect preview = MinimumWaveletPreviewBounds(MakeRect(0, 0, 1, 1), c.w, c.h);
        const WaveletPreviewArea a = ComputeWaveletPreviewArea(preview);
        DoublePlanes in(a.paddedWidth, a.paddedHeight);
        CopyMirroredWaveletArea(s.ConstView(), a, in);
        for (int ch = 0; ch < 3; ++ch)
            for (int y = 0; y < a.paddedHeight; ++y)
                for (int x = 0; x < a.paddedWidth; ++x) {
                    const double v = in.Row(ch, y)[x] - 10000 * ch;
                    const int yy = static_cast<int>(v) / 100, xx = static_cast<int>(v) % 100;
                    ASSERT_TRUE(yy >= 0 && yy < c.h && xx >= 0 && xx < c.w) << c.w << "x" << c.h;
                }
        // Inside the stack the copy is the stack.
        for (int y = preview.top; y < preview.bottom; ++y)
            for (int x = preview.left; x < preview.right; ++x)
                ASSERT_EQ(in.Row(1, a.padTop + y - preview.top)[a.padLeft + x - preview.left], s.At(1, x, y));
    }
}

TEST(WaveletThreshold, NeutralThresholdsGiveThePlanesBackExactly)
{
    const SumPlaneSet saved = Scene(83, 71);
    SumPlaneSet live = saved;
    WaveletThresholdPlanes planes;
    const Rect preview = MakeRect(5, 7, 60, 70);
    planes.Prepare(saved.ConstView(), preview);
    planes.Analyse();
    // First a real threshold changes the area, then all zeros bring it back.
    planes.Synthesise({0.05, 0.05, 0.05}, saved.ConstView(), live.View());
    EXPECT_FALSE(live == saved);
    EXPECT_TRUE(OutsideUnchanged(live, saved, preview));
    planes.Synthesise({0.0, 0.0, 0.0}, saved.ConstView(), live.View());
    EXPECT_TRUE(live == saved);
}

TEST(WaveletThreshold, ATinyThresholdKeepsTheAreasBrightness)
{
    // The rebuild comes back within about one of its input either way; written back truncated, half the
    // area lost one (a mean of about -0.5), so any threshold at all darkened the stack.
    const SumPlaneSet saved = Scene(128, 128);
    SumPlaneSet live = saved;
    WaveletThresholdPlanes planes;
    planes.Prepare(saved.ConstView(), MakeRect(0, 0, 128, 128));
    planes.Analyse();
    planes.Synthesise({1e-12, 1e-12, 1e-12, 1e-12}, saved.ConstView(), live.View());
    double net = 0.0;
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
                net += live.At(c, x, y) - saved.At(c, x, y);
    EXPECT_LT(std::abs(net) / (3 * 128 * 128), 0.05);
}

TEST(WaveletThreshold, RebuildAndCoefficientsMatchTheNumpyModel)
{
    struct Case {
        int w, h;
        Rect preview;
        std::vector<double> percents;
    };
    // Inside the stack, at its right and bottom edges (mirrored borders), and the whole stack.
    for (const Case& c : {Case{83, 71, MakeRect(10, 5, 50, 55), {2.0, 5.0, 1.0}},
                          Case{83, 71, MakeRect(30, 40, 71, 83), {0.0, 3.5, 0.0, 9.0}},
                          Case{61, 45, MakeRect(0, 0, 45, 61), {1.5, 0.5}}}) {
        const SumPlaneSet saved = Scene(c.w, c.h, 11);
        SumPlaneSet live = saved;
        WaveletThresholdPlanes planes;
        planes.Prepare(saved.ConstView(), c.preview);
        planes.Analyse();
        const std::vector<double> t =
            WaveletThresholdList(c.percents.data(), static_cast<int>(c.percents.size()), planes.NumLevels());
        planes.Synthesise(t, saved.ConstView(), live.View());

        const std::string dir = ReferenceScratchDir();
        saved.Write(dir + "/planes_in.f64");
        std::string percents;
        for (double p : c.percents)
            percents += (percents.empty() ? "" : ",") + std::to_string(p);
        std::string output;
        ASSERT_TRUE(RunPythonScript("wavelet_threshold.py",
                                    {VELMORA_PYRAMID_FILTER_FILE, dir + "/planes_in.f64", std::to_string(c.w),
                                     std::to_string(c.h), std::to_string(c.preview.top), std::to_string(c.preview.left),
                                     std::to_string(c.preview.bottom), std::to_string(c.preview.right), percents, dir},
                                    &output))
            << output;

        for (int ch = 0; ch < 3; ++ch) {
            // The padded input.
            const std::vector<double> padded = ReadDoubles(dir + "/padded_" + std::to_string(ch) + ".f64");
            const WaveletPreviewArea& a = planes.Area();
            ASSERT_EQ(padded.size(), static_cast<std::size_t>(a.paddedWidth) * a.paddedHeight);
            for (int y = 0; y < a.paddedHeight; ++y)
                for (int x = 0; x < a.paddedWidth; ++x)
                    ASSERT_EQ(planes.Input().Row(ch, y)[x], padded[static_cast<std::size_t>(y) * a.paddedWidth + x]);
            // The thresholded coefficients, in the analysed range's units (0 ... 1). The spectrum path's
            // bands are the spatial ones negated; soft thresholding is symmetric in sign.
            const std::string d = dir + "/c" + std::to_string(ch);
            const SteerablePyramid& p = planes.Working(ch);
            auto expectNear = [](const std::vector<double>& got, const std::vector<double>& expected, double sign,
                                 const std::string& what) {
                ASSERT_EQ(got.size(), expected.size()) << what;
                for (std::size_t k = 0; k < got.size(); ++k)
                    ASSERT_NEAR(got[k], sign * expected[k], kCoefficientTolerance) << what << " " << k;
            };
            expectNear(p.HighpassResidual(), ReadDoubles(d + "/hi_t.f64"), 1.0, "hi");
            for (int L = 0; L < p.NumLevels(); ++L)
                for (int b = 1; b <= 4; ++b) {
                    const std::string name = "band" + std::to_string(b) + "_" + std::to_string(L);
                    expectNear(p.Band(b, L), ReadDoubles(d + "/" + name + "_t.f64"), -1.0, name);
                }
        }
        // The planes: the area rebuilt and rounded, the rest as saved. A rebuilt value within 1e-6 of a
        // half may round either way between the two paths.
        const std::vector<double> expected = ReadDoubles(dir + "/planes.f64");
        const std::vector<double> got = live.AsDoubles();
        ASSERT_EQ(got.size(), expected.size());
        const std::vector<double> rebuilt0 = ReadDoubles(dir + "/c0/rebuild.f64");
        for (std::size_t k = 0; k < got.size(); ++k)
            ASSERT_NEAR(got[k], expected[k], 1.0) << k;
        std::size_t differing = 0;
        for (std::size_t k = 0; k < got.size(); ++k)
            differing += got[k] != expected[k];
        EXPECT_LE(differing, got.size() / 1000) << "roundings that differ";
        EXPECT_TRUE(OutsideUnchanged(live, saved, c.preview));
        EXPECT_FALSE(live == saved);
    }
}

TEST(WaveletThreshold, TinyAndThinStacksStayAsTheyWere)
{
    // No pyramid level fits the padded area (a side of 16 or less): the rebuild gives back the input, so
    // any threshold leaves the planes.
    struct Case {
        int w, h;
    };
    for (const Case c : {Case{1, 1}, Case{5, 3}, Case{1, 40}, Case{40, 1}, Case{16, 200}}) {
        const SumPlaneSet saved = Scene(c.w, c.h);
        SumPlaneSet live = saved;
        WaveletThresholdPlanes planes;
        const Rect preview = MinimumWaveletPreviewBounds(MakeRect(0, 0, c.h, c.w), c.w, c.h);
        planes.Prepare(saved.ConstView(), preview);
        planes.Analyse();
        planes.Synthesise({0.5}, saved.ConstView(), live.View());
        EXPECT_TRUE(live == saved) << c.w << "x" << c.h;
    }
}

TEST(WaveletThreshold, RebuildWithoutKeptAnalysisRunsOnce)
{
    const SumPlaneSet saved = Scene(64, 48);
    SumPlaneSet kept = saved, once = saved;
    const Rect whole = MakeRect(0, 0, 48, 64);
    const std::vector<double> t = {0.02, 0.04};
    WaveletThresholdPlanes a, b;
    a.Prepare(saved.ConstView(), whole);
    a.Analyse();
    a.Synthesise(t, saved.ConstView(), kept.View());
    // The kept analysis rebuilds the same again, the threshold applied once only.
    SumPlaneSet again = saved;
    a.Synthesise(t, saved.ConstView(), again.View());
    EXPECT_TRUE(again == kept);
    b.Prepare(saved.ConstView(), whole, false);
    b.Analyse();
    b.Synthesise(t, saved.ConstView(), once.View());
    EXPECT_TRUE(once == kept);
}

TEST(WaveletThreshold, WriteBackRoundsHalvesAwayAndHoldsToTheSumRange)
{
    // Every value of a row, odd lengths included, against std::round held to 0 ... INT32_MAX.
    const double values[] = {0.5, 1.5, 2.4999999999999996, 2.5, 41.99999, 0.49999999999999994, -0.4, -0.5, -7.0,
                             -0.0, std::nan(""), 2147483646.5, 2147483646.4999995, 2147483647.0, 3e9, 1e300,
                             -1e300, 1234567.5, 7.0};
    constexpr int n = static_cast<int>(std::size(values));
    SumPlaneSet live(n, 1);
    WaveletPreviewArea a = ComputeWaveletPreviewArea(MakeRect(0, 0, 1, n));
    DoublePlanes out(a.paddedWidth, a.paddedHeight);
    for (int c = 0; c < 3; ++c)
        for (int x = 0; x < n; ++x)
            out.Row(c, a.padTop)[a.padLeft + x] = values[(x + c) % n];
    WriteBackWaveletArea(out, a, live.View());
    for (int c = 0; c < 3; ++c)
        for (int x = 0; x < n; ++x) {
            const double v = values[(x + c) % n];
            const double r = std::isnan(v) ? 0.0 : std::clamp(std::round(v), 0.0, 2147483647.0);
            EXPECT_EQ(live.At(c, x, 0), static_cast<int32_t>(r)) << "value " << v;
        }
}
