// tests/unit/SumPlaneFiltersTest.cpp: rectangles of sums, the Gaussian blur
// of the stack's planes against scipy's gaussian_filter, and the ringing
// threshold's pixel rule by hand.
#include "imaging/SumPlaneFilters.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/unit/SumPlaneSet.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// Our blur and scipy's agree to some 1e-13 relative (another summation
// order, and scipy normalises its weights first); a result that close to a
// whole number may truncate either way, anything else must truncate alike.
constexpr double kTruncationSlack = 1e-9;

bool NearWhole(double v)
{
    return std::abs(v - std::round(v)) <= kTruncationSlack * std::max(1.0, std::abs(v));
}

struct BlurCase {
    SumPlaneSet saved;
    double radius;
};

// The truncated blurs of the model, one Python run for all cases, checked
// against ours.
void ExpectBlursMatchScipy(const std::vector<BlurCase>& cases)
{
    const std::string dir = ReferenceScratchDir();
    std::vector<std::string> args = {dir};
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const BlurCase& c = cases[k];
        c.saved.Write(dir + "/b" + std::to_string(k) + ".saved.f8");
        args.push_back("b" + std::to_string(k) + ":blur:" + std::to_string(c.radius) + ":" +
                       std::to_string(c.saved.width) + ":" + std::to_string(c.saved.height));
    }
    std::string output;
    ASSERT_TRUE(RunPythonScript("stack_filters.py", args, &output)) << output;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const BlurCase& c = cases[k];
        const std::string base = dir + "/b" + std::to_string(k);
        const std::vector<double> blurred = ReadDoubles(base + ".blurred.f8");
        const std::vector<double> expected = ReadDoubles(base + ".gb.f8");
        SumPlaneSet out(c.saved.width, c.saved.height, -7);
        DoublePlanes source(c.saved.width, c.saved.height), result(c.saved.width, c.saved.height);
        GaussianBlurSumPlanes(c.saved.ConstView(), c.radius, source, result, out.View());
        const std::vector<double> ours = out.AsDoubles();
        ASSERT_EQ(ours.size(), expected.size());
        const std::string what = std::to_string(c.saved.width) + "x" + std::to_string(c.saved.height) + " radius " +
                                 std::to_string(c.radius);
        for (std::size_t i = 0; i < ours.size(); ++i) {
            if (NearWhole(blurred[i]))
                ASSERT_LE(std::abs(ours[i] - expected[i]), 1.0) << i << " " << what;
            else
                ASSERT_EQ(ours[i], expected[i]) << i << " " << what << " blur " << blurred[i];
        }
    }
}

} // namespace

TEST(SumPlaneFilters, ClipRectToPlanes)
{
    EXPECT_EQ(ClipRectToPlanes(MakeRect(0, 0, 64, 64), 37, 23), MakeRect(0, 0, 23, 37));
    EXPECT_EQ(ClipRectToPlanes(MakeRect(-5, -3, 10, 12), 37, 23), MakeRect(0, 0, 10, 12));
    EXPECT_EQ(ClipRectToPlanes(MakeRect(5, 6, 7, 8), 37, 23), MakeRect(5, 6, 7, 8));
    EXPECT_TRUE(ClipRectToPlanes(MakeRect(30, 0, 40, 10), 37, 23).IsEmpty());
    EXPECT_TRUE(ClipRectToPlanes(MakeRect(-1, -1, -1, -1), 37, 23).IsEmpty());
    EXPECT_TRUE(ClipRectToPlanes(MakeRect(4, 4, 4, 9), 37, 23).IsEmpty());
    EXPECT_EQ(ClipRectToPlanes(MakeRect(0, 0, 1, 1), 1, 1), MakeRect(0, 0, 1, 1));
}

TEST(SumPlaneFilters, CopyRectTouchesOnlyTheRectangle)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{37, 23}, {1, 1}, {1, 9}, {9, 1}, {6, 5}}) {
        SumPlaneSet from(w, h), to(w, h, -1);
        from.FillScene(3, 11);
        const Rect r = MakeRect(h / 3, w / 4, h - h / 3, w);
        CopySumPlanesRect(from.ConstView(), to.View(), r);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool inside = y >= r.top && y < r.bottom && x >= r.left && x < r.right;
                    ASSERT_EQ(to.At(c, x, y), inside ? from.At(c, x, y) : -1) << w << "x" << h;
                }
        // Rectangles reaching outside are clipped, empty ones change nothing.
        SumPlaneSet all(w, h, -1);
        CopySumPlanesRect(from.ConstView(), all.View(), MakeRect(-10, -10, 1000, 1000));
        EXPECT_TRUE(all == from);
        SumPlaneSet none(w, h, -1);
        CopySumPlanesRect(from.ConstView(), none.View(), MakeRect(0, 0, 0, 0));
        EXPECT_TRUE(none == SumPlaneSet(w, h, -1));
    }
}

