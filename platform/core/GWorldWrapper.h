// platform/core/GWorldWrapper.h: the program's image, an offscreen buffer of
// 4-byte pixels (alpha, red, green, blue) owned by one object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/core/DrawTarget.h"
#include "platform/core/Geometry.h"

// The image. Depth 32 for every picture; depth 1 for the sliders' drawing
// buffers, which use the same 4-byte storage.
//
// Pixel layout: row y starts at GetPixBaseAddr() + y * GetSrcRowBytes(); the
// pixel of column x lies 4 * x bytes further, bytes alpha, red, green, blue.
// GetSrcRowBytes() is at least 4 * width; bytes past a row's last pixel carry
// no pixel data. The base address stays put until the next resize or
// SwapWith.
//
// Threads: an image belongs to one thread at a time; several threads may read
// an image that nobody writes. The current port and the drawing bracket's save
// slot are per thread.
class GWorldWrapper final : public DrawTarget {
public:
    // A new image of bounds' size, erased to white (every byte 0xFF). A zero
    // width or height gives a valid empty image. A negative side, an absurd
    // size or exhausted memory throws std::bad_alloc; no object then exists.
    // clutID is kept for the callers; -1 (no colour table) is the only value used.
    GWorldWrapper(int depth, Rect bounds, int clutID);
    // Tag of the constructor for scratch images.
    struct Unerased {};
    // A new image of bounds' size whose pixel bytes are not erased (their
    // values are unspecified): only for an image whose every pixel the caller
    // writes before any is read. Throws like the constructor above.
    GWorldWrapper(int depth, Rect bounds, int clutID, Unerased);
    ~GWorldWrapper() override;

    // For a job about to make many images of width × height: the pixels of
    // count such images are kept ready ahead on a helper thread (see
    // PretouchedBlocks.h) until StopKeepingPixelsReady, so that a new image
    // of that size finds its memory already touched. Images whose pixels come
    // from the heap are left alone. Any thread.
    static void KeepPixelsReady(int width, int height, int count);
    static void StopKeepingPixelsReady();

    // Images are copied only by assignment, which resizes this image to the
    // source's bounds and copies every pixel byte, alpha included. On
    // allocation failure throws std::bad_alloc and leaves this image as it was.
    GWorldWrapper& operator=(const GWorldWrapper& source);
    GWorldWrapper(const GWorldWrapper&) = delete;
    GWorldWrapper(GWorldWrapper&&) = delete;
    GWorldWrapper& operator=(GWorldWrapper&&) = delete;
    // Exchanges bounds, depth, colour table and pixels with other: each image
    // then has the other's size and contents (base addresses included).
    // Nothing is allocated or copied. Both images must belong to the calling
    // thread.
    void SwapWith(GWorldWrapper& other) noexcept;

    // The row length this image's rows would have at width pixels (the same
    // bytes past the last pixel as now).
    std::ptrdiff_t RowBytesAtWidth(int width) const;
    // Takes bounds, no wider and no taller than the image, in its own pixel
    // block: row y then starts at GetPixBaseAddr() + y *
    // RowBytesAtWidth(new width) and holds whatever the caller wrote there
    // beforehand. Where the block is a mapping of its own, the pages past the
    // new size go back to the system at once. Nothing is allocated and the
    // base address stays. Larger bounds, or an empty image, change nothing.
    void ShrinkInPlace(Rect bounds) noexcept;
    // True where the pixels are a mapping of their own, whose pages past a
    // smaller size ShrinkInPlace gives back; false for a small image (or any
    // under AddressSanitizer), whose heap block is only freed whole.
    bool HasMappedPixels() const { return mPixels && mPixels.get_deleter().bytes > 0; }

    Rect GetDim() const { return mBounds; }
    int GetDepth() const { return mDepth; }
    int GetClutID() const { return mClutID; }
    GrafPtr GetGWorldPtr() { return this; }
    std::ptrdiff_t GetSrcRowBytes() const { return mRowBytes; }
    int Width() const { return mBounds.right - mBounds.left; }
    int Height() const { return mBounds.bottom - mBounds.top; }

