// imaging/HotPixels.cpp: hot-pixel detection, marking and preview.
#include "imaging/HotPixels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/core/GWorldWrapper.h"

namespace {

struct Offset {
    int dy;
    int dx;
};

// The cells of the disc, the pixel itself included.
std::vector<Offset> DiscOffsets(int radius)
{
    const int limit = HotPixelDiscLimit(radius);
    const int reach = std::clamp(radius, kHotPixelRadiusMin, kHotPixelRadiusMax);
    std::vector<Offset> offsets;
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (dy * dy + dx * dx <= limit)
                offsets.push_back(Offset{dy, dx});
    return offsets;
}

bool IsHot(const uint8_t* pixel, int threshold)
{
    return pixel[1] >= threshold || pixel[2] >= threshold || pixel[3] >= threshold;
}

} // namespace

int HotPixelDiscLimit(int radius)
{
    static const int kLimits[] = {0, 2, 5, 10};
    return kLimits[std::clamp(radius, kHotPixelRadiusMin, kHotPixelRadiusMax)];
}

void MarkHotPixels(const GWorldWrapper& source, const HotPixelParams& params, uint8_t* mask, int width, int height,
                   Point origin)
{
    if (!mask || width <= 0 || height <= 0)
        return;
    std::memset(mask, 0, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    // A threshold above every component: nothing to test.
    if (params.threshold > 255)
        return;
    const std::vector<Offset> disc = DiscOffsets(params.radius);
    const int reach = std::clamp(params.radius, kHotPixelRadiusMin, kHotPixelRadiusMax);
    // The disc as offsets into the mask, for hot pixels whose whole disc lies
    // inside it (all but a border of reach cells).
    std::vector<std::ptrdiff_t> linear;
    for (const Offset& o : disc)
        linear.push_back(static_cast<std::ptrdiff_t>(o.dy) * width + o.dx);
    // The mask cells whose source pixel exists: y in [y0, y1), x in [x0, x1).
    const int y0 = std::clamp(-origin.v, 0, height), y1 = std::clamp(source.Height() - origin.v, y0, height);
    const int x0 = std::clamp(-origin.h, 0, width), x1 = std::clamp(source.Width() - origin.h, x0, width);
    for (int y = y0; y < y1; ++y) {
        const uint8_t* row = source.PixelRow(origin.v + y);
        const bool innerRow = y >= reach && y < height - reach;
        uint8_t* maskRow = mask + static_cast<std::ptrdiff_t>(y) * width;
        for (int x = x0; x < x1; ++x) {
            if (!IsHot(row + 4 * static_cast<std::ptrdiff_t>(origin.h + x), params.threshold))
                continue;
            if (innerRow && x >= reach && x < width - reach) {
                uint8_t* centre = maskRow + x;
                for (std::ptrdiff_t o : linear)
                    centre[o] = 1;
                continue;
            }
            for (const Offset& o : disc) {
                const int my = y + o.dy, mx = x + o.dx;
                if (my >= 0 && my < height && mx >= 0 && mx < width)
                    mask[static_cast<std::size_t>(my) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(mx)] = 1;
            }
        }
    }
}

void PaintHotPixelPreview(const GWorldWrapper& source, const HotPixelParams& params, GWorldWrapper& preview,
                          Point origin)
{
    const int width = preview.Width(), height = preview.Height();
    std::vector<uint8_t> mask(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    MarkHotPixels(source, params, mask.data(), width, height, origin);
    const int x0 = std::clamp(-origin.h, 0, width), x1 = std::clamp(source.Width() - origin.h, x0, width);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = preview.PixelRow(y);
        const int sy = origin.v + y;
        const uint8_t* in = sy >= 0 && sy < source.Height() ? source.PixelRow(sy) : nullptr;
        const uint8_t* marks = mask.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            uint8_t* p = out + 4 * static_cast<std::ptrdiff_t>(x);
            p[0] = 0xFF;
            if (in && x >= x0 && x < x1 && marks[x]) {
                const uint8_t* s = in + 4 * static_cast<std::ptrdiff_t>(origin.h + x);
                p[1] = s[1];
                p[2] = s[2];
                p[3] = s[3];
            } else {
                p[1] = p[2] = p[3] = 0;
            }
        }
    }
}
