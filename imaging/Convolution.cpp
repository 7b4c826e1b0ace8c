// imaging/Convolution.cpp: the square-kernel correlation of colour planes, with
// a bound-free interior and a border band that renormalises by the weights
// that fall inside the plane.
#include "imaging/Convolution.h"

#include <algorithm>

namespace {

struct KernelShape {
    const double* weights; // size x size, row major
    int size;
    int half;     // size / 2
    double total; // sum of all weights, in row-major order
};

// out = acc / norm over the taps whose input lies inside the plane. The norm is
// summed in the same order as the accumulator, so a constant plane comes back
// exactly whenever scaling by its value is exact.
double BorderPixel(const KernelShape& k, double** in, int rows, int cols, int y, int x)
{
    const int a0 = std::max(0, k.half - y), a1 = std::min(k.size, rows - y + k.half);
    const int b0 = std::max(0, k.half - x), b1 = std::min(k.size, cols - x + k.half);
    double acc = 0.0, norm = 0.0;
    for (int a = a0; a < a1; ++a) {
        const double* w = k.weights + static_cast<std::ptrdiff_t>(a) * k.size;
        const double* row = in[y + a - k.half];
        const int offset = x - k.half;
        for (int b = b0; b < b1; ++b) {
            acc += w[b] * row[b + offset];
            norm += w[b];
        }
    }
    return acc / norm;
}

// Pixels of row y whose whole window lies inside the plane, columns
// [half, cols - half): every tap is used and the norm is the kernel's total.
// Taps outermost so the column loop runs over contiguous memory.
void InteriorSpan(const KernelShape& k, double** in, double* __restrict out, int y, int cols)
{
    const int x0 = k.half, x1 = cols - k.half;
    for (int x = x0; x < x1; ++x)
        out[x] = 0.0;
    for (int a = 0; a < k.size; ++a) {
        const double* __restrict row = in[y + a - k.half];
        for (int b = 0; b < k.size; ++b) {
            const double w = k.weights[static_cast<std::ptrdiff_t>(a) * k.size + b];
            const int offset = b - k.half;
            for (int x = x0; x < x1; ++x)
                out[x] += w * row[x + offset];
        }
    }
    for (int x = x0; x < x1; ++x)
        out[x] /= k.total;
}

void FilterPlane(const KernelShape& k, double** in, double** out, int rows, int cols)
{
    for (int y = 0; y < rows; ++y) {
        const bool interiorRow = y >= k.half && y < rows - k.half;
        const bool hasInteriorSpan = interiorRow && cols > 2 * k.half;
        if (!hasInteriorSpan) {
            for (int x = 0; x < cols; ++x)
                out[y][x] = BorderPixel(k, in, rows, cols, y, x);
            continue;
        }
        for (int x = 0; x < k.half; ++x)
            out[y][x] = BorderPixel(k, in, rows, cols, y, x);
        InteriorSpan(k, in, out[y], y, cols);
        for (int x = cols - k.half; x < cols; ++x)
            out[y][x] = BorderPixel(k, in, rows, cols, y, x);
    }
}

} // namespace

int KernelFilterFloatsToFloats(const double* kernel, int size, Rect bounds, double** inRed, double** inGreen,
                               double** inBlue, double** outRed, double** outGreen, double** outBlue)
{
    const int rows = bounds.bottom, cols = bounds.right;
    if (rows < 1 || cols < 1 || size < 1 || !kernel)
        return 0;
    KernelShape k{kernel, size, size / 2, 0.0};
    for (int i = 0; i < size * size; ++i)
        k.total += kernel[i];
    FilterPlane(k, inRed, outRed, rows, cols);
    FilterPlane(k, inGreen, outGreen, rows, cols);
    FilterPlane(k, inBlue, outBlue, rows, cols);
    return 0;
}
