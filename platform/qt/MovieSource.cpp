// platform/qt/MovieSource.cpp: movies opened, counted and stepped through
// FFmpeg.
#include "platform/qt/MovieSource.h"

#include <utility>

#include "platform/core/GWorldWrapper.h"
#include "platform/qt/FfmpegVideo.h"

MovieSource::MovieSource(std::unique_ptr<FfmpegVideo> video, int frameCount)
    : mVideo(std::move(video)), mFrameCount(frameCount)
{
}

MovieSource::~MovieSource() = default;

MediaStatus MovieSource::Open(const std::filesystem::path& file, std::unique_ptr<MovieSource>& movie,
                              const FrameSizeCheck& sizeAccepted)
{
    std::unique_ptr<FfmpegVideo> video;
    MediaStatus status = FfmpegVideo::Open(file, FfmpegContainer::movie, video, sizeAccepted);
    if (status != MediaStatus::ok)
        return status;
    int count = 0;
    status = video->CountFrames(count);
    if (status != MediaStatus::ok)
        return status;
    if (count < 1)
        return MediaStatus::noFrames;
    // A stream whose packets never make a picture is refused here rather
    // than showing the user an empty first frame.
    status = video->DecodeNextFrame(nullptr);
    if (status == MediaStatus::endOfMovie || status == MediaStatus::damaged)
        return MediaStatus::noFrames;
    if (status != MediaStatus::ok)
        return status;
    status = video->Rewind();
    if (status != MediaStatus::ok)
        return status;
    movie.reset(new MovieSource(std::move(video), count));
    return MediaStatus::ok;
}

Rect MovieSource::MovieBox() const
{
    return MakeRect(0, 0, mVideo->Height(), mVideo->Width());
}

int MovieSource::Width() const
{
    return mVideo->Width();
}

int MovieSource::Height() const
{
    return mVideo->Height();
}

MediaStatus MovieSource::DecodeNextFrame(GWorldWrapper& image)
{
    const MediaStatus status = mVideo->DecodeNextFrame(&image);
    if (status == MediaStatus::ok)
        ++mNextFrame;
    return status == MediaStatus::damaged ? MediaStatus::endOfMovie : status;
}

MediaStatus MovieSource::StepOver(int frames)
{
    for (; frames > 0; --frames) {
        const MediaStatus status = mVideo->DecodeNextFrame(nullptr);
        if (status != MediaStatus::ok)
            return status == MediaStatus::damaged ? MediaStatus::endOfMovie : status;
        ++mNextFrame;
    }
    return MediaStatus::ok;
}

MediaStatus MovieSource::SeekToFrame(int index)
{
    if (index < 0)
        index = 0;
    if (index < mNextFrame) {
        const MediaStatus rewound = mVideo->Rewind();
        if (rewound != MediaStatus::ok)
            return rewound;
        mNextFrame = 0;
    }
    return StepOver(index - mNextFrame);
}
