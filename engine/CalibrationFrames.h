// engine/CalibrationFrames.h: the open document's dark and flat frames and its
// hot-pixel mask.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class GWorldWrapper;

// Dark and flat frames (32-bit images of the document's size), or null.
// Main thread changes them while no job runs; renders read them.
extern std::unique_ptr<GWorldWrapper> gDarkFrame;
extern std::unique_ptr<GWorldWrapper> gFlatFrame;
// Mean of the red, green and blue components of the flat frame's pixels,
// recomputed whenever a flat frame is loaded.
extern double gAverageFlatFieldValue;

// One byte per pixel, row-major, non-zero = hot pixel (left out of the sum).
// Its width and height travel with it; a mask whose size differs from the
// clips' counts as no hot pixels. Main thread, no job running.
struct HotPixelMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    // A mask of width × height with no hot pixel. Throws std::bad_alloc.
    void Reset(int newWidth, int newHeight);
    void Clear();
    bool Matches(int w, int h) const
    {
        return w == width && h == height && pixels.size() == static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    }
    bool HasAnyHotPixel() const;
};
extern HotPixelMask gHotPixelMask;

// The threshold (0..256; 256 marks nothing) and radius (0..3) of the last
// hot-pixel mask made with OK; the next mask dialog starts from them and
// workspace files store them. Main thread.
extern int32_t gPreviousHotPixelMaskThreshold;
extern int32_t gPreviousHotPixelMaskRadius;
