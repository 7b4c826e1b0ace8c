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
