// tests/unit/MeasurementsTest.cpp: the image measurements by hand and against
// numpy (tests/reference/measurements_reference.py).
#include "imaging/Measurements.h"

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"

namespace {

// Means are exact integer sums divided once; numpy divides the same sums.
constexpr double kMeanTolerance = 1e-15;

Rect R(int top, int left, int bottom, int right)
{
    return MakeRect(top, left, bottom, right);
}

Rect Bounds(const GWorldWrapper& image)
{
    return R(0, 0, image.Height(), image.Width());
}

std::vector<unsigned char> RgbBytes(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            bytes.insert(bytes.end(), {p.r, p.g, p.b});
        }
    return bytes;
}

// Runs the numpy reference in mode on image a (and b) with one case per line;
// returns one line of numbers per case.
std::vector<std::vector<double>> Reference(const std::string& mode, const GWorldWrapper& a, const GWorldWrapper* b,
                                           const std::vector<std::vector<int>>& cases)
{
    const std::string dir = ReferenceScratchDir();
    WriteBytes(dir + "/a.rgb", RgbBytes(a));
    if (b)
        WriteBytes(dir + "/b.rgb", RgbBytes(*b));
    std::ofstream list(dir + "/cases.txt");
    list << a.Width() << " " << a.Height() << "\n";
    for (const auto& c : cases) {
        for (int v : c)
            list << v << " ";
        list << "\n";
    }
    list.close();
    std::string out;
    EXPECT_TRUE(RunPythonScript("measurements_reference.py", {mode, dir}, &out)) << out;
    std::vector<std::vector<double>> rows;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        double v;
        while (fields >> v)
            row.push_back(v);
        rows.push_back(row);
    }
    EXPECT_EQ(rows.size(), cases.size());
    return rows;
}

TEST(CalculateDifference, HandCases)
{
    auto a = MakeImage(7, 5);
    auto b = MakeImage(7, 5);
    FillNoise(*a, 1);
    EXPECT_EQ(CalculateDifference(*a, *a, true, true, Bounds(*a), Bounds(*a), 0, 0), 0.0);

    FillFlat(*a, 0, 0, 0);
    FillFlat(*b, 255, 255, 255);
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, Bounds(*a), Bounds(*b), 0, 0), 1.0);
    EXPECT_EQ(CalculateDifference(*b, *a, true, false, Bounds(*a), Bounds(*b), 0, 0), 1.0);
    EXPECT_EQ(CalculateDifference(*b, *a, false, false, Bounds(*a), Bounds(*b), 0, 256), 0.0);
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(CalculateDifference(*a, *b, true, true, Bounds(*a), Bounds(*b), c, 0), 1.0);
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, Bounds(*a), Bounds(*b), 4, 0), 0.0);
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, Bounds(*a), Bounds(*b), -1, 0), 0.0);

    // A pixel (0, 0, t) takes part at threshold t, not at t + 1.
    auto p = MakeImage(1, 1);
    auto q = MakeImage(1, 1);
    SetPixel(*p, 0, 0, {255, 0, 0, 90});
    SetPixel(*q, 0, 0, {255, 0, 0, 0});
    EXPECT_DOUBLE_EQ(CalculateDifference(*p, *q, true, true, Bounds(*p), Bounds(*q), 0, 90), 90.0 / 765.0);
    EXPECT_EQ(CalculateDifference(*p, *q, true, true, Bounds(*p), Bounds(*q), 0, 91), 0.0);
    EXPECT_DOUBLE_EQ(CalculateDifference(*p, *q, true, true, Bounds(*p), Bounds(*q), 3, 90), 90.0 / 255.0);

    // 10 against 1 and 1 against 10 both add 9.
    SetPixel(*p, 0, 0, {255, 10, 0, 0});
    SetPixel(*q, 0, 0, {255, 1, 0, 0});
    EXPECT_DOUBLE_EQ(CalculateDifference(*p, *q, true, true, Bounds(*p), Bounds(*q), 1, 0), 9.0 / 255.0);
    EXPECT_DOUBLE_EQ(CalculateDifference(*q, *p, true, true, Bounds(*p), Bounds(*q), 1, 0), 9.0 / 255.0);
    EXPECT_DOUBLE_EQ(CalculateDifference(*q, *p, true, true, Bounds(*p), Bounds(*q), 0, 0), 9.0 / 765.0);
}

