// platform/core/PictFile.h: picture files: 512 zero bytes, then the picture
// of one image (PictCodec.h). Saves, clip dumps and the temporary files of
// swapped-out clips all have this layout.
#pragma once

#include <memory>
#include <string>

#include "platform/core/Geometry.h"
#include "platform/core/PictCodec.h"

class GWorldWrapper;

enum class PictFileStatus {
    ok,
    tooWide,     // the image cannot be recorded (wider than kMaxPictWidth, or empty)
    writeFailed, // the file could not be created, written or closed; nothing is left behind
    readFailed,  // the file could not be opened or read
    damaged,     // shorter than 512 + 10 bytes, or a picture whose counts disagree with its bytes
    unsupported, // a picture of another kind (another decoder may read it)
};

// How WritePictFile treats the target.
enum class PictWriteMode {
    createNew,       // the file must not exist (O_CREAT | O_EXCL); used for temporary files
    replaceExisting, // written beside the target and renamed over it only when complete
};

// Writes image as a picture file at path: one buffer of 512 zeros and the
// picture, written in as few calls as the system allows, then closed with its
// result checked. On any failure the target is as it was (no file for
// createNew, the old file for replaceExisting) and no partial file remains.
// Any thread; the encoding keeps no state. May throw std::bad_alloc.
[[nodiscard]] PictFileStatus WritePictFile(const std::string& path, const GWorldWrapper& image, PictWriteMode mode);

// Reads a picture file: the 512-byte header is skipped unread; the picture
// must be one DecodePict accepts. On ok *image holds the picture at its
// frame's size (decoded into the image it held when that had the size, as
// DecodePict does) and *frame (when not null) the frame; otherwise *image is
// empty. Throws std::bad_alloc when the image or the read buffer cannot be
// allocated. Any thread.
[[nodiscard]] PictFileStatus ReadPictFile(const std::string& path, std::unique_ptr<GWorldWrapper>* image,
                                          Rect* frame = nullptr);

// Test hook: the next `successes` calls of WritePictFile succeed as usual and
// the one after fails as if the disk were full; -1 (the default) turns it off.
void FailPictFileWriteAfterForTesting(int successes);
