// tests/unit/RotationTest.cpp: nearest and weighted rotation, by hand and
// against a test-only implementation of the polar description (radius and
// angle of every pixel), and the rect-limited rotation against the whole one.
#include "imaging/Rotation.h"

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/SpareImage.h"

#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"

namespace {

// The polar forms may round differently from the rotation's own arithmetic
// only where a coordinate or a mean lies this close to a rounding boundary.
constexpr double kBoundaryTolerance = 1e-9;

// One rotation increment of rotational alignment: 1000 to a turn.
constexpr double kIncrement = 2.0 * std::numbers::pi / 1000.0;

struct PolarPixel {
    bool black;
    int r, g, b;
    bool fragile; // near a rounding boundary: either answer is right
};

// The source point of destination (y, x) in the polar description: radius
// r and angle theta of (dx, dy), turned back by angle.
void PolarSource(double x, double y, double cx, double cy, double angle, double* sx, double* sy)
{
    const double dx = x - cx, dy = y - cy;
    const double r = std::sqrt(dx * dx + dy * dy);
    double theta;
    if (dx == 0.0)
        theta = dy >= 0.0 ? std::numbers::pi / 2 : -std::numbers::pi / 2;
    else
        theta = std::atan2(dy, dx);
    const double turned = theta - angle;
    *sx = r * std::cos(turned) + cx;
    *sy = cy + r * std::sin(turned);
}

bool NearHalf(double v)
{
    return std::abs(v - std::floor(v) - 0.5) < kBoundaryTolerance;
}

bool NearInteger(double v)
{
    return std::abs(v - std::round(v)) < kBoundaryTolerance;
}

std::vector<PolarPixel> PolarNearest(const GWorldWrapper& image, double angle)
{
    const int w = image.Width(), h = image.Height();
    std::vector<PolarPixel> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double fx, fy;
            PolarSource(x, y, w * 0.5, h * 0.5, angle, &fx, &fy);
            const long sx = std::lround(fx), sy = std::lround(fy);
            PolarPixel p{true, 0, 0, 0, NearHalf(fx) || NearHalf(fy)};
            if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
                const Argb s = GetPixel(image, static_cast<int>(sx), static_cast<int>(sy));
                p = {false, s.r, s.g, s.b, p.fragile};
            }
            out.push_back(p);
        }
    return out;
}

std::vector<PolarPixel> PolarBilinear(const GWorldWrapper& image, double angle)
{
    const int w = image.Width(), h = image.Height();
    const double root2 = std::sqrt(2.0);
    std::vector<PolarPixel> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sx, sy;
            PolarSource(x, y, w * 0.5 - 0.5, h * 0.5 - 0.5, angle, &sx, &sy);
            PolarPixel p{true, 0, 0, 0, NearInteger(sx) || NearInteger(sy)};
            if (!(sx < 0 || sx >= w - 1 || sy < 0 || sy >= h - 1)) {
                const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
                const double fx = sx - ix, fy = sy - iy;
                const double wt[4] = {root2 - std::hypot(fx, fy), root2 - std::hypot(1 - fx, fy),
                                      root2 - std::hypot(fx, 1 - fy), root2 - std::hypot(1 - fx, 1 - fy)};
                const Argb n[4] = {GetPixel(image, ix, iy), GetPixel(image, ix + 1, iy), GetPixel(image, ix, iy + 1),
                                   GetPixel(image, ix + 1, iy + 1)};
                double sum[3] = {0, 0, 0}, total = 0;
                for (int k = 0; k < 4; ++k) {
                    sum[0] += wt[k] * n[k].r;
                    sum[1] += wt[k] * n[k].g;
                    sum[2] += wt[k] * n[k].b;
                    total += wt[k];
                }
                p.black = false;
                int* channel[3] = {&p.r, &p.g, &p.b};
                for (int c = 0; c < 3; ++c) {
                    const double mean = sum[c] / total;
                    *channel[c] = static_cast<int>(std::round(mean));
                    p.fragile = p.fragile || NearHalf(mean);
                }
            }
            out.push_back(p);
        }
    return out;
}

