// platform/core/GWorldWrapper.cpp: the image buffer, its drawing bracket and
// the nearest-neighbour copy between images.
#include "platform/core/GWorldWrapper.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include <sys/mman.h>

#include "platform/core/LargePages.h"
#include "platform/core/PretouchedBlocks.h"

namespace {

// The padded-stride test mode can also be turned on for a whole test program
// by the environment variable VELMORA_TEST_ROW_PADDING (bytes per row).
int RowPaddingFromEnvironment()
{
    const char* text = std::getenv("VELMORA_TEST_ROW_PADDING");
    return text ? std::max(0, std::atoi(text)) : 0;
}

std::atomic<int> sRowPaddingForTesting{RowPaddingFromEnvironment()};
std::atomic<int> sFailAllocationsForTesting{0};
constexpr uint8_t kCanaryByte = 0xA5;

// Pixel blocks of this many bytes or more are mappings of their own, not heap
// blocks. A clip's picture (a 640x480 clip is 1.2 MB) must give its memory
// back to the system the moment it is freed, as when a clip goes to its temp
// files: the memory budget counts on it. The C library's heap does not
// promise that: once a large block has been freed, its adaptive threshold
// serves later ones of that size from the heap arenas, where freed memory
// stays with the process. A mapping of our own is returned by munmap at once,
// whatever the allocator's state. Under AddressSanitizer the heap is kept, so
// overruns of image rows are still caught there.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_PIXELS_ON_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VELMORA_PIXELS_ON_HEAP)
constexpr std::size_t kMappedPixelBytes = std::numeric_limits<std::size_t>::max();
#else
constexpr std::size_t kMappedPixelBytes = std::size_t{128} << 10;
#endif

thread_local GrafPtr sCurrentPort = nullptr;

// One pixel's bytes for colour (alpha opaque).
void PutColour(uint8_t* p, const RGBColor& colour)
{
    p[0] = 0xFF;
    p[1] = static_cast<uint8_t>(colour.red >> 8);
    p[2] = static_cast<uint8_t>(colour.green >> 8);
    p[3] = static_cast<uint8_t>(colour.blue >> 8);
}

}  // namespace

GrafPtr GetPort()
{
    return sCurrentPort;
}

void SetPort(GrafPtr port)
{
    sCurrentPort = port;
}

void SetImageRowPaddingForTesting(int bytes)
{
    sRowPaddingForTesting = std::max(0, bytes);
}

void FailNextImageAllocationsForTesting(int count)
{
    sFailAllocationsForTesting = std::max(0, count);
}

thread_local GrafPtr GWorldWrapper::sOldGW = nullptr;

void GWorldWrapper::PixelRelease::operator()(uint8_t* pixels) const
{
    if (bytes == 0)
        delete[] pixels;
    else if (!RecycleBlock(pixels, bytes))
        ::munmap(pixels, bytes);
}

struct GWorldWrapper::Buffer {
    Pixels pixels;
    std::ptrdiff_t rowBytes = 0;
};

GWorldWrapper::Buffer GWorldWrapper::Allocate(int width, int height)
{
    if (width < 0 || height < 0)
        throw std::bad_alloc();
    int failures = sFailAllocationsForTesting.load();
    while (failures > 0) {
        if (sFailAllocationsForTesting.compare_exchange_weak(failures, failures - 1))
            throw std::bad_alloc();
    }
    Buffer buffer;
    buffer.rowBytes = static_cast<std::ptrdiff_t>(width) * 4 + sRowPaddingForTesting.load();
    const std::size_t size = static_cast<std::size_t>(buffer.rowBytes) * static_cast<std::size_t>(height);
    if (width == 0 || height == 0)
        return buffer;
    if (size >= kMappedPixelBytes) {
        void* mapped = TakeReadyBlock(size);
        if (mapped) {
            buffer.pixels = Pixels(static_cast<uint8_t*>(mapped), PixelRelease{size});
        } else {
            mapped = MapLargeBlock(size);
            if (!mapped)
                throw std::bad_alloc();
            buffer.pixels = Pixels(static_cast<uint8_t*>(mapped), PixelRelease{size});
            // Every pixel is written straight away (erased or copied), so the
            // pages are all taken at once, huge ones where the system has
            // them, instead of one fault per page during the first pass.
            AdviseLargePages(mapped, size);
            PrefaultPages(mapped, size);
        }
    } else {
        buffer.pixels = Pixels(new uint8_t[size], PixelRelease{0});  // throws std::bad_alloc
    }
    // Only the padding gets the canary; the pixels are erased by the caller,
    // so large images are touched once.
    const std::ptrdiff_t used = static_cast<std::ptrdiff_t>(width) * 4;
    if (buffer.rowBytes > used)
        for (int y = 0; y < height; ++y)
            std::memset(buffer.pixels.get() + static_cast<std::ptrdiff_t>(y) * buffer.rowBytes + used, kCanaryByte,
                        static_cast<std::size_t>(buffer.rowBytes - used));
    return buffer;
}

