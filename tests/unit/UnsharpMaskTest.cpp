// tests/unit/UnsharpMaskTest.cpp: the unsharp mask of the stack's planes over
// a rectangle against a numpy model (with scipy's gaussian_filter for the
// blur), and its rules by hand: neutral intensity, the ringing threshold,
// negative and overflowing sums, and the rectangle.
#include "imaging/UnsharpMask.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/SumPlaneFilters.h"
#include "tests/support/PythonReference.h"
#include "tests/unit/SumPlaneSet.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// A value of saved + mask this near a whole number may truncate either way
// between two correct computations (our blur and scipy's differ by some
// 1e-13 relative, times an intensity of up to 160); elsewhere the results
// must agree exactly.
constexpr double kTruncationSlack = 1e-9;

bool NearWhole(double v)
{
    return std::abs(v - std::round(v)) <= kTruncationSlack * std::max(1.0, std::abs(v));
}

struct Case {
    SumPlaneSet saved;
    double radius;
    UnsharpMaskParams params;
    Rect rect;
    bool ourBlur; // the model starts from our blurred planes (checks the mask and the rule alone)
};

// Ours: blur the whole image, then mask and write the rectangle into planes
// that start as the saved ones (as the dialog's stack does).
SumPlaneSet Ours(const Case& c, DoublePlanes* blurredOut = nullptr)
{
    const int w = c.saved.width, h = c.saved.height;
    DoublePlanes source(w, h), blurred(w, h), mask(w, h);
    BlurSumPlanes(c.saved.ConstView(), c.radius, source, blurred);
    SumPlaneSet out = c.saved;
    UnsharpMaskSumPlanes(c.saved.ConstView(), blurred, c.rect, c.params, mask, out.View());
    if (blurredOut)
        *blurredOut = std::move(blurred);
    return out;
}

std::vector<double> AllDoubles(const DoublePlanes& p)
{
    std::vector<double> all;
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < p.Height(); ++y)
            all.insert(all.end(), p.Row(c, y), p.Row(c, y) + p.Width());
    return all;
}

void ExpectMatchesModel(const std::vector<Case>& cases)
{
    const std::string dir = ReferenceScratchDir();
    std::vector<std::string> args = {dir};
    std::vector<SumPlaneSet> ours;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Case& c = cases[k];
        const std::string name = "u" + std::to_string(k);
        c.saved.Write(dir + "/" + name + ".saved.f8");
        DoublePlanes blurred;
        ours.push_back(Ours(c, &blurred));
        if (c.ourBlur)
            WriteDoubles(dir + "/" + name + ".blurred.f8", AllDoubles(blurred));
        const Rect r = ClipRectToPlanes(c.rect, c.saved.width, c.saved.height);
        char intensity[64];
        std::snprintf(intensity, sizeof intensity, "%.17g", c.params.intensity);
        args.push_back(name + ":unsharp:" + std::to_string(c.radius) + ":" + std::to_string(c.saved.width) + ":" +
                       std::to_string(c.saved.height) + ":" + intensity + ":" +
                       std::to_string(c.params.ringingThreshold) + ":" + std::to_string(c.params.numFrames) + ":" +
                       std::to_string(r.top) + ":" + std::to_string(r.left) + ":" + std::to_string(r.bottom) + ":" +
                       std::to_string(r.right) + ":" + (c.ourBlur ? "ours" : "model"));
    }
    std::string output;
    ASSERT_TRUE(RunPythonScript("stack_filters.py", args, &output)) << output;
    // Intensity 0 and plain areas land on whole numbers by design; most of
    // the rest must be compared strictly.
    std::size_t strict = 0, total = 0;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::string base = dir + "/u" + std::to_string(k);
        const std::vector<double> expected = ReadDoubles(base + ".um.f8");
        const std::vector<double> values = ReadDoubles(base + ".c.f8");
        const std::vector<double> got = ours[k].AsDoubles();
        const std::vector<double> saved = cases[k].saved.AsDoubles();
        ASSERT_EQ(got.size(), expected.size()) << k;
        const std::size_t n = got.size() / 3;
        total += got.size();
        for (std::size_t i = 0; i < n; ++i) {
            const bool near = NearWhole(values[i]) || NearWhole(values[n + i]) || NearWhole(values[2 * n + i]);
            for (int c = 0; c < 3; ++c) {
                const std::size_t j = c * n + i;
                if (!near) {
                    ASSERT_EQ(got[j], expected[j]) << "case " << k << " pixel " << i << " channel " << c;
                    ++strict;
                } else {
                    // Either side of the whole number, or the saved sum when
                    // that side falls below the threshold's brightness.
                    ASSERT_TRUE(std::abs(got[j] - expected[j]) <= 1.0 || got[j] == saved[j])
                        << "case " << k << " pixel " << i << " channel " << c;
                }
            }
        }
    }
    EXPECT_GT(strict, total / 2);
}

