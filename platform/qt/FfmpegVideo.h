// platform/qt/FfmpegVideo.h: one video stream of a file read through FFmpeg and
// decoded frame by frame into the program's image. The movie service and the
// picture decoder's fallback for formats Qt does not read both use it.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/qt/MediaStatus.h"

class GWorldWrapper;

// Which containers a file may turn out to be.
enum class FfmpegContainer {
    stillImage,  // single-picture formats only (PSD, SGI, foreign PICT, Targa by name, ...)
    movie,       // real video containers only; a single picture is refused as unreadable
};

// A file opened for decoding. Owns every FFmpeg handle it made; destroying it
// closes the file. Belongs to one thread at a time; several objects may be
// used on several threads at once.
class FfmpegVideo {
public:
    ~FfmpegVideo();
    FfmpegVideo(const FfmpegVideo&) = delete;
    FfmpegVideo& operator=(const FfmpegVideo&) = delete;

    // Opens file (any name: content decides, the name's extension only where
    // a format has no signature) and its best video stream. On ok *video is
    // the new object; otherwise it is left as it was and the result says why:
    // cannotOpen, unreadable (no demuxer or decoder, no picture size, or a
    // container of the other kind), noVideo, badSize (a side above 32767),
    // damaged (a still picture of more pixels than 1024 for each byte of its
    // file, which no format here can hold, or a movie of GIF or PNG frames
    // larger than its file's bytes could fill; their decoders never
    // allocate such a frame), declined (sizeAccepted, asked before any frame
    // is decoded, even for the stream information, answered false).
    [[nodiscard]] static MediaStatus Open(const std::filesystem::path& file, FfmpegContainer kind,
                                          std::unique_ptr<FfmpegVideo>& video,
                                          const FrameSizeCheck& sizeAccepted = {});

    // The stream's coded size in pixels; sample aspect ratio and rotation
    // metadata are ignored, so pixels map one to one onto the image.
    int Width() const;
    int Height() const;

    // The number of frames decoding will deliver: the container's index where
    // it lists every sample (QuickTime, AVI), otherwise one pass of demuxing
    // without decoding. Packets that carry no picture (empty, or marked to be
    // dropped) are not counted. Leaves the stream at its first frame. Returns
    // ok, or cannotOpen when the file cannot be read back from the start.
    [[nodiscard]] MediaStatus CountFrames(int& count);

    // Decodes the next frame in presentation order; frames still held inside
    // the decoder are delivered at the end of the file. With image non-null
    // the frame is converted into the whole of it (scaled when its size
    // differs), bytes alpha, red, green, blue with alpha 0xFF, using the
    // frame's colour space and range; samples deeper than 8 bits are widened
    // to 16 bits and give round(v / 257), so 16-bit data narrows exactly as
    // every 8-bit viewer shows it. With image null
    // the frame is only stepped over. Returns ok, endOfMovie after the last
    // frame, or damaged when no frame can be made of what is left. Throws
    // std::bad_alloc when a working buffer cannot be allocated.
    [[nodiscard]] MediaStatus DecodeNextFrame(GWorldWrapper* image);

    // Back to the first frame (the next decode delivers it). Returns ok or
    // cannotOpen when the file cannot be read from the start again.
    [[nodiscard]] MediaStatus Rewind();

private:
    struct Impl;
    explicit FfmpegVideo(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};
