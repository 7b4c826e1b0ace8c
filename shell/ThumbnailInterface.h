// shell/ThumbnailInterface.h: a scaled-down copy of an image drawn at a fixed
// place in a dialog, with a rectangle the user drags on it. The rectangle is
// kept in full-image coordinates and drives the dialog's live preview.
#pragma once

#include <QPoint>

#include "platform/core/Geometry.h"

class Canvas;
class DialogInterface;
class GWorldWrapper;

// Where a w × h image lies as a thumbnail in a box of maxWidth × maxHeight
// at (left, top): full size when it fits; otherwise scale = maxWidth / w when
// w / maxWidth > h / maxHeight (doubles), else maxHeight / h, and each side
// is the image side × scale truncated (303 × 227 in 160 × 120 gives 159 × 119).
struct ThumbnailGeometry {
    double scale = 1.0;
    Rect thumbBounds; // window coordinates
};
ThumbnailGeometry ComputeThumbnailGeometry(int imageWidth, int imageHeight, int left, int top, int maxWidth,
                                           int maxHeight);

// The full-image rectangle a drag from press to current spans (both clipped
// to thumbBounds): width and height are the spanned width and height / scale,
// the top-left the offsets from the thumbnail's corner / scale, each
// truncated on its own; clamped to the image. Empty when the drag spans no
// width or no height.
Rect ThumbDragToImageRect(QPoint press, QPoint current, Rect thumbBounds, double scale, int imageWidth,
                          int imageHeight);

// Where a full-image rectangle is framed on the thumbnail: its size × scale
// and its top-left × scale, each truncated, from the thumbnail's corner.
Rect ImageRectToThumbRect(Rect imageRect, Rect thumbBounds, double scale);

class ThumbnailInterface {
public:
    // window: the dialog's drawing surface (not owned). The chosen rectangle
    // starts as the whole image.
    ThumbnailInterface(Canvas* window, int imageWidth, int imageHeight, int left, int top, int maxWidth, int maxHeight);

    // The image shown (not owned; may be null); the bounds stay.
    void setImage(const GWorldWrapper* image) { mImage = image; }
    Rect subThumbScaledUpBounds() const { return mSubThumbScaledUpBounds; }
    void setSubThumbBounds(Rect rect) { mSubThumbScaledUpBounds = rect; }
    double scale() const { return mScale; }
    Rect thumbBounds() const { return mThumbBounds; }

    // Follows a drag that starts with a press at press (the press's own
    // position in the panel's window): false at once when it starts outside
    // the thumbnail. Every move that spans a rectangle redraws
    // the thumbnail with it and calls dialog's ProcessLiveThumbnailRectUpdate;
    // a move back to the press row or column keeps the previous rectangle and
    // reports nothing. The cross cursor shows during the drag. True when the
    // rectangle changed. Main thread only.
    bool DefineSubThumbBounds(QPoint press, DialogInterface* dialog);

    // Draws the thumbnail and, when showRect, the chosen rectangle on it.
    void Draw(bool showRect);

private:
    void DrawThumbnail();
    void FrameInWindow(Rect r);

    Canvas* mWindow;
    const GWorldWrapper* mImage = nullptr;
    int mImageWidth, mImageHeight;
    double mScale = 1.0;
    Rect mThumbBounds;
    Rect mSubThumbScaledUpBounds;
};