TEST(CalculateDifference, Codes)
{
    auto a = MakeImage(20, 10);
    auto b = MakeImage(12, 6);
    // Width mismatch first, even with a negative left and a rect past the edge.
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, R(0, -1, 4, 30), R(0, 0, 4, 5), 0, 0), -1.0);
    // Negative left before past the edge.
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, R(0, -1, 4, 30), R(0, 0, 4, 31), 0, 0), -2.0);
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, R(0, 0, 4, 4), R(-2, 0, 2, 4), 0, 0), -2.0);
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, R(0, 0, 4, 21), R(0, 0, 4, 21), 0, 0), -3.0);
    // rectB fits a but not the smaller b.
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, R(0, 0, 8, 16), R(0, 0, 8, 16), 0, 0), -3.0);
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, R(0, 8, 6, 20), R(0, 0, 6, 12), 0, 0), 0.0);
    // Empty rects.
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, R(0, 0, 0, 4), R(0, 0, 0, 4), 0, 0), -1.0);
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, R(3, 4, 1, 2), R(3, 4, 1, 2), 0, 0), -1.0);
}

TEST(CalculateDifference, MatchesNumpy)
{
    auto a = MakeImage(64, 48);
    auto b = MakeImage(64, 48);
    FillNoise(*a, 11);
    FillNoise(*b, 12);
    std::vector<std::vector<int>> cases;
    std::vector<double> got;
    const int rects[][6] = {{0, 0, 0, 0, 64, 48}, {3, 5, 0, 1, 50, 40}, {10, 2, 12, 9, 37, 29}, {47, 63, 0, 0, 1, 1}};
    for (const auto& r : rects)
        for (int channel = 0; channel <= 3; ++channel)
            for (int threshold : {0, 1, 77, 128, 200, 255, 256}) {
                cases.push_back({r[0], r[1], r[2], r[3], r[4], r[5], channel, threshold});
                got.push_back(CalculateDifference(*a, *b, true, true, R(r[0], r[1], r[0] + r[5], r[1] + r[4]),
                                                  R(r[2], r[3], r[2] + r[5], r[3] + r[4]), channel, threshold));
            }
    const auto want = Reference("difference", *a, b.get(), cases);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i][0], kMeanTolerance) << "case " << i;
}

TEST(CalculateDifference, LargeImagesDoNotOverflow)
{
    auto a = MakeImage(3000, 2000);
    auto b = MakeImage(3000, 2000);
    FillFlat(*a, 0, 0, 0);
    FillFlat(*b, 255, 255, 255);
    EXPECT_EQ(CalculateDifference(*a, *b, true, true, Bounds(*a), Bounds(*b), 0, 0), 1.0);
}

TEST(CalculateDifference, WorkersShareTheReferenceImage)
{
    // Alignment jobs measure their own clips against clip 0, which every
    // worker reads at once with its pixels locked by the command.
    auto reference = MakeImage(96, 64);
    FillNoise(*reference, 5);
    auto clipA = MakeImage(96, 64);
    auto clipB = MakeImage(96, 64);
    FillNoise(*clipA, 6);
    FillNoise(*clipB, 7);
    const Rect inner = R(4, 4, 60, 92);
    const double wantA = CalculateDifference(*reference, *clipA, true, true, inner, inner, 0, 30);
    const double wantB = CalculateDifference(*reference, *clipB, true, true, inner, inner, 2, 0);
    double gotA[8], gotB[8];
    std::thread a([&] {
        for (int i = 0; i < 8; ++i)
            gotA[i] =
                CalculateDifference(*reference, *clipA, false, true, R(4 + i % 3, 4, 60 + i % 3, 92), inner, 0, 30);
    });
    std::thread b([&] {
        for (int i = 0; i < 8; ++i)
            gotB[i] = CalculateDifference(*reference, *clipB, false, true, inner, inner, 2, 0);
    });
    a.join();
    b.join();
    EXPECT_EQ(gotA[0], wantA);
    EXPECT_EQ(gotA[3], wantA);
    for (double g : gotB)
        EXPECT_EQ(g, wantB);
}

