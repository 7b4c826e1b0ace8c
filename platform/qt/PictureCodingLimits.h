// platform/qt/PictureCodingLimits.h: the most pixels a byte of a picture
// codec's data can stand for. A header claiming more than its data could
// fill is damaged, and is refused before its decoder allocates the picture.
#pragma once

#include <cstdint>

// The codings: deflate stops at 1032 to 1; an LZW code (9 to 12 bits) stands
// for at most 4096 bytes, so no LZW data holds more than 2731 a byte.
inline constexpr int64_t kMaxDeflatedBytesPerDataByte = 1032;
inline constexpr int64_t kMaxLzwBytesPerDataByte = 4096;

// GIF: a byte of LZW output is a pixel.
inline constexpr int64_t kMaxGifPixelsPerDataByte = kMaxLzwBytesPerDataByte;

// PNG and APNG: deflated, and a byte of 1-bit samples holds 8 pixels.
inline constexpr int64_t kMaxPngPixelsPerDataByte = 8 * kMaxDeflatedBytesPerDataByte;

// TIFF strips and tiles, in bytes of samples a byte of stored data: as
// stored, one; PackBits repeats a byte at most 128 times for two (64, with
// room to spare); deflate and LZW as above.
inline constexpr int64_t kMaxTiffUncompressedBytesPerDataByte = 1;
inline constexpr int64_t kMaxTiffPackBitsBytesPerDataByte = 128;
