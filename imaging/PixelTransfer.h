// imaging/PixelTransfer.h: moving pixels between images and plain arrays
// (packed RGB bytes, grey doubles, normalised doubles).
#pragma once

#include "platform/core/GWorldWrapper.h"

// Packs the pixels of rect (bottom and right excluded) into bytes as red, green,
// blue, 3 bytes a pixel, rows top to bottom with no gaps; alpha is dropped.
// The rect is first clipped to the image on all four sides, and the packing
// uses the clipped width: bytes receives 3 * clippedWidth * clippedHeight
// bytes (nothing for an empty or outside rect). The workspace file stores
// clips this way. Any thread that may read image.
void CopyPixelValuesFromImage(const GWorldWrapper& image, unsigned char* bytes, Rect rect);

// The inverse: bytes holds 3 * rect.Width() * rect.Height() bytes packed for
// the whole rect; each pixel of rect that lies inside the image takes its
// red, green and blue from its place in that packing, keeping its alpha byte.
// Pixels of rect outside the image are skipped, so a rect read from a damaged
// file cannot write outside the image. The thread that owns image.
void CopyPixelValuesToImage(const unsigned char* bytes, GWorldWrapper& image, Rect rect);

// Writes values (one double per pixel, row-major, width * height of them) to
// the whole image as grey: red = green = blue = the value truncated toward
// zero and clamped to 0...255; NaN gives 0. Alpha is kept.
void CopyPixelValuesToImage(const double* values, GWorldWrapper& image);

// Normalised values for the FFT routines. rect includes its bottom row and
// right column: out receives (right - left + 1) * (bottom - top + 1) values,
// row by row with that row length. mode 0: max(red, green, blue) / 255;
// 1, 2, 3: red, green or blue / 255. Positions outside the image give 0.0.
// Any other mode writes nothing. Any thread that may read image.
void ConvertNormPixelValuesFromImage(const GWorldWrapper& image, int mode, double* out, Rect rect);
