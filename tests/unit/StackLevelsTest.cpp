// tests/unit/StackLevelsTest.cpp: the levels tool's work on the stack planes:
// black, white and gamma per value and per colour against a numpy model,
// the exact copy at neutral levels, clipping marks, and automatic levels on
// histograms worked out by hand.
#include "imaging/StackLevels.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/Histogram.h"
#include "imaging/Levels.h"
#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"
#include "tests/unit/SumPlaneSet.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Maps {
    explicit Maps(std::size_t n) : red(n, 99), green(n, 99), blue(n, 99) {}
    LevelClipMaps View() { return LevelClipMaps{red.data(), green.data(), blue.data()}; }
    std::vector<char> red, green, blue;
};

// Sums of a stack of frames: mostly 0 .. 255 × frames, with a few at 0, at
// full scale and above it (imports and other tools leave such sums).
SumPlaneSet RandomSums(int w, int h, double frames, uint32_t seed)
{
    SumPlaneSet s(w, h);
    std::mt19937 engine(seed);
    const int top = static_cast<int>(255 * frames);
    std::uniform_int_distribution<int> any(0, top);
    std::uniform_int_distribution<int> pick(0, 19);
    for (auto& plane : s.planes)
        for (auto& v : plane) {
            const int k = pick(engine);
            v = k == 0 ? 0 : k == 1 ? top : k == 2 ? top + 1 + k : any(engine);
        }
    return s;
}

struct Case {
    std::string name;
    int w, h;
    double frames;
    bool value;
    LevelCutoffs levels[4];
};

std::string Number(double v)
{
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

std::string CaseArgument(const Case& c)
{
    std::string arg = c.name + ":" + std::to_string(c.w) + ":" + std::to_string(c.h) + ":" +
                      std::to_string(StackLevelCount(c.frames)) + ":" + (c.value ? "value" : "colours");
    for (const LevelCutoffs& l : c.levels)
        arg += ":" + Number(l.black) + ":" + Number(l.white) + ":" + Number(l.gammaInverse);
    return arg;
}

LevelCutoffs N(double frames)
{
    return NeutralLevelCutoffs(frames);
}

} // namespace

TEST(StackLevels, RemapMatchesNumpyModel)
{
    // 4 frames: 1024 levels, full scale 1020. Fractional 2.5 frames: 640
    // levels, full scale 637.5. Sizes: odd, a row, a column, one pixel.
    const std::vector<Case> cases = {
        {"value", 13, 7, 4.0, true, {{100, 900, 0.5}, N(4), N(4), N(4)}},
        {"valuedark", 5, 9, 4.0, true, {{0, 1020, 2.0}, N(4), N(4), N(4)}},
        {"valuewhite", 31, 1, 4.0, true, {{0, 600, 1.0}, N(4), N(4), N(4)}},
        {"colours", 1, 17, 4.0, false, {N(4), {50, 800, 1.0 / 0.7}, N(4), {0, 600, 1.0}}},
        {"green", 9, 4, 4.0, false, {N(4), N(4), {300, 301, 1.0}, N(4)}},
        {"gammazero", 6, 6, 4.0, false, {N(4), {10, 700, kInf}, {0, 1020, 0.1}, {1019, 1020, 1.0}}},
        {"allcolours", 1, 1, 4.0, true, {N(4), {20, 1000, 1.3}, {40, 900, 0.8}, {0, 500, 1.0}}},
        {"fractional", 11, 3, 2.5, true, {{60, 500, 1.25}, N(2.5), N(2.5), N(2.5)}},
        {"fractionalcolour", 3, 11, 2.5, false, {N(2.5), {0, 400, 1.0}, N(2.5), {5, 637.5, 3.0}}},
    };
    const std::string dir = ReferenceScratchDir();
    ASSERT_FALSE(dir.empty());
    std::vector<std::string> args = {dir};
    std::vector<SumPlaneSet> inputs;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        inputs.push_back(RandomSums(cases[k].w, cases[k].h, cases[k].frames, static_cast<uint32_t>(40 + k)));
        inputs.back().Write(dir + "/" + cases[k].name + ".in.f8");
        args.push_back(CaseArgument(cases[k]));
    }
    std::string output;
    ASSERT_TRUE(RunPythonScript("levels_model.py", args, &output)) << output;

    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Case& c = cases[k];
        SCOPED_TRACE(c.name);
        SumPlaneSet live(c.w, c.h, -7); // stale values: every plane must be rewritten
        Maps maps(live.planes[0].size());
        const LevelPlaneSelection all{c.value, !c.value, !c.value, !c.value};
        LevelStackPlanes(inputs[k].ConstView(), live.View(), c.frames, c.levels, all, maps.View());
        const std::vector<double> expected = ReadDoubles(dir + "/" + c.name + ".out.f8");
        const std::vector<double> expectedMasks = ReadDoubles(dir + "/" + c.name + ".mask.f8");
        const std::vector<double> got = live.AsDoubles();
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], expected[i]) << "sum " << i;
        const std::size_t n = live.planes[0].size();
        ASSERT_EQ(expectedMasks.size(), 3 * n);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(maps.red[i], static_cast<char>(expectedMasks[i])) << i;
            ASSERT_EQ(maps.green[i], static_cast<char>(expectedMasks[n + i])) << i;
            ASSERT_EQ(maps.blue[i], static_cast<char>(expectedMasks[2 * n + i])) << i;
        }
    }
}

