// platform/core/Rgb32Pixels.h: rows of 32-bit pixels as decoders and Qt's
// images hold them (one host-order word 0xAARRGGBB a pixel) turned into the
// program's pixels (bytes alpha, red, green, blue), and back.
#pragma once

#include <cstdint>

// Writes count pixels of from into to as bytes 0xFF, red, green, blue: the
// alpha byte is dropped and the pixel made opaque, colours are taken as
// stored. from and to may be the same row (the conversion in place); they
// must not overlap otherwise. Any alignment.
void Rgb32ToPixels(const uint8_t* from, uint8_t* to, int count);

// The reverse: count of the program's pixels into words 0xFFRRGGBB, alpha
// made opaque. The same rules for from and to.
void PixelsToRgb32(const uint8_t* from, uint8_t* to, int count);