void GWorldWrapper::KeepPixelsReady(int width, int height, int count)
{
    if (width <= 0 || height <= 0)
        return;
    const std::size_t size = (static_cast<std::size_t>(width) * 4 + static_cast<std::size_t>(sRowPaddingForTesting.load())) *
                             static_cast<std::size_t>(height);
    if (size >= kMappedPixelBytes)
        KeepBlocksReady(size, count);
}

void GWorldWrapper::StopKeepingPixelsReady()
{
    StopKeepingBlocksReady();
}

GWorldWrapper::GWorldWrapper(int depth, Rect bounds, int clutID)
    : mBounds(bounds), mDepth(depth), mClutID(clutID)
{
    Buffer buffer = Allocate(bounds.right - bounds.left, bounds.bottom - bounds.top);
    Adopt(std::move(buffer), bounds);
}

GWorldWrapper::GWorldWrapper(int depth, Rect bounds, int clutID, Unerased)
    : mBounds(bounds), mDepth(depth), mClutID(clutID)
{
    Buffer buffer = Allocate(bounds.right - bounds.left, bounds.bottom - bounds.top);
    mPixels = std::move(buffer.pixels);
    mRowBytes = buffer.rowBytes;
}

void GWorldWrapper::SwapWith(GWorldWrapper& other) noexcept
{
    std::swap(mBounds, other.mBounds);
    std::swap(mDepth, other.mDepth);
    std::swap(mClutID, other.mClutID);
    std::swap(mPixels, other.mPixels);
    std::swap(mRowBytes, other.mRowBytes);
}

std::ptrdiff_t GWorldWrapper::RowBytesAtWidth(int width) const
{
    return mRowBytes - static_cast<std::ptrdiff_t>(Width()) * 4 + static_cast<std::ptrdiff_t>(width) * 4;
}

void GWorldWrapper::ShrinkInPlace(Rect bounds) noexcept
{
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    if (!mPixels || width < 1 || height < 1 || width > Width() || height > Height())
        return;
    const std::ptrdiff_t rowBytes = RowBytesAtWidth(width);
    const std::size_t bytes = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height);
    const std::ptrdiff_t used = static_cast<std::ptrdiff_t>(width) * 4;
    if (rowBytes > used) // the padded-stride test mode: the new rows' padding
        for (int y = 0; y < height; ++y)
            std::memset(mPixels.get() + static_cast<std::ptrdiff_t>(y) * rowBytes + used, kCanaryByte,
                        static_cast<std::size_t>(rowBytes - used));
    if (HasMappedPixels()) {
        ReleaseBlockTail(mPixels.get(), mPixels.get_deleter().bytes, bytes);
        mPixels.get_deleter().bytes = bytes;
    }
    mBounds = bounds;
    mRowBytes = rowBytes;
}

GWorldWrapper::~GWorldWrapper()
{
    if (!RowPaddingIntact()) {
        // Only reachable in the padded-stride test mode: some routine wrote
        // past the end of a row.
        std::fprintf(stderr, "GWorldWrapper: row padding overwritten in a %dx%d image\n", Width(), Height());
        std::abort();
    }
    // A thread whose current port is this image is left with none, never with
    // a dangling target.
    if (sCurrentPort == this)
        sCurrentPort = nullptr;
    if (sOldGW == this)
        sOldGW = nullptr;
}

void GWorldWrapper::Adopt(Buffer&& buffer, Rect bounds)
{
    mPixels = std::move(buffer.pixels);
    mRowBytes = buffer.rowBytes;
    mBounds = bounds;
    EraseGWorldRect();
}

void GWorldWrapper::StartUsingGWorld()
{
    sOldGW = sCurrentPort;
    sCurrentPort = this;
}

void GWorldWrapper::FinishUsingGWorld()
{
    sCurrentPort = sOldGW;
}

