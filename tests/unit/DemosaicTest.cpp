// tests/unit/DemosaicTest.cpp: the three demosaicing methods on all four
// patterns against an independent numpy model, round trips, borders, the
// per-thread buffer and hand-computed Laplacian cases.
#include "imaging/Demosaic.h"

#include <cmath>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"

namespace {

constexpr BayerPattern kPatterns[] = {kBayerGRBG, kBayerRGGB, kBayerBGGR, kBayerGBRG};
constexpr DebayerMethod kMethods[] = {kDebayerNearestNeighbor, kDebayerBilinear, kDebayerLaplacian};

// Random raw samples in green, random red, blue and alpha that the methods
// must not read (alpha must survive).
std::unique_ptr<GWorldWrapper> RandomMosaic(int w, int h, uint32_t seed)
{
    auto image = MakeImage(w, h);
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto byte = [&] { return static_cast<uint8_t>(random() & 0xFF); };
            SetPixel(*image, x, y, {byte(), byte(), byte(), byte()});
        }
    return image;
}

std::unique_ptr<GWorldWrapper> Copy(const GWorldWrapper& image)
{
    auto copy = MakeImage(image.Width(), image.Height());
    *copy = image;
    return copy;
}

std::vector<unsigned char> Raw(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            bytes.push_back(GetPixel(image, x, y).g);
    return bytes;
}

std::vector<unsigned char> Rgb(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            bytes.insert(bytes.end(), {p.r, p.g, p.b});
        }
    return bytes;
}

bool SameAlpha(const GWorldWrapper& a, const GWorldWrapper& b)
{
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (GetPixel(a, x, y).a != GetPixel(b, x, y).a)
                return false;
    return true;
}

struct ModelCase {
    std::string name;
    int w, h;
    BayerPattern pattern;
    DebayerMethod method;
    std::unique_ptr<GWorldWrapper> before, after;
};

// Demosaics each case and runs tests/reference/demosaic_model.py over the same
// mosaics; returns the model's red, green, blue bytes per case.
std::vector<std::vector<unsigned char>> RunModel(std::vector<ModelCase>& cases, bool pad)
{
    const std::string dir = ReferenceScratchDir();
    std::ofstream list(dir + "/cases.txt");
    for (ModelCase& c : cases) {
        WriteBytes(dir + "/" + c.name + ".raw", Raw(*c.before));
        list << c.name << " " << c.w << " " << c.h << " " << c.pattern << " " << c.method << " " << (pad ? 1 : 0)
             << "\n";
        c.after = Copy(*c.before);
        DebayerizeImageFromGreenChannel(*c.after, c.pattern, c.method);
    }
    list.close();
    std::string output;
    EXPECT_TRUE(RunPythonScript("demosaic_model.py", {dir}, &output)) << output;
    std::vector<std::vector<unsigned char>> results;
    for (const ModelCase& c : cases)
        results.push_back(ReadBytes(dir + "/" + c.name + ".rgb"));
    return results;
}

std::vector<ModelCase> Cases(const std::vector<std::pair<int, int>>& sizes)
{
    std::vector<ModelCase> cases;
    for (auto [w, h] : sizes)
        for (BayerPattern p : kPatterns)
            for (DebayerMethod m : kMethods) {
                const std::string name =
                    std::to_string(w) + "x" + std::to_string(h) + "p" + std::to_string(p) + "m" + std::to_string(m);
                cases.push_back({name, w, h, p, m, RandomMosaic(w, h, static_cast<uint32_t>(cases.size() + 7)), {}});
            }
    return cases;
}

// A smooth colour scene (each channel its own slow wave) and its mosaic for
// pattern: every pixel's green byte holds the scene's component of its site.
uint8_t Scene(int channel, int x, int y)
{
    const double v[3] = {128 + 60 * std::sin(x / 9.0 + y / 13.0), 100 + 50 * std::cos(x / 11.0 - y / 7.0),
                         150 + 70 * std::sin((x + y) / 10.0)};
    return static_cast<uint8_t>(std::lround(v[channel]));
}

int SiteChannel(BayerPattern pattern, int x, int y)
{
    // 0 red, 1 green, 2 blue; layouts G R / B G, R G / G B, B G / G R, G B / R G.
    static const int kLayout[4][2][2] = {{{1, 0}, {2, 1}}, {{0, 1}, {1, 2}}, {{2, 1}, {1, 0}}, {{1, 2}, {0, 1}}};
    return kLayout[pattern][y % 2][x % 2];
}

} // namespace

TEST(Demosaic, MatchesNumpyModelOnEveryPatternAndMethod)
{
    std::vector<ModelCase> cases =
        Cases({{17, 13}, {1, 1}, {1, 6}, {6, 1}, {2, 2}, {3, 3}, {2, 5}, {5, 2}, {8, 8}, {33, 20}, {4, 7}});
    const auto model = RunModel(cases, true);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(Rgb(*cases[i].after), model[i]) << cases[i].name;
        EXPECT_TRUE(SameAlpha(*cases[i].after, *cases[i].before)) << cases[i].name;
    }
}