// Compares a rotated image with the polar answers; returns how many pixels
// were skipped as fragile.
int ExpectMatchesPolar(const GWorldWrapper& rotated, const std::vector<PolarPixel>& expected)
{
    int fragile = 0;
    const int w = rotated.Width();
    for (int y = 0; y < rotated.Height(); ++y)
        for (int x = 0; x < w; ++x) {
            const PolarPixel& e = expected[static_cast<std::size_t>(y * w + x)];
            if (e.fragile) {
                ++fragile;
                continue;
            }
            const Argb p = GetPixel(rotated, x, y);
            EXPECT_EQ(p.r, e.r) << x << "," << y;
            EXPECT_EQ(p.g, e.g) << x << "," << y;
            EXPECT_EQ(p.b, e.b) << x << "," << y;
            if (::testing::Test::HasFailure())
                return fragile;
        }
    return fragile;
}

std::unique_ptr<GWorldWrapper> Copy(const GWorldWrapper& image)
{
    auto copy = MakeImage(image.Width(), image.Height());
    *copy = image;
    return copy;
}

} // namespace

TEST(Rotation, ZeroAngleLeavesImageUntouched)
{
    auto image = MakeImage(7, 5);
    FillNoise(*image, 1);
    auto before = Copy(*image);
    FailNextImageAllocationsForTesting(1); // a copy would fail: none is made
    EXPECT_TRUE(RotateImageNearestNeighbor(*image, 0.0));
    EXPECT_TRUE(RotateImageBilinear(*image, 0.0));
    FailNextImageAllocationsForTesting(0);
    EXPECT_TRUE(SamePixels(*image, *before, true));
}

// Turned by pi, destination (y, x) takes source (h - y, w - x); row h and
// column w do not exist, so the first row and column are black.
TEST(Rotation, NearestHalfTurn)
{
    for (const auto& [w, h] : {std::pair{5, 4}, {4, 4}, {7, 3}, {1, 1}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        auto image = MakeImage(w, h);
        FillNoise(*image, static_cast<uint32_t>(w * h));
        auto source = Copy(*image);
        ASSERT_TRUE(RotateImageNearestNeighbor(*image, std::numbers::pi));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Argb p = GetPixel(*image, x, y);
                if (y == 0 || x == 0)
                    ASSERT_EQ(p, (Argb{0xFF, 0, 0, 0})) << x << "," << y;
                else
                    ASSERT_EQ(p, GetPixel(*source, w - x, h - y)) << x << "," << y;
            }
    }
}

// A quarter turn on 4 x 4: destination (y, x) takes source row 4 - x,
// column y; column 0 would read row 4, so it is black.
TEST(Rotation, NearestQuarterTurn)
{
    auto image = MakeImage(4, 4);
    FillNoise(*image, 2);
    auto source = Copy(*image);
    ASSERT_TRUE(RotateImageNearestNeighbor(*image, std::numbers::pi / 2));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const Argb p = GetPixel(*image, x, y);
            if (x == 0)
                ASSERT_EQ(p, (Argb{0xFF, 0, 0, 0})) << y;
            else
                ASSERT_EQ(p, GetPixel(*source, y, 4 - x)) << x << "," << y;
        }
}

TEST(Rotation, NearestMatchesPolarForm)
{
    std::mt19937 random(17);
    std::uniform_real_distribution<double> angles(-7.0, 7.0);
    int fragile = 0, pixels = 0;
    for (const auto& [w, h] : {std::pair{37, 23}, {64, 48}, {1, 9}, {9, 1}, {2, 2}, {16, 16}}) {
        for (int trial = 0; trial < 6; ++trial) {
            const double angle = trial == 0 ? 37 * kIncrement : angles(random);
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " angle " + std::to_string(angle));
            auto image = MakeImage(w, h);
            FillNoise(*image, random());
            const auto expected = PolarNearest(*image, angle);
            ASSERT_TRUE(RotateImageNearestNeighbor(*image, angle));
            fragile += ExpectMatchesPolar(*image, expected);
            pixels += w * h;
            ASSERT_FALSE(HasFailure());
        }
    }
    EXPECT_LT(fragile, pixels / 100);
}

TEST(Rotation, BilinearMatchesPolarForm)
{
    std::mt19937 random(18);
    std::uniform_real_distribution<double> angles(-7.0, 7.0);
    int fragile = 0, pixels = 0;
    for (const auto& [w, h] : {std::pair{37, 23}, {64, 48}, {2, 2}, {3, 5}, {16, 16}}) {
        for (int trial = 0; trial < 6; ++trial) {
            const double angle = angles(random);
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " angle " + std::to_string(angle));
            auto image = MakeImage(w, h);
            FillNoise(*image, random());
            const auto expected = PolarBilinear(*image, angle);
            ASSERT_TRUE(RotateImageBilinear(*image, angle));
            fragile += ExpectMatchesPolar(*image, expected);
            pixels += w * h;
            ASSERT_FALSE(HasFailure());
        }
    }
    EXPECT_LT(fragile, pixels / 100);
}