Rect Whole(const SumPlaneSet& s)
{
    return MakeRect(0, 0, s.height, s.width);
}

} // namespace

TEST(UnsharpMask, MatchesTheModelWithScipyBlur)
{
    std::vector<Case> cases;
    SumPlaneSet scene(37, 23);
    scene.FillScene(7, 3);
    for (double radius : {0.5, 2.0, 6.3, 20.0})
        for (double intensity : {0.0, 1.0, 2.5, 40.0, 160.0})
            for (int threshold : {0, 40, 255})
                cases.push_back({scene, radius, {intensity, threshold, 7.0}, Whole(scene), false});
    // The top-left preview rectangle, clipped, and an inner one.
    cases.push_back({scene, 3.0, {12.3, 30, 7.0}, MakeRect(0, 0, 64, 64), false});
    cases.push_back({scene, 3.0, {12.3, 30, 7.0}, MakeRect(5, 9, 17, 30), false});
    // Odd and thin planes; sums beyond 65535 (300 frames) against the threshold.
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {1, 30}, {30, 1}, {5, 3}, {63, 65}}) {
        SumPlaneSet s(w, h);
        s.FillScene(300, static_cast<uint32_t>(w + 7 * h));
        cases.push_back({s, 4.0, {3.5, 100, 300.0}, Whole(s), false});
    }
    ExpectMatchesModel(cases);
}

TEST(UnsharpMask, MaskAndRuleMatchTheModelExactlyFromOurBlur)
{
    std::vector<Case> cases;
    SumPlaneSet scene(41, 29);
    scene.FillScene(12, 8, 2.5);
    for (double intensity : {0.3, 1.0, 7.7, 160.0})
        for (int threshold : {0, 17, 128, 255})
            cases.push_back({scene, 5.0, {intensity, threshold, 12.0}, MakeRect(3, 2, 25, 38), true});
    ExpectMatchesModel(cases);
}

TEST(UnsharpMask, IntensityZeroLeavesThePlanes)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{37, 23}, {1, 1}, {1, 9}, {9, 1}}) {
        SumPlaneSet saved(w, h);
        saved.FillScene(5, 1);
        for (int threshold : {0, 255}) {
            const Case c{saved, 0.1, {0.0, threshold, 5.0}, Whole(saved), false};
            EXPECT_TRUE(Ours(c) == saved) << w << "x" << h;
            const Case wide{saved, 20.0, {0.0, threshold, 5.0}, Whole(saved), false};
            EXPECT_TRUE(Ours(wide) == saved) << w << "x" << h;
        }
    }
}

TEST(UnsharpMask, FlatStackStaysFlat)
{
    // The mask of a flat area is zero; rounding in the blur must not take a
    // level off it, at full scale either.
    for (int32_t level : {255, 255 * 300, 1234567}) {
        SumPlaneSet flat(23, 11, level);
        for (double intensity : {1.0, 37.9, 160.0}) {
            const Case c{flat, 7.0, {intensity, 0, 300.0}, Whole(flat), false};
            EXPECT_TRUE(Ours(c) == flat) << level << " " << intensity;
        }
    }
}

