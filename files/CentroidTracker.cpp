// files/CentroidTracker.cpp: the centroid tracker of the movie frame dialog.
#include "files/CentroidTracker.h"

#include <algorithm>

#include "imaging/Measurements.h"
#include "platform/core/GWorldWrapper.h"

namespace {

constexpr int kMaxTrackingSteps = 20;

// Rects are int16; positions are kept in int while they move.
struct Box {
    int top, left, bottom, right;
    void Move(int dv, int dh)
    {
        top += dv;
        bottom += dv;
        left += dh;
        right += dh;
    }
};

Rect InsideImage(const Box& r, int width, int height)
{
    return MakeRect(std::max(r.top, 0), std::max(r.left, 0), std::min(r.bottom, height), std::min(r.right, width));
}

Point Centroid(const GWorldWrapper& image, const Box& r)
{
    Point c{};
    const Rect inside = InsideImage(r, image.Width(), image.Height());
    if (inside.right <= inside.left || inside.bottom <= inside.top)
        return MakePoint(static_cast<int>(r.top + (r.bottom - r.top) / 2),
                         static_cast<int>(r.left + (r.right - r.left) / 2));
    CalculateValueCentroid(image, inside, 0, c);
    return c;
}

} // namespace

Point DetermineAlignmentByCentroid(const GWorldWrapper& image, Rect rect, Point firstCentroid, Point offset)
{
    const int width = image.Width();
    const int height = image.Height();
    Box r{rect.top + offset.v, rect.left + offset.h, rect.bottom + offset.v, rect.right + offset.h};
    auto keepInsideH = [&] {
        if (r.left < 0)
            r.Move(0, -r.left);
        else if (r.right > width)
            r.Move(0, std::max(-r.left, width - r.right)); // never past the left edge
    };
    auto keepInsideV = [&] {
        if (r.top < 0)
            r.Move(-r.top, 0);
        else if (r.bottom > height)
            r.Move(std::max(-r.top, height - r.bottom), 0);
    };
    keepInsideH();
    keepInsideV();

    int pv = firstCentroid.v + offset.v;
    int ph = firstCentroid.h + offset.h;
    bool leftFixed = false;
    for (int step = 0; step < kMaxTrackingSteps; ++step) {
        const Point c = Centroid(image, r);
        if (c.v == pv && c.h == ph)
            break;
        r.Move(c.v - pv, c.h - ph);
        pv = c.v;
        ph = c.h;
        if (r.left < 0) {
            r.Move(0, -r.left);
            leftFixed = true;
            break;
        }
        if (r.right > width || r.top < 0 || r.bottom > height)
            break;
    }
    if (!leftFixed && r.right > width)
        r.Move(0, std::max(-r.left, width - r.right));
    keepInsideV();
    return MakePoint(r.top - rect.top, r.left - rect.left);
}
