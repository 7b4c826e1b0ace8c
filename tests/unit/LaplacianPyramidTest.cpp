// tests/unit/LaplacianPyramidTest.cpp: the stack's Laplacian pyramid: the
// neutral gains give the stack back exactly, the components and the gains
// against a numpy model (scipy's gaussian_filter for the blurs), the
// incremental rebuild against the full one, the rectangle, the ringing
// threshold, odd and thin sizes, and a failed build.
#include "imaging/LaplacianPyramid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/GaussianBlur.h"
#include "imaging/SumPlaneFilters.h"
#include "tests/support/PythonReference.h"
#include "tests/unit/SumPlaneSet.h"

namespace {

// Two correct sums of the same components (ours and numpy's, or summed in
// another order, or taken out and put back) differ by a few units in the
// last place of the largest term; the blurs of the model and ours by some
// 1e-13 relative. A value this near a whole number may truncate either way;
// elsewhere results must agree exactly.
constexpr double kTruncationSlack = 1e-9;
// Components against the model: the blurs' differences, relative to the
// stack's full scale.
constexpr double kComponentTolerance = 1e-9;

bool NearWhole(double v)
{
    return std::abs(v - std::round(v)) <= kTruncationSlack * std::max(1.0, std::abs(v));
}

Rect Whole(const SumPlaneSet& s)
{
    return MakeRect(0, 0, s.height, s.width);
}

const double kNeutral[kLaplacianPyramidComponents] = {1, 1, 1, 1, 1, 1, 1};

// The stack rebuilt with gains over rect and written into a copy of it.
SumPlaneSet Rebuilt(const SumPlaneSet& saved, const double gains[], Rect rect, int threshold, double frames)
{
    LaplacianPyramid pyramid;
    pyramid.Build(saved.ConstView());
    pyramid.Reconstruct(gains, rect, true);
    SumPlaneSet out = saved;
    pyramid.WriteBack(saved.ConstView(), rect, threshold, frames, out.View());
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

SumPlaneSet Scene(int w, int h, int frames, uint32_t seed)
{
    SumPlaneSet s(w, h);
    s.FillScene(frames, seed);
    return s;
}

} // namespace

TEST(LaplacianPyramid, NeutralGainsGiveTheStackBackExactly)
{
    struct Size {
        int w, h, frames;
    };
    for (Size size : {Size{1, 1, 1}, Size{1, 40, 3}, Size{40, 1, 3}, Size{5, 3, 7}, Size{37, 23, 7}, Size{83, 71, 50},
                      Size{64, 64, 300}}) {
        const SumPlaneSet saved = Scene(size.w, size.h, size.frames, static_cast<uint32_t>(size.w * 31 + size.h));
        for (int threshold : {0, 40, 255}) {
            const SumPlaneSet out = Rebuilt(saved, kNeutral, Whole(saved), threshold, size.frames);
            EXPECT_TRUE(out == saved) << size.w << "x" << size.h << " threshold " << threshold;
        }
    }
    // All zero, all full scale, and sums far beyond 16 bits.
    for (int32_t level : {0, 255 * 6, 255 * 1000, std::numeric_limits<int32_t>::max() / 2}) {
        const SumPlaneSet flat(9, 7, level);
        EXPECT_TRUE(Rebuilt(flat, kNeutral, Whole(flat), 0, 6.0) == flat) << level;
    }
}

TEST(LaplacianPyramid, ComponentsSumToTheStackAndLayersAreBlurDifferences)
{
    const SumPlaneSet saved = Scene(29, 31, 9, 4);
    LaplacianPyramid pyramid;
    pyramid.Build(saved.ConstView());
    ASSERT_EQ(pyramid.Width(), 29);
    ASSERT_EQ(pyramid.Height(), 31);
    for (int k = 0; k < kLaplacianPyramidComponents; ++k)
        EXPECT_EQ(pyramid.AppliedGain(k), 1.0);
    // The blurs rebuilt on their own from the radii 1.5 × 1.4^k.
    DoublePlanes previous(29, 31), next(29, 31);
    SumPlanesToDoubles(saved.ConstView(), previous);
    double radius = 1.5;
    const double radii[] = {1.5, 2.1, 2.94, 4.116, 5.7624, 8.06736};
    for (int k = 0; k < kLaplacianPyramidLayers; ++k) {
        EXPECT_NEAR(radius, radii[k], 1e-12);
        ASSERT_EQ(GaussianBlurFloatArraysToFloatArrays(radius, 31, 29, previous.Rows(0), previous.Rows(1),
                                                       previous.Rows(2), next.Rows(0), next.Rows(1), next.Rows(2)),
                  0);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < 31; ++y)
                for (int x = 0; x < 29; ++x)
                    ASSERT_EQ(pyramid.Component(k).Row(c, y)[x], previous.Row(c, y)[x] - next.Row(c, y)[x])
                        << "layer " << k;
        std::swap(previous, next);
        radius *= 1.4;
    }
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 31; ++y)
            for (int x = 0; x < 29; ++x) {
                ASSERT_EQ(pyramid.Component(kLaplacianPyramidResidual).Row(c, y)[x], previous.Row(c, y)[x]);
                double sum = 0.0;
                for (int k = 0; k < kLaplacianPyramidComponents; ++k)
                    sum += pyramid.Component(k).Row(c, y)[x];
                const double s = saved.At(c, x, y);
                ASSERT_NEAR(sum, s, 1e-12 * std::max(1.0, s));
            }
}

