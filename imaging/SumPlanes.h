// imaging/SumPlanes.h: a view of the three planes of 32-bit sums the summed
// stack keeps (one value per pixel and channel, width × height each,
// row-major), for the operations that rework them. The view owns nothing.
#pragma once

#include <cstddef>
#include <cstdint>

struct ConstSumPlanes {
    const int32_t* red = nullptr;
    const int32_t* green = nullptr;
    const int32_t* blue = nullptr;
    int width = 0;
    int height = 0;

    std::size_t Count() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
    // The pixel's value: the largest of its three sums.
    int32_t Value(std::size_t i) const
    {
        int32_t v = red[i] > green[i] ? red[i] : green[i];
        return v > blue[i] ? v : blue[i];
    }
};

struct SumPlanes {
    int32_t* red = nullptr;
    int32_t* green = nullptr;
    int32_t* blue = nullptr;
    int width = 0;
    int height = 0;

    std::size_t Count() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
    operator ConstSumPlanes() const { return ConstSumPlanes{red, green, blue, width, height}; }
};

// Copies the three planes of from into to (same size). Any thread.
void CopySumPlanes(const ConstSumPlanes& from, const SumPlanes& to);
