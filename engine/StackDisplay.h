// engine/StackDisplay.h: what stacking needs from the windows: the frame-stack
// window, the progress window, the clips window's marks and the menus. The
// application installs its implementation at start-up; until then every call
// does nothing (and the progress is never cancelled). Main thread only.
#pragma once

#include "platform/core/Geometry.h"

class GWorldWrapper;

class StackDisplay {
public:
    virtual ~StackDisplay() = default;

    // Frame-stack window: size its content to width × height, select and show it.
    virtual void ShowStackWindow(int width, int height) = 0;
    // Size its content to width × height (binning, quarter turns).
    virtual void ResizeStackWindow(int width, int height) = 0;
    // Erase the frame-stack window and hide it and the pixel-values window.
    virtual void HideStackWindows() = 0;
    // Copy image whole into the whole window (scaled, nearest neighbour),
    // draw the open star tool's overlay, flush.
    virtual void DrawStackImage(const GWorldWrapper& image) = 0;
    // Redraw only the window pixels whose source under the whole-image
    // mapping lies in r (StackRectInWindow), with exactly that mapping, so a
    // partial redraw equals the same pixels of a full one.
    virtual void DrawStackRect(const GWorldWrapper& image, Rect r) = 0;
    // The stack appeared or went: recompute the menus' enabling.
    virtual void StackStateChanged() = 0;

    // The application-modal progress window with a Cancel button (only Cancel
    // and repaints get through while it is up). SetProgress is called with
    // values up to total + 1; the window clamps the bar to its range and
    // shows a total of 0 as full.
    virtual void OpenProgress(int total) = 0;
    virtual void SetProgress(int value) = 0;
    // True once the user cancelled (also pumps the window's events).
    virtual bool ProgressCancelled() = 0;
    virtual void CloseProgress() = 0;

    // Clips window: mark the clip as being worked on / draw it.
    virtual void MarkWorkingClip(int index) = 0;
    virtual void DrawClip(int index) = 0;
};

// The installed display (not owned; must outlive its installation); nullptr
// restores the silent one.
StackDisplay& GetStackDisplay();
void SetStackDisplay(StackDisplay* display);

// The window pixels, in a window of windowWidth × windowHeight showing a
// stackWidth × stackHeight image scaled whole (window pixel d shows source
// floor(d × stackSize / windowSize) on each axis), whose source lies in r:
// [ceil(r.left × windowWidth / stackWidth), ceil(r.right × windowWidth /
// stackWidth)) horizontally, and the same vertically. Empty for an empty r or
// a zero size.
Rect StackRectInWindow(Rect r, int stackWidth, int stackHeight, int windowWidth, int windowHeight);
