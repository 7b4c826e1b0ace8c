// files/MovieFrameGeometry.cpp: the movie frame dialog's display arithmetic.
#include "files/MovieFrameGeometry.h"

#include <algorithm>

MovieDisplay ComputeMovieDisplay(int movieWidth, int movieHeight)
{
    MovieDisplay d;
    int dw = movieWidth;
    int dh = movieHeight;
    if (movieWidth > kMovieDisplayWidth || movieHeight > kMovieDisplayHeight) {
        d.scale = std::max(movieWidth / double(kMovieDisplayWidth), movieHeight / double(kMovieDisplayHeight));
        dw = static_cast<int>(movieWidth / d.scale);
        dh = static_cast<int>(movieHeight / d.scale);
    }
    const int top = kMovieDisplayHeight / 2 - dh / 2;
    const int left = kMovieDisplayWidth / 2 - dw / 2;
    d.thumbRect = MakeRect(top, left, top + dh, left + dw);
    return d;
}

Point DisplayToFrame(Point display, const MovieDisplay& geometry)
{
    return MakePoint(static_cast<int>((display.v - geometry.thumbRect.top) * geometry.scale),
                     static_cast<int>((display.h - geometry.thumbRect.left) * geometry.scale));
}

Rect FrameToDisplay(Rect crop, const MovieDisplay& geometry)
{
    const int top = geometry.thumbRect.top + static_cast<int>(crop.top / geometry.scale);
    const int left = geometry.thumbRect.left + static_cast<int>(crop.left / geometry.scale);
    const int height = static_cast<int>((crop.bottom - crop.top) / geometry.scale);
    const int width = static_cast<int>((crop.right - crop.left) / geometry.scale);
    return MakeRect(top, left, top + height, left + width);
}

Rect LocateCropRect(int x, int y, int cropWidth, int cropHeight, int movieWidth, int movieHeight)
{
    int left = x - cropWidth / 2;
    if (x < cropWidth / 2)
        left = 0;
    else if (x > movieWidth - cropWidth / 2)
        left = movieWidth - cropWidth;
    int top = y - cropHeight / 2;
    if (y < cropHeight / 2)
        top = 0;
    else if (y > movieHeight - cropHeight / 2)
        top = movieHeight - cropHeight;
    // Odd sizes can still overhang by one where the two rules meet.
    left = std::clamp(left, 0, std::max(0, movieWidth - cropWidth));
    top = std::clamp(top, 0, std::max(0, movieHeight - cropHeight));
    return MakeRect(top, left, top + cropHeight, left + cropWidth);
}

Rect DragToCropRect(Point press, Point current, const MovieDisplay& geometry, int movieWidth, int movieHeight)
{
    const Rect t = geometry.thumbRect;
    auto clip = [&](Point p) {
        return MakePoint(std::clamp<int>(p.v, t.top, t.bottom), std::clamp<int>(p.h, t.left, t.right));
    };
    const Point a = DisplayToFrame(clip(press), geometry);
    const Point b = DisplayToFrame(clip(current), geometry);
    const int top = std::clamp<int>(std::min(a.v, b.v), 0, movieHeight);
    const int bottom = std::clamp<int>(std::max(a.v, b.v), 0, movieHeight);
    const int left = std::clamp<int>(std::min(a.h, b.h), 0, movieWidth);
    const int right = std::clamp<int>(std::max(a.h, b.h), 0, movieWidth);
    return MakeRect(top, left, bottom, right);
}
