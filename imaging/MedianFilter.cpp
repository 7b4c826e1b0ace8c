// imaging/MedianFilter.cpp: the selective median filter. Medians come from
// std::nth_element over a precomputed neighbour list, with a bound-free
// interior; the filter reads an unfiltered copy and writes the image.
#include "imaging/MedianFilter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "imaging/TemporaryImage.h"
#include "platform/core/GWorldWrapper.h"

namespace {

// Neighbourhood of radius r: dx^2 + dy^2 <= kReachSquared[r], centre excluded.
constexpr std::array<int, kMedianFilterMaxRadius + 1> kReachSquared = {0, 2, 5, 10};
constexpr int kMaxNeighbours = 36;

struct Offset {
    int dx, dy;
    std::ptrdiff_t bytes; // dy * rowBytes + 4 * dx in the unfiltered copy
};

std::vector<Offset> Neighbourhood(int radius, std::ptrdiff_t rowBytes)
{
    std::vector<Offset> offsets;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if ((dx != 0 || dy != 0) && dx * dx + dy * dy <= kReachSquared[radius])
                offsets.push_back({dx, dy, dy * rowBytes + 4 * static_cast<std::ptrdiff_t>(dx)});
    return offsets;
}

class Medians {
public:
    Medians(const GWorldWrapper& source, int radius)
        : mSource(source), mWidth(source.Width()), mHeight(source.Height()), mRadius(radius),
          mOffsets(Neighbourhood(radius, source.GetSrcRowBytes()))
    {
    }

    // Writes the medians of pixel (x, y) into red, green, blue of target.
    // Away from the borders every neighbour is inside, so none is tested.
    void Pixel(int x, int y, uint8_t* target)
    {
        const uint8_t* centre = mSource.PixelRow(y) + 4 * static_cast<std::ptrdiff_t>(x);
        int n = 0;
        if (x >= mRadius && x < mWidth - mRadius && y >= mRadius && y < mHeight - mRadius) {
            for (const Offset& o : mOffsets)
                Collect(centre + o.bytes, n++);
        } else {
            for (const Offset& o : mOffsets) {
                const int nx = x + o.dx, ny = y + o.dy;
                if (nx >= 0 && nx < mWidth && ny >= 0 && ny < mHeight)
                    Collect(centre + o.bytes, n++);
            }
        }
        if (n == 0) { // a 1x1 image: nothing to take the median of
            target[1] = centre[1], target[2] = centre[2], target[3] = centre[3];
            return;
        }
        target[1] = Select(mRed, n);
        target[2] = Select(mGreen, n);
        target[3] = Select(mBlue, n);
    }

private:
    void Collect(const uint8_t* p, int i)
    {
        mRed[i] = p[1];
        mGreen[i] = p[2];
        mBlue[i] = p[3];
    }

    // Element n / 2 of the n values in ascending order (the upper middle for
    // an even n), found without sorting the window.
    static uint8_t Select(std::array<uint8_t, kMaxNeighbours>& values, int n)
    {
        uint8_t* middle = values.data() + n / 2;
        std::nth_element(values.data(), middle, values.data() + n);
        return *middle;
    }

    const GWorldWrapper& mSource;
    int mWidth, mHeight, mRadius;
    std::vector<Offset> mOffsets;
    std::array<uint8_t, kMaxNeighbours> mRed{}, mGreen{}, mBlue{};
};

} // namespace

void MedianFilterImage(GWorldWrapper& image, int radius, int threshold)
{
    if (threshold <= 0 || radius <= 0 || image.Width() < 1 || image.Height() < 1)
        return;
    radius = std::min(radius, kMedianFilterMaxRadius);
    const std::unique_ptr<GWorldWrapper> source = NewTemporaryCopy(image); // raises the alert on failure
    if (!source)
        throw std::bad_alloc();
    Medians medians(*source, radius);
    const int width = image.Width(), height = image.Height();
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = source->PixelRow(y);
        uint8_t* out = image.PixelRow(y);
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            const int value = std::max({in[1], in[2], in[3]});
            if (value < threshold)
                medians.Pixel(x, y, out);
        }
    }
}