TEST(StackLevels, HandValuesOfOneColour)
{
    // 1 frame, 256 levels: black 100, white 200, gamma 1 (range 101):
    // 150 -> 50 × 256 / 101 = 126.73 -> 127; 100 -> 0; 90 -> 0 and below;
    // 210 -> 110 × 256 / 101 = 278.8, capped at 255 and above.
    SumPlaneSet saved(4, 1);
    saved.planes[0] = {150, 100, 90, 210};
    SumPlaneSet live(4, 1);
    Maps maps(4);
    const LevelCutoffs levels[4] = {N(1), {100, 200, 1.0}, N(1), N(1)};
    LevelStackPlanes(saved.ConstView(), live.View(), 1.0, levels, LevelPlaneSelection{false, true, false, false},
                     maps.View());
    EXPECT_EQ(live.planes[0], (std::vector<int32_t>{127, 0, 0, 255}));
    EXPECT_EQ(maps.red, (std::vector<char>{kLevelInside, kLevelInside, kLevelBelowLow, kLevelAboveHigh}));
    // Green and blue were not asked for: untouched, maps too.
    EXPECT_EQ(live.planes[1], std::vector<int32_t>(4, 0));
    EXPECT_EQ(maps.green, std::vector<char>(4, 99));

    // Gamma 2 (the remap's exponent 0.5): 150 -> sqrt(50 / 101) × 256 = 180.1 -> 180.
    const LevelCutoffs brighter[4] = {N(1), {100, 200, 0.5}, N(1), N(1)};
    LevelStackPlanes(saved.ConstView(), live.View(), 1.0, brighter, LevelPlaneSelection{false, true, false, false},
                     maps.View());
    EXPECT_EQ(live.planes[0][0], 180);
}

TEST(StackLevels, NeutralLevelsCopyExactly)
{
    // Also sums above full scale and a fractional frame count, where the
    // neutral curve itself would move sums.
    for (double frames : {1.0, 2.5, 6.0}) {
        SumPlaneSet saved = RandomSums(7, 5, frames, 3);
        saved.planes[2][0] = static_cast<int32_t>(300 * frames);
        SumPlaneSet live(7, 5);
        Maps maps(35);
        const LevelCutoffs levels[4] = {N(frames), N(frames), N(frames), N(frames)};
        LevelStackPlanes(saved.ConstView(), live.View(), frames, levels, LevelPlaneSelection{true, false, false, false},
                         maps.View());
        EXPECT_TRUE(live == saved) << frames;
        // Only sums above full scale count as clipped.
        for (int c = 0; c < 3; ++c)
            for (std::size_t i = 0; i < 35; ++i) {
                const std::vector<char>& m = c == 0 ? maps.red : c == 1 ? maps.green : maps.blue;
                EXPECT_EQ(m[i], saved.planes[c][i] > 255 * frames ? kLevelAboveHigh : kLevelInside);
            }
    }
}

