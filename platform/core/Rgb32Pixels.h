// platform/core/Rgb32Pixels.h: rows of 32-bit pixels as decoders hand them
// out (one host-order word 0xAARRGGBB a pixel) turned into the program's
// pixels (bytes alpha, red, green, blue).
#pragma once

#include <cstdint>

// Writes count pixels of from into to as bytes 0xFF, red, green, blue: the
// alpha byte is dropped and the pixel made opaque, colours are taken as
// stored. from and to may be the same row (the conversion in place); they
// must not overlap otherwise. Any alignment.
void Rgb32ToPixels(const uint8_t* from, uint8_t* to, int count);
