// imaging/Calibration.h: dark-frame subtraction, flat-field division and
// multiplication by a normalisation factor, the calibration steps of a clip's
// render.
#pragma once

#include "platform/core/GWorldWrapper.h"

// Per-channel rectangles: imageRed/Green/Blue in the image and calRed/Green/Blue
// in the calibration image (bottom and right excluded). Pixel (top + i,
// left + j) of a channel's image rect pairs with pixel (top + i, left + j) of
// the same channel's calibration rect. Before the pass each pair is trimmed,
// moving paired edges by the same amount, until both rects lie inside their
// images with equal sizes (dark and flat frames may differ in size from the
// clips after a crop or resample). Components outside a channel's trimmed rect
// keep their values; alpha is never written.
//
// The lock flags say whether the operation locks each image's pixels itself;
// callers pass false for a calibration image a job keeps locked. Pixels of
// this buffer never move, so the flags have no further effect.
//
// Threads: any, on an image the calling thread owns; many threads may read one
// calibration image at the same time. The image and the calibration image may
// be the same object (the result is computed from the unmodified input).
//
// Out of memory for the scratch image: the out-of-memory alert is raised
// (safe on a worker), the image is left unchanged and a fresh std::bad_alloc
// is thrown.

// Each component becomes a - b when a >= b, else 0 (a from the image, b from
// the dark frame).
void SubtractImage(GWorldWrapper& image, const GWorldWrapper& dark, bool lockImage, bool lockDark, Rect imageRed,
                   Rect imageGreen, Rect imageBlue, Rect darkRed, Rect darkGreen, Rect darkBlue);

// Each component becomes v = (a / f) * factor in double (a from the image, f
// from the flat): trunc(v) for 0 <= v <= 255, 255 above (a > 0 over f = 0
// included), 0 for NaN (0 over 0) and below 0. factor is the flat frame's mean
// component value.
void DivideMultiplyFlatFrame(GWorldWrapper& image, const GWorldWrapper& flat, bool lockImage, bool lockFlat,
                             double factor, Rect imageRed, Rect imageGreen, Rect imageBlue, Rect flatRed,
                             Rect flatGreen, Rect flatBlue);

// Every red, green and blue component of the whole image becomes
// trunc(c * factor), or 255 when that is 256 or more, in place. A factor of
// exactly 1.0, below 0, or not finite leaves the image untouched. Allocates
// nothing. The thread that owns image.
void MultiplyImage(GWorldWrapper& image, double factor);