TEST(Centroids, HandCases)
{
    auto image = MakeImage(30, 20);
    FillFlat(*image, 0, 0, 0);
    SetPixel(*image, 17, 6, {255, 200, 150, 100});
    Point v, r, g, b;
    CalculateValueCentroid(*image, Bounds(*image), 10, v);
    CalculateRGBCentroids(*image, Bounds(*image), 10, r, g, b);
    EXPECT_EQ(v, (Point{6, 17}));
    EXPECT_EQ(r, (Point{6, 17}));
    EXPECT_EQ(g, (Point{6, 17}));
    EXPECT_EQ(b, (Point{6, 17}));
    // Inside a sub-rect too.
    CalculateValueCentroid(*image, R(3, 11, 12, 26), 10, v);
    EXPECT_EQ(v, (Point{6, 17}));

    // Nothing above the threshold: the centre of the rect; a 5-wide rect's RGB
    // centre is left + 3, its value centre left + 2.
    const Rect rect = R(4, 7, 11, 12); // 5 wide, 7 high
    CalculateValueCentroid(*image, rect, 250, v);
    CalculateRGBCentroids(*image, rect, 250, r, g, b);
    EXPECT_EQ(v, (Point{4 + 3, 7 + 2}));
    EXPECT_EQ(r, (Point{4 + 4, 7 + 3}));
    EXPECT_EQ(b, (Point{4 + 4, 7 + 3}));

    // A rect reaching outside the image reads only the inside part and keeps
    // its own centre.
    CalculateValueCentroid(*image, R(-10, -10, 40, 50), 10, v);
    EXPECT_EQ(v, (Point{6, 17}));
    CalculateValueCentroid(*image, R(100, 100, 120, 130), 0, v);
    EXPECT_EQ(v, (Point{110, 115}));
}

TEST(Centroids, BrightTopHalfOfVgaFrame)
{
    auto image = MakeImage(640, 480);
    FillFlat(*image, 0, 0, 0);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 640; ++x)
            SetPixel(*image, x, y, {255, 255, 255, 255});
    Point v;
    CalculateValueCentroid(*image, Bounds(*image), 0, v);
    EXPECT_EQ(v, (Point{120, 320}));
}

TEST(Centroids, MatchNumpy)
{
    auto image = MakeImage(64, 48);
    FillNoise(*image, 21);
    AddStar(*image, 40.3, 12.7, 2.0, 255);
    std::vector<std::vector<int>> cases;
    std::vector<std::vector<double>> got;
    const int rects[][4] = {{0, 0, 64, 48}, {5, 30, 21, 17}, {2, 3, 40, 33}, {40, 50, 1, 1}};
    for (const auto& rc : rects)
        for (int threshold : {0, 60, 128, 230, 256}) {
            cases.push_back({rc[0], rc[1], rc[2], rc[3], threshold});
            const Rect rect = R(rc[0], rc[1], rc[0] + rc[3], rc[1] + rc[2]);
            Point v, r, g, b;
            CalculateValueCentroid(*image, rect, threshold, v);
            CalculateRGBCentroids(*image, rect, threshold, r, g, b);
            got.push_back({double(v.v), double(v.h), double(r.v), double(r.h), double(g.v), double(g.h), double(b.v),
                           double(b.h)});
        }
    const auto want = Reference("centroid", *image, nullptr, cases);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], want[i]) << "case " << i;
}

