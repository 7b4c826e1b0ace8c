// platform/qt/Canvas.cpp: the retained canvas and its drawing primitives.
#include "platform/qt/Canvas.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>

#include "platform/core/GWorldWrapper.h"
#include "platform/core/Rgb32Pixels.h"

namespace {

QColor ToQColor(const RGBColor& c)
{
    return QColor(c.red >> 8, c.green >> 8, c.blue >> 8);
}

QRect ToQRect(const Rect& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

} // namespace

Canvas::Canvas(QWidget* parent) : QWidget(parent), mImage(1, 1, QImage::Format_RGB32)
{
    mImage.fill(Qt::black);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage& Canvas::Image()
{
    MatchSize();
    return mImage;
}

void Canvas::MatchSize()
{
    const QSize size(std::max(1, width()), std::max(1, height()));
    if (size == mImage.size())
        return;
    QImage grown(size, QImage::Format_RGB32);
    grown.fill(Qt::black);
    QPainter painter(&grown);
    painter.drawImage(0, 0, mImage);
    painter.end();
    mImage = grown;
}

void Canvas::Flush()
{
    repaint();
}

Rect Canvas::PortBounds() const
{
    return MakeRect(0, 0, std::max(1, height()), std::max(1, width()));
}

void Canvas::CopyBitsFrom(const GWorldWrapper& image, const Rect& src, const Rect& dst)
{
    // Clip the source to the image; the part of dst drawn shrinks in proportion,
    // so the mapping stays that of the unclipped rectangles.
    const int sw = src.Width(), sh = src.Height();
    if (sw <= 0 || sh <= 0 || dst.IsEmpty())
        return;
    const QRect whole(0, 0, image.Width(), image.Height());
    const QRect srcRect = ToQRect(src).intersected(whole);
    if (srcRect.isEmpty())
        return;
    QImage& canvas = Image();
    if (srcRect == ToQRect(src) && dst.Width() == sw && dst.Height() == sh &&
        QRect(0, 0, canvas.width(), canvas.height()).contains(ToQRect(dst))) {
        // Pixel for pixel (a stack or frame shown at its own size): the rows
        // straight into the canvas, which is what drawing them gives.
        for (int y = 0; y < sh; ++y)
            PixelsToRgb32(image.PixelRow(srcRect.top() + y) + 4 * srcRect.left(),
                          canvas.scanLine(dst.top + y) + 4 * dst.left, sw);
        return;
    }
    QImage pixels(srcRect.width(), srcRect.height(), QImage::Format_RGB32);
    for (int y = 0; y < srcRect.height(); ++y) {
        const uint8_t* row = image.PixelRow(srcRect.top() + y) + 4 * srcRect.left();
        auto* out = reinterpret_cast<QRgb*>(pixels.scanLine(y));
        for (int x = 0; x < srcRect.width(); ++x, row += 4)
            out[x] = qRgb(row[1], row[2], row[3]);
    }
    const double fx = double(dst.Width()) / sw, fy = double(dst.Height()) / sh;
    const QRectF target(dst.left + (srcRect.left() - src.left) * fx, dst.top + (srcRect.top() - src.top) * fy,
                        srcRect.width() * fx, srcRect.height() * fy);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, pixels);
}

void Canvas::FillRect(const Rect& r, const RGBColor& colour)
{
    if (r.IsEmpty())
        return;
    QPainter painter(&Image());
    painter.fillRect(ToQRect(r), ToQColor(colour));
}

void Canvas::FrameRect(const Rect& r, const RGBColor& colour)
{
    if (r.IsEmpty())
        return;
    QPainter painter(&Image());
    painter.setPen(ToQColor(colour));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
}

void Canvas::DrawLine(Point a, Point b, const RGBColor& colour)
{
    QPainter painter(&Image());
    painter.setPen(ToQColor(colour));
    painter.drawLine(a.h, a.v, b.h, b.v);
}

void Canvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, mImage);
    // Whatever the backing image does not cover (during a resize) stays black.
    if (mImage.width() < width())
        painter.fillRect(mImage.width(), 0, width() - mImage.width(), height(), Qt::black);
    if (mImage.height() < height())
        painter.fillRect(0, mImage.height(), width(), height() - mImage.height(), Qt::black);
}

void Canvas::resizeEvent(QResizeEvent* event)
{
    MatchSize();
    QWidget::resizeEvent(event);
}

void Canvas::mousePressEvent(QMouseEvent* event)
{
    if (mOnPress)
        mOnPress(event->position().toPoint(), event->modifiers());
}

void Canvas::mouseMoveEvent(QMouseEvent* event)
{
    if (mOnMove)
        mOnMove(event->position().toPoint(), event->modifiers());
}

void Canvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (mOnRelease)
        mOnRelease(event->position().toPoint(), event->modifiers());
}

void Canvas::leaveEvent(QEvent* event)
{
    if (mOnLeave)
        mOnLeave();
    QWidget::leaveEvent(event);
}
