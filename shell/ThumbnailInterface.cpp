// shell/ThumbnailInterface.cpp: thumbnail geometry, the drag and drawing.
#include "shell/ThumbnailInterface.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QRect>

#include "shell/DialogInterface.h"
#include "shell/PointerInput.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"

namespace {

int Trunc(double v)
{
    return static_cast<int>(std::trunc(v));
}

QRect ToQRect(const Rect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// The cross cursor for the life of a drag, however it ends.
class CrossCursor {
public:
    CrossCursor() { QApplication::setOverrideCursor(Qt::CrossCursor); }
    ~CrossCursor() { QApplication::restoreOverrideCursor(); }
    CrossCursor(const CrossCursor&) = delete;
    CrossCursor& operator=(const CrossCursor&) = delete;
};

} // namespace

ThumbnailGeometry ComputeThumbnailGeometry(int imageWidth, int imageHeight, int left, int top, int maxWidth,
                                           int maxHeight)
{
    ThumbnailGeometry g;
    int width = imageWidth, height = imageHeight;
    if (!(imageWidth <= maxWidth && imageHeight <= maxHeight) && imageWidth > 0 && imageHeight > 0 && maxWidth > 0 &&
        maxHeight > 0) {
        // Compared in doubles: 340 × 240 in 160 × 120 is limited by its width.
        if (double(imageWidth) / maxWidth > double(imageHeight) / maxHeight)
            g.scale = double(maxWidth) / imageWidth;
        else
            g.scale = double(maxHeight) / imageHeight;
        width = Trunc(imageWidth * g.scale);
        height = Trunc(imageHeight * g.scale);
    }
    g.thumbBounds = MakeRect(top, left, top + height, left + width);
    return g;
}

Rect ThumbDragToImageRect(QPoint press, QPoint current, Rect thumbBounds, double scale, int imageWidth, int imageHeight)
{
    const auto clipX = [&](int x) { return std::clamp(x, int(thumbBounds.left), int(thumbBounds.right)); };
    const auto clipY = [&](int y) { return std::clamp(y, int(thumbBounds.top), int(thumbBounds.bottom)); };
    const int x0 = clipX(std::min(press.x(), current.x())), x1 = clipX(std::max(press.x(), current.x()));
    const int y0 = clipY(std::min(press.y(), current.y())), y1 = clipY(std::max(press.y(), current.y()));
    if (x1 <= x0 || y1 <= y0 || scale <= 0.0)
        return Rect{};
    const int width = Trunc((x1 - x0) / scale), height = Trunc((y1 - y0) / scale);
    const int left = Trunc((x0 - thumbBounds.left) / scale), top = Trunc((y0 - thumbBounds.top) / scale);
    // A guard: the truncations already keep the rectangle inside the image.
    const int l = std::clamp(left, 0, imageWidth), t = std::clamp(top, 0, imageHeight);
    const int r = std::clamp(left + width, 0, imageWidth), b = std::clamp(top + height, 0, imageHeight);
    if (r <= l || b <= t)
        return Rect{};
    return MakeRect(t, l, b, r);
}

Rect ImageRectToThumbRect(Rect imageRect, Rect thumbBounds, double scale)
{
    const int width = Trunc(imageRect.Width() * scale), height = Trunc(imageRect.Height() * scale);
    const int left = thumbBounds.left + Trunc(imageRect.left * scale);
    const int top = thumbBounds.top + Trunc(imageRect.top * scale);
    return MakeRect(top, left, top + height, left + width);
}

ThumbnailInterface::ThumbnailInterface(Canvas* window, int imageWidth, int imageHeight, int left, int top, int maxWidth,
                                       int maxHeight)
    : mWindow(window), mImageWidth(imageWidth), mImageHeight(imageHeight)
{
    const ThumbnailGeometry g = ComputeThumbnailGeometry(imageWidth, imageHeight, left, top, maxWidth, maxHeight);
    mScale = g.scale;
    mThumbBounds = g.thumbBounds;
    mSubThumbScaledUpBounds = MakeRect(0, 0, imageHeight, imageWidth);
}

bool ThumbnailInterface::DefineSubThumbBounds(QPoint press, DialogInterface* dialog)
{
    if (!ToQRect(mThumbBounds).contains(press))
        return false;
    CrossCursor cursor;
    bool changed = false;
    QPoint previous = press;
    TrackMouseDrag(mWindow, [&](QPoint current) {
        if (current == previous)
            return;
        previous = current;
        const Rect image = ThumbDragToImageRect(press, current, mThumbBounds, mScale, mImageWidth, mImageHeight);
        // Back on the press row or column: nothing to preview, the previous
        // rectangle stays.
        if (image.IsEmpty())
            return;
        mSubThumbScaledUpBounds = image;
        if (mImage) {
            DrawThumbnail();
            const int x0 =
                std::clamp(std::min(press.x(), current.x()), int(mThumbBounds.left), int(mThumbBounds.right));
            const int x1 =
                std::clamp(std::max(press.x(), current.x()), int(mThumbBounds.left), int(mThumbBounds.right));
            const int y0 =
                std::clamp(std::min(press.y(), current.y()), int(mThumbBounds.top), int(mThumbBounds.bottom));
            const int y1 =
                std::clamp(std::max(press.y(), current.y()), int(mThumbBounds.top), int(mThumbBounds.bottom));
            FrameInWindow(MakeRect(y0, x0, y1, x1));
            if (mWindow)
                mWindow->Flush();
        }
        changed = true;
        if (dialog)
            dialog->ProcessLiveThumbnailRectUpdate();
    });
    return changed;
}

void ThumbnailInterface::DrawThumbnail()
{
    if (mWindow && mImage)
        BlitImageScaled(mWindow->Image(), *mImage, ToQRect(mThumbBounds));
}

void ThumbnailInterface::FrameInWindow(Rect r)
{
    if (mWindow)
        FrameCanvasRectGreyPattern(mWindow->Image(), ToQRect(r));
}

void ThumbnailInterface::Draw(bool showRect)
{
    if (!mWindow)
        return;
    DrawThumbnail();
    if (showRect)
        FrameInWindow(ImageRectToThumbRect(mSubThumbScaledUpBounds, mThumbBounds, mScale));
    mWindow->Flush();
}
