// imaging/StarDetection.cpp: the class map, the fill and the masks of stars.
#include "imaging/StarDetection.h"

#include <algorithm>
#include <cstddef>

Star::Star(Rect r) : bounds(r)
{
    centre = MakePoint((r.top + r.bottom) / 2, (r.left + r.right) / 2);
    mask.assign(static_cast<std::size_t>(MaskWidth()) * static_cast<std::size_t>(MaskHeight()), 0);
}

void ClassifyStarPixels(const ConstSumPlanes& planes, const uint8_t* seedMap, int brightness, int spread,
                        std::vector<uint8_t>& classes)
{
    const std::size_t n = planes.Count();
    classes.assign(n, kStarClassNone);
    for (std::size_t i = 0; i < n; ++i) {
        const int32_t v = planes.Value(i);
        if ((!seedMap || seedMap[i] != 0) && v >= brightness)
            classes[i] = kStarClassSeed;
        else if (v >= spread)
            classes[i] = kStarClassSpread;
    }
}

void FindStarBoundingRect(std::vector<uint8_t>& classes, int width, int height, Rect& bounds, int& area)
{
    struct Pixel {
        int x, y;
    };
    // The explicit stack of pixels still to visit; a pixel's claimed
    // neighbours are pushed in reverse so that they are visited left, up,
    // right, down, each completely before the next, as a recursive fill would.
    std::vector<Pixel> pending{{bounds.left, bounds.top}};
    while (!pending.empty()) {
        const Pixel p = pending.back();
        pending.pop_back();
        const Pixel neighbours[4] = {{p.x - 1, p.y}, {p.x, p.y - 1}, {p.x + 1, p.y}, {p.x, p.y + 1}};
        Pixel claimed[4];
        int count = 0;
        for (const Pixel& q : neighbours) {
            if (q.x < 0 || q.y < 0 || q.x >= width || q.y >= height)
                continue;
            uint8_t& c = classes[static_cast<std::size_t>(q.y) * width + q.x];
            if (c == kStarClassNone)
                continue;
            c = kStarClassNone;
            ++area;
            bounds.left = static_cast<int16_t>(std::min<int>(bounds.left, q.x));
            bounds.right = static_cast<int16_t>(std::max<int>(bounds.right, q.x));
            bounds.top = static_cast<int16_t>(std::min<int>(bounds.top, q.y));
            bounds.bottom = static_cast<int16_t>(std::max<int>(bounds.bottom, q.y));
            if (area > kStarMaxArea - 1)
                return; // a region this large is cut where the fill stands
            claimed[count++] = q;
        }
        for (int k = count - 1; k >= 0; --k)
            pending.push_back(claimed[k]);
    }
}

void MakeStarMask(const ConstSumPlanes& planes, int spread, Star& star)
{
    const int w = star.MaskWidth();
    for (int y = star.bounds.top; y <= star.bounds.bottom; ++y)
        for (int x = star.bounds.left; x <= star.bounds.right; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * planes.width + x;
            star.mask[static_cast<std::size_t>(y - star.bounds.top) * w + (x - star.bounds.left)] =
                planes.Value(i) >= spread ? 1 : 0;
        }
}

std::vector<Star> FindStars(const ConstSumPlanes& planes, const uint8_t* seedMap, const StarFindParams& params)
{
    std::vector<uint8_t> classes;
    ClassifyStarPixels(planes, seedMap, params.brightness, params.spread, classes);
    std::vector<Star> stars;
    const std::size_t n = planes.Count();
    for (std::size_t i = 0; i < n; ++i) {
        if (classes[i] != kStarClassSeed)
            continue;
        const int x = static_cast<int>(i % planes.width), y = static_cast<int>(i / planes.width);
        classes[i] = kStarClassNone;
        Rect bounds = MakeRect(y, x, y, x);
        int area = 1;
        FindStarBoundingRect(classes, planes.width, planes.height, bounds, area);
        if (area >= params.minArea && area <= params.maxArea) {
            stars.emplace_back(bounds);
            MakeStarMask(planes, params.spread, stars.back());
        }
    }
    return stars;
}