void GWorldWrapper::EraseGWorldRect()
{
    const int height = Height();
    const std::size_t rowPixels = static_cast<std::size_t>(Width()) * 4;
    if (!mPixels)
        return;
    for (int y = 0; y < height; ++y)
        std::memset(PixelRow(y), 0xFF, rowPixels);
}

void GWorldWrapper::UpdateGWorldFromRect(Rect r)
{
    if (r.bottom == mBounds.bottom && r.right == mBounds.right)
        return;
    Buffer buffer = Allocate(r.right - r.left, r.bottom - r.top);  // may throw; nothing changed yet
    Adopt(std::move(buffer), r);
}

void GWorldWrapper::MatchBufferSize(Rect r)
{
    if (r.right - r.left == Width() && r.bottom - r.top == Height())
        return;
    Buffer buffer = Allocate(r.right - r.left, r.bottom - r.top);  // may throw; nothing changed yet
    Adopt(std::move(buffer), r);
}

GWorldWrapper& GWorldWrapper::operator=(const GWorldWrapper& source)
{
    if (&source == this)
        return *this;
    CopyGWorldWrapper(source, *this);
    mBounds = source.mBounds;
    mDepth = source.mDepth;
    mClutID = source.mClutID;
    return *this;
}

void CopyGWorldWrapper(const GWorldWrapper& source, GWorldWrapper& dest)
{
    if (&source == &dest)
        return;
    // Same bottom and right is not enough here: the copy fills the source's
    // whole width and height, so the buffer must have exactly that size.
    dest.MatchBufferSize(source.GetDim());
    const std::size_t rowPixels = static_cast<std::size_t>(source.Width()) * 4;
    for (int y = 0; y < source.Height(); ++y)
        std::memcpy(dest.PixelRow(y), source.PixelRow(y), rowPixels);
}

void GWorldWrapper::CopyWorldBits(Rect dst, GrafPtr port) const
{
    CopyWorldBits(mBounds, dst, port);
}

void GWorldWrapper::CopyWorldBits(Rect dst) const
{
    if (GrafPtr port = GetPort())
        port->CopyBitsFrom(*this, mBounds, dst);
}

void GWorldWrapper::CopyWorldBits(Rect src, Rect dst, GrafPtr port) const
{
    if (!port)
        return;
    PortSaver saver;
    SetPort(port);
    port->CopyBitsFrom(*this, src, dst);
}

