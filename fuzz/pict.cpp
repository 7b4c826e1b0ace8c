// fuzz/pict.cpp: the picture reader on any bytes: as a picture file (what a
// swapped-out clip is read back from, and what the picture decoder tries
// first), and as a bare picture (a workspace's pixel block).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "fuzz/FuzzInput.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictCodec.h"
#include "platform/core/PictFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        std::unique_ptr<GWorldWrapper> image;
        Rect frame;
        (void)ReadPictFile(WriteInputFile(data, size, "clip.pict").string(), &image, &frame);
        image.reset();
        (void)DecodePict(data, size, &image, &frame);
    } catch (const std::bad_alloc&) {
        // The callers' out-of-memory alert; nothing else to check here.
    }
    return 0;
}
