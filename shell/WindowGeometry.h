// shell/WindowGeometry.h: image windows sized to their image, or to the largest
// size with the image's aspect that fits the screen.
#pragma once

#include "platform/core/Geometry.h"

class QWidget;

// The available area (less panels) of the screen holding most of window's
// content; the primary screen's when the window is on none or is null.
void getMaxWindowDim(const QWidget* window, Rect& rect);

// Scales rect to the largest size with its aspect that fits area less 22
// pixels of height (small rects grow), truncating width and height each, and
// places it at (area.left, area.top + 22). Returns false and leaves rect
// unchanged when rect is empty or the area has no room.
bool ScaleImageRectToArea(Rect& rect, const Rect& area);
// Leaves rect as it is when its height < area height - 22 and its width <
// area width; otherwise ScaleImageRectToArea.
bool FitImageRectToArea(Rect& rect, const Rect& area);

// The two above on the area of window's screen.
void SetMaxImageRectBounds(const QWidget* window, Rect& rect);
void SetIdealImageRectBounds(const QWidget* window, Rect& rect);
