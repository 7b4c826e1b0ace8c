// platform/qt/CanvasOvals.cpp: filled and framed ovals.
#include "platform/qt/CanvasOvals.h"

#include <QPainter>
#include <QPen>

namespace {

bool Drawable(const QImage& target)
{
    return target.format() == QImage::Format_RGB32 || target.format() == QImage::Format_ARGB32;
}

} // namespace

void FillCanvasOval(QImage& target, const QRect& r, const QColor& colour)
{
    if (r.isEmpty() || !Drawable(target))
        return;
    QPainter painter(&target);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(r);
}

void FrameCanvasOval(QImage& target, const QRect& r, const QColor& colour)
{
    if (r.isEmpty() || !Drawable(target))
        return;
    QPainter painter(&target);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(colour);
    pen.setWidth(1);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // A one-pixel pen strokes on the path; shrinking by one keeps it inside r.
    painter.drawEllipse(r.adjusted(0, 0, -1, -1));
}
