// imaging/Resample.cpp: stretched copies, their smoothing, and 2 x 2 binning.
#include "imaging/Resample.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "imaging/ProcessorFeatures.h"
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

std::atomic<bool> sForcePortable{false};

// One row of the stretch from column left on: destination pixel x takes
// source pixel columns[x] of the row from. The row may be written over its
// own source when columns[x] >= x (a shrink in place): each pixel is read
// before it is written.
void StretchRow(const uint8_t* from, const int* columns, int left, int width, uint8_t* to)
{
    for (int x = left; x < width; ++x)
        std::memmove(to + std::ptrdiff_t{x} * 4, from + std::ptrdiff_t{columns[x]} * 4, 4);
}

// Columns [left, right) of one row of the plus-shaped means: centre is the
// row's original, up and down those of the rows around it (null outside the
// image); alpha 0xFF as in a new image.
void PlusMeanRow(const uint8_t* up, const uint8_t* centre, const uint8_t* down, int width, int left, int right,
                 uint8_t* d)
{
    const auto& quotient = QuotientTable();
    const int rowCount = 1 + (up ? 1 : 0) + (down ? 1 : 0);
    for (int x = left; x < right; ++x) {
        const std::ptrdiff_t o = std::ptrdiff_t{x} * 4;
        const bool hasLeft = x > 0, hasRight = x + 1 < width;
        const auto& q = quotient[rowCount + (hasLeft ? 1 : 0) + (hasRight ? 1 : 0)];
        d[o] = 0xFF;
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
            d[o + c] = q[sum];
        }
    }
}

#if defined(__x86_64__)
#define VELMORA_RESAMPLE_AVX2 1
// The means of a row with rows above and below, eight pixels a step from
// column 1 while the step's right neighbours lie inside: five bytes summed in
// 16 bits, and sum / 5 as (sum * 13108) >> 16, which equals the truncated
// quotient for every sum up to 5 * 255. Returns the column where it stopped.
__attribute__((target("avx2"))) int PlusMeanInteriorAvx2(const uint8_t* up, const uint8_t* centre,
                                                         const uint8_t* down, int width, uint8_t* d)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i fifth = _mm256_set1_epi16(13108);
    const __m256i alpha = _mm256_set1_epi32(0xFF);
    int x = 1;
    for (; x + 8 < width; x += 8) {
        const std::ptrdiff_t o = std::ptrdiff_t{x} * 4;
        const uint8_t* from[5] = {centre + o, centre + o - 4, centre + o + 4, up + o, down + o};
        __m256i v[5];
        for (int k = 0; k < 5; ++k)
            v[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from[k]));
        __m256i low = _mm256_unpacklo_epi8(v[0], zero), high = _mm256_unpackhi_epi8(v[0], zero);
        for (int k = 1; k < 5; ++k) {
            low = _mm256_add_epi16(low, _mm256_unpacklo_epi8(v[k], zero));
            high = _mm256_add_epi16(high, _mm256_unpackhi_epi8(v[k], zero));
        }
        const __m256i means =
            _mm256_packus_epi16(_mm256_mulhi_epu16(low, fifth), _mm256_mulhi_epu16(high, fifth));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + o), _mm256_or_si256(means, alpha));
    }
    return x;
}

// StretchRow eight pixels a step from column 0 on; returns the column where
// it stopped. The columns never decrease, so where the step's last source
// lies within seven pixels of its first (always when enlarging), one load of
// the eight pixels from the first and a permutation give the step; otherwise
// (or at the row's end) the step is gathered. Each step reads all its pixels
// before it writes, so a shrink may write over its source as StretchRow does.
__attribute__((target("avx2"))) int StretchRowAvx2(const uint8_t* from, const int* columns, int width,
                                                   int sourceWidth, uint8_t* to)
{
    const int* pixels = reinterpret_cast<const int*>(from);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i source = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + x));
        const int first = columns[x];
        __m256i step;
        if (columns[x + 7] - first < 8 && first + 8 <= sourceWidth)
            step = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + first)),
                                               _mm256_sub_epi32(source, _mm256_set1_epi32(first)));
        else
            step = _mm256_i32gather_epi32(pixels, source, 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + std::ptrdiff_t{x} * 4), step);
    }
    return x;
}

