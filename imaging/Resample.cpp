// imaging/Resample.cpp: stretched copies, their smoothing, and 2 x 2 binning.
#include "imaging/Resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "imaging/TemporaryImage.h"
#include "platform/core/StandardAlerts.h"

namespace {

// The means divide sums of at most 9 bytes by counts 1 ... 9; a table of
// quotients keeps the truncating division out of the pixel loop.
constexpr int kMaxTaps = 9;
constexpr int kMaxSum = kMaxTaps * 255;

const std::array<std::array<uint8_t, kMaxSum + 1>, kMaxTaps + 1>& QuotientTable()
{
    static const auto table = [] {
        std::array<std::array<uint8_t, kMaxSum + 1>, kMaxTaps + 1> t{};
        for (int count = 1; count <= kMaxTaps; ++count)
            for (int sum = 0; sum <= kMaxSum; ++sum)
                t[count][sum] = static_cast<uint8_t>(std::min(sum / count, 255));
        return t;
    }();
    return table;
}

// The size a scale gives, or false (with the alert where the rules want one).
bool ScaledBounds(const GWorldWrapper& image, double scale, Rect* bounds)
{
    const double height = std::trunc(image.Height() * scale);
    const double width = std::trunc(image.Width() * scale);
    if (!(height >= 1.0 && width >= 1.0))
        return false; // nothing left to show: no alert, the caller refuses
    if (height > kMaxImageSide || width > kMaxImageSide) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
    *bounds = MakeRect(0, 0, static_cast<int>(height), static_cast<int>(width));
    return true;
}

// The stretched copy of image at bounds' size, or null after the alert.
std::unique_ptr<GWorldWrapper> Stretched(const GWorldWrapper& image, Rect bounds)
{
    std::unique_ptr<GWorldWrapper> stretched = NewTemporaryImage(bounds);
    if (stretched)
        image.CopyWorldBits(image.GetDim(), bounds, stretched->GetGWorldPtr());
    return stretched;
}

// Resizes image to bounds (its pixels are dropped), or raises the alert and
// returns false with image unchanged.
bool Resize(GWorldWrapper& image, Rect bounds)
{
    try {
        image.UpdateGWorldFromRect(bounds);
        return true;
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
}

// dst (same size as src) receives per channel the mean of the plus-shaped
// neighbourhood (centre, up, down, left, right) inside the image; alpha 0xFF
// as in a new image.
void PlusMean(const GWorldWrapper& src, GWorldWrapper& dst)
{
    const auto& quotient = QuotientTable();
    const int width = src.Width(), height = src.Height();
    for (int y = 0; y < height; ++y) {
        const uint8_t* centre = src.PixelRow(y);
        const uint8_t* up = y > 0 ? src.PixelRow(y - 1) : nullptr;
        const uint8_t* down = y + 1 < height ? src.PixelRow(y + 1) : nullptr;
        const int rowCount = 1 + (up ? 1 : 0) + (down ? 1 : 0);
        uint8_t* d = dst.PixelRow(y);
        for (int x = 0; x < width; ++x, d += 4) {
            const std::ptrdiff_t o = std::ptrdiff_t{x} * 4;
            const bool hasLeft = x > 0, hasRight = x + 1 < width;
            const auto& q = quotient[rowCount + (hasLeft ? 1 : 0) + (hasRight ? 1 : 0)];
            d[0] = 0xFF;
            for (int c = 1; c <= 3; ++c) {
                int sum = centre[o + c];
                if (up)
                    sum += up[o + c];
                if (down)
                    sum += down[o + c];
                if (hasLeft)
                    sum += centre[o - 4 + c];
                if (hasRight)
                    sum += centre[o + 4 + c];
                d[c] = q[sum];
            }
        }
    }
}

// dst (same size as src) receives per channel the mean of the 3 x 3 block
// inside the image; alpha 0xFF. columnSums holds 3 * width ints.
void BoxMean(const GWorldWrapper& src, GWorldWrapper& dst, std::vector<int>& columnSums)
{
    const auto& quotient = QuotientTable();
    const int width = src.Width(), height = src.Height();
    for (int y = 0; y < height; ++y) {
        const int firstRow = std::max(y - 1, 0), lastRow = std::min(y + 1, height - 1);
        const int rowCount = lastRow - firstRow + 1;
        std::fill(columnSums.begin(), columnSums.end(), 0);
        for (int r = firstRow; r <= lastRow; ++r) {
            const uint8_t* p = src.PixelRow(r);
            for (int x = 0; x < width; ++x, p += 4)
                for (int c = 0; c < 3; ++c)
                    columnSums[static_cast<std::size_t>(x) * 3 + c] += p[1 + c];
        }
        uint8_t* d = dst.PixelRow(y);
        for (int x = 0; x < width; ++x, d += 4) {
            const int firstColumn = std::max(x - 1, 0), lastColumn = std::min(x + 1, width - 1);
            const auto& q = quotient[rowCount * (lastColumn - firstColumn + 1)];
            d[0] = 0xFF;
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int cx = firstColumn; cx <= lastColumn; ++cx)
                    sum += columnSums[static_cast<std::size_t>(cx) * 3 + c];
                d[1 + c] = q[sum];
            }
        }
    }
}

enum class Smoothing { Plus, Box };

bool ResampleSmoothed(GWorldWrapper* image, double scale, Smoothing smoothing)
{
    Rect bounds;
    if (!ScaledBounds(*image, scale, &bounds))
        return false;
    std::vector<int> columnSums;
    try {
        if (smoothing == Smoothing::Box)
            columnSums.resize(static_cast<std::size_t>(bounds.Width()) * 3);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
    const std::unique_ptr<GWorldWrapper> stretched = Stretched(*image, bounds);
    if (!stretched || !Resize(*image, bounds))
        return false;
    // From here on nothing can fail: the image's old pixels are gone and the
    // means of the stretched copy fill every pixel.
    if (smoothing == Smoothing::Plus)
        PlusMean(*stretched, *image);
    else
        BoxMean(*stretched, *image, columnSums);
    return true;
}

} // namespace

bool ResampleNearestNeighbor(GWorldWrapper* image, double scale)
{
    Rect bounds;
    if (!ScaledBounds(*image, scale, &bounds))
        return false;
    const std::unique_ptr<GWorldWrapper> stretched = Stretched(*image, bounds);
    return stretched && AdoptTemporaryImage(*image, *stretched);
}

bool ResampleImageBilinear(GWorldWrapper* image, double scale)
{
    return ResampleSmoothed(image, scale, Smoothing::Plus);
}

bool ResampleImageBicubic(GWorldWrapper* image, double scale)
{
    return ResampleSmoothed(image, scale, Smoothing::Box);
}

bool BinFourToOne(GWorldWrapper* image)
{
    const int height = image->Height() / 2, width = image->Width() / 2;
    if (height < 1 || width < 1)
        return false;
    const std::unique_ptr<GWorldWrapper> binned = NewTemporaryImage(MakeRect(0, 0, height, width));
    if (!binned)
        return false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* top = image->PixelRow(2 * y);
        const uint8_t* bottom = image->PixelRow(2 * y + 1);
        uint8_t* d = binned->PixelRow(y);
        for (int x = 0; x < width; ++x, top += 8, bottom += 8, d += 4) {
            d[0] = 0xFF;
            for (int c = 1; c <= 3; ++c)
                d[c] = static_cast<uint8_t>(std::min(top[c] + top[4 + c] + bottom[c] + bottom[4 + c], 255));
        }
    }
    return AdoptTemporaryImage(*image, *binned);
}
