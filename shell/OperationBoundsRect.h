// shell/OperationBoundsRect.h: the rectangle of the image that alignment,
// sorting and cropping work within, drawn in the frame inspector.
#pragma once

#include <QPoint>

#include "platform/core/Geometry.h"

class QWidget;

// In image coordinates; right and bottom are included by its users (a square
// of side s has right = left + s - 1). None is all four edges -1.
extern Rect gOperationBoundsRect;
// Side of the square a Control-click places: 32, 64, 128 or 256 (start 128,
// not saved).
extern int gPow2BoundsDim;

inline constexpr Rect kNoBoundsRect{-1, -1, -1, -1};

bool OperationBoundsRectExists();
// Sets the rectangle to none and refreshes the menus.
void DestroyOperationBoundsRect();

// The rectangle a drag from p to q in a window of width x height spans in an
// image of imageWidth x imageHeight: clipped to the window, then each edge
// scaled (a window edge of width maps to imageWidth). None when it is less
// than one image pixel wide or high, or a size is not positive.
Rect DragToImageRect(QPoint p, QPoint q, int width, int height, int imageWidth, int imageHeight);

// The side x side square centred on the image point under window point m,
// or none when it does not lie wholly inside the image.
Rect SquareAtWindowPoint(QPoint m, int width, int height, int imageWidth, int imageHeight, int side);

// The user drags a rectangle (DefineOperationBoundsRect) or places a square
// (SetPow2OperationsBoundsRect) in the frame inspector's content, from a press
// at point. They track the mouse until release; nothing happens without a
// shown (resp. selected) clip. Main thread only.
void DefineOperationBoundsRect(QWidget* inspectorContent, QPoint press);
void SetPow2OperationsBoundsRect(QWidget* inspectorContent, QPoint press);
