// engine/ClipResizing.h: resampling every clip (and the calibration frames)
// by a factor, and cropping every clip to the operation bounds rectangle.
// Both bake each clip's current render into its new original.
#pragma once

#include "platform/core/Geometry.h"

class GWorldWrapper;
struct HotPixelMask;

// Resample methods, as the resample menu orders them.
constexpr int kResampleMethodNearest = 0;
constexpr int kResampleMethodBilinear = 1;
constexpr int kResampleMethodBicubic = 2;
constexpr int kResampleMethodBinning = 3; // 2 × 2 pixels summed into one, whatever the factor

// Smallest side a resample or crop may leave.
constexpr int kMinResizedSide = 2;

extern const char* const kHotPixelMaskWarningTitle;
extern const char* const kHotPixelMaskWarningMessage;

// The size a resample gives a width × height document: trunc(side × factor)
// per side, or half of each side for binning. False when a side would fall
// below kMinResizedSide or exceed the largest image side, or for a factor
// that is not a number.
bool ResampledSize(int method, double factor, int width, int height, int& newWidth, int& newHeight);

// Resamples image in place by method and factor (binning ignores the
// factor). False, with the image unchanged, when the operation failed (its
// alert shown) or the method is unknown. Any thread, on an image it owns.
[[nodiscard]] bool ResampleOneImage(GWorldWrapper& image, int method, double factor);

// The hot-pixel mask after a crop to r of a document of the old mask's size:
// cell (y, x) of the new newWidth × newHeight mask is cell
// (r.top - green.v + y, r.left - green.h + x) of the old one, 0 outside it,
// where green is clip 0's green alignment (the mask is in sensor
// coordinates, the rectangle in clip 0's aligned ones). An old mask that
// does not match oldWidth × oldHeight gives an empty new one. Throws
// std::bad_alloc.
HotPixelMask CropHotPixelMask(const HotPixelMask& old, int oldWidth, int oldHeight, Rect r, Point green, int newWidth,
                              int newHeight);

// The resample command: every clip's render becomes its original at the new
// size; the dark and flat frames are resampled, the flat's mean recomputed
// and the hot-pixel mask emptied (the user is told so). Runs as a job
// without Cancel; a clip that fails (out of memory, cannot come back) is
// removed at the end with one out-of-memory alert, so every clip, the
// calibration frames, the mask and the scratch images end at the new
// gImageDim; no clip left closes the document. Refused with a beep while a
// job runs or a dialog reads the clips, or when the new size is refused by
// ResampledSize; a new width over 4091 asks first. Main thread.
void Resample(int method, double factor);

// The crop command: every clip's render inside the operation bounds
// rectangle (right - left by bottom - top) becomes its original; the dark
// subtraction stays on and follows the moved calibration rectangles; the
// hot-pixel mask is cropped with the clips; the bounds rectangle goes.
// Failures as for Resample. Refused with a beep without a rectangle, with
// one narrower or lower than kMinResizedSide or reaching outside the image,
// and while a job runs or a dialog reads the clips. Main thread.
void Crop();