// StretchRow where every destination pixel x takes source pixel 2 x (the
// halving of a row at least 2 * width wide), eight pixels a step from column
// 0 on; returns the column where it stopped. Two loads of eight, and per
// lane the even pixels of each (0 2 8 10 | 4 6 12 14), then the four pairs in
// order. Each step reads before it writes, as StretchRowAvx2.
__attribute__((target("avx2"))) int HalveRowAvx2(const uint8_t* from, int width, uint8_t* to)
{
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const uint8_t* p = from + std::ptrdiff_t{x} * 8;
        const __m256 low = _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
        const __m256 high = _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)));
        const __m256i evens = _mm256_castps_si256(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + std::ptrdiff_t{x} * 4),
                            _mm256_permute4x64_epi64(evens, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    return x;
}

bool UseAvx2()
{
    return ProcessorHasAvx2() && !sForcePortable.load(std::memory_order_relaxed);
}
#endif

// floor(i * from / to) for i = 0, 1, 2, ... in turn, by a quotient and a
// remainder carried from one to the next instead of a division each (to > 0).
class StretchIndex {
public:
    StretchIndex(int from, int to) : mStep(from / to), mStepRemainder(from % to), mTo(to) {}
    // The index of the current i; then on to i + 1.
    int Next()
    {
        const int index = mIndex;
        mIndex += mStep;
        mRemainder += mStepRemainder;
        if (mRemainder >= mTo) {
            mRemainder -= mTo;
            ++mIndex;
        }
        return index;
    }

private:
    int mStep, mStepRemainder, mTo;
    int mIndex = 0, mRemainder = 0;
};

