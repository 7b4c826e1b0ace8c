// platform/core/PlainPng.h: the PNG files capture programs write most (8 bits
// a sample, grey, grey and alpha, RGB or RGBA, not interlaced) decoded whole:
// the compressed data inflated in one call into a buffer of exactly the
// picture's size, then the rows unfiltered and turned into the program's
// pixels. The inflate is most of a PNG decode, and a whole-buffer inflate
// runs about twice as fast as a streaming one.
//
// Every other PNG, and any file this reader finds fault with (a chunk whose
// CRC does not match, compressed data that does not make exactly the
// picture, an unknown filter, a critical chunk it does not know, no end
// chunk), is not taken: the general decoders then read it and give their
// own verdict. Ancillary chunks are checked and skipped (colour spaces,
// text, physical size, a transparent colour: none changes the pixels the
// program keeps).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

class GWorldWrapper;

struct PlainPngHeader {
    int width = 0;
    int height = 0;
    int channels = 0; // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
};

// True when bytes (the start of a file, at least 33 bytes: the signature and
// the header chunk) are a PNG of the kind this reader takes, with sides of
// 1 to 32767 pixels; *header then describes it.
bool ReadPlainPngHeader(const uint8_t* bytes, std::size_t size, PlainPngHeader* header);

// Decodes the whole file in bytes into the image imageFor gives, which it
// asks for once the data has inflated to the whole picture and which must
// have the header's size: every pixel is written as bytes alpha 0xFF, red,
// green, blue (grey gives red = green = blue; alpha is dropped). False when
// the file is not taken (see above); the image, when asked for, may then
// hold part of the picture. Throws std::bad_alloc when the working memory
// cannot be had. Reentrant: each thread keeps its own working memory for the
// next picture.
bool DecodePlainPng(const uint8_t* bytes, std::size_t size, const std::function<GWorldWrapper&()>& imageFor);
