// platform/core/PictCodec.h: the program's picture encoding (QuickDraw PICT
// version 2, one 32-bit DirectBitsRect, PackBits rows) and its reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/Geometry.h"

class GWorldWrapper;

// Widest image the encoder writes: 4 × width must fit the 14 bits of a
// pixel map's row length.
constexpr int kMaxPictWidth = 4095;

enum class PictStatus {
    ok,
    tooWide,     // encoder: width above kMaxPictWidth (or an empty image)
    unsupported, // reader: a picture of another kind (a foreign PICT); another decoder may read it
    damaged,     // reader: counts or sizes disagree with the bytes present
};

// PackBits of n bytes appended to out, in one pass: runs of 3 to 128 equal
// bytes become header 1 - length and the byte; everything else literals of up
// to 128 bytes (header length - 1). The header 0x80 is never written, since
// some readers take it for a run.
void PackBits(const uint8_t* src, std::size_t n, std::vector<uint8_t>& out);

// Unpacks exactly `expected` bytes from the n packed bytes at src into dst.
// A header 0x80 is skipped. False when a header or run needs bytes beyond n,
// or the output would not come to exactly `expected` bytes.
[[nodiscard]] bool UnpackBits(const uint8_t* src, std::size_t n, uint8_t* dst, std::size_t expected);

// Appends to out the picture of image (its whole bounds, frame (0, 0, h, w)):
// header, version 2, DirectBitsRect with packType 4 and three 8-bit
// components, rows top first, OpEndPic. All values big-endian, as PICT
// readers on every platform expect. Pure: any thread, any number at once.
// Returns tooWide (out unchanged) when the width is 0 or above kMaxPictWidth,
// or the height is 0. May throw std::bad_alloc while growing out.
[[nodiscard]] PictStatus EncodePict(const GWorldWrapper& image, std::vector<uint8_t>& out);

// Reads a picture (the bytes after a file's 512-byte header). On ok, *image
// is an image of the picture frame's size whose pixels in the drawn
// rectangle come from the picture (the rest white, alpha 0xFF), and *frame
// (when not null) is the picture frame as stored: the image *image held on
// entry when that had the frame's size and depth 32 (its memory reused, its
// pixels all rewritten), else a new one. On any other result *image is left
// empty (an image it held is freed). Every count is checked against the bytes present
// before it is used, and the frame's size before anything is allocated.
// Throws std::bad_alloc when the image cannot be made. Any thread.
[[nodiscard]] PictStatus DecodePict(const uint8_t* data, std::size_t size, std::unique_ptr<GWorldWrapper>* image,
                                    Rect* frame = nullptr);

// Sizes a picture from its first `size` bytes (of `wholeSize`) by the checks
// DecodePict makes before it makes the image, rows included where the frame
// is larger than the drawn rect, and allocates nothing: ok with *frame (when
// not null) the frame as stored, or unsupported or damaged. Bytes beyond
// `size` are counted, never read, so damaged from part of a picture may be
// damaged only there: the whole one decides. Any thread.
[[nodiscard]] PictStatus ProbePict(const uint8_t* data, std::size_t size, std::size_t wholeSize, Rect* frame = nullptr);
