// imaging/Rotation.cpp: nearest-neighbour and weighted rotation.
#include "imaging/Rotation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "imaging/TemporaryImage.h"
#include "platform/core/StandardAlerts.h"

namespace {

constexpr double kSqrt2 = 1.4142135623730951;

// The source point of every destination pixel, set up once per call: with
// dx = x - cx and dy = y - cy, sx = cx + (dx cos a + dy sin a) and
// sy = cy + (dy cos a - dx sin a). This is the point at radius r and angle
// theta - a of the polar description, without a square root, arc tangent,
// sine and cosine per pixel; only exact rounding ties can come out otherwise.
class SourceMap {
public:
    SourceMap(int width, double cx, double cy, double angle)
        : mCx(cx), mCy(cy), mCos(std::cos(angle)), mSin(std::sin(angle)), mColumnCos(static_cast<std::size_t>(width)),
          mColumnSin(static_cast<std::size_t>(width))
    {
        for (int x = 0; x < width; ++x) {
            const double dx = x - cx;
            mColumnCos[static_cast<std::size_t>(x)] = dx * mCos;
            mColumnSin[static_cast<std::size_t>(x)] = dx * mSin;
        }
    }

    void SetRow(int y)
    {
        const double dy = y - mCy;
        mRowSin = dy * mSin;
        mRowCos = dy * mCos;
    }
    double X(int x) const { return mCx + (mColumnCos[static_cast<std::size_t>(x)] + mRowSin); }
    double Y(int x) const { return mCy + (mRowCos - mColumnSin[static_cast<std::size_t>(x)]); }

private:
    double mCx, mCy, mCos, mSin;
    std::vector<double> mColumnCos, mColumnSin;
    double mRowSin = 0.0, mRowCos = 0.0;
};

// Nearest integer, halves away from zero: the same result as std::lround and
// std::round, inline. Coordinates and means stay far inside the int range,
// and v - trunc(v) is exact in double, so the comparison with 0.5 decides
// exactly as the library does.
int RoundHalfAway(double v)
{
    const int t = static_cast<int>(v);
    const double fraction = v - t;
    if (fraction >= 0.5)
        return t + 1;
    if (fraction <= -0.5)
        return t - 1;
    return t;
}

// Source coordinates beyond this are outside any image (sides are at most
// 32767); checking first keeps the integer conversion defined.
constexpr double kFarOutside = 1 << 20;

void SetBlack(uint8_t* p)
{
    p[1] = p[2] = p[3] = 0;
}

// Nearest-neighbour rotation of source into dest over rows [top, bottom) and
// columns [left, right) of dest (already clipped to the image).
void RotateNearest(const GWorldWrapper& source, GWorldWrapper& dest, double angle, int top, int left, int bottom,
                   int right)
{
    const int width = source.Width(), height = source.Height();
    SourceMap map(width, width * 0.5, height * 0.5, angle);
    for (int y = top; y < bottom; ++y) {
        map.SetRow(y);
        uint8_t* d = dest.PixelRow(y) + std::ptrdiff_t{left} * 4;
        for (int x = left; x < right; ++x, d += 4) {
            const double fx = map.X(x), fy = map.Y(x);
            if (!(std::abs(fx) < kFarOutside && std::abs(fy) < kFarOutside)) {
                SetBlack(d);
                continue;
            }
            const int sx = RoundHalfAway(fx), sy = RoundHalfAway(fy);
            if (sx < 0 || sx >= width || sy < 0 || sy >= height) {
                SetBlack(d);
                continue;
            }
            const uint8_t* s = source.PixelRow(sy) + std::ptrdiff_t{sx} * 4;
            d[1] = s[1];
            d[2] = s[2];
            d[3] = s[3];
        }
    }
}

void RotateWeighted(const GWorldWrapper& source, GWorldWrapper& dest, double angle)
{
    const int width = source.Width(), height = source.Height();
    SourceMap map(width, width * 0.5 - 0.5, height * 0.5 - 0.5, angle);
    for (int y = 0; y < height; ++y) {
        map.SetRow(y);
        uint8_t* d = dest.PixelRow(y);
        for (int x = 0; x < width; ++x, d += 4) {
            const double sx = map.X(x), sy = map.Y(x);
            if (sx < 0.0 || sx >= width - 1 || sy < 0.0 || sy >= height - 1) {
                SetBlack(d);
                continue;
            }
            const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
            const double fx = sx - ix, fy = sy - iy;
            const double w00 = kSqrt2 - std::sqrt(fx * fx + fy * fy);
            const double w01 = kSqrt2 - std::sqrt((1 - fx) * (1 - fx) + fy * fy);
            const double w10 = kSqrt2 - std::sqrt(fx * fx + (1 - fy) * (1 - fy));
            const double w11 = kSqrt2 - std::sqrt((1 - fx) * (1 - fx) + (1 - fy) * (1 - fy));
            const double total = w00 + w01 + w10 + w11;
            const uint8_t* s0 = source.PixelRow(iy) + std::ptrdiff_t{ix} * 4;
            const uint8_t* s1 = source.PixelRow(iy + 1) + std::ptrdiff_t{ix} * 4;
            for (int c = 1; c <= 3; ++c) {
                const double mean = (w00 * s0[c] + w01 * s0[4 + c] + w10 * s1[c] + w11 * s1[4 + c]) / total;
                d[c] = static_cast<uint8_t>(std::clamp(RoundHalfAway(mean), 0, 255));
            }
        }
    }
}

// Runs a rotation pass; its per-column tables are made before any pixel is
// written, so running out of memory there leaves the image as it was.
template <typename Pass> bool WithMemoryAlert(Pass pass)
{
    try {
        pass();
        return true;
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
}

} // namespace

bool RotateImageNearestNeighbor(GWorldWrapper& image, double angle)
{
    if (angle == 0.0)
        return true;
    if (!std::isfinite(angle))
        return false;
    const std::unique_ptr<GWorldWrapper> source = NewTemporaryCopy(image);
    if (!source)
        return false;
    return WithMemoryAlert([&] { RotateNearest(*source, image, angle, 0, 0, image.Height(), image.Width()); });
}

bool RotateImageBilinear(GWorldWrapper& image, double angle)
{
    if (angle == 0.0)
        return true;
    if (!std::isfinite(angle))
        return false;
    const std::unique_ptr<GWorldWrapper> source = NewTemporaryCopy(image);
    if (!source)
        return false;
    return WithMemoryAlert([&] { RotateWeighted(*source, image, angle); });
}

bool RotateImageNearestNeighborInRect(const GWorldWrapper& source, GWorldWrapper& dest, double angle, Rect rect)
{
    if (&source == &dest || source.Width() != dest.Width() || source.Height() != dest.Height() || !std::isfinite(angle))
        return false;
    const int top = std::max<int>(rect.top, 0), bottom = std::min<int>(rect.bottom, dest.Height());
    const int left = std::max<int>(rect.left, 0), right = std::min<int>(rect.right, dest.Width());
    if (top >= bottom || left >= right)
        return true;
    if (angle == 0.0) {
        // Turning by 0 leaves the copy as it is.
        for (int y = top; y < bottom; ++y) {
            const uint8_t* s = source.PixelRow(y) + std::ptrdiff_t{left} * 4;
            uint8_t* d = dest.PixelRow(y) + std::ptrdiff_t{left} * 4;
            for (int x = left; x < right; ++x, s += 4, d += 4) {
                d[1] = s[1];
                d[2] = s[2];
                d[3] = s[3];
            }
        }
        return true;
    }
    return WithMemoryAlert([&] { RotateNearest(source, dest, angle, top, left, bottom, right); });
}
