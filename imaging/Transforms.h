// imaging/Transforms.h: de-interlacing by line doubling and per-channel
// integer translation, two steps of a clip's render.
#pragma once

#include "platform/core/GWorldWrapper.h"

// De-interlaces in place by doubling one field. Rows m = min(h / 2, h - 2) and
// m + 1 are compared by the sum of their red, green and blue components: when
// row m + 1's sum is not larger, each even row y is copied into row y + 1
// (odd rows become copies of the even row above); otherwise each odd row is
// copied into the even row above it. With an odd height the last row stays;
// an image under 2 rows high is left as it is. Alpha is kept. Allocates
// nothing. The thread that owns image.
void InterpolateInterlaceImage(GWorldWrapper& image);

// Shifts each channel by its own offset (v rows down, h columns right; negative
// values move up and left), in place. Pixels a channel's content leaves
// uncovered become 0 in that channel. All-zero offsets return at once.
// Out of memory for the scratch copy: raises the out-of-memory alert (safe on
// a worker), leaves the image unchanged and throws a fresh std::bad_alloc.
// The thread that owns image.
void TranslateImage(GWorldWrapper& image, Point red, Point green, Point blue);

// The same as copying source into image (the same size, another image) and
// translating that copy with TranslateImage, in one pass and without scratch:
// image's alpha is source's, each channel is source's moved by its offset.
// The thread that owns image.
void TranslateImageFrom(const GWorldWrapper& source, GWorldWrapper& image, Point red, Point green, Point blue);
