// fuzz/picture.cpp: picture import of one file of any bytes into an empty
// document: the probe, the width rule on the size the document would take,
// and the decode onto a clip of that size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "shell/Alerts.h"
#include "fuzz/FuzzInput.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/PictureDecoder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartHeadlessQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::filesystem::path file = WriteInputFile(data, size, "picture");
    Rect frame;
    if (ProbePicture(file, &frame) != MediaStatus::ok)
        return 0;
    // The document takes the frame's size from (0, 0); the width warning is
    // declined (the silent interaction answers Cancel).
    const Rect sized = MakeRect(0, 0, frame.bottom - frame.top, frame.right - frame.left);
    if (!VerifyImageWidth(&sized, true))
        return 0;
    try {
        GWorldWrapper clip(32, sized, 0);
        (void)DecodePictureInto(file, clip);
    } catch (const std::bad_alloc&) {
        // The import's out-of-memory alert.
    }
    return 0;
}