TEST(Values, HandCases)
{
    auto image = MakeImage(9, 7);
    FillFlat(*image, 255, 255, 255);
    EXPECT_EQ(CalculateValue(*image, Bounds(*image)), 1.0);
    EXPECT_EQ(CalculateAverageValue(*image, Bounds(*image)), 255.0);
    FillFlat(*image, 40, 90, 10);
    EXPECT_EQ(CalculateValueRange(*image, Bounds(*image)), 0.00390625);
    EXPECT_DOUBLE_EQ(CalculateValue(*image, Bounds(*image)), 90.0 / 255.0);
    EXPECT_DOUBLE_EQ(CalculateAverageValue(*image, Bounds(*image)), 140.0 / 3.0);
    SetPixel(*image, 3, 3, {255, 0, 0, 0});
    SetPixel(*image, 4, 4, {255, 0, 255, 0});
    EXPECT_EQ(CalculateValueRange(*image, Bounds(*image)), 1.0);
}

TEST(Values, BadRectsGiveCodesNeverNaN)
{
    auto image = MakeImage(9, 7);
    using Fn = double (*)(const GWorldWrapper&, Rect);
    for (Fn f : {Fn(CalculateValue), Fn(CalculateValueRange), Fn(CalculateAverageValue)}) {
        EXPECT_EQ(f(*image, R(2, 2, 2, 5)), -1.0);
        EXPECT_EQ(f(*image, R(2, 5, 4, 1)), -1.0);
        EXPECT_EQ(f(*image, R(-1, 0, 3, 3)), -2.0);
        EXPECT_EQ(f(*image, R(0, -3, 3, 3)), -2.0);
        EXPECT_EQ(f(*image, R(0, 0, 8, 3)), -3.0);
        EXPECT_EQ(f(*image, R(0, 0, 3, 10)), -3.0);
        EXPECT_EQ(f(*image, R(100, 100, 200, 200)), -3.0);
    }
}

TEST(Values, MatchNumpy)
{
    auto image = MakeImage(64, 48);
    FillNoise(*image, 31);
    std::vector<std::vector<int>> cases;
    std::vector<std::vector<double>> got;
    const int rects[][4] = {{0, 0, 64, 48}, {5, 30, 21, 17}, {2, 3, 40, 33}, {40, 50, 1, 1}, {47, 0, 64, 1}};
    for (const auto& rc : rects) {
        cases.push_back({rc[0], rc[1], rc[2], rc[3]});
        const Rect rect = R(rc[0], rc[1], rc[0] + rc[3], rc[1] + rc[2]);
        got.push_back(
            {CalculateValue(*image, rect), CalculateValueRange(*image, rect), CalculateAverageValue(*image, rect)});
    }
    const auto want = Reference("values", *image, nullptr, cases);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i)
        for (size_t k = 0; k < 3; ++k)
            EXPECT_NEAR(got[i][k], want[i][k], kMeanTolerance * std::max(1.0, want[i][k])) << i << " " << k;
}

TEST(PowerSpectrum, Codes)
{
    auto image = MakeImage(128, 128);
    std::vector<double> out(200, 7.0);
    EXPECT_EQ(CalculatePowerSpectrumDistributionFromFourierTransform(*image, R(0, 0, 62, 63), out.data(), 46), -1);
    EXPECT_EQ(CalculatePowerSpectrumDistributionFromFourierTransform(*image, R(0, 0, 99, 99), out.data(), 46), -2);
    EXPECT_EQ(CalculatePowerSpectrumDistributionFromFourierTransform(*image, R(0, 0, 15, 15), out.data(), 46), -2);
    for (double v : out)
        EXPECT_EQ(v, 7.0);
}

TEST(PowerSpectrum, ConstantImageIsAllInBinZero)
{
    for (int N : {32, 64, 128, 256}) {
        auto image = MakeImage(N, N);
        FillFlat(*image, 10, 77, 30);
        std::vector<double> out(200, 7.0);
        const int n = N / 2 * 3 / 2;
        ASSERT_EQ(CalculatePowerSpectrumDistributionFromFourierTransform(*image, R(0, 0, N - 1, N - 1), out.data(), n),
                  0);
        EXPECT_NEAR(out[0], N * N * 77.0 / 255.0, 1e-9 * N * N * 77.0 / 255.0) << N;
        for (int i = 1; i < n; ++i)
            EXPECT_NEAR(out[i], 0.0, 1e-9) << N << " bin " << i;
        for (int i = n; i < 200; ++i)
            EXPECT_EQ(out[i], 7.0) << "written past n at " << i;
    }
}