// A uniform image stays exactly uniform wherever the source point lies inside
// [0, w - 1) x [0, h - 1); elsewhere the pixel is black. (Only the source's
// last row and column are never a cell's top-left corner; the destination's
// last row and column are black only where their source points fall there.)
TEST(Rotation, BilinearKeepsUniformLevel)
{
    auto image = MakeImage(31, 23);
    FillFlat(*image, 100, 100, 100);
    for (const double angle : {0.3, -0.001, 2.0}) {
        SCOPED_TRACE(angle);
        auto rotated = Copy(*image);
        ASSERT_TRUE(RotateImageBilinear(*rotated, angle));
        int inside = 0;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 31; ++x) {
                double sx, sy;
                PolarSource(x, y, 15.0, 11.0, angle, &sx, &sy);
                if (NearInteger(sx) || NearInteger(sy))
                    continue;
                const bool black = sx < 0 || sx >= 30 || sy < 0 || sy >= 22;
                const Argb p = GetPixel(*rotated, x, y);
                ASSERT_EQ(p, (Argb{0xFF, static_cast<uint8_t>(black ? 0 : 100), static_cast<uint8_t>(black ? 0 : 100),
                                   static_cast<uint8_t>(black ? 0 : 100)}))
                    << x << "," << y;
                inside += !black;
            }
        EXPECT_GT(inside, 31 * 23 / 3);
    }
    // A tiny turn: the last column's lower half and the last row's left part
    // read at or past w - 1 / h - 1, so they are black; the centre is not.
    auto tiny = Copy(*image);
    ASSERT_TRUE(RotateImageBilinear(*tiny, 0.001));
    EXPECT_EQ(GetPixel(*tiny, 30, 20).r, 0);
    EXPECT_EQ(GetPixel(*tiny, 2, 22).r, 0);
    EXPECT_EQ(GetPixel(*tiny, 15, 11).r, 100);
}

// Worked by hand: 6 x 6 turned by pi / 6, centre (2.5, 2.5). Destination
// (y 2, x 3): dx = 0.5, dy = -0.5, so sx = 2.5 + 0.5 cos a - 0.5 sin a =
// 2.68301 and sy = 2.5 - 0.5 cos a - 0.5 sin a = 1.81699. Cell (iy 1, ix 2),
// fx = 0.68301, fy = 0.81699. Weights sqrt(2) - distance:
// (1, 2) 0.34933, (1, 3) 0.53789, (2, 2) 0.70711, (2, 3) 1.04819; sum 2.64251.
// With components 0, 100, 200, 50: (53.789 + 141.421 + 52.409) / 2.64251 =
// 93.706 -> 94. With 10, 20, 30, 41: 29.684 -> 30.
TEST(Rotation, BilinearHandPixel)
{
    auto image = MakeImage(6, 6);
    FillFlat(*image, 0, 0, 0);
    SetPixel(*image, 2, 1, {0xFF, 0, 10, 0});
    SetPixel(*image, 3, 1, {0xFF, 100, 20, 0});
    SetPixel(*image, 2, 2, {0xFF, 200, 30, 0});
    SetPixel(*image, 3, 2, {0xFF, 50, 41, 0});
    ASSERT_TRUE(RotateImageBilinear(*image, std::numbers::pi / 6));
    const Argb p = GetPixel(*image, 3, 2);
    EXPECT_EQ(p.r, 94);
    EXPECT_EQ(p.g, 30);
    EXPECT_EQ(p.b, 0);
}

TEST(Rotation, BilinearOfThinImagesIsBlack)
{
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}}) {
        auto image = MakeImage(w, h);
        FillFlat(*image, 200, 100, 50);
        ASSERT_TRUE(RotateImageBilinear(*image, 0.5));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(GetPixel(*image, x, y), (Argb{0xFF, 0, 0, 0}));
    }
}

