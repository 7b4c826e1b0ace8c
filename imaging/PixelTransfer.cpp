// imaging/PixelTransfer.cpp: packing and unpacking pixels, grey and normalised doubles.
#include "imaging/PixelTransfer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

// The part of [first, last) that lies inside [0, size).
struct Span {
    int first;
    int last;
    bool Empty() const { return last <= first; }
};

Span Clip(int first, int last, int size)
{
    return Span{std::max(first, 0), std::min(last, size)};
}

uint8_t GreyByte(double v)
{
    // !(v > 0) also catches NaN; comparing before converting keeps huge values
    // and infinities away from the integer conversion.
    if (!(v > 0.0))
        return 0;
    if (v >= 255.0)
        return 255;
    return static_cast<uint8_t>(v);
}

} // namespace

void CopyPixelValuesFromImage(const GWorldWrapper& image, unsigned char* bytes, Rect rect)
{
    const Span rows = Clip(rect.top, rect.bottom, image.Height());
    const Span columns = Clip(rect.left, rect.right, image.Width());
    if (rows.Empty() || columns.Empty())
        return;
    unsigned char* out = bytes;
    for (int y = rows.first; y < rows.last; ++y) {
        const uint8_t* p = image.PixelRow(y) + static_cast<std::ptrdiff_t>(columns.first) * 4;
        for (int x = columns.first; x < columns.last; ++x, p += 4) {
            *out++ = p[1];
            *out++ = p[2];
            *out++ = p[3];
        }
    }
}

void CopyPixelValuesToImage(const unsigned char* bytes, GWorldWrapper& image, Rect rect)
{
    const Span rows = Clip(rect.top, rect.bottom, image.Height());
    const Span columns = Clip(rect.left, rect.right, image.Width());
    if (rows.Empty() || columns.Empty())
        return;
    const std::ptrdiff_t packedRow = static_cast<std::ptrdiff_t>(rect.Width()) * 3;
    for (int y = rows.first; y < rows.last; ++y) {
        const unsigned char* in =
            bytes + (y - rect.top) * packedRow + static_cast<std::ptrdiff_t>(columns.first - rect.left) * 3;
        uint8_t* p = image.PixelRow(y) + static_cast<std::ptrdiff_t>(columns.first) * 4;
        for (int x = columns.first; x < columns.last; ++x, p += 4) {
            p[1] = *in++;
            p[2] = *in++;
            p[3] = *in++;
        }
    }
}

void CopyPixelValuesToImage(const double* values, GWorldWrapper& image)
{
    const int width = image.Width();
    for (int y = 0; y < image.Height(); ++y) {
        const double* in = values + static_cast<std::ptrdiff_t>(y) * width;
        uint8_t* p = image.PixelRow(y);
        for (int x = 0; x < width; ++x, p += 4)
            p[1] = p[2] = p[3] = GreyByte(in[x]);
    }
}

void ConvertNormPixelValuesFromImage(const GWorldWrapper& image, int mode, double* out, Rect rect)
{
    if (mode < 0 || mode > 3)
        return;
    const int outWidth = rect.right - rect.left + 1;
    const int outHeight = rect.bottom - rect.top + 1;
    if (outWidth <= 0 || outHeight <= 0)
        return;
    const Span columns = Clip(rect.left, rect.right + 1, image.Width());
    for (int row = 0; row < outHeight; ++row) {
        double* o = out + static_cast<std::ptrdiff_t>(row) * outWidth;
        const int y = rect.top + row;
        if (y < 0 || y >= image.Height() || columns.Empty()) {
            std::fill(o, o + outWidth, 0.0);
            continue;
        }
        std::fill(o, o + (columns.first - rect.left), 0.0);
        std::fill(o + (columns.last - rect.left), o + outWidth, 0.0);
        const uint8_t* p = image.PixelRow(y) + static_cast<std::ptrdiff_t>(columns.first) * 4;
        double* d = o + (columns.first - rect.left);
        for (int x = columns.first; x < columns.last; ++x, p += 4) {
            const uint8_t v = mode == 0 ? std::max({p[1], p[2], p[3]}) : p[mode];
            *d++ = v / 255.0;
        }
    }
}