TEST(PowerSpectrum, CosinesLandInTheirFrequencyBin)
{
    const int N = 64;
    for (int k : {1, 5, 13, 31}) {
        for (bool vertical : {false, true}) {
            auto image = MakeImage(N, N);
            for (int y = 0; y < N; ++y)
                for (int x = 0; x < N; ++x) {
                    const int t = vertical ? y : x;
                    const auto v = static_cast<uint8_t>(std::lround(127.5 + 127.0 * std::cos(2 * M_PI * k * t / N)));
                    SetPixel(*image, x, y, {255, v, v, v});
                }
            std::vector<double> out(46);
            ASSERT_EQ(
                CalculatePowerSpectrumDistributionFromFourierTransform(*image, R(0, 0, N - 1, N - 1), out.data(), 46),
                0);
            int best = 1;
            for (int i = 1; i < 46; ++i)
                if (out[i] > out[best])
                    best = i;
            EXPECT_EQ(best, k) << (vertical ? "vertical" : "horizontal") << " frequency " << k;
            // Both halves of a vertical cosine (rows k and N - k) are counted:
            // |F| = N^2 * 127 / 255 / 2 at each, so the bin holds about N^2 * 127 / 255.
            const double oneSide = N * N * 127.0 / 255.0 / 2.0;
            EXPECT_NEAR(out[k], vertical ? 2 * oneSide : oneSide, 0.02 * oneSide) << k;
        }
    }
}

TEST(PowerSpectrum, MatchesNumpy)
{
    auto image = MakeImage(80, 70);
    FillNoise(*image, 41);
    std::vector<std::vector<int>> cases = {{0, 0, 32, 22}, {3, 9, 64, 46}, {6, 2, 64, 90}};
    std::vector<std::vector<double>> got;
    for (const auto& c : cases) {
        std::vector<double> out(c[3]);
        EXPECT_EQ(CalculatePowerSpectrumDistributionFromFourierTransform(
                      *image, R(c[0], c[1], c[0] + c[2] - 1, c[1] + c[2] - 1), out.data(), c[3]),
                  0);
        got.push_back(out);
    }
    const auto want = Reference("spectrum", *image, nullptr, cases);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(want[i].size(), got[i].size());
        for (size_t k = 0; k < got[i].size(); ++k)
            EXPECT_NEAR(got[i][k], want[i][k], 1e-9 * std::max(1.0, want[i][k])) << "case " << i << " bin " << k;
    }
}

TEST(NormalizationFactor, Cases)
{
    auto image = MakeImage(10, 4);
    FillFlat(*image, 0, 0, 0);
    EXPECT_EQ(CalculateNormalizationFactor(*image, 100, 0), -1.0);
    EXPECT_EQ(CalculateNormalizationFactor(*image, 100, 1), -1.0);
    EXPECT_EQ(CalculateNormalizationFactor(*image, 0, 0), -1.0);
    // Half the pixels white: mean value 0.5.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            SetPixel(*image, x, y, {255, 255, 0, 255});
    EXPECT_EQ(CalculateNormalizationFactor(*image, 255, 1), 2.0);
    EXPECT_EQ(CalculateNormalizationFactor(*image, 300, 1), -1.0);
    EXPECT_EQ(CalculateNormalizationFactor(*image, -5, 0), -1.0);
    EXPECT_EQ(CalculateNormalizationFactor(*image, 256, 0), -1.0);
    FillFlat(*image, 20, 200, 100);
    EXPECT_EQ(CalculateNormalizationFactor(*image, 100, 0), 0.5);
    EXPECT_EQ(CalculateNormalizationFactor(*image, 0, 0), 0.0);
    EXPECT_EQ(CalculateNormalizationFactor(*image, 100, 7), 0.5);
}

} // namespace