TEST(Rotation, NonFiniteAngleFailsUntouched)
{
    ScriptedInteraction ui;
    auto image = MakeImage(5, 5);
    FillNoise(*image, 3);
    auto before = Copy(*image);
    for (const double angle : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(RotateImageNearestNeighbor(*image, angle));
        EXPECT_FALSE(RotateImageBilinear(*image, angle));
        auto dest = Copy(*image);
        EXPECT_FALSE(RotateImageNearestNeighborInRect(*before, *dest, angle, image->GetDim()));
    }
    EXPECT_TRUE(SamePixels(*image, *before, true));
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST(Rotation, OutOfMemoryLeavesImage)
{
    ScriptedInteraction ui;
    auto image = MakeImage(12, 9);
    FillNoise(*image, 4);
    auto before = Copy(*image);
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(RotateImageNearestNeighbor(*image, 0.2));
    EXPECT_EQ(ui.AlertCount(), 1);
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(RotateImageBilinear(*image, 0.2));
    EXPECT_EQ(ui.AlertCount(), 2);
    FailNextImageAllocationsForTesting(0);
    EXPECT_TRUE(SamePixels(*image, *before, true));
}

// The rect-limited rotation gives exactly what rotating a whole copy gives
// inside the rect, and touches nothing outside it.
TEST(Rotation, RectLimitedEqualsWholeRotation)
{
    std::mt19937 random(19);
    for (const auto& [w, h] : {std::pair{64, 48}, {37, 23}}) {
        for (const int k : {1, 7, 250, 500, 999, 0}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " k " + std::to_string(k));
            auto source = MakeImage(w, h);
            FillNoise(*source, random());
            auto whole = Copy(*source);
            ASSERT_TRUE(RotateImageNearestNeighbor(*whole, k * kIncrement));
            for (const Rect& r : {MakeRect(10, 12, 26, 28), MakeRect(-5, -5, 8, 9), MakeRect(40, 30, 60, 80),
                                  MakeRect(0, 0, static_cast<int>(h), static_cast<int>(w))}) {
                auto dest = MakeImage(w, h);
                FillNoise(*dest, 99);
                auto garbage = Copy(*dest);
                ASSERT_TRUE(RotateImageNearestNeighborInRect(*source, *dest, k * kIncrement, r));
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const bool inside = y >= r.top && y < r.bottom && x >= r.left && x < r.right;
                        const Argb p = GetPixel(*dest, x, y);
                        const Argb e = inside ? GetPixel(*whole, x, y) : GetPixel(*garbage, x, y);
                        ASSERT_EQ(p.r, e.r) << x << "," << y;
                        ASSERT_EQ(p.g, e.g) << x << "," << y;
                        ASSERT_EQ(p.b, e.b) << x << "," << y;
                    }
            }
        }
    }
}

TEST(Rotation, RectLimitedRefusesMismatchedImages)
{
    auto source = MakeImage(8, 8);
    auto smaller = MakeImage(8, 7);
    FillNoise(*smaller, 5);
    auto before = Copy(*smaller);
    EXPECT_FALSE(RotateImageNearestNeighborInRect(*source, *smaller, 0.5, source->GetDim()));
    EXPECT_FALSE(RotateImageNearestNeighborInRect(*smaller, *smaller, 0.5, smaller->GetDim()));
    EXPECT_TRUE(SamePixels(*smaller, *before, true));
}

// The vector loops give the portable loops' pixels exactly, rows of every
// width remainder included.
TEST(Rotation, VectorLoopsMatchPortable)
{
    std::mt19937 random(20);
    std::uniform_real_distribution<double> angles(-7.0, 7.0);
    for (const auto& [w, h] : {std::pair{37, 23}, {41, 30}, {5, 9}, {3, 3}, {66, 13}, {2, 7}}) {
        for (int trial = 0; trial < 4; ++trial) {
            const double angle = trial == 0 ? 0.3 : angles(random);
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " angle " + std::to_string(angle));
            auto source = MakeImage(w, h);
            FillNoise(*source, random());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    SetPixel(*source, x, y, {static_cast<uint8_t>(random()), GetPixel(*source, x, y).r,
                                             GetPixel(*source, x, y).g, GetPixel(*source, x, y).b});
            auto vector = Copy(*source), portable = Copy(*source);
            auto rectVector = Copy(*source), rectPortable = Copy(*source);
            const Rect rect = MakeRect(1, 1, h - 1, w);
            ASSERT_TRUE(RotateImageBilinear(*vector, angle));
            ASSERT_TRUE(RotateImageNearestNeighborInRect(*source, *rectVector, angle, rect));
            ForcePortableRotationForTesting(true);
            ASSERT_TRUE(RotateImageBilinear(*portable, angle));
            ASSERT_TRUE(RotateImageNearestNeighborInRect(*source, *rectPortable, angle, rect));
            ForcePortableRotationForTesting(false);
            std::string where;
            EXPECT_TRUE(SamePixels(*vector, *portable, true, &where)) << "bilinear " << where;
            EXPECT_TRUE(SamePixels(*rectVector, *rectPortable, true, &where)) << "nearest " << where;
        }
    }
}

