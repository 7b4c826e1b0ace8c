// engine/SummedStack.h: the summed stack: three planes of 32-bit sums, its
// 8-bit display image, and building, projecting, binning, turning and
// discarding it.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/core/Geometry.h"

class GWorldWrapper;

// One sum per pixel and channel, row-major, width × height of gFrameStack;
// null when there is no stack. The enhancement tools and the stack's file
// formats rework them in place; whoever changes them projects again.
// Main thread only.
extern std::unique_ptr<int32_t[]> gRedStack;
extern std::unique_ptr<int32_t[]> gGreenStack;
extern std::unique_ptr<int32_t[]> gBlueStack;
// The 32-bit display image, the planes' size.
extern std::unique_ptr<GWorldWrapper> gFrameStack;
// Display divisor: the clips summed, raised by projections allowed to grow
// it. Full scale of a plane is 255 × gNumFramesInStack.
extern double gNumFramesInStack;
// Per-channel display offsets: displayed pixel (y, x) of a channel shows that
// channel's sum at (y + v, x + h).
extern Point gFrameStackOffsetRed;
extern Point gFrameStackOffsetGreen;
extern Point gFrameStackOffsetBlue;
// The star tool's last brightness threshold; -1 when the stack is discarded.
extern int gLastStarBrightnessThreshold;

// Width and height of the stack (of gFrameStack; 0 without one).
int StackWidth();
int StackHeight();
// True when the three planes and the display image exist.
bool HaveSummedStack();

// Sums the included clips' rendered images into new planes (main thread, no
// job running): hot pixels and pixels moved in from outside the sensor are
// left out per channel, and pixels fewer clips covered are scaled up. Asks
// first when clips are rotated without bilinear rotation, and refuses images
// wider than the width limit. Cancel, or any failure on a clip (it cannot be
// brought back, cannot be rendered for want of memory, or has another size
// than the document), leaves no planes and gNumFramesInStack 0.0; a failure
// that showed no alert of its own shows a stop alert naming the clip.
// Returns true when a stack was made.
bool CreateInitialStack();

// Projects rectangle r of the planes (clipped to the stack; r.left == -1 for
// the whole stack) into gFrameStack and shows it. Divisor d = max(N, m / 255)
// with m the largest sum in r; grow keeps that in gNumFramesInStack.
// Values are trunc(sum / d), 255 from 256 up, 0 below 0. Main thread.
void ProjectStackIntoFrameStackGWorld(bool grow, Rect r);
void ProjectStackIntoFrameStackGWorld(bool grow);
// The same projection of other planes of the stack's size (a filter dialog's
// saved planes), never growing and drawing nothing: the caller draws once
// when the picture is complete. Main thread.
void ProjectPlanesIntoFrameStackGWorld(const int32_t* const planes[3], Rect r);

// Bins the stack: k = 1 for 2 × 2 blocks, 2 for 3 × 3 (plain sums, saturated
// at the int32 range; leftover rows and columns dropped); beeps and changes
// nothing when the stack is smaller than one block. Main thread.
void ResampleStack(int k);

// 1 quarter turn clockwise, 2 half turn, 3 quarter turn counter-clockwise,
// 4 mirror left-right, 5 mirror top-bottom; other k do nothing. Main thread.
void TransformStack(int k);

// Discards the stack: planes and display image released, offsets (0, 0),
// gLastStarBrightnessThreshold -1, the windows erased and hidden.
// gNumFramesInStack is kept. Main thread.
void DeleteFrameStack();

// Draws gFrameStack whole into the frame-stack window. Main thread.
void DrawFrameStackWindow();

extern const char* const kInterpolationWarningTitle;
extern const char* const kInterpolationWarningMessage;
