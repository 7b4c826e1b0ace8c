// platform/qt/MovieSource.h: a movie file as a numbered sequence of frames,
// decoded one at a time into the program's image.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/core/Geometry.h"
#include "platform/qt/MediaStatus.h"

class FfmpegVideo;
class GWorldWrapper;

// One open movie (any container and codec FFmpeg reads: QuickTime, AVI,
// Matroska, MP4, SER, ...). Frames are numbered from 0 in presentation order.
// Owns its file handles; belongs to one thread at a time.
class MovieSource {
public:
    ~MovieSource();
    MovieSource(const MovieSource&) = delete;
    MovieSource& operator=(const MovieSource&) = delete;

    // Opens file as a movie, counts its frames and makes sure the first one
    // decodes. On ok *movie is the new movie, its next frame frame 0.
    // Otherwise *movie is left as it was and the result says why: cannotOpen;
    // unreadable (not a movie FFmpeg reads; a single picture, whatever its
    // name, is not a movie); noVideo; noFrames (no frame counted, or none
    // decodes); badSize; damaged (GIF or PNG frames larger than the file's
    // bytes could fill, refused before they are decoded); declined
    // (sizeAccepted, given the stream's frame size before any frame is
    // decoded, answered false). Throws std::bad_alloc when memory runs out.
    [[nodiscard]] static MediaStatus Open(const std::filesystem::path& file, std::unique_ptr<MovieSource>& movie,
                                          const FrameSizeCheck& sizeAccepted = {});

    // The frame size as a rectangle at (0, 0): the stream's coded size, with
    // sample aspect ratio and rotation metadata ignored (pixels are taken as
    // the camera recorded them).
    Rect MovieBox() const;
    int Width() const;
    int Height() const;

    // The number of frames counted when the movie was opened (at least 1).
    // A damaged stream may deliver fewer; stepping then ends early.
    int FrameCount() const { return mFrameCount; }

    // The number of the frame the next DecodeNextFrame delivers.
    int NextFrame() const { return mNextFrame; }

    // Decodes the next frame into image, which should have the movie box's
    // size (another size is scaled to fit it); the image's bytes are alpha
    // 0xFF, red, green, blue. Returns ok (NextFrame() then moves on by one),
    // or endOfMovie when the movie has no further frame (image untouched).
    [[nodiscard]] MediaStatus DecodeNextFrame(GWorldWrapper& image);

    // Makes frame `index` the next one DecodeNextFrame delivers, decoding the
    // frames in between without converting them (going back starts again
    // from frame 0). Returns ok, endOfMovie when the movie ends before that
    // frame, or cannotOpen when it cannot be read from the start again.
    [[nodiscard]] MediaStatus SeekToFrame(int index);

private:
    MovieSource(std::unique_ptr<FfmpegVideo> video, int frameCount);
    MediaStatus StepOver(int frames);

    std::unique_ptr<FfmpegVideo> mVideo;
    int mFrameCount = 0;
    int mNextFrame = 0;
};
