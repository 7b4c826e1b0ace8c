// shell/PointerInput.cpp: mouse position, covering windows and drags.
#include "shell/PointerInput.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>

#include "platform/qt/MouseTracking.h"

namespace {

std::optional<PointerScript> sScript;

} // namespace

QPoint MousePositionIn(const QWidget* widget)
{
    if (sScript)
        return sScript->position;
    return widget ? widget->mapFromGlobal(QCursor::pos()) : QPoint();
}

bool MouseCoveredAt(const QWidget* widget)
{
    if (sScript)
        return sScript->covered;
    if (!widget)
        return false;
    QWidget* top = QApplication::topLevelAt(QCursor::pos());
    return top && top != widget->window() && top->isVisible();
}

QWidget* FrontWindow()
{
    if (sScript)
        return sScript->front;
    return QApplication::activeWindow();
}

QPoint TrackMouseDrag(QWidget* widget, const std::function<void(QPoint)>& onMove)
{
    if (!sScript)
        return TrackMouseUntilRelease(widget, onMove);
    if (sScript->dragPaths.empty())
        return sScript->position;
    const std::vector<QPoint> path = sScript->dragPaths.front();
    sScript->dragPaths.erase(sScript->dragPaths.begin());
    for (const QPoint& p : path) {
        sScript->position = p;
        onMove(p);
    }
    if (sScript->release) {
        sScript->position = *sScript->release;
        sScript->release.reset();
    }
    return sScript->position;
}

void SetPointerScriptForTesting(std::optional<PointerScript> script)
{
    sScript = std::move(script);
}

PointerScript* PointerScriptForTesting()
{
    return sScript ? &*sScript : nullptr;
}
