// tests/support/TestImages.h: builders of test images (flat fields, gradients,
// Gaussian stars, seeded noise) and pixel comparisons.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/GWorldWrapper.h"

struct Argb {
    uint8_t a, r, g, b;
    friend bool operator==(const Argb&, const Argb&) = default;
};

// A new 32-bit image of width x height (white).
std::unique_ptr<GWorldWrapper> MakeImage(int width, int height);

Argb GetPixel(const GWorldWrapper& image, int x, int y);
void SetPixel(GWorldWrapper& image, int x, int y, Argb p);

// Every pixel set to (0xFF, r, g, b).
void FillFlat(GWorldWrapper& image, uint8_t r, uint8_t g, uint8_t b);
// Red = x, green = y, blue = x + y (each mod 256): every pixel differs from its neighbours.
void FillGradient(GWorldWrapper& image);
// Uniform noise in every channel from a fixed seed.
void FillNoise(GWorldWrapper& image, uint32_t seed);
// Adds a Gaussian star of the given peak and sigma at (x, y) to every channel, clamped to 255.
void AddStar(GWorldWrapper& image, double x, double y, double sigma, double peak);

// True when both images have the same size and the same red, green and blue
// bytes everywhere (alpha too when withAlpha). On a difference, *where says
// the first one.
bool SamePixels(const GWorldWrapper& a, const GWorldWrapper& b, bool withAlpha = false, std::string* where = nullptr);
