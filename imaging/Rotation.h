// imaging/Rotation.h: turning an image about its centre by an angle, by the
// nearest source pixel or by four-neighbour weighting.
#pragma once

#include "platform/core/GWorldWrapper.h"

// Common rules:
// - angle is in radians; rows grow downwards, so a positive angle turns the
//   picture clockwise as displayed. An angle of exactly 0.0 returns true at
//   once with the image untouched.
// - Destination pixel (y, x) takes its colour from the source point
//   sx = cx + dx cos a + dy sin a, sy = cy + dy cos a - dx sin a, where
//   dx = x - cx, dy = y - cy (the point at distance r and angle theta - a).
//   Source points outside the image give black. Alpha is kept.
// - The whole-image rotations write a new image of the same size from the
//   image and swap it in (GWorldWrapper::SwapWith): the image's base address
//   changes, and its old pixels become the calling thread's spare image
//   (SpareImage.h), which the next rotation of that size writes into.
// - On failure the result is false and the image is unchanged: a NaN or
//   infinite angle fails quietly; memory running out for the new image
//   raises the out-of-memory alert first (safe on a worker).
// Threads: any, on an image the calling thread owns.

// Centre (w * 0.5, h * 0.5); the source pixel is (lround(sy), lround(sx)),
// halves away from zero.
[[nodiscard]] bool RotateImageNearestNeighbor(GWorldWrapper& image, double angle);

// Centre (w * 0.5 - 0.5, h * 0.5 - 0.5) (pixel centres). Black where
// sx < 0, sx >= w - 1, sy < 0 or sy >= h - 1, so the last row and column are
// always black. Otherwise, with (ix, iy) = trunc(sx, sy) and (fx, fy) the
// fractions, each of the four pixels around the point weighs sqrt(2) minus its
// distance to the point, and each channel is the weighted mean rounded halves
// away from zero. The weights blur even at integer source points; users' older
// results depend on it.
[[nodiscard]] bool RotateImageBilinear(GWorldWrapper& image, double angle);

// What RotateImageNearestNeighbor would make of a copy of source, computed
// only for the pixels of dest inside rect (bottom and right excluded, clipped
// to the image); dest's other pixels are not touched. Rotational alignment
// compares only that rectangle. source and dest must be distinct images of the
// same size, otherwise the result is false and nothing is written. A NaN or
// infinite angle also gives false, and so does memory running out for its
// small per-column tables (after the alert). Alpha of dest is kept. Any thread
// that owns dest and may read source.
[[nodiscard]] bool RotateImageNearestNeighborInRect(const GWorldWrapper& source, GWorldWrapper& dest, double angle,
                                                    Rect rect);

// Test hook: the rotations take their portable loops even where AVX2 is
// available (false restores the choice), so that tests cover both. Not for
// use by the program.
void ForcePortableRotationForTesting(bool force);
