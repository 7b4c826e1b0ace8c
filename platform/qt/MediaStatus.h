// platform/qt/MediaStatus.h: the one result of the picture and movie services.
#pragma once

#include <functional>

// What a picture or movie call came to. Only ok carries a result; every other
// value leaves the caller's objects as they were, except where a call says
// what it wrote.
enum class MediaStatus {
    ok,
    cannotOpen,   // the file could not be opened or read
    unreadable,   // no decoder takes the file (unknown, garbage or unsupported content)
    damaged,      // a decoder took the file but its data ended early or is corrupt
    badSize,      // width or height below 1 or above 32767 (a rectangle edge is 16 bits)
    noVideo,      // a movie container without a video stream
    noFrames,     // a movie whose video stream holds no frame
    endOfMovie,   // stepping went past the last frame the movie delivers
    declined,     // the caller's frame size check turned a movie down before any frame was decoded
};

// Put by a movie's opener to its caller with the frame size the movie's
// stream declares, before any of its frames is decoded (the program's size
// rules and their alerts live above this layer): false turns the movie down.
using FrameSizeCheck = std::function<bool(int width, int height)>;

// A short English name for logs and test messages ("ok", "unreadable", ...).
const char* MediaStatusName(MediaStatus status);
