// tests/unit/GaussianBlurTest.cpp: the Gaussian kernel against numpy and hand
// values, and the separable blur against the square-kernel convolution.
#include "imaging/GaussianBlur.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/Convolution.h"
#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/ColourPlanes.h"

namespace {

// The separable blur sums products of two weights in another order than the
// square kernel (and divides twice): a few ulps of results below 255.
constexpr double kSeparableTolerance = 1e-12;

std::vector<double> Kernel(double radius, int* size)
{
    double* kernel = nullptr;
    CreateGaussianBlurConvolutionKernel(radius, *size, kernel);
    std::vector<double> k(kernel, kernel + *size * *size);
    delete[] kernel;
    return k;
}

std::vector<double> Joined(const ColourPlanes& p)
{
    std::vector<double> all;
    for (const auto& plane : p.data)
        all.insert(all.end(), plane.begin(), plane.end());
    return all;
}

std::vector<double> Blur(ColourPlanes& in, double radius, double fill = -1.0)
{
    ColourPlanes out(in.rows, in.cols, fill);
    EXPECT_EQ(GaussianBlurFloatArraysToFloatArrays(radius, in.rows, in.cols, in.Plane(0), in.Plane(1), in.Plane(2),
                                                   out.Plane(0), out.Plane(1), out.Plane(2)),
              0);
    return Joined(out);
}

std::vector<double> SquareKernelFilter(ColourPlanes& in, double radius)
{
    int size = 0;
    const std::vector<double> kernel = Kernel(radius, &size);
    ColourPlanes out(in.rows, in.cols, -1.0);
    KernelFilterFloatsToFloats(kernel.data(), size, MakeRect(0, 0, in.rows, in.cols), in.Plane(0), in.Plane(1),
                               in.Plane(2), out.Plane(0), out.Plane(1), out.Plane(2));
    return Joined(out);
}

// Restores the blur's own choice of sums however the test ends.
struct PortableSums {
    explicit PortableSums(bool force) { ForcePortableGaussianBlurForTesting(force); }
    ~PortableSums() { ForcePortableGaussianBlurForTesting(false); }
};

} // namespace

TEST(GaussianKernel, Sizes)
{
    const std::vector<std::pair<double, int>> cases = {{0.5, 3}, {1.0, 3}, {2.0, 3}, {4.0, 5}, {20.0, 25},
                                                       {0.1, 3}, {1.9, 3}, {3.0, 3}, {5.0, 7}};
    for (auto [radius, expected] : cases) {
        int size = 0;
        const std::vector<double> k = Kernel(radius, &size);
        EXPECT_EQ(size, expected) << radius;
        EXPECT_EQ(k[size / 2 * size + size / 2], 1.0) << radius;
        EXPECT_EQ(GaussianAxisWeights(radius).size(), static_cast<std::size_t>(expected)) << radius;
    }
}

TEST(GaussianKernel, HandValues)
{
    int size = 0;
    const std::vector<double> half = Kernel(0.5, &size);
    ASSERT_EQ(size, 3);
    EXPECT_NEAR(half[1] / std::exp(-16.0), 1.0, 1e-14); // (0, 1): axis weight e^-16
    EXPECT_NEAR(half[3] / std::exp(-16.0), 1.0, 1e-14);
    EXPECT_NEAR(half[0] / std::exp(-32.0), 1.0, 1e-14);
    // Radius 4: axis weights 1, 0.78, 0.37 remain after two rings are cut.
    const std::vector<double> four = Kernel(4.0, &size);
    ASSERT_EQ(size, 5);
    EXPECT_NEAR(four[2 * 5 + 3], 0.7788, 1e-4);
    EXPECT_NEAR(four[2 * 5 + 4], 0.3679, 1e-4);
    // Radius 2 before its crop had 0.018 on the axis edge; now the edge is e^-1.
    const std::vector<double> two = Kernel(2.0, &size);
    ASSERT_EQ(size, 3);
    EXPECT_NEAR(two[1 * 3 + 2], std::exp(-1.0), 1e-15);
}

