// tests/support/TestImages.cpp: test image builders.
#include "tests/support/TestImages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

std::unique_ptr<GWorldWrapper> MakeImage(int width, int height)
{
    return std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, height, width), -1);
}

Argb GetPixel(const GWorldWrapper& image, int x, int y)
{
    const uint8_t* p = image.PixelRow(y) + static_cast<std::ptrdiff_t>(x) * 4;
    return Argb{p[0], p[1], p[2], p[3]};
}

void SetPixel(GWorldWrapper& image, int x, int y, Argb p)
{
    uint8_t* q = image.PixelRow(y) + static_cast<std::ptrdiff_t>(x) * 4;
    q[0] = p.a;
    q[1] = p.r;
    q[2] = p.g;
    q[3] = p.b;
}

void FillFlat(GWorldWrapper& image, uint8_t r, uint8_t g, uint8_t b)
{
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            SetPixel(image, x, y, {0xFF, r, g, b});
}

void FillGradient(GWorldWrapper& image)
{
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            SetPixel(image, x, y,
                     {0xFF, static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x + y)});
}

void FillNoise(GWorldWrapper& image, uint32_t seed)
{
    std::mt19937 random(seed);
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            SetPixel(image, x, y,
                     {0xFF, static_cast<uint8_t>(random() & 0xFF), static_cast<uint8_t>(random() & 0xFF),
                      static_cast<uint8_t>(random() & 0xFF)});
}

void AddStar(GWorldWrapper& image, double cx, double cy, double sigma, double peak)
{
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            const double add = peak * std::exp(-d2 / (2 * sigma * sigma));
            Argb p = GetPixel(image, x, y);
            auto bump = [add](uint8_t v) { return static_cast<uint8_t>(std::min(255.0, v + add)); };
            SetPixel(image, x, y, {p.a, bump(p.r), bump(p.g), bump(p.b)});
        }
}

bool SamePixels(const GWorldWrapper& a, const GWorldWrapper& b, bool withAlpha, std::string* where)
{
    if (a.GetDim() != b.GetDim()) {
        if (where)
            *where = "sizes differ";
        return false;
    }
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            Argb p = GetPixel(a, x, y), q = GetPixel(b, x, y);
            if (!withAlpha)
                p.a = q.a = 0;
            if (!(p == q)) {
                if (where)
                    *where = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
                return false;
            }
        }
    return true;
}
