// files/MovieFrameGeometry.h: where a movie frame is shown in its frame
// dialog's 640 × 480 area and how the crop rectangle maps between the frame
// and the display. Pure functions, any thread.
#pragma once

#include "platform/core/Geometry.h"

inline constexpr int kMovieDisplayWidth = 640;
inline constexpr int kMovieDisplayHeight = 480;

struct MovieDisplay {
    double scale = 1.0; // movie pixels per display pixel
    Rect thumbRect;     // where the frame is drawn, window coordinates
};

// A movie wider than 640 or taller than 480 gets scale = max(width / 640,
// height / 480) and the display size (trunc(width / scale), trunc(height /
// scale)); any other keeps scale 1 and its size. The display is centred:
// moved by (240 - dh / 2, 320 - dw / 2), halves by integer division.
// 1000 × 1000 gives scale 2.0833… and 479 × 479 at (1, 81).
MovieDisplay ComputeMovieDisplay(int movieWidth, int movieHeight);

// The frame position of a display point: (point - thumbRect's corner) ×
// scale, truncated toward zero.
Point DisplayToFrame(Point display, const MovieDisplay& geometry);

// A crop rectangle's place on the display: corner and size ÷ scale, each
// truncated.
Rect FrameToDisplay(Rect crop, const MovieDisplay& geometry);

// The crop rectangle of cropWidth × cropHeight placed on frame point (x, y)
// as its centre: left x - W/2, top y - H/2, clamped into the movie (left 0
// when x < W/2, movie width - W when x > movie width - W/2; the same
// vertically). The crop must not be larger than the movie.
Rect LocateCropRect(int x, int y, int cropWidth, int cropHeight, int movieWidth, int movieHeight);

// The crop rectangle a drag from display point press to current spans, both
// clipped to thumbRect and mapped to the frame with DisplayToFrame; clamped
// to the movie. Width or height 0 when the drag spans none.
Rect DragToCropRect(Point press, Point current, const MovieDisplay& geometry, int movieWidth, int movieHeight);
