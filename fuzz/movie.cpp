// fuzz/movie.cpp: Open Movie on a file of any bytes: the open (the width
// rule on the stream's frame size, then the count of the frames and the
// decode of the first), the next frames, a seek to the last frame and back
// to the second.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "shell/Alerts.h"
#include "fuzz/FuzzInput.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/MovieSource.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartHeadlessQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        std::unique_ptr<MovieSource> movie;
        // The width warning is declined (the silent interaction answers Cancel).
        if (MovieSource::Open(WriteInputFile(data, size, "movie"), movie, VerifyFrameWidth) != MediaStatus::ok)
            return 0;
        GWorldWrapper image(32, movie->MovieBox(), 0);
        for (int i = 0; i < 3; ++i)
            if (movie->DecodeNextFrame(image) != MediaStatus::ok)
                break;
        if (movie->SeekToFrame(movie->FrameCount() - 1) == MediaStatus::ok)
            (void)movie->DecodeNextFrame(image);
        if (movie->SeekToFrame(1) == MediaStatus::ok)
            (void)movie->DecodeNextFrame(image);
    } catch (const std::bad_alloc&) {
        // The movie dialog's out-of-memory alert.
    }
    return 0;
}