TEST(CalculateDifference, VectorLoopMatchesPortable)
{
    for (int w : {1, 7, 9, 15, 17, 33, 101}) {
        auto a = MakeImage(w, 5);
        auto b = MakeImage(w, 5);
        FillNoise(*a, static_cast<uint32_t>(w));
        FillNoise(*b, static_cast<uint32_t>(w + 1000));
        for (int channel = 0; channel <= 3; ++channel)
            for (int threshold : {-5, 0, 1, 90, 200, 255, 256}) {
                const double vector = CalculateDifference(*a, *b, true, true, Bounds(*a), Bounds(*b), channel, threshold);
                ForcePortableDifferenceForTesting(true);
                const double portable =
                    CalculateDifference(*a, *b, true, true, Bounds(*a), Bounds(*b), channel, threshold);
                ForcePortableDifferenceForTesting(false);
                EXPECT_EQ(vector, portable) << w << ' ' << channel << ' ' << threshold;
            }
    }
}

TEST(PreparedDifference, MatchesCalculateDifferenceOnBothLoops)
{
    for (int w : {1, 7, 9, 15, 17, 33, 101}) {
        auto a = MakeImage(w + 4, 9);
        auto b = MakeImage(w + 6, 8);
        FillNoise(*a, static_cast<uint32_t>(3 * w));
        FillNoise(*b, static_cast<uint32_t>(3 * w + 1));
        const Rect rectA = MakeRect(2, 3, 7, 3 + w);
        for (int channel = 0; channel <= 4; ++channel)
            for (int threshold : {-5, 0, 1, 90, 200, 255, 256}) {
                const PreparedDifference prepared(*a, rectA, channel, threshold);
                for (bool portable : {false, true}) {
                    ForcePortableDifferenceForTesting(portable);
                    for (int v = 0; v <= 3; ++v)
                        for (int h = 0; h <= 6; h += 3) {
                            const Rect rectB = MakeRect(v, h, v + 5, h + w);
                            EXPECT_EQ(prepared.Against(*b, true, rectB),
                                      CalculateDifference(*a, *b, true, true, rectA, rectB, channel, threshold))
                                << w << ' ' << channel << ' ' << threshold << ' ' << portable << ' ' << v << ' ' << h;
                        }
                }
                ForcePortableDifferenceForTesting(false);
            }
    }
    // Many rects at once, a band of rows at a time, good and bad mixed.
    auto big = MakeImage(300, 80);
    auto other = MakeImage(300, 80);
    FillNoise(*big, 11);
    FillNoise(*other, 12);
    const Rect bounds = MakeRect(9, 9, 71, 290);
    for (int threshold : {0, 120}) {
        const PreparedDifference prepared(*big, bounds, 0, threshold);
        std::vector<Rect> rects;
        for (int v = -10; v <= 10; v += 5)
            for (int h = -10; h <= 10; h += 5)
                rects.push_back(MakeRect(bounds.top + v, bounds.left + h, bounds.bottom + v, bounds.right + h));
        std::vector<double> each(rects.size());
        prepared.AgainstEach(*other, true, rects.data(), static_cast<int>(rects.size()), each.data());
        for (std::size_t i = 0; i < rects.size(); ++i)
            EXPECT_EQ(each[i], prepared.Against(*other, true, rects[i])) << i;
    }
    // Bad rects give CalculateDifference's codes, in its order.
    auto a = MakeImage(10, 10);
    const PreparedDifference past(*a, MakeRect(0, 5, 4, 11), 0, 0);
    EXPECT_EQ(past.Against(*a, true, MakeRect(0, 0, 4, 6)), kMeasurePastImageEdge);
    EXPECT_EQ(past.Against(*a, true, MakeRect(-1, 0, 3, 6)), kMeasureNegativeEdge);
    EXPECT_EQ(past.Against(*a, true, MakeRect(0, 0, 4, 5)), kMeasureEmptyOrMismatchedRect);
    const PreparedDifference good(*a, MakeRect(0, 0, 4, 6), 0, 0);
    EXPECT_EQ(good.Against(*a, true, MakeRect(7, 0, 11, 6)), kMeasurePastImageEdge);
}
