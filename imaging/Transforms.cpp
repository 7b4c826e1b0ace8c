// imaging/Transforms.cpp: de-interlacing and per-channel translation.
#include "imaging/Transforms.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/TemporaryImage.h"

namespace {

int64_t RowSum(const GWorldWrapper& image, int y)
{
    int64_t sum = 0;
    const uint8_t* p = image.PixelRow(y);
    for (int x = 0; x < image.Width(); ++x, p += 4)
        sum += p[1] + p[2] + p[3];
    return sum;
}

// Copies red, green and blue of row from into row to, keeping to's alpha.
void CopyRowColours(GWorldWrapper& image, int from, int to)
{
    const uint8_t* s = image.PixelRow(from);
    uint8_t* d = image.PixelRow(to);
    for (int x = 0; x < image.Width(); ++x, s += 4, d += 4) {
        d[1] = s[1];
        d[2] = s[2];
        d[3] = s[3];
    }
}

// Writes one channel of source into image moved by offset, with 0 where the
// moved content does not reach.
void ShiftChannel(const GWorldWrapper& source, GWorldWrapper& image, int component, Point offset)
{
    const int width = image.Width(), height = image.Height();
    // Destination columns whose source column x - h lies inside: [first, last).
    const int first = std::clamp(int{offset.h}, 0, width);
    const int last = std::clamp(width + offset.h, 0, width);
    for (int y = 0; y < height; ++y) {
        uint8_t* d = image.PixelRow(y) + component;
        const int sy = y - offset.v;
        if (sy < 0 || sy >= height || first >= last) {
            for (int x = 0; x < width; ++x)
                d[std::ptrdiff_t{x} * 4] = 0;
            continue;
        }
        const uint8_t* s = source.PixelRow(sy) + component;
        for (int x = 0; x < first; ++x)
            d[std::ptrdiff_t{x} * 4] = 0;
        for (int x = first; x < last; ++x)
            d[std::ptrdiff_t{x} * 4] = s[std::ptrdiff_t{x - offset.h} * 4];
        for (int x = last; x < width; ++x)
            d[std::ptrdiff_t{x} * 4] = 0;
    }
}

uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store32(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, sizeof v);
}

// The bits of a pixel read as uint32_t that hold bytes first ... last.
uint32_t ByteMask(int first, int last)
{
    uint8_t bytes[4] = {0, 0, 0, 0};
    for (int i = first; i <= last; ++i)
        bytes[i] = 0xFF;
    return Load32(bytes);
}

// Row y of image from row y of source when all three channels move by offset:
// source's alpha, and its colours from the row and column the offset reaches
// back to, 0 where that lies outside.
void ShiftRowTogether(const GWorldWrapper& source, GWorldWrapper& image, int y, Point offset)
{
    const int width = image.Width(), height = image.Height();
    const uint32_t alpha = ByteMask(0, 0), colours = ByteMask(1, 3);
    const uint8_t* s = source.PixelRow(y);
    uint8_t* d = image.PixelRow(y);
    const int sy = y - offset.v;
    int first = std::clamp(int{offset.h}, 0, width), last = std::clamp(width + offset.h, 0, width);
    if (sy < 0 || sy >= height)
        first = last = width;
    const uint8_t* moved = first < last ? source.PixelRow(sy) - 4 * std::ptrdiff_t{offset.h} : nullptr;
    for (int x = 0; x < first; ++x)
        Store32(d + 4 * std::ptrdiff_t{x}, Load32(s + 4 * std::ptrdiff_t{x}) & alpha);
    for (int x = first; x < last; ++x) {
        const std::ptrdiff_t at = 4 * std::ptrdiff_t{x};
        Store32(d + at, (Load32(s + at) & alpha) | (Load32(moved + at) & colours));
    }
    for (int x = std::max(first, last); x < width; ++x)
        Store32(d + 4 * std::ptrdiff_t{x}, Load32(s + 4 * std::ptrdiff_t{x}) & alpha);
}

} // namespace

void InterpolateInterlaceImage(GWorldWrapper& image)
{
    const int height = image.Height();
    if (height < 2)
        return;
    // The middle pair, kept inside the image for 2- and 3-row images.
    const int m = std::min(height / 2, height - 2);
    const bool copyEvenRowsDown = RowSum(image, m + 1) <= RowSum(image, m);
    for (int y = 0; y + 1 < height; y += 2) {
        if (copyEvenRowsDown)
            CopyRowColours(image, y, y + 1);
        else
            CopyRowColours(image, y + 1, y);
    }
}

void TranslateImage(GWorldWrapper& image, Point red, Point green, Point blue)
{
    if (red == Point{} && green == Point{} && blue == Point{})
        return;
    const std::unique_ptr<GWorldWrapper> source = NewTemporaryCopy(image);
    if (!source)
        throw std::bad_alloc(); // the alert has been raised; the image is untouched
    ShiftChannel(*source, image, 1, red);
    ShiftChannel(*source, image, 2, green);
    ShiftChannel(*source, image, 3, blue);
}

void TranslateImageFrom(const GWorldWrapper& source, GWorldWrapper& image, Point red, Point green, Point blue)
{
    const std::size_t bytes = 4 * static_cast<std::size_t>(image.Width());
    if (red == Point{} && green == Point{} && blue == Point{}) {
        for (int y = 0; y < image.Height(); ++y)
            std::memcpy(image.PixelRow(y), source.PixelRow(y), bytes);
        return;
    }
    if (red == green && green == blue) {
        for (int y = 0; y < image.Height(); ++y)
            ShiftRowTogether(source, image, y, red);
        return;
    }
    // Channels apart: source's alpha with the colours cleared, then each
    // channel written from source where its content reaches.
    const uint32_t alpha = ByteMask(0, 0);
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* s = source.PixelRow(y);
        uint8_t* d = image.PixelRow(y);
        for (int x = 0; x < image.Width(); ++x)
            Store32(d + 4 * std::ptrdiff_t{x}, Load32(s + 4 * std::ptrdiff_t{x}) & alpha);
    }
    ShiftChannel(source, image, 1, red);
    ShiftChannel(source, image, 2, green);
    ShiftChannel(source, image, 3, blue);
}
