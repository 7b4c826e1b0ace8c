// shell/SliderDrawing.h: the look and the mouse of the program's custom-drawn
// horizontal sliders (a one-pixel track, a 6 × 11 thumb, the value as small
// text to the right), drawn into the current port, and the drag of a thumb.
// The sliders themselves (tools/) keep their values and mappings; this file
// only draws and follows the mouse.
#pragma once

#include <functional>
#include <string>

#include <QPoint>

#include "platform/core/Geometry.h"

// Heights and offsets every such slider shares, in pixels from its top-left
// corner (h, v): the band erased and the thumb are 11 high; the track runs
// from (h + 5, v + 5) to the right; the thumb is 6 wide, centred on the
// track position h + 5 + t; the value's baseline is at v + 9.
inline constexpr int kSliderHeight = 11;
inline constexpr int kSliderTrackInset = 5;
inline constexpr int kSliderThumbWidth = 6;
inline constexpr int kSliderTextBaseline = 9;

// What one kind of slider looks like.
struct SliderLayout {
    int eraseWidth = 0; // the band erased first: h .. h + eraseWidth, v .. v + 11
    int trackSpan = 0;  // the track covers h + 5 .. h + 5 + trackSpan, both ends included
    int textLeft = 0;   // the value's text starts at h + textLeft
};

// The thumb for thumb offset t (0 at the track's left end): left
// trunc(h + 2 + t), right trunc(h + 8 + t), top v, bottom v + 11 (right and
// bottom excluded). The drawing and the hit test use this one rectangle.
Rect SliderThumbRect(Point position, double thumbOffset);

// True when p lies in r: left <= x < right and top <= y < bottom.
bool PointInSliderRect(QPoint p, const Rect& r);

// Draws a slider into the current port: erases the band (white, the
// dialogs' background), draws the track in black (grey when dimmed: a
// slider that has no effect at the moment), paints the thumb in the same
// ink and writes valueText in 9-pixel text (text only on a window canvas),
// then shows the canvas. Nothing without a current port. Main thread only.
void DrawHorizontalSlider(Point position, const SliderLayout& layout, double thumbOffset, const std::string& valueText,
                          bool dimmed = false);

// Follows a drag that began with a press in the current port until the
// button is released, calling onMove with every position (port
// coordinates). Returns the release position (start when nothing can be
// followed). Main thread only.
QPoint TrackSliderDrag(QPoint start, const std::function<void(QPoint position)>& onMove);