    // The address of pixel (0, 0); null for an empty image.
    uint8_t* GetPixBaseAddr() { return mPixels.get(); }
    const uint8_t* GetPixBaseAddr() const { return mPixels.get(); }
    // The first byte (alpha) of row y. Offsets are computed in 64 bits.
    uint8_t* PixelRow(int y) { return mPixels.get() + static_cast<std::ptrdiff_t>(y) * mRowBytes; }
    const uint8_t* PixelRow(int y) const { return mPixels.get() + static_cast<std::ptrdiff_t>(y) * mRowBytes; }

    // Pixels never move between resizes, so locking always succeeds and costs
    // nothing; both may be called from any thread.
    bool LockPixels() const { return true; }
    void UnlockPixels() const {}

    // Drawing bracket: saves the calling thread's current port in its one save
    // slot and makes this image current; FinishUsingGWorld restores the saved
    // port. The pair does not nest.
    void StartUsingGWorld();
    void FinishUsingGWorld();

    // Fills the whole image with white (every byte 0xFF, alpha included).
    void EraseGWorldRect();

    // Resizes the image to r unless r has the current bottom and right (top and
    // left are not compared). A resized image is white; old pixels are dropped.
    // Throws std::bad_alloc on failure, leaving bounds and pixels unchanged.
    void UpdateGWorldFromRect(Rect r);

    // Copies the whole image (or rectangle src of it) into rectangle dst of
    // port, or of the calling thread's current port, stretching by nearest
    // neighbour when sizes differ. Nothing happens when the port is none.
    void CopyWorldBits(Rect dst, GrafPtr port) const;
    void CopyWorldBits(Rect dst) const;
    void CopyWorldBits(Rect src, Rect dst, GrafPtr port) const;

    // DrawTarget: this image as a destination.
    Rect PortBounds() const override { return mBounds; }
    void CopyBitsFrom(const GWorldWrapper& image, const Rect& src, const Rect& dst) override;
    void FillRect(const Rect& r, const RGBColor& colour) override;
    void FrameRect(const Rect& r, const RGBColor& colour) override;
    void DrawLine(Point a, Point b, const RGBColor& colour) override;

    // Test support: true while the padding bytes of every row still hold the
    // canary pattern written when the image was allocated (always true when
    // the padded-stride mode is off).
    bool RowPaddingIntact() const;

private:
    // Frees a pixel block the way Allocate obtained it (bytes > 0: a mapping
    // of that many bytes; 0: the heap).
    struct PixelRelease {
        std::size_t bytes; // value-initialised (0) in an empty pointer
        void operator()(uint8_t* pixels) const;
    };
    using Pixels = std::unique_ptr<uint8_t[], PixelRelease>;

    struct Buffer;
    static Buffer Allocate(int width, int height);
    void Adopt(Buffer&& buffer, Rect bounds);
    // Gives this image a buffer of r's width and height unless it already has
    // one of that size (then bounds and pixels stay): the copy's guarantee.
    void MatchBufferSize(Rect r);
    friend void CopyGWorldWrapper(const GWorldWrapper& source, GWorldWrapper& dest);

    Rect mBounds;
    int mDepth;
    int mClutID;
    Pixels mPixels;
    std::ptrdiff_t mRowBytes = 0;

    thread_local static GrafPtr sOldGW;
};

// Resizes dest to source's bounds and copies source's pixels row by row, each
// image with its own row length. Throws std::bad_alloc like operator=.
void CopyGWorldWrapper(const GWorldWrapper& source, GWorldWrapper& dest);

// Scoped drawing bracket: StartUsingGWorld now, FinishUsingGWorld at scope end.
class UsingGWorld {
public:
    explicit UsingGWorld(GWorldWrapper& image) : mImage(image) { mImage.StartUsingGWorld(); }
    ~UsingGWorld() { mImage.FinishUsingGWorld(); }
    UsingGWorld(const UsingGWorld&) = delete;
    UsingGWorld& operator=(const UsingGWorld&) = delete;

private:
    GWorldWrapper& mImage;
};

// Test hooks, process-wide.
// Pads every row of images allocated from now on with `bytes` canary bytes
// (0 turns the mode off). Routines that assume rows of exactly 4 * width
// bytes, or write past a row, show up under this mode.
void SetImageRowPaddingForTesting(int bytes);
// Makes the next `count` image allocations throw std::bad_alloc.
void FailNextImageAllocationsForTesting(int count);