TEST(LaplacianPyramid, GainsMatchTheModel)
{
    struct Case {
        SumPlaneSet saved;
        double gains[kLaplacianPyramidComponents];
        int threshold;
        double frames;
        Rect rect;
    };
    std::vector<Case> cases;
    const SumPlaneSet scene = Scene(47, 33, 12, 8);
    cases.push_back({scene, {1, 1, 1, 1, 1, 1, 1}, 0, 12, Whole(scene)});
    cases.push_back({scene, {3, 2, 1.5, 1, 1, 1, 1}, 0, 12, Whole(scene)});
    cases.push_back({scene, {3, 2, 1.5, 1, 1, 1, 1}, 60, 12, Whole(scene)});
    cases.push_back({scene, {0, 0, 1, 1, 1, 1, 1}, 0, 12, Whole(scene)});
    cases.push_back({scene, {1, 1, 1, 1, 1, 1, 0}, 0, 12, Whole(scene)});
    cases.push_back({scene, {160, 0.5, 12.3, 0, 7.7, 1, 0.3}, 255, 12, Whole(scene)});
    cases.push_back({scene, {25, 10, 4, 2, 1, 1, 1}, 30, 12, MakeRect(5, 9, 21, 40)});
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {1, 30}, {30, 1}, {5, 3}}) {
        const SumPlaneSet s = Scene(w, h, 300, static_cast<uint32_t>(w + 7 * h));
        cases.push_back({s, {4, 3, 2, 1.5, 1, 1, 0.8}, 100, 300, Whole(s)});
    }

    const std::string dir = ReferenceScratchDir();
    std::vector<std::string> args = {dir};
    std::vector<SumPlaneSet> ours;
    std::vector<std::vector<double>> components;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Case& c = cases[k];
        const std::string name = "p" + std::to_string(k);
        c.saved.Write(dir + "/" + name + ".saved.f8");
        LaplacianPyramid pyramid;
        pyramid.Build(c.saved.ConstView());
        pyramid.Reconstruct(c.gains, c.rect, true);
        SumPlaneSet out = c.saved;
        pyramid.WriteBack(c.saved.ConstView(), c.rect, c.threshold, c.frames, out.View());
        ours.push_back(out);
        std::vector<double> all;
        for (int j = 0; j < kLaplacianPyramidComponents; ++j) {
            const std::vector<double> one = AllDoubles(pyramid.Component(j));
            all.insert(all.end(), one.begin(), one.end());
        }
        components.push_back(all);
        std::string arg = name + ":" + std::to_string(c.saved.width) + ":" + std::to_string(c.saved.height) + ":" +
                          std::to_string(c.threshold) + ":" + std::to_string(c.frames);
        const Rect r = ClipRectToPlanes(c.rect, c.saved.width, c.saved.height);
        for (int v : {int(r.top), int(r.left), int(r.bottom), int(r.right)})
            arg += ":" + std::to_string(v);
        for (double g : c.gains) {
            char text[64];
            std::snprintf(text, sizeof text, ":%.17g", g);
            arg += text;
        }
        args.push_back(arg);
    }
    std::string output;
    ASSERT_TRUE(RunPythonScript("laplacian_pyramid.py", args, &output)) << output;

    std::size_t strict = 0, total = 0;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::string base = dir + "/p" + std::to_string(k);
        const std::vector<double> layers = ReadDoubles(base + ".layers.f8");
        ASSERT_EQ(layers.size(), components[k].size()) << k;
        const double scale = 255.0 * cases[k].frames;
        for (std::size_t i = 0; i < layers.size(); ++i)
            ASSERT_NEAR(components[k][i], layers[i], kComponentTolerance * scale) << "case " << k << " value " << i;

        const std::vector<double> expected = ReadDoubles(base + ".out.f8");
        const std::vector<double> values = ReadDoubles(base + ".x.f8");
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
                    ASSERT_TRUE(std::abs(got[j] - expected[j]) <= 1.0 || got[j] == saved[j])
                        << "case " << k << " pixel " << i << " channel " << c;
                }
            }
        }
    }
    // Neutral gains and flat sky land on whole numbers by design; most of
    // the rest must be compared strictly.
    EXPECT_GT(strict, total / 3);
}

