// tests/unit/StarPlanes.h: three owned planes of 32-bit sums for the tests of
// the star and spectrum routines, with views and a few painters.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "imaging/SumPlanes.h"

struct OwnedPlanes {
    OwnedPlanes(int w, int h, int32_t fill = 0)
        : width(w), height(h), red(std::size_t(w) * h, fill), green(std::size_t(w) * h, fill),
          blue(std::size_t(w) * h, fill)
    {
    }
    int width, height;
    std::vector<int32_t> red, green, blue;

    SumPlanes View() { return SumPlanes{red.data(), green.data(), blue.data(), width, height}; }
    ConstSumPlanes ConstView() const { return ConstSumPlanes{red.data(), green.data(), blue.data(), width, height}; }
    std::size_t Index(int x, int y) const { return std::size_t(y) * width + x; }
    void Set(int x, int y, int32_t r, int32_t g, int32_t b)
    {
        red[Index(x, y)] = r;
        green[Index(x, y)] = g;
        blue[Index(x, y)] = b;
    }
    void SetAll(int x, int y, int32_t v) { Set(x, y, v, v, v); }
    // A round star: every pixel within radius of (cx, cy) gets peak (in the
    // green plane only when greenOnly, the others keep their values).
    void Disc(int cx, int cy, double radius, int32_t peak, bool greenOnly = false)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (std::hypot(x - cx, y - cy) <= radius) {
                    green[Index(x, y)] = peak;
                    if (!greenOnly)
                        red[Index(x, y)] = blue[Index(x, y)] = peak;
                }
    }
    void Noise(uint32_t seed, int32_t low, int32_t high)
    {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int32_t> d(low, high);
        for (std::size_t i = 0; i < red.size(); ++i) {
            red[i] = d(rng);
            green[i] = d(rng);
            blue[i] = d(rng);
        }
    }
    friend bool operator==(const OwnedPlanes&, const OwnedPlanes&) = default;
};