TEST(UnsharpMask, IntensityOneAddsThePlainDifference)
{
    SumPlaneSet saved(15, 9);
    saved.FillScene(3, 6);
    const Case c{saved, 2.0, {1.0, 0, 3.0}, Whole(saved), false};
    DoublePlanes blurred;
    const SumPlaneSet out = Ours(c, &blurred);
    for (int ch = 0; ch < 3; ++ch)
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 15; ++x) {
                const double s = saved.At(ch, x, y);
                const double expected = std::max(0.0, std::trunc(s + (s - blurred.Row(ch, y)[x])));
                if (!NearWhole(s + (s - blurred.Row(ch, y)[x]))) {
                    ASSERT_EQ(out.At(ch, x, y), expected);
                }
            }
}

TEST(UnsharpMask, ThresholdZeroDarkensAndFullScaleProtects)
{
    // A bright star on a faint sky: the mask is negative around it.
    SumPlaneSet saved(31, 31);
    for (int ch = 0; ch < 3; ++ch)
        for (int y = 0; y < 31; ++y)
            for (int x = 0; x < 31; ++x) {
                const double d2 = (x - 15) * (x - 15) + (y - 15) * (y - 15);
                saved.At(ch, x, y) = static_cast<int32_t>(4 * (10 + 240 * std::exp(-d2 / 4.0)));
            }
    const Case plain{saved, 6.0, {30.0, 0, 4.0}, Whole(saved), false};
    const SumPlaneSet darkened = Ours(plain);
    int darker = 0, zeros = 0;
    for (int ch = 0; ch < 3; ++ch)
        for (std::size_t i = 0; i < saved.planes[ch].size(); ++i) {
            darker += darkened.planes[ch][i] < saved.planes[ch][i];
            zeros += darkened.planes[ch][i] == 0;
            ASSERT_GE(darkened.planes[ch][i], 0);
        }
    EXPECT_GT(darker, 0);
    EXPECT_GT(zeros, 0); // sums that went negative are written as 0

    const Case guarded{saved, 6.0, {30.0, 255, 4.0}, Whole(saved), false};
    const SumPlaneSet protectedOut = Ours(guarded);
    for (int ch = 0; ch < 3; ++ch)
        for (std::size_t i = 0; i < saved.planes[ch].size(); ++i)
            ASSERT_GE(protectedOut.planes[ch][i], saved.planes[ch][i]); // nothing below full scale darkens
}

TEST(UnsharpMask, LargeSumsAreComparedWhole)
{
    // 300 frames: a pixel of sums 70000 (above 65535) is below the threshold
    // 240 × 300 = 72000, one of 73000 above it.
    SumPlaneSet saved(3, 1);
    for (int ch = 0; ch < 3; ++ch) {
        saved.At(ch, 0, 0) = 90000;
        saved.At(ch, 1, 0) = 70000;
        saved.At(ch, 2, 0) = 90000;
    }
    DoublePlanes blurred(3, 1), mask(3, 1);
    for (int ch = 0; ch < 3; ++ch)
        for (int x = 0; x < 3; ++x)
            blurred.Row(ch, 0)[x] = 80000.0; // masks × 0.3: +3000, -3000, +3000
    SumPlaneSet out = saved;
    UnsharpMaskSumPlanes(saved.ConstView(), blurred, Whole(saved), {0.3, 240, 300.0}, mask, out.View());
    EXPECT_EQ(out.At(0, 0, 0), 93000); // 93000 >= 72000: filtered
    EXPECT_EQ(out.At(0, 1, 0), 70000); // 67000 < 72000: may not darken
    saved.At(1, 1, 0) = 75000;         // its green now 75000 - 1500 = 73500, which reaches the threshold
    out = saved;
    UnsharpMaskSumPlanes(saved.ConstView(), blurred, Whole(saved), {0.3, 240, 300.0}, mask, out.View());
    EXPECT_EQ(out.At(0, 1, 0), 67000);
    EXPECT_EQ(out.At(1, 1, 0), 73500);
}

