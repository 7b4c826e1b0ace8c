// tests/unit/ColourPlanes.h: three double planes with row pointers, as the
// convolution and blur routines take them, for the tests of those routines.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct ColourPlanes {
    ColourPlanes(int rowCount, int colCount, double fill = 0.0) : rows(rowCount), cols(colCount)
    {
        for (int c = 0; c < 3; ++c) {
            data[c].assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), fill);
            for (int y = 0; y < rows; ++y)
                pointers[c].push_back(data[c].data() + static_cast<std::size_t>(y) * cols);
        }
    }
    ColourPlanes(const ColourPlanes&) = delete;
    ColourPlanes& operator=(const ColourPlanes&) = delete;

    double** Plane(int c) { return pointers[c].data(); }

    // Uniform values in [0, 255) from a fixed seed, a different stream per channel.
    void FillRandom(uint32_t seed)
    {
        std::mt19937 engine(seed);
        std::uniform_real_distribution<double> value(0.0, 255.0);
        for (auto& plane : data)
            for (double& v : plane)
                v = value(engine);
    }

    int rows, cols;
    std::array<std::vector<double>, 3> data;
    std::array<std::vector<double*>, 3> pointers;
};

// Largest |a - b| / max(|b|, tiny) over two equally long arrays.
inline double MaxRelativeDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    double worst = 0.0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const double scale = std::max(std::abs(b[i]), 1e-300);
        worst = std::max(worst, std::abs(a[i] - b[i]) / scale);
    }
    return a.size() == b.size() ? worst : 1.0;
}
