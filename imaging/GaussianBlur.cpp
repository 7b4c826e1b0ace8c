// imaging/GaussianBlur.cpp: the Gaussian kernel and a separable blur that gives
// the square kernel's result with 2n instead of n^2 taps per pixel.
#include "imaging/GaussianBlur.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "platform/core/StandardAlerts.h"

namespace {

// The base of the program's exponentials, as the stored kernels were made.
constexpr double kE = 2.718281828459045;
// Taps whose weight on the axis is at most this are cut off.
constexpr double kCropWeight = 0.2;
// Longest axis built before cropping; far beyond any caller's radius (20).
constexpr double kMaxAxisLength = 1 << 24;

// One plane: for each output row a column pass into a zero-padded scratch row,
// then a row pass out of it. Each pass divides by the sum of its taps inside
// the plane; the taps inside form a rectangle, so the product of the two
// divisors is the square kernel's divisor.
class SeparableGaussian {
public:
    SeparableGaussian(std::vector<double> weights, int rows, int cols)
        : mW(std::move(weights)), mN(static_cast<int>(mW.size())), mHalf(mN / 2), mRows(rows), mCols(cols),
          mRow(static_cast<std::size_t>(cols) + 2 * static_cast<std::size_t>(mHalf), 0.0),
          mRowNorm(static_cast<std::size_t>(cols))
    {
        for (int x = 0; x < cols; ++x) {
            const int b0 = std::max(0, mHalf - x), b1 = std::min(mN, cols - x + mHalf);
            double norm = 0.0;
            for (int b = b0; b < b1; ++b)
                norm += mW[b];
            mRowNorm[x] = norm;
        }
    }

    void Plane(double** in, double** out)
    {
        for (int y = 0; y < mRows; ++y) {
            ColumnPass(in, y);
            RowPass(out[y]);
        }
    }

private:
    // mRow[mHalf + x] = sum over in-plane taps a of w[a] * in[y + a - half][x],
    // divided by the sum of those w[a].
    void ColumnPass(double** in, int y)
    {
        const int a0 = std::max(0, mHalf - y), a1 = std::min(mN, mRows - y + mHalf);
        double* __restrict t = mRow.data() + mHalf;
        const int cols = mCols;
        {
            const double w = mW[a0];
            const double* __restrict src = in[y + a0 - mHalf];
            for (int x = 0; x < cols; ++x)
                t[x] = w * src[x];
        }
        double norm = mW[a0];
        for (int a = a0 + 1; a < a1; ++a) {
            const double w = mW[a];
            const double* __restrict src = in[y + a - mHalf];
            for (int x = 0; x < cols; ++x)
                t[x] += w * src[x];
            norm += w;
        }
        for (int x = 0; x < cols; ++x)
            t[x] /= norm;
    }

    // out[x] = sum over taps b of w[b] * mRow[x + b] / (sum of the in-plane
    // w[b]). The padding is +0.0, so the out-of-plane taps add nothing.
    void RowPass(double* __restrict out) const
    {
        const double* __restrict t = mRow.data();
        const double* __restrict norm = mRowNorm.data();
        const int cols = mCols;
        {
            const double w = mW[0];
            for (int x = 0; x < cols; ++x)
                out[x] = w * t[x];
        }
        for (int b = 1; b < mN; ++b) {
            const double w = mW[b];
            for (int x = 0; x < cols; ++x)
                out[x] += w * t[x + b];
        }
        for (int x = 0; x < cols; ++x)
            out[x] /= norm[x];
    }

    std::vector<double> mW;
    int mN, mHalf, mRows, mCols;
    std::vector<double> mRow;     // cols + 2 * half, zero outside [half, half + cols)
    std::vector<double> mRowNorm; // per column: the in-plane part of sum(w)
};

} // namespace

std::vector<double> GaussianAxisWeights(double radius)
{
    assert(radius > 0);
    const double length = 2.0 * std::trunc(radius + 1.0) - 1.0;
    if (!(length <= kMaxAxisLength))
        throw std::bad_alloc();
    const int size = std::max(3, static_cast<int>(length));
    const int c = size / 2;
    const double s = 1.0 / radius;
    std::vector<double> w(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        const double t = 2.0 * (i - c) * s;
        w[i] = 1.0 / std::pow(kE, t * t);
    }
    if (size < 4 || w[0] > kCropWeight)
        return w;
    int k = 1;
    while (!(w[k] > kCropWeight)) // stops at the latest at the centre, 1.0
        ++k;
    return std::vector<double>(w.begin() + k, w.end() - k);
}

void CreateGaussianBlurConvolutionKernel(double radius, int& size, double*& kernel)
{
    const std::vector<double> w = GaussianAxisWeights(radius);
    const int n = static_cast<int>(w.size());
    kernel = new double[static_cast<std::size_t>(n) * n];
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            kernel[static_cast<std::size_t>(i) * n + j] = w[i] * w[j];
    size = n;
}

int GaussianBlurFloatArraysToFloatArrays(double radius, int rows, int cols, double** inRed, double** inGreen,
                                         double** inBlue, double** outRed, double** outGreen, double** outBlue)
{
    if (!(radius >= 0.0) || rows < 1 || cols < 1)
        return 0;
    if (radius == 0.0) {
        const std::size_t bytes = static_cast<std::size_t>(cols) * sizeof(double);
        for (int y = 0; y < rows; ++y) {
            std::memcpy(outRed[y], inRed[y], bytes);
            std::memcpy(outGreen[y], inGreen[y], bytes);
            std::memcpy(outBlue[y], inBlue[y], bytes);
        }
        return 0;
    }
    std::unique_ptr<SeparableGaussian> blur;
    try {
        blur = std::make_unique<SeparableGaussian>(GaussianAxisWeights(radius), rows, cols);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        throw std::bad_alloc();
    }
    blur->Plane(inRed, outRed);
    blur->Plane(inGreen, outGreen);
    blur->Plane(inBlue, outBlue);
    return 0;
}
