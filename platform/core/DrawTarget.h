// platform/core/DrawTarget.h: what an image can be drawn into (another image, a
// window, a picture being recorded), and the current target of each thread.
#pragma once

#include "platform/core/Geometry.h"

class GWorldWrapper;

// A destination of drawing. Implementations: GWorldWrapper (an image), the
// window canvases of the Qt layer and the PICT recorder.
class DrawTarget {
public:
    virtual ~DrawTarget() = default;

    // The target's own rectangle (top and left are 0 for images and windows).
    virtual Rect PortBounds() const = 0;

    // Copies rectangle src of image into rectangle dst of this target, stretching
    // when the two differ in size. Parts of either rectangle outside its image or
    // target are left out; the mapping stays that of the unclipped rectangles.
    virtual void CopyBitsFrom(const GWorldWrapper& image, const Rect& src, const Rect& dst) = 0;

    // Fills r with colour.
    virtual void FillRect(const Rect& r, const RGBColor& colour) = 0;

    // Draws the one-pixel outline of r (inside r) in colour.
    virtual void FrameRect(const Rect& r, const RGBColor& colour) = 0;

    // Draws a one-pixel line from a to b, both ends included, in colour.
    virtual void DrawLine(Point a, Point b, const RGBColor& colour) = 0;
};

using GrafPtr = DrawTarget*;

// The current drawing target of the calling thread (none at first). Each thread
// has its own, so workers drawing into their own images never disturb each other.
GrafPtr GetPort();
void SetPort(GrafPtr port);

// The same target under its offscreen-world names; there are no graphics devices.
inline GrafPtr GetGWorld()
{
    return GetPort();
}
inline void SetGWorld(GrafPtr port)
{
    SetPort(port);
}

// Saves the calling thread's current port and restores it when it goes out of scope.
class PortSaver {
public:
    PortSaver() : mSaved(GetPort()) {}
    ~PortSaver() { SetPort(mSaved); }
    PortSaver(const PortSaver&) = delete;
    PortSaver& operator=(const PortSaver&) = delete;

private:
    GrafPtr mSaved;
};