// Nearest-neighbour stretch: destination pixel d takes source pixel
// src.left + floor((d - dst.left) * srcW / dstW) on each axis, in 64-bit
// integers. Equal sizes give an exact copy. Only destination pixels inside
// this image whose source pixel lies inside the image and src are written.
void GWorldWrapper::CopyBitsFrom(const GWorldWrapper& image, const Rect& src, const Rect& dst)
{
    const int64_t srcW = src.right - src.left, srcH = src.bottom - src.top;
    const int64_t dstW = dst.right - dst.left, dstH = dst.bottom - dst.top;
    if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0 || !mPixels || !image.mPixels)
        return;
    // Source pixels that may be read: src clipped to the source image.
    const int sLeft = std::max<int>(src.left, image.mBounds.left), sRight = std::min<int>(src.right, image.mBounds.right);
    const int sTop = std::max<int>(src.top, image.mBounds.top), sBottom = std::min<int>(src.bottom, image.mBounds.bottom);
    if (sLeft >= sRight || sTop >= sBottom)
        return;
    const int dLeft = std::max<int>(dst.left, mBounds.left), dRight = std::min<int>(dst.right, mBounds.right);
    const int dTop = std::max<int>(dst.top, mBounds.top), dBottom = std::min<int>(dst.bottom, mBounds.bottom);
    if (dLeft >= dRight || dTop >= dBottom)
        return;

    const bool sameSize = srcW == dstW && srcH == dstH;
    if (sameSize) {
        // Rows and columns map one to one: copy the overlap as spans.
        const int left = std::max(dLeft, sLeft - src.left + dst.left);
        const int right = std::min(dRight, sRight - src.left + dst.left);
        const int top = std::max(dTop, sTop - src.top + dst.top);
        const int bottom = std::min(dBottom, sBottom - src.top + dst.top);
        if (left >= right || top >= bottom)
            return;
        const std::size_t bytes = static_cast<std::size_t>(right - left) * 4;
        for (int y = top; y < bottom; ++y) {
            const int sy = y - dst.top + src.top;
            const uint8_t* from = image.PixelRow(sy - image.mBounds.top) + static_cast<std::ptrdiff_t>(left - dst.left + src.left - image.mBounds.left) * 4;
            uint8_t* to = PixelRow(y - mBounds.top) + static_cast<std::ptrdiff_t>(left - mBounds.left) * 4;
            std::memmove(to, from, bytes);
        }
        return;
    }

    // Column map, computed once per copy. It never decreases, so the columns
    // whose source lies inside the image form one span [first, last).
    const int columns = dRight - dLeft;
    std::unique_ptr<int[]> columnSource(new int[columns]);
    for (int x = dLeft; x < dRight; ++x)
        columnSource[x - dLeft] = static_cast<int>(src.left + (static_cast<int64_t>(x - dst.left) * srcW) / dstW);
    int first = 0, last = columns;
    while (first < last && columnSource[first] < sLeft)
        ++first;
    while (last > first && columnSource[last - 1] >= sRight)
        --last;
    if (first == last)
        return;
    for (int k = first; k < last; ++k)
        columnSource[k] -= image.mBounds.left;
    const std::size_t rowSpan = static_cast<std::size_t>(last - first) * 4;
    const uint8_t* previous = nullptr; // the last row written, and its source row
    int previousSource = 0;
    for (int y = dTop; y < dBottom; ++y) {
        const int sy = static_cast<int>(src.top + (static_cast<int64_t>(y - dst.top) * srcH) / dstH);
        if (sy < sTop || sy >= sBottom)
            continue;
        uint8_t* to = PixelRow(y - mBounds.top) + static_cast<std::ptrdiff_t>(dLeft + first - mBounds.left) * 4;
        if (previous && sy == previousSource && &image != this) {
            // An enlarged row repeats the one written before it.
            std::memcpy(to, previous, rowSpan);
        } else {
            const uint8_t* from = image.PixelRow(sy - image.mBounds.top);
            uint8_t* out = to;
            for (int k = first; k < last; ++k, out += 4)
                std::memcpy(out, from + static_cast<std::ptrdiff_t>(columnSource[k]) * 4, 4);
        }
        previous = to;
        previousSource = sy;
    }
}

void GWorldWrapper::FillRect(const Rect& r, const RGBColor& colour)
{
    const int left = std::max<int>(r.left, mBounds.left), right = std::min<int>(r.right, mBounds.right);
    const int top = std::max<int>(r.top, mBounds.top), bottom = std::min<int>(r.bottom, mBounds.bottom);
    for (int y = top; y < bottom; ++y) {
        uint8_t* row = PixelRow(y - mBounds.top);
        for (int x = left; x < right; ++x)
            PutColour(row + static_cast<std::ptrdiff_t>(x - mBounds.left) * 4, colour);
    }
}

void GWorldWrapper::FrameRect(const Rect& r, const RGBColor& colour)
{
    if (r.IsEmpty())
        return;
    FillRect(MakeRect(r.top, r.left, r.top + 1, r.right), colour);
    FillRect(MakeRect(r.bottom - 1, r.left, r.bottom, r.right), colour);
    FillRect(MakeRect(r.top, r.left, r.bottom, r.left + 1), colour);
    FillRect(MakeRect(r.top, r.right - 1, r.bottom, r.right), colour);
}

void GWorldWrapper::DrawLine(Point a, Point b, const RGBColor& colour)
{
    // Bresenham between the two end points, both included; pixels outside
    // the image are skipped.
    int x0 = a.h, y0 = a.v;
    const int x1 = b.h, y1 = b.v;
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        if (x0 >= mBounds.left && x0 < mBounds.right && y0 >= mBounds.top && y0 < mBounds.bottom)
            PutColour(PixelRow(y0 - mBounds.top) + static_cast<std::ptrdiff_t>(x0 - mBounds.left) * 4, colour);
        if (x0 == x1 && y0 == y1)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

bool GWorldWrapper::RowPaddingIntact() const
{
    const std::ptrdiff_t used = static_cast<std::ptrdiff_t>(Width()) * 4;
    if (!mPixels || mRowBytes == used)
        return true;
    for (int y = 0; y < Height(); ++y) {
        const uint8_t* row = PixelRow(y);
        for (std::ptrdiff_t i = used; i < mRowBytes; ++i)
            if (row[i] != kCanaryByte)
                return false;
    }
    return true;
}
