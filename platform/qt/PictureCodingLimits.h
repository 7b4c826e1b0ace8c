// platform/qt/PictureCodingLimits.h: the most pixels a byte of a picture
// codec's data can stand for. A header claiming more than its data could
// fill is damaged, and is refused before its decoder allocates the picture.
#pragma once

#include <cstdint>

// GIF: LZW codes are at most 12 bits and each stands for at most 4096
// pixels, so no image data holds more than 2731 pixels a byte.
inline constexpr int64_t kMaxGifPixelsPerDataByte = 4096;

// PNG and APNG: deflate stops at 1032 to 1, and a byte of 1-bit samples
// holds 8 pixels.
inline constexpr int64_t kMaxPngPixelsPerDataByte = 8 * 1032;

// TIFF strips and tiles, in bytes of samples a byte of stored data: as
// stored, one; PackBits repeats a byte at most 128 times for two (64, with
// room to spare); deflate as for PNG; LZW codes, 9 to 12 bits, each stand
// for at most 4096 bytes, as GIF's.
inline constexpr int64_t kMaxTiffUncompressedBytesPerDataByte = 1;
inline constexpr int64_t kMaxTiffPackBitsBytesPerDataByte = 128;
inline constexpr int64_t kMaxTiffDeflateBytesPerDataByte = 1032;
inline constexpr int64_t kMaxTiffLzwBytesPerDataByte = 4096;