TEST(LaplacianPyramid, IncrementalChangesMatchAFullRebuild)
{
    const SumPlaneSet saved = Scene(70, 66, 20, 12);
    const Rect rect = MakeRect(3, 5, 60, 64);
    LaplacianPyramid incremental;
    incremental.Build(saved.ConstView());
    double gains[kLaplacianPyramidComponents] = {1, 1, 1, 1, 1, 1, 1};
    incremental.Reconstruct(gains, rect, true);
    // One component at a time, as sliders and pins change them, with
    // returns to earlier values and to 0.
    const std::vector<std::pair<int, double>> steps = {{0, 5.0}, {0, 7.5}, {6, 0.0}, {3, 0.0}, {3, 2.2},
                                                       {6, 1.0}, {0, 0.0}, {5, 160}, {1, 0.1}, {5, 1.0},
                                                       {0, 1.0}, {2, 9.9}, {4, 0.0}, {6, 3.0}, {4, 1.0}};
    for (auto [k, g] : steps) {
        gains[k] = g;
        incremental.Reconstruct(gains, rect, false);
        EXPECT_EQ(incremental.AppliedGain(k), g);
        LaplacianPyramid fresh;
        fresh.Build(saved.ConstView());
        fresh.Reconstruct(gains, rect, true);
        for (int c = 0; c < 3; ++c)
            for (int y = rect.top; y < rect.bottom; ++y)
                for (int x = rect.left; x < rect.right; ++x) {
                    const double a = incremental.Reconstruction().Row(c, y)[x];
                    const double b = fresh.Reconstruction().Row(c, y)[x];
                    ASSERT_NEAR(a, b, 1e-11 * 255.0 * 20 * 160) << k << " " << g;
                }
    }
}

TEST(LaplacianPyramid, OneLayerAtZeroRemovesExactlyThatLayer)
{
    const SumPlaneSet saved = Scene(41, 27, 10, 6);
    LaplacianPyramid pyramid;
    pyramid.Build(saved.ConstView());
    double gains[kLaplacianPyramidComponents] = {1, 1, 0, 1, 1, 1, 1};
    pyramid.Reconstruct(gains, Whole(saved), true);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 27; ++y)
            for (int x = 0; x < 41; ++x) {
                const double s = saved.At(c, x, y);
                ASSERT_NEAR(pyramid.Reconstruction().Row(c, y)[x], s - pyramid.Component(2).Row(c, y)[x],
                            1e-12 * std::max(1.0, s));
            }
    // And back to 1: the stack again, exactly once written back.
    gains[2] = 1.0;
    pyramid.Reconstruct(gains, Whole(saved), false);
    SumPlaneSet out = saved;
    pyramid.WriteBack(saved.ConstView(), Whole(saved), 0, 10.0, out.View());
    EXPECT_TRUE(out == saved);
}

