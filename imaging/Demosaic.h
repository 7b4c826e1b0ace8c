// imaging/Demosaic.h: demosaicing of single-sensor colour frames whose raw
// sample of every pixel sits in the green byte.
#pragma once

#include <cstddef>
#include <cstdint>

class GWorldWrapper;

// Colour layout of the top-left 2x2 cell (row 0 left, row 0 right / row 1
// left, row 1 right), repeated over the image. Stored as int32 in clips and
// workspace files.
using BayerPattern = int32_t;
constexpr BayerPattern kBayerGRBG = 0; // G R / B G (new clips)
constexpr BayerPattern kBayerRGGB = 1; // R G / G B
constexpr BayerPattern kBayerBGGR = 2; // B G / G R
constexpr BayerPattern kBayerGBRG = 3; // G B / R G

// Stored as int32 in clips and workspace files; other values compute nothing.
using DebayerMethod = int32_t;
constexpr DebayerMethod kDebayerNearestNeighbor = 0;
constexpr DebayerMethod kDebayerBilinear = 1; // new clips
constexpr DebayerMethod kDebayerLaplacian = 2;

// Demosaics image in place: red, green and blue of every pixel are computed
// from the green bytes; alpha is not touched. Pixels near the borders read the
// mosaic mirrored about its edges (the edge pixel itself not repeated), which
// keeps the colour layout; pixels whose neighbourhood lies inside keep the
// plain formulas' values. An unknown pattern or method leaves the image
// unchanged. Works in a buffer owned by the calling thread, grown to the
// largest image seen and reused; when it cannot grow it raises the
// out-of-memory alert and throws std::bad_alloc with the image unchanged.
// Any thread, one image per thread.
void DebayerizeImageFromGreenChannel(GWorldWrapper& image, BayerPattern pattern, DebayerMethod method);

// The same on raw 32-bit pixel buffers (bytes alpha, red, green, blue) of
// width x height pixels whose rows lie rowBytes apart: reads the green bytes of
// src, writes red, green and blue of dst. src and dst may be the same buffer.
// Dispatches on method to the three routines below.
void Debayerize(const unsigned char* src, unsigned char* dst, int width, int height, std::ptrdiff_t rowBytes,
                BayerPattern pattern, DebayerMethod method);

// Each site copies its neighbours to the left and above.
void DebayerizeNearestNeighbor(const unsigned char* src, unsigned char* dst, int width, int height,
                               std::ptrdiff_t rowBytes, BayerPattern pattern);
// Means of the two or four nearest samples of each colour (floored).
void DebayerizeBilinear(const unsigned char* src, unsigned char* dst, int width, int height, std::ptrdiff_t rowBytes,
                        BayerPattern pattern);
// Green along the smoother direction with a second-order correction, then red
// and blue from their neighbours corrected by the green Laplacian.
void DebayerizeLinearInterpolationLaplacianSecondOrder(const unsigned char* src, unsigned char* dst, int width,
                                                       int height, std::ptrdiff_t rowBytes, BayerPattern pattern);

// Test hook: grows the calling thread's buffer to hold a width x height image
// and fills all of it with bytes from seed, so tests can show that no stale
// content reaches a result.
void ScribbleOnDemosaicBufferForTesting(int width, int height, uint32_t seed);
// Test hook: the next demosaic, on any thread, fails as if its buffer could
// not be allocated.
void FailNextDemosaicBufferForTesting();
