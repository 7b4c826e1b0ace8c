// imaging/FFTConvolution.cpp: FFT filtering of images of doubles in ordinary
// sizes on top of the two-dimensional transforms.
#include "imaging/FFTConvolution.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "imaging/FFT2D.h"

namespace {

int32_t Log2(int side)
{
    return static_cast<int32_t>(std::lround(std::log2(side)));
}

size_t Count(int w, int h)
{
    return static_cast<size_t>(w) * static_cast<size_t>(h);
}

} // namespace

bool assertValidDims(int w, int h)
{
    auto valid = [](int side) {
        for (int p = 0; p < 30; ++p)
            if (side == (1 << p))
                return true;
        return false;
    };
    return valid(w) && valid(h);
}

bool doFourierAnalysis(const double* in, double* out, int w, int h)
{
    if (!assertValidDims(w, h))
        return false;
    const int32_t rows = Log2(h), columns = Log2(w);
    if (fft2dInit(rows, columns) != kFftInitOk)
        return false;
    if (out != in)
        std::memmove(out, in, Count(w, h) * sizeof(double));
    rfft2d(out, rows, columns);
    return true;
}

bool multiplyFourierTransforms(const double* a, const double* b, int w, int h, double* out)
{
    if (!assertValidDims(w, h))
        return false;
    rspect2dprod(a, b, out, static_cast<size_t>(h), static_cast<size_t>(w));
    return true;
}

bool multiplyFourierTransformsAndInvert(const double* a, const double* b, int w, int h, double* out)
{
    if (!multiplyFourierTransforms(a, b, w, h, out))
        return false;
    const int32_t rows = Log2(h), columns = Log2(w);
    if (fft2dInit(rows, columns) != kFftInitOk)
        return false;
    rifft2d(out, rows, columns);
    return true;
}