TEST(LaplacianPyramid, WriteBackTouchesOnlyTheRectangle)
{
    const SumPlaneSet saved = Scene(50, 40, 8, 2);
    const double gains[kLaplacianPyramidComponents] = {9, 6, 3, 1, 1, 1, 1};
    const Rect rect = MakeRect(10, 12, 30, 33);
    const SumPlaneSet out = Rebuilt(saved, gains, rect, 0, 8.0);
    int changedInside = 0;
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x) {
                const bool inside = y >= rect.top && y < rect.bottom && x >= rect.left && x < rect.right;
                if (!inside)
                    ASSERT_EQ(out.At(c, x, y), saved.At(c, x, y));
                else
                    changedInside += out.At(c, x, y) != saved.At(c, x, y);
            }
    EXPECT_GT(changedInside, 100);
    // A rectangle reaching outside the planes is clipped.
    const SumPlaneSet clipped = Rebuilt(saved, gains, MakeRect(-5, -5, 64, 64), 0, 8.0);
    EXPECT_TRUE(clipped == Rebuilt(saved, gains, Whole(saved), 0, 8.0));
    EXPECT_TRUE(Rebuilt(saved, gains, MakeRect(45, 60, 50, 70), 0, 8.0) == saved); // nothing inside
}

TEST(LaplacianPyramid, RingingThresholdKeepsDarkPixelsFromDarkening)
{
    const int frames = 16;
    const SumPlaneSet saved = Scene(60, 44, frames, 21);
    const double gains[kLaplacianPyramidComponents] = {30, 20, 10, 5, 1, 1, 1};
    const SumPlaneSet plain = Rebuilt(saved, gains, Whole(saved), 0, frames);
    const SumPlaneSet guarded = Rebuilt(saved, gains, Whole(saved), 255, frames);
    int plainDarker = 0, guardedDarker = 0, negative = 0;
    for (std::size_t i = 0; i < saved.planes[0].size(); ++i) {
        const int32_t brightest = std::max({guarded.planes[0][i], guarded.planes[1][i], guarded.planes[2][i]});
        for (int c = 0; c < 3; ++c) {
            negative += plain.planes[c][i] < 0 || guarded.planes[c][i] < 0;
            plainDarker += plain.planes[c][i] < saved.planes[c][i];
            if (guarded.planes[c][i] < saved.planes[c][i]) {
                ++guardedDarker;
                ASSERT_GE(brightest, 255 * frames) << i; // only pixels at or above full scale
            }
        }
    }
    EXPECT_EQ(negative, 0); // negative values are written as 0
    EXPECT_GT(plainDarker, guardedDarker);
}

TEST(LaplacianPyramid, EffectiveGainFollowsThePins)
{
    EXPECT_EQ(EffectiveLaplacianGain(3.5, false, false), 3.5);
    EXPECT_EQ(EffectiveLaplacianGain(0.0, true, false), 1.0);
    EXPECT_EQ(EffectiveLaplacianGain(7.0, false, true), 0.0);
    EXPECT_EQ(EffectiveLaplacianGain(7.0, true, true), 1.0); // the dialog never lets both stand
}

TEST(LaplacianPyramid, FailedBuildLeavesThePyramidAsItWas)
{
    const SumPlaneSet first = Scene(20, 10, 4, 1);
    LaplacianPyramid pyramid;
    EXPECT_THROW(pyramid.Build(first.ConstView(),
                               [](int k) {
                                   if (k == 3)
                                       throw std::bad_alloc();
                               }),
                 std::bad_alloc);
    EXPECT_TRUE(pyramid.IsEmpty());
    std::vector<int> steps;
    pyramid.Build(first.ConstView(), [&](int k) { steps.push_back(k); });
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    const double gains[kLaplacianPyramidComponents] = {2, 1, 1, 1, 1, 1, 1};
    pyramid.Reconstruct(gains, Whole(first), true);
    const std::vector<double> before = AllDoubles(pyramid.Reconstruction());
    const SumPlaneSet second = Scene(30, 30, 4, 2);
    EXPECT_THROW(pyramid.Build(second.ConstView(), [](int) { throw std::runtime_error("stop"); }), std::runtime_error);
    EXPECT_EQ(pyramid.Width(), 20);
    EXPECT_EQ(AllDoubles(pyramid.Reconstruction()), before);
    EXPECT_EQ(pyramid.AppliedGain(0), 2.0);
}

TEST(LaplacianPyramid, EmptyPlanes)
{
    const SumPlaneSet none(0, 0);
    LaplacianPyramid pyramid;
    pyramid.Build(none.ConstView());
    EXPECT_TRUE(pyramid.IsEmpty());
    pyramid.Reconstruct(kNeutral, MakeRect(0, 0, 64, 64), true);
    SumPlaneSet out = none;
    pyramid.WriteBack(none.ConstView(), MakeRect(0, 0, 64, 64), 0, 1.0, out.View());
    EXPECT_TRUE(out == none);
}