TEST(GaussianKernel, EntriesMatchNumpy)
{
    // Relative tolerance: the program raises its own double of e, whose
    // logarithm is 1 - 5.3e-17, to powers up to 32 (radius 0.5's corners).
    constexpr double kTolerance = 1e-15 + 32 * 5.3e-17;
    const std::vector<double> radii = {0.5, 1.0, 2.0, 4.0, 20.0, 7.3};
    const std::string dir = ReferenceScratchDir();
    std::string args;
    std::vector<double> ours;
    for (double radius : radii) {
        int size = 0;
        const std::vector<double> k = Kernel(radius, &size);
        ours.insert(ours.end(), k.begin(), k.end());
        args += " " + std::to_string(radius) + ":" + std::to_string(size);
    }
    const std::string code = R"(
import sys
import numpy as np
out = []
for item in sys.argv[2].split():
    r, size = float(item.split(':')[0]), int(item.split(':')[1])
    d = np.arange(size) - size // 2
    out.append((np.exp(-(2 * d[:, None] / r) ** 2) * np.exp(-(2 * d[None, :] / r) ** 2)).ravel())
np.concatenate(out).tofile(sys.argv[1] + '/k.f8')
)";
    std::string output;
    ASSERT_TRUE(RunPython(code, {dir, args}, &output)) << output;
    EXPECT_LT(MaxRelativeDifference(ours, ReadDoubles(dir + "/k.f8")), kTolerance);
}

TEST(GaussianBlur, SeparableEqualsSquareKernel)
{
    const std::vector<std::pair<int, int>> sizes = {{23, 37}, {1, 1}, {1, 40}, {40, 1}, {2, 2}, {3, 3}, {13, 60}};
    for (double radius : {0.5, 1.0, 1.5, 2.0, 3.7, 4.0, 10.0, 20.0}) {
        for (auto [rows, cols] : sizes) {
            ColourPlanes in(rows, cols);
            in.FillRandom(static_cast<uint32_t>(radius * 10 + rows * 7 + cols));
            EXPECT_LT(MaxRelativeDifference(Blur(in, radius), SquareKernelFilter(in, radius)), kSeparableTolerance)
                << "radius " << radius << " " << rows << "x" << cols;
        }
    }
}

TEST(GaussianBlur, PortableAndVectorSumsAgreeOnOddWidths)
{
    // Odd widths put every other row off the vectors' alignment; 8 values a
    // vector pass, so widths below, at and past it.
    for (const auto& [rows, cols] : {std::pair{11, 7}, std::pair{9, 17}, std::pair{12, 37}, std::pair{5, 61}})
        for (const double radius : {1.5, 4.116, 8.07}) {
            ColourPlanes in(rows, cols);
            in.FillRandom(static_cast<uint32_t>(rows * cols + radius * 100));
            const std::vector<double> square = SquareKernelFilter(in, radius);
            std::vector<double> blurred[2];
            for (const bool portable : {false, true}) {
                const PortableSums sums(portable);
                ColourPlanes out(rows, cols, -1.0), difference(rows, cols, -1.0);
                double** const inRows[3] = {in.Plane(0), in.Plane(1), in.Plane(2)};
                double** const outRows[3] = {out.Plane(0), out.Plane(1), out.Plane(2)};
                double** const differenceRows[3] = {difference.Plane(0), difference.Plane(1), difference.Plane(2)};
                GaussianBlurWithDifference(radius, rows, cols, inRows, outRows, differenceRows);
                blurred[portable] = Joined(out);
                EXPECT_LT(MaxRelativeDifference(blurred[portable], square), kSeparableTolerance)
                    << rows << "x" << cols << " radius " << radius << " portable " << portable;
                for (int c = 0; c < 3; ++c)
                    for (std::size_t i = 0; i < in.data[c].size(); ++i)
                        ASSERT_EQ(difference.data[c][i], in.data[c][i] - out.data[c][i]) << i;
            }
            EXPECT_EQ(blurred[0], blurred[1]) << rows << "x" << cols << " radius " << radius;
        }
}

