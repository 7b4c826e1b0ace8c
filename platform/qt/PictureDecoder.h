// platform/qt/PictureDecoder.h: picture files (PNG, JPEG, GIF, BMP, TIFF, TGA,
// WebP, PSD, SGI, PICT, ...) sized and decoded into the program's image.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/core/Geometry.h"
#include "platform/qt/MediaStatus.h"

class GWorldWrapper;

// The decoders are tried in this order, each on the file's content (names
// and extensions are not trusted: files from other systems often have none):
//   1. the program's own picture files (PICT with one 32-bit pixel map), read
//      by the program's PICT reader, which gives them back exactly;
//   2. Qt's image readers (PNG, JPEG, GIF, BMP, TIFF, TGA, WebP; the first
//      frame or page; no colour management, no EXIF rotation);
//   3. FFmpeg's image decoders (PSD, SGI, PICT of other programs, PCX, ...;
//      a Targa file Qt does not read is found by its .tga name).
// Pixels come out as bytes alpha 0xFF, red, green, blue: grey gives
// red = green = blue, 16-bit samples v give round(v / 257), alpha is dropped
// without compositing. MacPaint ("PNTG"), QuickDraw GX and QuickTime image
// files have no decoder here and fail like unreadable files.
//
// Every function here is reentrant: import workers call them at once, each
// on its own files and images.

// Sizes a picture without decoding its pixels where the format allows. On ok
// *frame is the picture's frame: (0, 0, height, width), or a PICT's frame as
// stored. Otherwise *frame is untouched and the result is cannotOpen,
// unreadable (no decoder takes the file), damaged or badSize (a side
// outside 1..32767).
[[nodiscard]] MediaStatus ProbePicture(const std::filesystem::path& file, Rect* frame);

// Decodes a picture at its own size: on ok *image is a new image of the
// frame's width and height (bounds at (0, 0)) and *frame, when not null, the
// frame. Otherwise *image is untouched; the result is as for ProbePicture,
// damaged also meaning a decoder took the file but could not finish it
// (truncated or corrupt data). Throws std::bad_alloc when the image cannot
// be made.
[[nodiscard]] MediaStatus DecodePicture(const std::filesystem::path& file, std::unique_ptr<GWorldWrapper>* image,
                                        Rect* frame = nullptr);

// The memory for a decoder's working pictures (Qt's picture and its
// conversion, up to three times the picture's size at 4 bytes a pixel):
// readFreeMemory checks the free-memory figure before decoding (std::bad_alloc
// when it is too small); setAside says the caller has already set that much
// aside (engine/MemoryPolicy's reservation), so the figure is not read again.
enum class WorkingRoom { readFreeMemory, setAside };

// Decodes a picture and draws it onto the whole of image, the picture's frame
// mapped onto image's bounds: rows are copied when the sizes agree, and a
// picture of another size is stretched, each axis on its own, by nearest
// neighbour (destination pixel d takes source pixel floor(d * srcSize /
// dstSize)), the rule every other copy in the program keeps. On ok *frame,
// when not null, is the picture's frame. On failure image may hold part of
// the picture or none, but keeps its size. Throws std::bad_alloc when a
// working image cannot be made.
[[nodiscard]] MediaStatus DecodePictureInto(const std::filesystem::path& file, GWorldWrapper& image,
                                            Rect* frame = nullptr, WorkingRoom room = WorkingRoom::readFreeMemory);
