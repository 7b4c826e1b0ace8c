// shell/WindowGeometry.cpp: fitting image rectangles to the screen.
#include "shell/WindowGeometry.h"

#include <cstdint>

#include <QWidget>

#include "shell/Preferences.h"
#include "platform/qt/Screens.h"

void getMaxWindowDim(const QWidget* window, Rect& rect)
{
    QRect content;
    if (window && window->isVisible())
        content = QRect(window->mapToGlobal(QPoint(0, 0)), window->size());
    const QRect area = ScreenHoldingMost(content).available;
    rect = MakeRect(area.top(), area.left(), area.bottom() + 1, area.right() + 1);
}

bool ScaleImageRectToArea(Rect& rect, const Rect& area)
{
    const int64_t w = rect.Width(), h = rect.Height();
    const int64_t aw = area.Width(), ah = area.Height() - kTitleBarAllowance;
    if (w <= 0 || h <= 0 || aw <= 0 || ah <= 0)
        return false;
    // f = max(w / aw, h / ah); the new sides are w / f and h / f truncated.
    // Computed as exact fractions, so a side that f comes from lands exactly
    // on the area's edge (1284 x 856 from 3000 x 2000 on 1440 x 856).
    int64_t newW, newH;
    if (w * ah >= h * aw) { // width limits: f = w / aw
        newW = aw;
        newH = h * aw / w;
    } else { // height limits: f = h / ah
        newW = w * ah / h;
        newH = ah;
    }
    rect = MakeRect(area.top + kTitleBarAllowance, area.left, area.top + kTitleBarAllowance + int(newH),
                    area.left + int(newW));
    return true;
}

bool FitImageRectToArea(Rect& rect, const Rect& area)
{
    if (rect.Height() < area.Height() - kTitleBarAllowance && rect.Width() < area.Width())
        return true;
    return ScaleImageRectToArea(rect, area);
}

void SetMaxImageRectBounds(const QWidget* window, Rect& rect)
{
    Rect area;
    getMaxWindowDim(window, area);
    ScaleImageRectToArea(rect, area);
}

void SetIdealImageRectBounds(const QWidget* window, Rect& rect)
{
    Rect area;
    getMaxWindowDim(window, area);
    FitImageRectToArea(rect, area);
}