TEST(UnsharpMask, SumsBeyondTheInt32RangeSaturate)
{
    // A bright pixel sharpened hard would wrap round to a negative (black)
    // sum if converted blindly.
    SumPlaneSet saved(3, 1, 20000000);
    saved.At(0, 1, 0) = saved.At(1, 1, 0) = saved.At(2, 1, 0) = 2000000000;
    DoublePlanes source(3, 1), blurred(3, 1), mask(3, 1);
    BlurSumPlanes(saved.ConstView(), 1.0, source, blurred);
    SumPlaneSet out = saved;
    UnsharpMaskSumPlanes(saved.ConstView(), blurred, Whole(saved), {160.0, 0, 1.0}, mask, out.View());
    EXPECT_EQ(out.At(0, 1, 0), kMax);
    EXPECT_EQ(out.At(2, 1, 0), kMax);
    EXPECT_EQ(out.At(0, 0, 0), 0); // the dark neighbours go below 0
}

TEST(UnsharpMask, OnlyTheRectangleChanges)
{
    SumPlaneSet saved(37, 23);
    saved.FillScene(9, 4);
    for (Rect r : {MakeRect(0, 0, 64, 64), MakeRect(4, 6, 11, 20), MakeRect(22, 36, 23, 37), MakeRect(5, 5, 5, 9)}) {
        DoublePlanes source(37, 23), blurred(37, 23), mask(37, 23);
        BlurSumPlanes(saved.ConstView(), 3.0, source, blurred);
        SumPlaneSet out(37, 23, -5);
        UnsharpMaskSumPlanes(saved.ConstView(), blurred, r, {25.0, 10, 9.0}, mask, out.View());
        const Rect clipped = ClipRectToPlanes(r, 37, 23);
        int changed = 0;
        for (int ch = 0; ch < 3; ++ch)
            for (int y = 0; y < 23; ++y)
                for (int x = 0; x < 37; ++x) {
                    const bool inside =
                        y >= clipped.top && y < clipped.bottom && x >= clipped.left && x < clipped.right;
                    if (!inside)
                        ASSERT_EQ(out.At(ch, x, y), -5);
                    else
                        changed += out.At(ch, x, y) != -5;
                }
        EXPECT_EQ(changed, 3 * clipped.Width() * clipped.Height());
    }
}

TEST(UnsharpMask, MaskScalingRules)
{
    SumPlaneSet saved(4, 1);
    for (int x = 0; x < 4; ++x)
        saved.At(0, x, 0) = saved.At(1, x, 0) = saved.At(2, x, 0) = 100 * (x + 1);
    DoublePlanes blurred(4, 1), mask(4, 1);
    for (int ch = 0; ch < 3; ++ch)
        for (int x = 0; x < 4; ++x)
            blurred.Row(ch, 0)[x] = 250.0;
    SubtractBlurToMask(saved.ConstView(), blurred, MakeRect(0, 0, 1, 4), 2.0, mask);
    EXPECT_EQ(mask.Row(0, 0)[0], -300.0);
    EXPECT_EQ(mask.Row(2, 0)[3], 300.0);
    SubtractBlurToMask(saved.ConstView(), blurred, MakeRect(0, 0, 1, 4), 1.0, mask);
    EXPECT_EQ(mask.Row(1, 0)[1], -50.0);
    SubtractBlurToMask(saved.ConstView(), blurred, MakeRect(0, 0, 1, 4), -3.0, mask); // unscaled
    EXPECT_EQ(mask.Row(1, 0)[2], 50.0);
    SubtractBlurToMask(saved.ConstView(), blurred, MakeRect(0, 0, 1, 4), 0.0, mask);
    EXPECT_EQ(mask.Row(0, 0)[0], 0.0);
}
