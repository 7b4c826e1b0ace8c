// imaging/MedianFilter.h: the selective median filter, the last calibration
// step of a clip's render.
#pragma once

class GWorldWrapper;

// Largest neighbourhood radius; larger radii act as this one.
constexpr int kMedianFilterMaxRadius = 3;

// Replaces, in place, every pixel whose own value max(red, green, blue) is
// below threshold by the per-channel median of its neighbours: the offsets
// (dx, dy) != (0, 0) with dx^2 + dy^2 <= 2, 5 or 10 for radius 1, 2 or 3 that
// lie inside the image (8, 20 or 36 of them away from the borders). Each
// channel takes element n / 2 of its n sorted values (the upper middle for an
// even n); a pixel without neighbours (a 1x1 image) keeps its value. Brighter
// pixels and the alpha bytes are left as they are, and every median reads the
// unfiltered image. threshold <= 0 or radius <= 0 leaves the image untouched;
// threshold 256 or more filters every pixel.
// Keeps unfiltered copies of the rows it still needs in a small scratch image;
// when that cannot be made it raises the out-of-memory alert and throws
// std::bad_alloc with the image unchanged.
// Any thread, one image per thread.
void MedianFilterImage(GWorldWrapper& image, int radius, int threshold);

// Tests: true makes the filter use its portable loop even where the processor
// has vector instructions.
void ForcePortableMedianForTesting(bool force);
