// shell/OperationBoundsRect.cpp: defining the operation bounds rectangle.
#include "shell/OperationBoundsRect.h"

#include <algorithm>

#include <QWidget>

#include "shell/ShellHooks.h"
#include "shell/ImageDim.h"
#include "platform/qt/MouseTracking.h"

Rect gOperationBoundsRect = kNoBoundsRect;
int gPow2BoundsDim = 128;

bool OperationBoundsRectExists()
{
    return gOperationBoundsRect.left != -1;
}

void DestroyOperationBoundsRect()
{
    gOperationBoundsRect = kNoBoundsRect;
    UpdateMenuState();
}

Rect DragToImageRect(QPoint p, QPoint q, int width, int height, int imageWidth, int imageHeight)
{
    if (width <= 0 || height <= 0 || imageWidth <= 0 || imageHeight <= 0)
        return kNoBoundsRect;
    const int left = std::clamp(std::min(p.x(), q.x()), 0, width);
    const int right = std::clamp(std::max(p.x(), q.x()), 0, width);
    const int top = std::clamp(std::min(p.y(), q.y()), 0, height);
    const int bottom = std::clamp(std::max(p.y(), q.y()), 0, height);
    // 64-bit products: window and image sides multiply past 2^31 only in
    // theory, but the rect must never wrap.
    const Rect r = MakeRect(int(int64_t(top) * imageHeight / height), int(int64_t(left) * imageWidth / width),
                            int(int64_t(bottom) * imageHeight / height), int(int64_t(right) * imageWidth / width));
    // A rect under one image pixel would crop to nothing or divide by zero later.
    if (r.right - r.left < 1 || r.bottom - r.top < 1)
        return kNoBoundsRect;
    return r;
}

Rect SquareAtWindowPoint(QPoint m, int width, int height, int imageWidth, int imageHeight, int side)
{
    if (width <= 0 || height <= 0 || side <= 0)
        return kNoBoundsRect;
    const int left = int(int64_t(m.x()) * imageWidth / width) - side / 2;
    const int top = int(int64_t(m.y()) * imageHeight / height) - side / 2;
    const Rect r = MakeRect(top, left, top + side - 1, left + side - 1);
    if (r.left < 0 || r.top < 0 || r.right >= imageWidth || r.bottom >= imageHeight)
        return kNoBoundsRect;
    return r;
}

namespace {

void ShowRectChange()
{
    ShellHooks& hooks = GetShellHooks();
    TellShell(hooks.drawFrameInspectorWindow);
    TellShell(hooks.updatePixelReadout);
}

} // namespace

void DefineOperationBoundsRect(QWidget* inspectorContent, QPoint press)
{
    if (!AskShell(GetShellHooks().inspectorShowsClip))
        return;
    QPoint previous = press;
    TrackMouseUntilRelease(inspectorContent, [&](QPoint q) {
        if (q == previous)
            return;
        previous = q;
        gOperationBoundsRect = DragToImageRect(press, q, inspectorContent->width(), inspectorContent->height(),
                                               gImageDim.Width(), gImageDim.Height());
        ShowRectChange();
    });
    UpdateMenuState();
}

void SetPow2OperationsBoundsRect(QWidget* inspectorContent, QPoint press)
{
    if (!AskShell(GetShellHooks().anyClipSelected))
        return;
    auto place = [inspectorContent](QPoint m) {
        gOperationBoundsRect = SquareAtWindowPoint(m, inspectorContent->width(), inspectorContent->height(),
                                                   gImageDim.Width(), gImageDim.Height(), gPow2BoundsDim);
        UpdateMenuState();
        ShowRectChange();
    };
    place(press);
    TrackMouseUntilRelease(inspectorContent, place);
}