// A whole rotation writes a new image and keeps the old pixels as the
// thread's spare: the next rotation of that size allocates nothing, and its
// result (alpha of the image it turns included) is not mixed with the
// spare's old contents.
TEST(Rotation, RepeatedSizeReusesTheSpare)
{
    ScriptedInteraction ui;
    constexpr int w = 256, h = 200; // large enough for a mapped block
    std::mt19937 random(21);
    for (const bool bilinear : {false, true}) {
        SCOPED_TRACE(bilinear ? "bilinear" : "nearest");
        auto first = MakeImage(w, h);
        FillNoise(*first, random());
        ASSERT_TRUE(bilinear ? RotateImageBilinear(*first, 0.4) : RotateImageNearestNeighbor(*first, 0.4));

        auto image = MakeImage(w, h);
        FillNoise(*image, random());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                Argb p = GetPixel(*image, x, y);
                p.a = static_cast<uint8_t>(random());
                SetPixel(*image, x, y, p);
            }
        auto before = Copy(*image);
        auto expected = Copy(*image);
        ForcePortableRotationForTesting(true); // the reference from the other loops
        if (bilinear) {
            ASSERT_TRUE(RotateImageBilinear(*expected, 0.7));
        } else {
            ASSERT_TRUE(RotateImageNearestNeighborInRect(*before, *expected, 0.7, before->GetDim()));
        }
        ForcePortableRotationForTesting(false);

        FailNextImageAllocationsForTesting(1);
        const bool done = bilinear ? RotateImageBilinear(*image, 0.7) : RotateImageNearestNeighbor(*image, 0.7);
        FailNextImageAllocationsForTesting(0);
        ASSERT_TRUE(done);
        std::string where;
        EXPECT_TRUE(SamePixels(*image, *expected, true, &where)) << where;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(GetPixel(*image, x, y).a, GetPixel(*before, x, y).a) << x << "," << y;
    }
    // Without the spare the rotation needs memory again.
    ReleaseSpareImage();
    auto image = MakeImage(w, h);
    FillNoise(*image, 22);
    auto before = Copy(*image);
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(RotateImageNearestNeighbor(*image, 0.7));
    FailNextImageAllocationsForTesting(0);
    EXPECT_EQ(ui.AlertCount(), 1);
    EXPECT_TRUE(SamePixels(*image, *before, true));
}

// Levels at the ends of the byte range, and turns that land on whole source
// pixels (a weight of 0): the vector loop keeps every mean in range exactly
// as the portable loop's clamp does.
TEST(Rotation, BilinearVectorLoopKeepsExtremeLevels)
{
    std::mt19937 random(23);
    auto image = MakeImage(45, 29);
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 45; ++x) {
            const uint8_t level = (random() & 1) ? 255 : 0;
            SetPixel(*image, x, y, {0xFF, level, 255, static_cast<uint8_t>(255 - level)});
        }
    for (const double angle : {0.001, kIncrement, std::numbers::pi / 2, std::numbers::pi, -std::numbers::pi / 2, 1.0}) {
        SCOPED_TRACE(angle);
        auto vector = Copy(*image), portable = Copy(*image);
        ASSERT_TRUE(RotateImageBilinear(*vector, angle));
        ForcePortableRotationForTesting(true);
        ASSERT_TRUE(RotateImageBilinear(*portable, angle));
        ForcePortableRotationForTesting(false);
        std::string where;
        EXPECT_TRUE(SamePixels(*vector, *portable, true, &where)) << where;
        for (int y = 0; y < 29; ++y)
            for (int x = 0; x < 45; ++x) {
                const Argb p = GetPixel(*vector, x, y);
                const bool black = p.r == 0 && p.g == 0 && p.b == 0;
                ASSERT_TRUE(p.g == 255 || black) << x << "," << y; // green is 255 wherever the image is
            }
    }
}
