// platform/qt/PictureOrMovie.h: whether an opened file is a picture or a movie.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/core/Geometry.h"
#include "platform/qt/MediaStatus.h"
#include "platform/qt/MovieSource.h"

// True when the file name's last three bytes are exactly "mov". The test is
// case-sensitive, so "x.MOV" is not taken for a movie by its name; a name of
// fewer than three bytes never matches. Users' files rely on this rule.
bool NameMarksMovie(std::string_view fileName);

enum class MediaKind { picture, movie };

struct OpenedMedia {
    MediaKind kind = MediaKind::picture;
    Rect frame;                           // a picture's frame (ProbePicture); for a movie its box
    std::unique_ptr<MovieSource> movie;   // the opened movie; null for a picture
};

// Decides what file is and opens it as that:
//   - a name marking a movie goes straight to the movie opener (a picture
//     named so fails: it is not a movie);
//   - any other file is sized as a picture (header only; the pixels are
//     decoded later by whoever imports it);
//   - a file no picture decoder takes, or one whose size is out of bounds,
//     is tried as a movie; one a picture decoder found damaged is not.
// On ok *media says which and holds the frame or the opened movie. Otherwise
// *media is untouched and the result is the reason: the movie opener's for a
// name marking a movie; damaged for a damaged picture; else the more telling
// of the two failures (a picture decoder's badSize rather than the movie
// opener's unreadable). A movie's frame size is put to movieSizeAccepted
// before any frame is decoded (MovieSource::Open); declined when it says no.
// Reentrant; may throw std::bad_alloc.
[[nodiscard]] MediaStatus OpenPictureOrMovie(const std::filesystem::path& file, OpenedMedia* media,
                                             const FrameSizeCheck& movieSizeAccepted = {});