TEST(Demosaic, InteriorKeepsThePlainFormulas)
{
    std::vector<ModelCase> cases = Cases({{17, 13}, {24, 16}, {9, 10}});
    const auto model = RunModel(cases, false);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const ModelCase& c = cases[i];
        const std::vector<unsigned char> ours = Rgb(*c.after);
        ASSERT_EQ(model[i].size(), ours.size());
        for (int y = 3; y <= c.h - 4; ++y)
            for (int x = 3; x <= c.w - 4; ++x)
                for (int k = 0; k < 3; ++k) {
                    const std::size_t at = (static_cast<std::size_t>(y) * c.w + x) * 3 + k;
                    ASSERT_EQ(ours[at], model[i][at]) << c.name << " at (" << x << ", " << y << ") channel " << k;
                }
    }
}

TEST(Demosaic, RoundTripOfASmoothScene)
{
    constexpr int w = 64, h = 48;
    for (BayerPattern p : kPatterns) {
        auto mosaic = MakeImage(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                SetPixel(*mosaic, x, y, {0xFF, 0, Scene(SiteChannel(p, x, y), x, y), 0});
        for (DebayerMethod m : kMethods)
            for (BayerPattern q : kPatterns) {
                auto image = Copy(*mosaic);
                DebayerizeImageFromGreenChannel(*image, q, m);
                double error = 0.0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const Argb px = GetPixel(*image, x, y);
                        error += std::abs(px.r - Scene(0, x, y)) + std::abs(px.g - Scene(1, x, y)) +
                                 std::abs(px.b - Scene(2, x, y));
                    }
                error /= 3.0 * w * h;
                // Nearest neighbour copies samples from a pixel away, hence its
                // larger error; a wrong layout swaps colours (15 levels or more
                // even when only red and blue trade places).
                if (q == p)
                    EXPECT_LT(error, m == kDebayerNearestNeighbor ? 4.0 : 2.0) << "pattern " << p << " method " << m;
                else
                    EXPECT_GT(error, 10.0) << "pattern " << p << " read as " << q << " method " << m;
            }
    }
}

TEST(Demosaic, UniformMosaicGivesItsValueEverywhere)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {2, 2}, {5, 3}, {1, 7}, {16, 9}})
        for (int k : {0, 1, 128, 255})
            for (BayerPattern p : kPatterns)
                for (DebayerMethod m : kMethods) {
                    auto image = MakeImage(w, h);
                    FillFlat(*image, 7, static_cast<uint8_t>(k), 9);
                    DebayerizeImageFromGreenChannel(*image, p, m);
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x)
                            ASSERT_EQ(GetPixel(*image, x, y), (Argb{0xFF, static_cast<uint8_t>(k),
                                                                    static_cast<uint8_t>(k), static_cast<uint8_t>(k)}))
                                << w << "x" << h << " k " << k << " p " << p << " m " << m;
                }
}

TEST(Demosaic, StaleBufferContentNeverReachesTheResult)
{
    const auto mosaic = RandomMosaic(23, 17, 5);
    for (DebayerMethod m : kMethods) {
        ScribbleOnDemosaicBufferForTesting(40, 30, 1);
        auto first = Copy(*mosaic);
        DebayerizeImageFromGreenChannel(*first, kBayerBGGR, m);
        ScribbleOnDemosaicBufferForTesting(23, 17, 2);
        auto second = Copy(*mosaic);
        DebayerizeImageFromGreenChannel(*second, kBayerBGGR, m);
        EXPECT_TRUE(SamePixels(*first, *second, true)) << m;
        EXPECT_TRUE(SameAlpha(*first, *mosaic)) << m;
    }
}

TEST(Demosaic, UnknownMethodOrPatternLeavesImageUnchanged)
{
    const auto mosaic = RandomMosaic(9, 8, 6);
    for (auto [p, m] : std::vector<std::pair<int, int>>{{0, 3}, {0, -1}, {1, 100}, {4, 1}, {-1, 0}}) {
        auto image = Copy(*mosaic);
        DebayerizeImageFromGreenChannel(*image, p, m);
        EXPECT_TRUE(SamePixels(*image, *mosaic, true)) << p << " " << m;
    }
}

TEST(Demosaic, SeparateBuffersLeaveSourceAndAlphaAlone)
{
    const auto mosaic = RandomMosaic(12, 9, 8);
    auto src = Copy(*mosaic);
    auto dst = RandomMosaic(12, 9, 9);
    auto dstBefore = Copy(*dst);
    Debayerize(src->GetPixBaseAddr(), dst->GetPixBaseAddr(), 12, 9, src->GetSrcRowBytes(), kBayerRGGB,
               kDebayerLaplacian);
    auto inPlace = Copy(*mosaic);
    DebayerizeImageFromGreenChannel(*inPlace, kBayerRGGB, kDebayerLaplacian);
    EXPECT_TRUE(SamePixels(*src, *mosaic, true));
    EXPECT_TRUE(SamePixels(*dst, *inPlace, false));
    EXPECT_TRUE(SameAlpha(*dst, *dstBefore));
}

