// app/WindowResizing.h: user resizes and the zoom of the main windows. The
// image windows keep their image's aspect; the clips window re-lays its grid.
#pragma once

class ShellWindow;

// The content height that keeps a imageWidth × imageHeight image's aspect at
// width: imageHeight × width / imageWidth (integer division); -1 when the
// image is empty (the window is then left as it is).
int AspectKeptHeight(int imageWidth, int imageHeight, int width);

// The image a window shows, as width and height (0 × 0 when it has none):
// the dark frame, the flat frame, the summed stack, or for the frame
// inspector the document size.
void WindowImageSize(const ShellWindow* window, int& width, int& height);

// After a user resize of window: image windows get the aspect-kept height,
// then the pixel readout and the window are refreshed; the clips window
// re-lays its clips and remembers a width whose layout changed.
void HandleUserResize(ShellWindow* window);

// While the user drags the window's size: the window is redrawn at the size
// it has (image windows also refresh the pixel readout); nothing resizes it.
void HandleLiveResize(ShellWindow* window);

// Once the drag has rested: HandleUserResize, unless the size is the one the
// last correction of this window replaced. The window manager has then put
// its own size back (a tiling layout, a size it enforces); correcting again
// would only start the same exchange over, so the window keeps its size and
// is redrawn.
void HandleResizeSettled(ShellWindow* window);

// Zoom of an image window: content of exactly the image's size grows to the
// largest size with the image's aspect that fits the screen; any other size
// goes back to 1:1. Nothing for a window without an image.
void DoWindowZoom(ShellWindow* window);

// Hooks the resizes of the clips and image windows (live redraws during a
// drag, the correction once it rests), and turns a maximize request of an
// image window into its zoom. Call once after WindowInit.
void InstallWindowResizing();
