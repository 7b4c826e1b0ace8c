// platform/qt/MediaStatus.cpp: names of the picture and movie results.
#include "platform/qt/MediaStatus.h"

const char* MediaStatusName(MediaStatus status)
{
    switch (status) {
    case MediaStatus::ok:
        return "ok";
    case MediaStatus::cannotOpen:
        return "cannotOpen";
    case MediaStatus::unreadable:
        return "unreadable";
    case MediaStatus::damaged:
        return "damaged";
    case MediaStatus::badSize:
        return "badSize";
    case MediaStatus::noVideo:
        return "noVideo";
    case MediaStatus::noFrames:
        return "noFrames";
    case MediaStatus::endOfMovie:
        return "endOfMovie";
    case MediaStatus::declined:
        return "declined";
    }
    return "unknown";
}