TEST(StackLevels, NoFramesCopiesAndClearsMaps)
{
    SumPlaneSet saved(3, 2, 5);
    SumPlaneSet live(3, 2, -1);
    Maps maps(6);
    const LevelCutoffs levels[4] = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}};
    LevelStackPlanes(saved.ConstView(), live.View(), 0.0, levels, LevelPlaneSelection{true, false, false, false},
                     maps.View());
    EXPECT_TRUE(live == saved);
    EXPECT_EQ(maps.red, std::vector<char>(6, kLevelInside));
    EXPECT_EQ(maps.blue, std::vector<char>(6, kLevelInside));
}

TEST(StackLevels, LevelCountAndTableSize)
{
    EXPECT_EQ(StackLevelCount(0.0), 0);
    EXPECT_EQ(StackLevelCount(-3.0), 0);
    EXPECT_EQ(StackLevelCount(std::nan("")), 0);
    EXPECT_EQ(StackLevelCount(1.0), 256);
    EXPECT_EQ(StackLevelCount(2.5), 640);
    EXPECT_EQ(StackLevelCount(1.0 / 512), 0); // half a level
    EXPECT_EQ(StackLevelCount(1e9), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(StackLevelTableBytes(0), 0);
    EXPECT_EQ(StackLevelTableBytes(256), 256 * 20);
    EXPECT_EQ(StackLevelTableBytes(std::numeric_limits<int32_t>::max()), int64_t{20} * 2147483647);
}

TEST(StackLevels, ClippingMarksShadowsWhiteAndHighlightsBlack)
{
    SumPlaneSet live(4, 1, 77);
    Maps maps(4);
    maps.red = {kLevelInside, kLevelBelowLow, kLevelAboveHigh, kLevelInside};
    maps.green = {kLevelBelowLow, kLevelBelowLow, kLevelBelowLow, kLevelBelowLow};
    maps.blue = {kLevelAboveHigh, kLevelInside, kLevelBelowLow, kLevelAboveHigh};
    MarkLevelClipping(live.View(), maps.View(), true, false, true, 2.5);
    // Full scale trunc(255 × 2.5) = 637.
    EXPECT_EQ(live.planes[0], (std::vector<int32_t>{77, 637, 0, 77}));
    EXPECT_EQ(live.planes[1], std::vector<int32_t>(4, 77)); // not flagged
    EXPECT_EQ(live.planes[2], (std::vector<int32_t>{0, 77, 637, 0}));
}

namespace {

// A 256-bin histogram with counts[b] pixels in bin b, normalised.
std::unique_ptr<Histogram> Counts(const std::vector<std::pair<int, int>>& counts)
{
    auto h = std::make_unique<Histogram>(256, 0);
    for (const auto& [bin, n] : counts)
        for (int k = 0; k < n; ++k)
            h->IncrementBin(bin);
    h->NormalizeToOne();
    return h;
}

struct Points {
    double black, white;
};

Points Auto(const Histogram& h, double percentage, double frames)
{
    Points p{-1, -1};
    AutoLevelCutoffs(h, percentage, frames, p.black, p.white);
    return p;
}

} // namespace

TEST(StackLevels, AutoLevelsOnHandHistograms)
{
    // Shares 1/4 in bin 10, 1/4 in bin 20, 1/2 in bin 200; 2 frames.
    const auto h = Counts({{10, 1}, {20, 1}, {200, 2}});
    // 0 %: one bin below the lowest (9 × 2) and above the highest (201 × 2).
    Points p = Auto(*h, 0.0, 2.0);
    EXPECT_EQ(p.black, 18.0);
    EXPECT_EQ(p.white, 402.0);
    // 25 %: bin 10 brings the sum to 0.25, still <= 0.25, so black moves on
    // through bin 19 (38); bin 20 makes 0.5. At the top bin 200 is 0.5 > 0.25.
    p = Auto(*h, 25.0, 2.0);
    EXPECT_EQ(p.black, 38.0);
    EXPECT_EQ(p.white, 402.0);
    // 24.99 %: bin 10 alone exceeds it.
    p = Auto(*h, 24.99, 2.0);
    EXPECT_EQ(p.black, 18.0);
    // 60 % is taken as 49.99 %: bins 10 and 20 make 0.5 > 0.4999, so black
    // ends at bin 19 (38); white stays above bin 200 (0.5 from the top).
    p = Auto(*h, 60.0, 2.0);
    EXPECT_EQ(p.black, 38.0);
    EXPECT_EQ(p.white, 402.0);
    // Negative is 0 %.
    p = Auto(*h, -5.0, 2.0);
    EXPECT_EQ(p.black, 18.0);
    EXPECT_EQ(p.white, 402.0);
}

TEST(StackLevels, AutoLevelsAtTheEnds)
{
    // Everything in bin 0: black stays 0, white one bin up (1 × 3).
    Points p = Auto(*Counts({{0, 5}}), 0.0, 3.0);
    EXPECT_EQ(p.black, 0.0);
    EXPECT_EQ(p.white, 3.0);
    // Everything in bin 255: black 254 × 3, white full scale 765.
    p = Auto(*Counts({{255, 5}}), 0.0, 3.0);
    EXPECT_EQ(p.black, 762.0);
    EXPECT_EQ(p.white, 765.0);
    // Fractional frames: trunc(b × 2.5); bins 1 and 254 occupied.
    p = Auto(*Counts({{1, 1}, {254, 1}}), 0.0, 2.5);
    EXPECT_EQ(p.black, 0.0);   // bin 0: trunc(0)
    EXPECT_EQ(p.white, 637.0); // bin 255 empty: trunc(255 × 2.5)
    p = Auto(*Counts({{3, 1}, {250, 1}}), 0.0, 2.5);
    EXPECT_EQ(p.black, 5.0);   // bin 2: trunc(5.0)
    EXPECT_EQ(p.white, 627.0); // bin 251: trunc(627.5)
}

TEST(StackLevels, AutoLevelsOfAnEmptyHistogramStayNeutral)
{
    Histogram empty(256, 0);
    Points p = Auto(empty, 10.0, 4.0);
    EXPECT_EQ(p.black, 0.0);
    EXPECT_EQ(p.white, 1020.0);
    Histogram small(16, 0);
    small.IncrementBin(3);
    small.NormalizeToOne();
    p = Auto(small, 0.0, 4.0);
    EXPECT_EQ(p.black, 0.0);
    EXPECT_EQ(p.white, 1020.0);
}

TEST(StackLevels, AutoLevelsFromAnImage)
{
    // A 5 × 3 image (odd sizes; rows padded in the padded run): values 40
    // in the first row, 120 in the second, 250 in the third (blue).
    auto image = MakeImage(5, 3);
    for (int x = 0; x < 5; ++x) {
        SetPixel(*image, x, 0, Argb{0, 40, 0, 0});
        SetPixel(*image, x, 1, Argb{0, 0, 120, 0});
        SetPixel(*image, x, 2, Argb{0, 0, 0, 250});
    }
    Histogram value(256, kHistogramValue), red(256, kHistogramRed), green(256, kHistogramGreen),
        blue(256, kHistogramBlue);
    ASSERT_EQ(GenerateHistograms(*image, MakeRect(0, 0, 3, 5), value, red, green, blue), 1);
    Points p = Auto(value, 0.0, 1.0);
    EXPECT_EQ(p.black, 39.0);
    EXPECT_EQ(p.white, 251.0);
    // A third of the pixels at each end may clip at 33.4 % (the sums 1/3
    // compare below 0.334): black through bin 119, white down to bin 121.
    p = Auto(value, 33.4, 1.0);
    EXPECT_EQ(p.black, 119.0);
    EXPECT_EQ(p.white, 121.0);
    // Red: 10 of 15 pixels at 0, 5 at 40.
    p = Auto(red, 0.0, 1.0);
    EXPECT_EQ(p.black, 0.0);
    EXPECT_EQ(p.white, 41.0);
}
