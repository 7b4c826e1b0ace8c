// tests/unit/ConvolutionTest.cpp: the square-kernel correlation of colour
// planes against scipy.ndimage and hand cases.
#include "imaging/Convolution.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/GaussianBlur.h"
#include "tests/support/PythonReference.h"
#include "tests/unit/ColourPlanes.h"

namespace {

// Rounding in a sum of up to 625 products of values below 255, relative to a
// result of the same size; scipy sums in another order.
constexpr double kSummationTolerance = 1e-12;

std::vector<double> GaussianKernel(double radius, int* size)
{
    double* kernel = nullptr;
    CreateGaussianBlurConvolutionKernel(radius, *size, kernel);
    std::vector<double> k(kernel, kernel + *size * *size);
    delete[] kernel;
    return k;
}

// Runs the reference: per plane correlate(x, K, mode='constant') divided by
// correlate(ones, K, mode='constant').
std::vector<double> ScipyReference(const ColourPlanes& in, const std::vector<double>& kernel, int size)
{
    const std::string dir = ReferenceScratchDir();
    std::vector<double> all;
    for (const auto& plane : in.data)
        all.insert(all.end(), plane.begin(), plane.end());
    WriteDoubles(dir + "/in.f8", all);
    WriteDoubles(dir + "/kernel.f8", kernel);
    const std::string code = R"(
import sys
import numpy as np
from scipy.ndimage import correlate
d, rows, cols, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
x = np.fromfile(d + '/in.f8').reshape(3, rows, cols)
k = np.fromfile(d + '/kernel.f8').reshape(size, size)
norm = correlate(np.ones((rows, cols)), k, mode='constant')
np.stack([correlate(p, k, mode='constant') / norm for p in x]).tofile(d + '/out.f8')
)";
    std::string output;
    EXPECT_TRUE(RunPython(code, {dir, std::to_string(in.rows), std::to_string(in.cols), std::to_string(size)}, &output))
        << output;
    return ReadDoubles(dir + "/out.f8");
}

std::vector<double> Filter(ColourPlanes& in, const std::vector<double>& kernel, int size)
{
    ColourPlanes out(in.rows, in.cols, -1.0);
    EXPECT_EQ(KernelFilterFloatsToFloats(kernel.data(), size, MakeRect(0, 0, in.rows, in.cols), in.Plane(0),
                                         in.Plane(1), in.Plane(2), out.Plane(0), out.Plane(1), out.Plane(2)),
              0);
    std::vector<double> all;
    for (const auto& plane : out.data)
        all.insert(all.end(), plane.begin(), plane.end());
    return all;
}

} // namespace

TEST(Convolution, GaussianKernelsMatchScipy)
{
    ColourPlanes in(23, 37);
    in.FillRandom(11);
    for (double radius : {0.5, 2.0, 4.0, 20.0}) { // 20 gives 25 x 25, larger than the 23 rows
        int size = 0;
        const std::vector<double> kernel = GaussianKernel(radius, &size);
        EXPECT_LT(MaxRelativeDifference(Filter(in, kernel, size), ScipyReference(in, kernel, size)),
                  kSummationTolerance)
            << "radius " << radius;
    }
}

TEST(Convolution, IsACorrelationWithAnyKernel)
{
    // An asymmetric kernel with a negative entry shows the orientation (no flip).
    std::mt19937 engine(5);
    std::uniform_real_distribution<double> weight(-0.2, 1.0);
    std::vector<double> kernel(25);
    for (double& w : kernel)
        w = weight(engine);
    kernel[12] = 3.0; // keeps every partial sum of weights well away from 0
    for (auto [rows, cols] : std::vector<std::pair<int, int>>{{23, 37}, {1, 9}, {9, 1}, {2, 2}, {5, 5}, {4, 7}}) {
        ColourPlanes in(rows, cols);
        in.FillRandom(static_cast<uint32_t>(rows * 100 + cols));
        EXPECT_LT(MaxRelativeDifference(Filter(in, kernel, 5), ScipyReference(in, kernel, 5)), kSummationTolerance)
            << rows << "x" << cols;
    }
}

TEST(Convolution, ConstantPlaneStaysExactlyConstant)
{
    for (double radius : {0.5, 2.0, 4.0, 20.0}) {
        int size = 0;
        const std::vector<double> kernel = GaussianKernel(radius, &size);
        for (auto [rows, cols] : std::vector<std::pair<int, int>>{{23, 37}, {1, 1}, {1, 30}, {30, 1}, {3, 4}}) {
            ColourPlanes in(rows, cols, 128.0);
            for (double v : Filter(in, kernel, size))
                ASSERT_EQ(v, 128.0) << "radius " << radius << " " << rows << "x" << cols;
        }
    }
}

TEST(Convolution, OnePixelPlaneReturnsItsValue)
{
    int size = 0;
    const std::vector<double> kernel = GaussianKernel(1.0, &size);
    ASSERT_EQ(size, 3);
    ColourPlanes in(1, 1);
    in.data[0][0] = 17.25, in.data[1][0] = 0.0, in.data[2][0] = 254.5;
    EXPECT_EQ(Filter(in, kernel, size), (std::vector<double>{17.25, 0.0, 254.5}));
}

TEST(Convolution, NoRowsOrColumnsWritesNothing)
{
    const std::vector<double> kernel(9, 1.0);
    ColourPlanes in(4, 4, 5.0), out(4, 4, -7.0);
    for (Rect bounds : {MakeRect(0, 0, 0, 4), MakeRect(0, 0, 4, 0), MakeRect(0, 0, -3, 4)}) {
        EXPECT_EQ(KernelFilterFloatsToFloats(kernel.data(), 3, bounds, in.Plane(0), in.Plane(1), in.Plane(2),
                                             out.Plane(0), out.Plane(1), out.Plane(2)),
                  0);
        for (const auto& plane : out.data)
            for (double v : plane)
                ASSERT_EQ(v, -7.0);
    }
}

TEST(Convolution, BorderDividesByTheWeightsInside)
{
    // Hand case: 3x3 box over a 2x2 plane; every output window covers the
    // whole plane, so each output is the plane's mean.
    const std::vector<double> kernel(9, 1.0);
    ColourPlanes in(2, 2);
    in.data[0] = {1.0, 2.0, 3.0, 6.0};
    const std::vector<double> out = Filter(in, kernel, 3);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(out[i], 3.0);
    // Row of three with weights 1, 2, 4: the left end sees (2*a + 4*b) / 6.
    const std::vector<double> row = {0, 0, 0, 1, 2, 4, 0, 0, 0};
    ColourPlanes line(1, 3);
    line.data[0] = {6.0, 12.0, 24.0};
    const std::vector<double> r = Filter(line, row, 3);
    EXPECT_DOUBLE_EQ(r[0], (2 * 6.0 + 4 * 12.0) / 6.0);
    EXPECT_DOUBLE_EQ(r[1], (6.0 + 2 * 12.0 + 4 * 24.0) / 7.0);
    EXPECT_DOUBLE_EQ(r[2], (12.0 + 2 * 24.0) / 3.0);
}
