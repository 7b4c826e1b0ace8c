// tests/unit/SumPlaneSet.h: three planes of sums owned by a test, filled with
// a summed-stack-like scene (sky, noise, Gaussian stars), their views, and
// the exchange with the Python reference models (float64 files).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imaging/SumPlanes.h"
#include "tests/support/PythonReference.h"

struct SumPlaneSet {
    SumPlaneSet(int w, int h, int32_t fill = 0) : width(w), height(h)
    {
        for (auto& p : planes)
            p.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill);
    }

    SumPlanes View() { return SumPlanes{planes[0].data(), planes[1].data(), planes[2].data(), width, height}; }
    ConstSumPlanes ConstView() const
    {
        return ConstSumPlanes{planes[0].data(), planes[1].data(), planes[2].data(), width, height};
    }
    int32_t& At(int c, int x, int y) { return planes[c][static_cast<std::size_t>(y) * width + x]; }
    int32_t At(int c, int x, int y) const { return planes[c][static_cast<std::size_t>(y) * width + x]; }

    // A stack of frames frames: sky of 20 levels per frame, noise of ±8
    // levels per frame from seed, and stars of peak 230 levels per frame and
    // width sigma at fixed places, scaled to sums (levels × frames) and
    // clipped to full scale, 255 × frames. Each channel a little different.
    void FillScene(int frames, uint32_t seed, double sigma = 1.5)
    {
        std::mt19937 engine(seed);
        std::uniform_real_distribution<double> noise(-8.0, 8.0);
        const double stars[][2] = {{0.3, 0.4}, {0.7, 0.2}, {0.5, 0.8}, {0.1, 0.9}};
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    double level = 20.0 + 5.0 * c + noise(engine);
                    for (const auto& s : stars) {
                        const double dx = x - s[0] * (width - 1), dy = y - s[1] * (height - 1);
                        level += (230.0 - 20.0 * c) * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
                    }
                    const double sum = std::clamp(level, 0.0, 255.0) * frames;
                    At(c, x, y) = static_cast<int32_t>(sum);
                }
    }

    std::vector<double> AsDoubles() const
    {
        std::vector<double> all;
        for (const auto& p : planes)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    }
    void Write(const std::string& path) const { WriteDoubles(path, AsDoubles()); }

    bool operator==(const SumPlaneSet& other) const
    {
        return width == other.width && height == other.height && planes[0] == other.planes[0] &&
               planes[1] == other.planes[1] && planes[2] == other.planes[2];
    }

    int width, height;
    std::vector<int32_t> planes[3];
};