TEST(Demosaic, ThreadsWithImagesOfTwoSizesGetTheSameResults)
{
    constexpr int kThreads = 8, kRounds = 3;
    const auto small = RandomMosaic(41, 29, 10), large = RandomMosaic(64, 48, 11);
    std::vector<std::unique_ptr<GWorldWrapper>> expected;
    for (DebayerMethod m : kMethods)
        for (const GWorldWrapper* source : {small.get(), large.get()}) {
            expected.push_back(Copy(*source));
            DebayerizeImageFromGreenChannel(*expected.back(), kBayerGBRG, m);
        }
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round)
                for (int i = 0; i < 6; ++i) {
                    const int k = (i + t) % 6; // sizes alternate, so buffers grow and are reused
                    auto image = Copy(k % 2 ? *large : *small);
                    DebayerizeImageFromGreenChannel(*image, kBayerGBRG, kMethods[k / 2]);
                    if (!SamePixels(*image, *expected[k], true))
                        ++mismatches[t];
                }
        });
    for (auto& t : threads)
        t.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(Demosaic, LaplacianHandCases)
{
    // Pattern R G / G B: (2, 2) is a red site, (1, 1) and (3, 3) blue sites.
    // Every sample these pixels read lies inside the 6x6 mosaic.
    const auto mosaicOf = [](std::initializer_list<std::pair<std::pair<int, int>, int>> samples, int fill) {
        auto image = MakeImage(6, 6);
        FillFlat(*image, 0, static_cast<uint8_t>(fill), 0);
        for (auto [at, v] : samples)
            SetPixel(*image, at.first, at.second, {0xFF, 0, static_cast<uint8_t>(v), 0});
        return image;
    };
    // 1. All 100 but the red sample 91: LH = LV = 182 - 200 = -18, equal
    // gradients, green = (400 >> 2) + (-36 >> 3) = 100 - 5 = 95 (a truncating
    // shift would give 96). Blue at (2, 2): L1 = L2 = 2 * 95 - 100 - 100 = -10,
    // equal, blue = (400 >> 2) + (-20 >> 2) = 95.
    auto image = mosaicOf({{{2, 2}, 91}}, 100);
    DebayerizeImageFromGreenChannel(*image, kBayerRGGB, kDebayerLaplacian);
    EXPECT_EQ(GetPixel(*image, 2, 2), (Argb{0xFF, 91, 95, 95}));
    EXPECT_EQ(GetPixel(*image, 3, 3).g, 100); // blue site: flat neighbourhood
    // 2. Red 0 between red samples of 255 with green 0 around: LH = LV = -510,
    // green = 0 + (-1020 >> 3) = -128, clamped to 0.
    image = mosaicOf({{{0, 2}, 255}, {{4, 2}, 255}, {{2, 0}, 255}, {{2, 4}, 255}}, 0);
    DebayerizeImageFromGreenChannel(*image, kBayerRGGB, kDebayerLaplacian);
    EXPECT_EQ(GetPixel(*image, 2, 2).g, 0);
    // 3. Red 255 between red samples of 0 with green 255 around: LH = LV = 510,
    // green = (1020 >> 2) + (1020 >> 3) = 255 + 127 = 382, clamped to 255.
    image = mosaicOf({{{2, 2}, 255}, {{1, 2}, 255}, {{3, 2}, 255}, {{2, 1}, 255}, {{2, 3}, 255}}, 0);
    DebayerizeImageFromGreenChannel(*image, kBayerRGGB, kDebayerLaplacian);
    EXPECT_EQ(GetPixel(*image, 2, 2).g, 255);
    EXPECT_EQ(GetPixel(*image, 2, 2).r, 255);
}

TEST(Demosaic, OutOfMemoryAlertsThrowsAndLeavesImage)
{
    ScriptedInteraction ui;
    const auto mosaic = RandomMosaic(30, 20, 12);
    auto image = Copy(*mosaic);
    FailNextDemosaicBufferForTesting();
    EXPECT_THROW(DebayerizeImageFromGreenChannel(*image, kBayerGRBG, kDebayerLaplacian), std::bad_alloc);
    EXPECT_TRUE(SamePixels(*image, *mosaic, true));
    EXPECT_EQ(ui.AlertCount(), 1);
    DebayerizeImageFromGreenChannel(*image, kBayerGRBG, kDebayerLaplacian); // the next one works
    EXPECT_FALSE(SamePixels(*image, *mosaic));
}