TEST(GaussianBlur, MatchesScipyAtRadiusFour)
{
    ColourPlanes in(23, 37);
    in.FillRandom(3);
    const std::string dir = ReferenceScratchDir();
    WriteDoubles(dir + "/in.f8", Joined(in));
    const std::string code = R"(
import sys
import numpy as np
from scipy.ndimage import correlate1d
d = sys.argv[1]
x = np.fromfile(d + '/in.f8').reshape(3, 23, 37)
t = np.arange(-2, 3)
w = np.exp(-(2 * t / 4.0) ** 2)
def blur(p):
    for axis in (0, 1):
        p = correlate1d(p, w, axis=axis, mode='constant') / correlate1d(np.ones_like(p), w, axis=axis, mode='constant')
    return p
np.stack([blur(p) for p in x]).tofile(d + '/out.f8')
)";
    std::string output;
    ASSERT_TRUE(RunPython(code, {dir}, &output)) << output;
    EXPECT_LT(MaxRelativeDifference(Blur(in, 4.0), ReadDoubles(dir + "/out.f8")), kSeparableTolerance);
}

TEST(GaussianBlur, ConstantPlanesStayConstant)
{
    for (double radius : {0.5, 2.0, 20.0}) {
        for (auto [rows, cols] : std::vector<std::pair<int, int>>{{23, 37}, {1, 1}, {1, 9}, {50, 3}}) {
            ColourPlanes exact(rows, cols, 128.0);
            for (double v : Blur(exact, radius))
                ASSERT_EQ(v, 128.0) << radius;
            ColourPlanes other(rows, cols, 77.3);
            for (double v : Blur(other, radius))
                ASSERT_NEAR(v, 77.3, 77.3 * kSeparableTolerance) << radius;
        }
    }
}

TEST(GaussianBlur, RadiusZeroCopiesAndNegativeWritesNothing)
{
    ColourPlanes in(9, 11);
    in.FillRandom(8);
    in.data[1][5] = std::numeric_limits<double>::quiet_NaN();
    in.data[2][7] = -0.0;
    const std::vector<double> copy = Blur(in, 0.0);
    const std::vector<double> source = Joined(in);
    ASSERT_EQ(copy.size(), source.size());
    EXPECT_EQ(std::memcmp(copy.data(), source.data(), copy.size() * sizeof(double)), 0); // bit for bit
    for (double radius : {-1.0, -0.001, std::numeric_limits<double>::quiet_NaN()})
        for (double v : Blur(in, radius, 42.0))
            ASSERT_EQ(v, 42.0) << radius;
}

TEST(GaussianBlur, EmptyPlanesWriteNothing)
{
    ColourPlanes in(3, 3, 1.0), out(3, 3, 9.0);
    EXPECT_EQ(GaussianBlurFloatArraysToFloatArrays(2.0, 0, 3, in.Plane(0), in.Plane(1), in.Plane(2), out.Plane(0),
                                                   out.Plane(1), out.Plane(2)),
              0);
    EXPECT_EQ(GaussianBlurFloatArraysToFloatArrays(2.0, 3, 0, in.Plane(0), in.Plane(1), in.Plane(2), out.Plane(0),
                                                   out.Plane(1), out.Plane(2)),
              0);
    for (double v : Joined(out))
        ASSERT_EQ(v, 9.0);
}

TEST(GaussianBlur, RadiusTooLargeToHoldThrowsAndLeavesTheAlertToTheCaller)
{
    // The dialog that asked alerts once; an alert here too made two.
    ScriptedInteraction ui;
    ColourPlanes in(4, 4, 1.0), out(4, 4, 9.0);
    EXPECT_THROW(GaussianBlurFloatArraysToFloatArrays(1e300, 4, 4, in.Plane(0), in.Plane(1), in.Plane(2), out.Plane(0),
                                                      out.Plane(1), out.Plane(2)),
                 std::bad_alloc);
    EXPECT_EQ(ui.AlertCount(), 0);
    for (double v : Joined(out))
        ASSERT_EQ(v, 9.0);
}

TEST(GaussianBlur, TinyRadiusKeepsThePlane)
{
    // 1 / radius overflows to infinity; the centre weight must stay 1 and the
    // others 0, so the blur is a copy.
    int size = 0;
    const std::vector<double> k = Kernel(1e-310, &size);
    ASSERT_EQ(size, 3);
    EXPECT_EQ(k, (std::vector<double>{0, 0, 0, 0, 1, 0, 0, 0, 0}));
    ColourPlanes in(5, 6);
    in.FillRandom(21);
    EXPECT_EQ(Blur(in, 1e-310), Joined(in));
}