// The source column of each pixel of a row width wide stretched from one
// sourceWidth wide, by the image copy's rule; false after the alert when
// memory runs out.
bool StretchColumns(int sourceWidth, int width, std::vector<int>& columns)
{
    try {
        columns.resize(static_cast<std::size_t>(width));
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
    StretchIndex column(sourceWidth, width);
    for (int& c : columns)
        c = column.Next();
    return true;
}

// One whole row of the stretch, width pixels wide, from a source row
// sourceWidth wide.
void StretchWholeRow(const uint8_t* from, const std::vector<int>& columns, int sourceWidth, uint8_t* to)
{
    const int width = static_cast<int>(columns.size());
    int x = 0;
#if defined(VELMORA_RESAMPLE_AVX2)
    // The image copy's rule takes every second pixel exactly when the source
    // is 2 * width or 2 * width + 1 wide.
    if (UseAvx2())
        x = sourceWidth / 2 == width ? HalveRowAvx2(from, width, to)
                                     : StretchRowAvx2(from, columns.data(), width, sourceWidth, to);
#endif
    (void)sourceWidth;
    StretchRow(from, columns.data(), x, width, to);
}

// The stretch of image to bounds, no wider and no taller, written over its
// own pixels; true unless memory for the column map ran out (after the
// alert; image unchanged). Row by row from the top, destination row y (at
// y * the new row length) ends before source row floor(y * old / new) + 1
// begins, and within a row destination pixel x lies at or before the pixels
// still to be read: nothing is written over before it has been read. The
// memory past the new size is given back.
bool ShrunkInPlace(GWorldWrapper& image, Rect bounds)
{
    const int width = bounds.Width(), height = bounds.Height();
    const int sourceWidth = image.Width(), sourceHeight = image.Height();
    std::vector<int> columns;
    if (!StretchColumns(sourceWidth, width, columns))
        return false;
    const std::ptrdiff_t rowBytes = image.RowBytesAtWidth(width);
    uint8_t* base = image.GetPixBaseAddr();
    StretchIndex row(sourceHeight, height);
    for (int y = 0; y < height; ++y) {
        const int sy = row.Next();
        StretchWholeRow(image.PixelRow(sy), columns, sourceWidth, base + std::ptrdiff_t{y} * rowBytes);
    }
    image.ShrinkInPlace(bounds);
    return true;
}

// Whether the stretch to bounds is done in place: a shrink of an image whose
// pixel block gives back its pages past the new size. A small image on the
// heap keeps its whole block until freed, so it takes a new one of the new
// size instead.
bool ShrinksInPlace(const GWorldWrapper& image, Rect bounds)
{
    return image.HasMappedPixels() && bounds.Width() <= image.Width() && bounds.Height() <= image.Height();
}

// The stretched copy of image at bounds' size, or null after the alert: the
// image copy's rule (GWorldWrapper::CopyBitsFrom) for whole images, every
// pixel of the copy written. A row whose source row is that of the row
// before repeats it.
std::unique_ptr<GWorldWrapper> Stretched(const GWorldWrapper& image, Rect bounds)
{
    std::vector<int> columns;
    if (!StretchColumns(image.Width(), bounds.Width(), columns))
        return nullptr;
    std::unique_ptr<GWorldWrapper> stretched = NewScratchImage(bounds);
    if (!stretched)
        return nullptr;
    const int width = stretched->Width(), height = stretched->Height();
    StretchIndex sourceRow(image.Height(), height);
    int previous = -1;
    for (int y = 0; y < height; ++y) {
        const int sy = sourceRow.Next();
        uint8_t* to = stretched->PixelRow(y);
        if (sy == previous) {
            std::memcpy(to, stretched->PixelRow(y - 1), static_cast<std::size_t>(width) * 4);
            continue;
        }
        previous = sy;
        StretchWholeRow(image.PixelRow(sy), columns, image.Width(), to);
    }
    return stretched;
}

// image receives per channel the mean of the plus-shaped neighbourhood
// (centre, up, down, left, right) inside the image, taken from its values
// before the pass, in place: saved holds two rows (8 * width bytes), the
// originals of the row above and of the current row.
void PlusMeanInPlace(GWorldWrapper& image, std::vector<uint8_t>& saved)
{
    const int width = image.Width(), height = image.Height();
    const std::size_t rowPixels = static_cast<std::size_t>(width) * 4;
    uint8_t* above = saved.data();
    uint8_t* centre = saved.data() + rowPixels;
#if defined(VELMORA_RESAMPLE_AVX2)
    const bool avx2 = UseAvx2();
#endif
    for (int y = 0; y < height; ++y) {
        uint8_t* d = image.PixelRow(y);
        std::memcpy(centre, d, rowPixels);
        const uint8_t* up = y > 0 ? above : nullptr;
        const uint8_t* down = y + 1 < height ? image.PixelRow(y + 1) : nullptr;
        int x = 0;
#if defined(VELMORA_RESAMPLE_AVX2)
        if (avx2 && up && down && width > 1) {
            PlusMeanRow(up, centre, down, width, 0, 1, d);
            x = PlusMeanInteriorAvx2(up, centre, down, width, d);
        }
#endif
        PlusMeanRow(up, centre, down, width, x, width, d);
        std::swap(above, centre);
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
    std::vector<uint8_t> savedRows;
    try {
        if (smoothing == Smoothing::Box)
            columnSums.resize(static_cast<std::size_t>(bounds.Width()) * 3);
        else
            savedRows.resize(static_cast<std::size_t>(bounds.Width()) * 8);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
    if (smoothing == Smoothing::Plus && ShrinksInPlace(*image, bounds)) {
        if (!ShrunkInPlace(*image, bounds))
            return false;
        PlusMeanInPlace(*image, savedRows);
        return true;
    }
    const std::unique_ptr<GWorldWrapper> stretched = Stretched(*image, bounds);
    if (!stretched)
        return false;
    // From here on nothing can fail: the means fill every pixel of the new
    // image, which then takes the old one's place.
    if (smoothing == Smoothing::Plus) {
        PlusMeanInPlace(*stretched, savedRows);
        image->SwapWith(*stretched);
        return true;
    }
    const std::unique_ptr<GWorldWrapper> result = NewScratchImage(bounds);
    if (!result)
        return false;
    BoxMean(*stretched, *result, columnSums);
    image->SwapWith(*result);
    return true;
}

} // namespace

bool ResampleNearestNeighbor(GWorldWrapper* image, double scale)
{
    Rect bounds;
    if (!ScaledBounds(*image, scale, &bounds))
        return false;
    if (ShrinksInPlace(*image, bounds))
        return ShrunkInPlace(*image, bounds);
    const std::unique_ptr<GWorldWrapper> stretched = Stretched(*image, bounds);
    if (!stretched)
        return false;
    image->SwapWith(*stretched);
    return true;
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
    const std::unique_ptr<GWorldWrapper> binned = NewScratchImage(MakeRect(0, 0, height, width));
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
    image->SwapWith(*binned);
    return true;
}

void ForcePortableResampleForTesting(bool force)
{
    sForcePortable.store(force, std::memory_order_relaxed);
}
