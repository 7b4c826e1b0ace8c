// imaging/Calibration.cpp: per-channel arithmetic against a calibration image.
#include "imaging/Calibration.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "imaging/TemporaryImage.h"

namespace {

// A channel's pixel pairing after trimming: image pixel (imageTop + i,
// imageLeft + j) pairs with calibration pixel (calTop + i, calLeft + j) for
// 0 <= i < height, 0 <= j < width.
struct ChannelPairing {
    int imageTop, imageLeft, calTop, calLeft, height, width;
};

// Trims a pair of rects so both lie inside their images with equal sizes,
// keeping the pairing of their top-left corners. False when nothing is left.
bool TrimPair(const Rect& imageRect, const Rect& calRect, const GWorldWrapper& image, const GWorldWrapper& cal,
              ChannelPairing* out)
{
    ChannelPairing p{imageRect.top,
                     imageRect.left,
                     calRect.top,
                     calRect.left,
                     std::min(imageRect.Height(), calRect.Height()),
                     std::min(imageRect.Width(), calRect.Width())};
    const int down = std::max({0, -p.imageTop, -p.calTop});
    p.imageTop += down;
    p.calTop += down;
    p.height -= down;
    const int across = std::max({0, -p.imageLeft, -p.calLeft});
    p.imageLeft += across;
    p.calLeft += across;
    p.width -= across;
    p.height = std::min({p.height, image.Height() - p.imageTop, cal.Height() - p.calTop});
    p.width = std::min({p.width, image.Width() - p.imageLeft, cal.Width() - p.calLeft});
    *out = p;
    return p.height > 0 && p.width > 0;
}

// Runs op(imageComponent, calComponent) over each channel's trimmed rect and
// stores the result in the image. Reads come from a scratch copy of the
// image, so the image may also be the calibration image.
template <typename Op>
void CombineWithCalibration(GWorldWrapper& image, const GWorldWrapper& cal, const Rect (&imageRects)[3],
                            const Rect (&calRects)[3], Op op)
{
    const std::unique_ptr<GWorldWrapper> input = NewTemporaryCopy(image);
    if (!input)
        throw std::bad_alloc(); // the alert has been raised; the image is untouched
    const GWorldWrapper& calSource = &cal == &image ? *input : cal;
    for (int c = 0; c < 3; ++c) {
        ChannelPairing p;
        if (!TrimPair(imageRects[c], calRects[c], image, cal, &p))
            continue;
        const std::ptrdiff_t component = 1 + c; // red, green, blue follow alpha
        for (int i = 0; i < p.height; ++i) {
            const uint8_t* a = input->PixelRow(p.imageTop + i) + std::ptrdiff_t{p.imageLeft} * 4 + component;
            const uint8_t* b = calSource.PixelRow(p.calTop + i) + std::ptrdiff_t{p.calLeft} * 4 + component;
            uint8_t* d = image.PixelRow(p.imageTop + i) + std::ptrdiff_t{p.imageLeft} * 4 + component;
            for (int j = 0; j < p.width; ++j, a += 4, b += 4, d += 4)
                *d = op(*a, *b);
        }
    }
}

} // namespace

void SubtractImage(GWorldWrapper& image, const GWorldWrapper& dark, bool /*lockImage*/, bool /*lockDark*/,
                   Rect imageRed, Rect imageGreen, Rect imageBlue, Rect darkRed, Rect darkGreen, Rect darkBlue)
{
    const Rect imageRects[3] = {imageRed, imageGreen, imageBlue};
    const Rect darkRects[3] = {darkRed, darkGreen, darkBlue};
    CombineWithCalibration(image, dark, imageRects, darkRects,
                           [](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a >= b ? a - b : 0); });
}

void DivideMultiplyFlatFrame(GWorldWrapper& image, const GWorldWrapper& flat, bool /*lockImage*/, bool /*lockFlat*/,
                             double factor, Rect imageRed, Rect imageGreen, Rect imageBlue, Rect flatRed,
                             Rect flatGreen, Rect flatBlue)
{
    const Rect imageRects[3] = {imageRed, imageGreen, imageBlue};
    const Rect flatRects[3] = {flatRed, flatGreen, flatBlue};
    CombineWithCalibration(image, flat, imageRects, flatRects, [factor](uint8_t a, uint8_t f) -> uint8_t {
        // Divide first, then scale: (a / f) * factor, in this order.
        const double v = (static_cast<double>(a) / f) * factor;
        if (v >= 0.0 && v <= 255.0)
            return static_cast<uint8_t>(v);
        if (v > 255.0)
            return 255; // also a > 0 over f = 0
        return 0;       // NaN from 0 over 0, and negative results
    });
}

void MultiplyImage(GWorldWrapper& image, double factor)
{
    if (factor == 1.0 || factor < 0.0 || !std::isfinite(factor))
        return;
    const int width = image.Width();
    for (int y = 0; y < image.Height(); ++y) {
        uint8_t* p = image.PixelRow(y);
        for (int x = 0; x < width; ++x, p += 4) {
            for (int c = 1; c <= 3; ++c) {
                const double v = p[c] * factor;
                p[c] = v >= 256.0 ? 255 : static_cast<uint8_t>(v);
            }
        }
    }
}