TEST(SumPlaneFilters, BlurMatchesScipyGaussianFilter)
{
    std::vector<BlurCase> cases;
    for (double radius : {0.1, 0.5, 1.0, 2.0, 4.0, 7.3, 20.0}) {
        SumPlaneSet saved(37, 23);
        saved.FillScene(7, 5);
        cases.push_back({saved, radius});
    }
    // Odd and thin planes, with sums beyond 65535 (300 frames).
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 40}, {40, 1}, {5, 3}, {63, 65}, {2, 2}};
    for (auto [w, h] : sizes)
        for (double radius : {0.1, 3.0, 20.0}) {
            SumPlaneSet saved(w, h);
            saved.FillScene(300, static_cast<uint32_t>(w * 100 + h));
            cases.push_back({saved, radius});
        }
    ExpectBlursMatchScipy(cases);
}

TEST(SumPlaneFilters, BlurAtRadiusZeroGivesTheSavedPlanes)
{
    SumPlaneSet saved(13, 9);
    saved.FillScene(4, 2);
    SumPlaneSet out(13, 9, -3);
    DoublePlanes source(13, 9), result(13, 9);
    GaussianBlurSumPlanes(saved.ConstView(), 0.0, source, result, out.View());
    EXPECT_TRUE(out == saved);
}

TEST(SumPlaneFilters, BlurStartsFromTheSavedPlanesEveryTime)
{
    // 5.0 then 2.0 gives the planes 2.0 gives at once: nothing accumulates.
    SumPlaneSet saved(31, 17);
    saved.FillScene(5, 9);
    DoublePlanes source(31, 17), result(31, 17);
    SumPlaneSet direct(31, 17), twice(31, 17);
    GaussianBlurSumPlanes(saved.ConstView(), 2.0, source, result, direct.View());
    GaussianBlurSumPlanes(saved.ConstView(), 5.0, source, result, twice.View());
    EXPECT_FALSE(twice == direct);
    GaussianBlurSumPlanes(saved.ConstView(), 2.0, source, result, twice.View());
    EXPECT_TRUE(twice == direct);
}

TEST(SumPlaneFilters, FlatAndExtremePlanesStayInRange)
{
    // A flat plane stays exactly flat, at its borders too; a plane at the
    // int32 limit beside zeros never wraps round to a negative sum.
    for (int32_t level : {0, 255, 255 * 300, kMax}) {
        SumPlaneSet flat(19, 7, level), out(19, 7);
        DoublePlanes source(19, 7), result(19, 7);
        GaussianBlurSumPlanes(flat.ConstView(), 4.0, source, result, out.View());
        EXPECT_TRUE(out == flat) << level;
    }
    // Radius 20 reaches 12 pixels: columns 0 .. 17 see only the limit.
    SumPlaneSet edge(45, 7);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 30; ++x)
                edge.At(c, x, y) = kMax;
    SumPlaneSet out(45, 7);
    DoublePlanes source(45, 7), result(45, 7);
    GaussianBlurSumPlanes(edge.ConstView(), 20.0, source, result, out.View());
    for (int c = 0; c < 3; ++c)
        for (int32_t v : out.planes[c])
            ASSERT_GE(v, 0);
    EXPECT_EQ(out.At(0, 0, 3), kMax);
    EXPECT_EQ(out.At(2, 17, 6), kMax);
    EXPECT_GT(out.At(0, 30, 3), 0);
    EXPECT_LT(out.At(0, 29, 3), kMax);
}

TEST(SumPlaneFilters, FilteredSumTruncatesAndClamps)
{
    EXPECT_EQ(FilteredSum(12.99), 12);
    EXPECT_EQ(FilteredSum(254.99999), 254);
    EXPECT_EQ(FilteredSum(254.99999999999997), 255); // a rounding error below 255 is 255
    EXPECT_EQ(FilteredSum(76499.99999999999), 76500);
    EXPECT_EQ(FilteredSum(0.0), 0);
    EXPECT_EQ(FilteredSum(-0.0), 0);
    EXPECT_EQ(FilteredSum(-0.5), 0);
    EXPECT_EQ(FilteredSum(-1e12), 0);
    EXPECT_EQ(FilteredSum(3e9), kMax);
    EXPECT_EQ(FilteredSum(std::numeric_limits<double>::infinity()), kMax);
    EXPECT_EQ(FilteredSum(std::nan("")), 0);
}

TEST(SumPlaneFilters, RingingThresholdPixelRule)
{
    const int32_t filtered[3] = {FilteredSum(500.7), FilteredSum(-20.0), FilteredSum(90.2)}; // 500, 0, 90
    const int32_t saved[3] = {400, 10, 95};
    int32_t out[3];
    // Bright enough: the filtered values, negatives as 0.
    WriteRingingThresholdPixel(filtered, 500.0, 500.0, saved, out);
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 90);
    // Below the limit: each channel may only get brighter.
    WriteRingingThresholdPixel(filtered, 500.0, 500.5, saved, out);
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[1], 10);
    EXPECT_EQ(out[2], 95);
    // A limit of 0 takes every pixel whose value is not negative; a tool
    // whose value can be negative keeps the saved sums there.
    const int32_t negative[3] = {FilteredSum(-5.0), FilteredSum(-6.0), FilteredSum(-7.0)};
    const int32_t dim[3] = {3, 4, 5};
    WriteRingingThresholdPixel(negative, 0.0, 0.0, dim, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0);
    WriteRingingThresholdPixel(negative, -5.0, 0.0, dim, out);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 4);
    EXPECT_EQ(out[2], 5);
}
