// shell/SliderArtwork.h: drawing sliders made of picture artwork (thumbs from
// the application's picture resources, drawn through their masks) and small
// labels into the current port. The sliders (tools/) keep their values and
// place their thumbs; this file only draws.
#pragma once

#include <string>

#include "platform/core/Geometry.h"

// True when the current port is a window canvas, the only place artwork
// sliders draw (their labels need the window's fonts). Main thread only.
bool CanDrawSliderArtwork();

// Erases r of the current port to the dialogs' white background. Nothing
// without a current port. Main thread only.
void EraseSliderArea(const Rect& r);

// Draws picture resource pictureId with its top-left at (left, top) through
// its mask (its white pixels leave what lies beneath). Only on a window
// canvas; nothing for an unknown picture. Main thread only.
void DrawSliderPicture(int pictureId, int left, int top);

// Writes text in the sliders' 9-pixel black text with its baseline starting
// at (left, baseline). Only on a window canvas. Main thread only.
void DrawSliderLabel(int left, int baseline, const std::string& text);

// The advance width of text in the sliders' text, in pixels.
int SliderLabelWidth(const std::string& text);

// Shows what was drawn into the current port, when it is a window canvas.
void ShowSliderDrawing();
